#include "stream/Clocks.h"

#include <algorithm>
#include <cmath>

namespace vexil::stream {

std::uint64_t Deadline::overdue(std::chrono::steady_clock::time_point at, std::chrono::nanoseconds limit) {
  const auto away = at - since;
  if (away <= limit) return 0;
  const auto due = static_cast<std::uint64_t>((away - std::chrono::nanoseconds(1)) / limit);
  const std::uint64_t fresh = due > counted ? due - counted : 0;
  counted = std::max(counted, due);
  return fresh;
}

std::uint64_t Deadline::seen(std::chrono::steady_clock::time_point at, std::chrono::nanoseconds limit) {
  const std::uint64_t owed = overdue(at, limit);
  since = at;
  counted = 0;
  return owed;
}

PcrChecker::PcrChecker(std::uint64_t jumpTicks, double accuracyTicks)
    : jumpTicks_(jumpTicks), accuracyTicks_(accuracyTicks), states_(kPidCount) {}

void PcrChecker::reset() {
  for (State& s : states_) {
    s.known = false;
    s.line.clear();
  }
}

void PcrChecker::restart(State& s, std::uint64_t pcr, std::uint64_t offset) const {
  s.known = true;
  s.pcr = pcr % kPcrModulus;
  s.offset = offset;
  s.originOffset = offset;
  s.lastTicks = 0;
  s.line.clear();
  s.line.push_back({0, 0});
}

bool PcrChecker::offTheLine(const State& s, double bytes, double ticks) const {
  // Least squares through the window, in coordinates small enough for doubles.
  const double n = static_cast<double>(s.line.size());
  double sx = 0, sy = 0;
  for (const Point& p : s.line) {
    sx += p.bytes;
    sy += p.ticks;
  }
  const double mx = sx / n, my = sy / n;
  double sxx = 0, sxy = 0;
  for (const Point& p : s.line) {
    sxx += (p.bytes - mx) * (p.bytes - mx);
    sxy += (p.bytes - mx) * (p.ticks - my);
  }
  if (sxx <= 0) return false;
  const double predicted = my + (bytes - mx) * sxy / sxx;
  return std::fabs(ticks - predicted) > accuracyTicks_;
}

PcrCheck PcrChecker::check(std::uint16_t pid, std::uint64_t pcr, std::uint64_t offset, bool discontinuity) {
  PcrCheck out;
  State& s = states_[pid & 0x1FFF];
  if (discontinuity || !s.known || offset <= s.offset) {
    restart(s, pcr, offset);
    return out;
  }
  const std::uint64_t step = (pcr % kPcrModulus + kPcrModulus - s.pcr) % kPcrModulus;
  // A step "below 0" shows as one close to the modulus.
  if (step > jumpTicks_) {
    out.discontinuityError = true;
    restart(s, pcr, offset);
    return out;
  }
  s.pcr = pcr % kPcrModulus;
  s.offset = offset;
  s.lastTicks += static_cast<double>(step);
  const Point here{static_cast<double>(offset - s.originOffset), s.lastTicks};
  if (s.line.size() >= kJudgedFrom && offTheLine(s, here.bytes, here.ticks)) {
    out.accuracyError = true;
    // Left out of the line: the line starts again from the next PCR.
    s.line.clear();
    s.known = false;
    return out;
  }
  if (s.line.size() == kWindow) s.line.erase(s.line.begin());
  s.line.push_back(here);
  return out;
}

}  // namespace vexil::stream
