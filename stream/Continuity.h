// The continuity counter of every PID (ETSI TR 101 290 1.4): packets in the wrong
// order, a packet that occurs more than twice, a lost packet.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "stream/TsPacket.h"

namespace vexil::stream {

/// How one packet fits its PID's counter.
enum class ContinuityResult : std::uint8_t {
  Ok,         // the next counter, the first packet of its PID, or an announced jump
  Skipped,    // not checked: no payload, transport error, or the null PID
  Duplicate,  // a legal repeat of the last packet: same bytes, seen once
  Error,      // one continuity count error
};

/// Not thread-safe.
///
/// Packets without payload and packets with transport_error_indicator are not checked
/// (see damaged); a discontinuity_indicator in a packet without payload lets the next
/// counter start anew. The null PID is exempt. discontinuity_indicator
/// makes any counter legal. A counter equal to the last one is a legal duplicate once,
/// and only when the packet's bytes equal the last packet's (a PCR may differ);
/// anything else out of order is one error, and the expectation goes on from the
/// counter just seen, so one loss is one error.
class ContinuityChecker {
 public:
  ContinuityChecker();
  void reset();
  /// `lasting`: the packet's bytes stay valid until release() (they are not copied).
  ContinuityResult check(const PacketView& packet, bool lasting = false);
  /// The packets kept by reference are about to go: copies are taken of those still
  /// needed to judge a duplicate.
  void release();
  /// A packet of the PID came damaged (transport_error_indicator): it is not checked,
  /// and the next packet may follow either the last good one or the damaged one's
  /// counter when that was the one expected, so a damaged packet neither hides a loss
  /// nor makes one up.
  void damaged(const PacketView& packet);
  std::uint64_t errors(std::uint16_t pid) const { return states_[pid & 0x1FFF].errors; }

 private:
  struct State {
    std::int8_t lastCc = -1;     // -1 before the first packet
    bool duplicateSeen = false;  // the last packet repeated the one before
    std::int8_t damagedCc = -1;  // counter of a damaged packet since the last good one
    std::uint64_t errors = 0;
    const std::uint8_t* lastRef = nullptr;  // the last checked packet, where it lies
    std::int32_t copy = -1;                 // its slot in copies_, once it needed one
  };
  // Room for a copy of the last packet of `s`, made on first need: most of the 8192
  // PIDs never carry a packet.
  std::uint8_t* copyOf(State& s);

  std::vector<State> states_;           // kPidCount entries
  // A deque: its elements stay where they are as it grows, and lastRef points at them.
  std::deque<std::array<std::uint8_t, kPacketSize>> copies_;
  std::vector<std::uint16_t> borrowed_;  // PIDs whose lastRef points into fed data
};

/// Whether two packets are the same apart from their PCR (a duplicate may carry a new
/// one).
bool sameApartFromPcr(const std::uint8_t* a, const std::uint8_t* b);

}  // namespace vexil::stream
