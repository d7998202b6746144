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

void PcrChecker::reset() { std::fill(states_.begin(), states_.end(), State{}); }

PcrCheck PcrChecker::check(std::uint16_t pid, std::uint64_t pcr, std::uint64_t offset, bool discontinuity) {
  PcrCheck out;
  State& s = states_[pid & 0x1FFF];
  if (discontinuity || s.known == 0 || offset <= s.offset) {
    s = State{1, pcr % kPcrModulus, offset, 0};
    return out;
  }
  const std::uint64_t step = (pcr % kPcrModulus + kPcrModulus - s.pcr) % kPcrModulus;
  // A step "below 0" shows as one close to the modulus.
  if (step > jumpTicks_) {
    out.discontinuityError = true;
    s = State{1, pcr % kPcrModulus, offset, 0};
    return out;
  }
  const double bytes = static_cast<double>(offset - s.offset);
  if (s.known >= 2) {
    const double error = static_cast<double>(step) - bytes * s.ticksPerByte;
    out.accuracyError = std::fabs(error) > accuracyTicks_;
  }
  s.ticksPerByte = static_cast<double>(step) / bytes;
  s.pcr = pcr % kPcrModulus;
  s.offset = offset;
  s.known = 2;
  return out;
}

}  // namespace vexil::stream
