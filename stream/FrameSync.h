// Finds transport-stream packets in a stream of datagrams (or file chunks): the packet
// size, the sync byte of each packet position, TS sync loss with its hysteresis, and
// packets cut at a datagram's end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "stream/TsPacket.h"

namespace vexil::stream {

/// Where the packets of some bytes start, and their size.
struct PacketGrid {
  std::size_t offset = 0;
  std::size_t size = 0;  // 188 or 204
};

/// The first sync byte from which packets of one size start with 0x47 five times in a
/// row (or at least twice and up to the end of the data), and that size; nothing when
/// there is none.
std::optional<PacketGrid> findPacketGrid(std::span<const std::uint8_t> data);

/// What the framing finds, told as it goes.
class FrameEvents {
 public:
  virtual ~FrameEvents() = default;
  /// A whole packet (its first 188 bytes) starting at byte `offset` of everything fed.
  /// `lasting`: the bytes stay where they are until feed() returns (they lie in the
  /// data fed, not in a packet joined across datagrams).
  virtual void framePacket(const std::uint8_t* packet, std::uint64_t offset, bool lasting) = 0;
  /// `count` packet positions without a sync byte, the first at byte `offset`.
  virtual void syncByteErrors(std::uint64_t count, std::uint64_t offset) = 0;
  /// Sync was lost (two bad sync bytes in a row) at byte `offset`.
  virtual void syncLoss(std::uint64_t offset) = 0;
};

/// Not thread-safe.
///
/// Datagrams are read as a byte stream with their boundaries as hints: a packet cut at
/// the end of a datagram is completed from the next one when that one goes on where it
/// stopped (the QV-Net cut), and dropped as truncated when the next datagram starts a
/// new packet (IPTV). A packet position without 0x47 while the packet grid holds (a
/// later position starts two good packets in a row, or the data ends on the grid) is
/// one sync byte error, and the packet is still handed on: only its first byte is known
/// to be wrong. Off the grid,
/// the next 0x47 followed by another one a packet later is taken. Sync is lost after two
/// bad sync bytes in a row (counted once per run) and regained after five good ones.
class FrameSync {
 public:
  static constexpr int kSyncLossAfter = 2;
  static constexpr int kSyncRegainAfter = 5;

  void reset();
  /// The data will start on a packet of `packetSize` (a file whose grid is known):
  /// a bad sync byte from the first packet on counts.
  void presetGrid(std::size_t packetSize);
  void feed(std::span<const std::uint8_t> data, FrameEvents& events);

  std::size_t packetSize() const { return packetSize_; }
  bool syncLost() const { return syncLost_; }
  std::uint64_t truncatedPackets() const { return truncated_; }
  std::uint64_t skippedBytes() const { return skipped_; }
  /// Bytes fed since the last reset.
  std::uint64_t bytesFed() const { return fed_; }

 private:
  void detectPacketSize(std::span<const std::uint8_t> d);
  std::size_t gridSize() const { return packetSize_ ? packetSize_ : kPacketSize; }
  std::size_t resync(std::span<const std::uint8_t> d, std::size_t from, FrameEvents& events);
  void goodSync();
  void badSync(std::uint64_t offset, FrameEvents& events);

  std::size_t packetSize_ = 0;
  std::vector<std::uint8_t> carry_;  // start of a packet cut at a datagram's end
  std::uint64_t carryOffset_ = 0;
  std::uint64_t fed_ = 0;
  std::uint64_t truncated_ = 0;
  std::uint64_t skipped_ = 0;
  int goodRun_ = 0;
  int badRun_ = 0;
  bool syncLost_ = false;
  bool synced_ = false;  // a packet has been found since the last reset
};

}  // namespace vexil::stream
