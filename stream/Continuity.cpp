#include "stream/Continuity.h"

#include <cstring>

namespace vexil::stream {
namespace {
std::int8_t next(std::int8_t cc) { return static_cast<std::int8_t>((cc + 1) % kContinuityModulus); }
}  // namespace

bool sameApartFromPcr(const std::uint8_t* a, const std::uint8_t* b) {
  const PacketView va(a);
  const PacketView vb(b);
  if (!va.hasPcr() || !vb.hasPcr()) return std::memcmp(a, b, kPacketSize) == 0;
  constexpr std::size_t kAfterPcr = kPcrOffset + kPcrSize;
  return std::memcmp(a, b, kPcrOffset) == 0 &&
         std::memcmp(a + kAfterPcr, b + kAfterPcr, kPacketSize - kAfterPcr) == 0;
}

ContinuityChecker::ContinuityChecker() : states_(kPidCount) {}

void ContinuityChecker::reset() {
  for (State& s : states_) {
    s.lastCc = -1;
    s.duplicateSeen = false;
    s.damagedCc = -1;
    s.errors = 0;
    s.lastRef = nullptr;
    s.copy = -1;
  }
  copies_.clear();
  borrowed_.clear();
}

void ContinuityChecker::damaged(const PacketView& v) {
  State& s = states_[v.pid()];
  if (v.hasPayload()) s.damagedCc = static_cast<std::int8_t>(v.continuity());
}

std::uint8_t* ContinuityChecker::copyOf(State& s) {
  if (s.copy < 0) {
    s.copy = static_cast<std::int32_t>(copies_.size());
    copies_.emplace_back();
  }
  return copies_[static_cast<std::size_t>(s.copy)].data();
}

void ContinuityChecker::release() {
  for (std::uint16_t pid : borrowed_) {
    State& s = states_[pid];
    if (s.lastRef && (s.copy < 0 || s.lastRef != copies_[static_cast<std::size_t>(s.copy)].data())) {
      std::uint8_t* copy = copyOf(s);
      std::memcpy(copy, s.lastRef, kPacketSize);
      s.lastRef = copy;
    }
  }
  borrowed_.clear();
}

ContinuityResult ContinuityChecker::check(const PacketView& v, bool lasting) {
  const std::uint16_t pid = v.pid();
  if (pid == kNullPid || v.transportError()) return ContinuityResult::Skipped;
  State& s = states_[pid];
  if (!v.hasPayload()) {
    if (v.discontinuity()) s.lastCc = -1;  // a new time base announced: counters start anew
    return ContinuityResult::Skipped;
  }
  const auto cc = static_cast<std::int8_t>(v.continuity());
  const std::int8_t last = s.lastCc;
  const bool wasDuplicate = s.duplicateSeen;
  const std::int8_t damagedCc = s.damagedCc;
  s.lastCc = cc;
  s.duplicateSeen = false;
  s.damagedCc = -1;
  ContinuityResult result = ContinuityResult::Ok;
  if (last >= 0 && !v.discontinuity()) {
    if (cc == last) {
      if (!wasDuplicate && s.lastRef && sameApartFromPcr(v.bytes(), s.lastRef)) {
        s.duplicateSeen = true;
        return ContinuityResult::Duplicate;  // the copy kept in `last` is the same
      }
      s.duplicateSeen = true;  // a further copy is an error too
      result = ContinuityResult::Error;
    } else if (cc != next(last) && !(damagedCc == next(last) && cc == next(damagedCc))) {
      result = ContinuityResult::Error;
    }
  }
  if (result == ContinuityResult::Error) ++s.errors;
  // Keep the packet for the duplicate test: by reference while the data lasts.
  const std::uint8_t* copy = s.copy < 0 ? nullptr : copies_[static_cast<std::size_t>(s.copy)].data();
  if (lasting) {
    if (s.lastRef == nullptr || s.lastRef == copy) borrowed_.push_back(pid);
    s.lastRef = v.bytes();
  } else {
    std::uint8_t* into = copyOf(s);
    std::memcpy(into, v.bytes(), kPacketSize);
    s.lastRef = into;
  }
  return result;
}

}  // namespace vexil::stream
