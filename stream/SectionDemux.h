// Reassembles PSI/SI sections from the packets of the PIDs that carry them: across
// packets, several in one packet, with the CRC_32 of each checked.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "stream/TsPacket.h"

namespace vexil::stream {

/// Receives each complete section.
class SectionHandler {
 public:
  virtual ~SectionHandler() = default;
  /// A whole section of `pid`, from table_id to its end. `crcOk` is false when the
  /// section has a CRC_32 (section_syntax_indicator 1, or a TOT) and it is wrong.
  virtual void section(std::uint16_t pid, std::span<const std::uint8_t> section, bool crcOk) = 0;
};

/// Not thread-safe. Only the PIDs switched on with `watch` are read.
///
/// The pointer_field of a packet that starts a section ends the section in progress
/// and says where the next one begins; sections follow one another until a 0xFF
/// table_id (stuffing) or the packet's end. A section that continues into the next
/// packet is kept until it is whole; `interrupt` (a lost packet, a transport error)
/// throws away what was kept. A section whose section_length is impossible is dropped.
class SectionDemux {
 public:
  static constexpr std::size_t kMaxSectionSize = 4096;  // private sections; PSI stops at 1024

  SectionDemux();
  void reset();
  void watch(std::uint16_t pid, bool on);
  bool watching(std::uint16_t pid) const { return pids_[pid & 0x1FFF].watched; }
  /// Reads the payload of a packet of a watched PID.
  void feed(const PacketView& packet, SectionHandler& handler);
  /// Forgets the section in progress on `pid`.
  void interrupt(std::uint16_t pid);

 private:
  struct PidState {
    bool watched = false;
    bool assembling = false;
    std::vector<std::uint8_t> buffer;
  };
  // Takes sections from `bytes`, which begin a section; the last incomplete one is kept.
  void startSections(std::uint16_t pid, std::span<const std::uint8_t> bytes, SectionHandler& handler);
  // Delivers the section in the buffer when whole; true when it was (or was dropped).
  bool finishIfWhole(std::uint16_t pid, PidState& s, SectionHandler& handler);

  std::vector<PidState> pids_;  // kPidCount entries
};

/// Whether a section's CRC_32 (if it has one) is right.
bool sectionCrcOk(std::span<const std::uint8_t> section);

}  // namespace vexil::stream
