// The counting core of the stream monitor: finds transport-stream packets in UDP
// datagrams, follows each PID's continuity counter, reads the PAT and PMTs, and keeps
// the ETSI TR 101 290 first-priority counts. No sockets, no clock of its own, no Qt.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "stream/TsPacket.h"

namespace vexil::stream {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

/// How long the tables and the streams they name may stay away.
struct AnalyserLimits {
  std::chrono::nanoseconds psiInterval = std::chrono::milliseconds(500);  // PAT and each PMT
  std::chrono::nanoseconds pidTimeout = std::chrono::seconds(5);          // each PID a PMT names
};

/// The six first-priority indicators of ETSI TR 101 290, as counts of occurrences.
struct Priority1 {
  std::uint64_t tsSyncLoss = 0;       // 1.1: 2 or more consecutive bad sync bytes
  std::uint64_t syncByteError = 0;    // 1.2: a packet position without 0x47
  std::uint64_t patError = 0;         // 1.3: PAT away > psiInterval, or bad table/scrambled
  std::uint64_t continuityError = 0;  // 1.4: a wrong continuity counter
  std::uint64_t pmtError = 0;         // 1.5: a PMT away > psiInterval, or scrambled
  std::uint64_t pidError = 0;         // 1.6: a PID a PMT names away > pidTimeout

  static constexpr std::size_t kCount = 6;
  std::array<std::uint64_t, kCount> asArray() const {
    return {tsSyncLoss, syncByteError, patError, continuityError, pmtError, pidError};
  }
};

/// What a PID carries, as far as the PAT and PMTs say.
enum class PidKind : std::uint8_t { Unknown, Pat, Pmt, Elementary, Null };

/// Counts for one PID.
struct PidCounts {
  std::uint16_t pid = 0;
  PidKind kind = PidKind::Unknown;
  std::uint8_t streamType = 0;  // from the PMT, for elementary streams
  std::uint64_t packets = 0;
  std::uint64_t continuityErrors = 0;
  std::uint64_t transportErrors = 0;
};

/// Everything counted since the analyser was made or reset.
struct StreamTotals {
  std::uint64_t datagrams = 0;
  std::uint64_t bytes = 0;                 // UDP payload bytes
  std::uint64_t packets = 0;               // whole packets analysed
  std::uint64_t nullPackets = 0;
  std::uint64_t transportErrorPackets = 0; // transport_error_indicator set
  std::uint64_t truncatedPackets = 0;      // packet fragments at a datagram's end, dropped
  std::uint64_t skippedBytes = 0;          // bytes passed over to find the sync again
  std::size_t packetSize = 0;              // 188 or 204 once detected, 0 before
  std::size_t lastDatagramPackets = 0;     // packets that ended in the last datagram
  bool syncLost = false;                   // in TS sync loss now
  Priority1 priority1;
};

/// Receives every whole packet the analyser finds (its first 188 bytes), in order.
class PacketSink {
 public:
  virtual ~PacketSink() = default;
  virtual void packet(const std::uint8_t* packet188) = 0;
};

/// Not thread-safe: one thread feeds it, or callers serialise.
///
/// Datagrams are read as a byte stream with the datagram boundaries as hints: a packet
/// cut at the end of a datagram is completed from the next one when that one goes on
/// where it stopped (the QV-Net cut), and dropped as truncated when the next datagram
/// starts a new packet (IPTV). A bad sync byte where the packet grid still holds
/// (a later position of the grid in the same datagram has 0x47) costs that one packet;
/// otherwise the analyser looks for the next 0x47 that is followed by another one a
/// packet later. Sync is lost after two bad sync bytes in a row and regained after
/// five good ones. Timeouts are checked when a datagram arrives, against its time, so
/// a stream that stops freezes the counts instead of turning everything red.
class StreamAnalyser {
 public:
  static constexpr int kSyncLossAfter = 2;
  static constexpr int kSyncRegainAfter = 5;

  explicit StreamAnalyser(AnalyserLimits limits = {});

  /// Analyses one datagram that arrived at `at` (times must not go backwards).
  void feed(std::span<const std::uint8_t> datagram, TimePoint at, PacketSink* sink = nullptr);
  /// Forgets everything, as newly made.
  void reset();

  const StreamTotals& totals() const { return totals_; }
  /// Counts of every PID seen so far, in PID order.
  std::vector<PidCounts> pidTable() const;
  /// Counts of one PID (zero when never seen).
  PidCounts pid(std::uint16_t pid) const;
  /// The elementary-stream PIDs the PMTs name, in PID order.
  std::vector<std::uint16_t> referencedPids() const;

 private:
  struct PidState {
    std::uint64_t packets = 0;
    std::uint64_t continuityErrors = 0;
    std::uint64_t transportErrors = 0;
    TimePoint lastSeen{};
    std::int8_t lastCc = -1;     // -1 before the first packet
    bool duplicateSeen = false;  // the last packet repeated the one before
  };
  // A table or stream that must come back within a limit.
  struct Deadline {
    std::uint16_t pid = 0;
    std::uint8_t streamType = 0;
    TimePoint since{};           // last seen, or when it was first named
    std::uint64_t counted = 0;   // errors already counted for this absence
  };

  void detectPacketSize(std::span<const std::uint8_t> d);
  // The packet size the datagrams are cut by: 188 until one has been detected.
  std::size_t gridSize() const { return totals_.packetSize ? totals_.packetSize : kPacketSize; }
  std::size_t resync(std::span<const std::uint8_t> d, std::size_t badAt);
  void goodSync();
  void badSync(std::uint64_t packets);
  void processPacket(const std::uint8_t* p, TimePoint at, PacketSink* sink);
  void checkContinuity(const PacketView& v, PidState& s);
  void handlePsi(const PacketView& v, TimePoint at);
  void checkDeadlines(TimePoint at);
  std::uint64_t overdue(Deadline& d, TimePoint at, std::chrono::nanoseconds limit) const;

  AnalyserLimits limits_;
  StreamTotals totals_;
  std::vector<PidState> pids_;            // kPidCount entries
  std::vector<std::uint8_t> isPmtPid_;    // kPidCount flags
  bool started_ = false;
  Deadline pat_;
  std::vector<Deadline> pmts_;            // one per PMT PID of the last PAT
  std::vector<Deadline> streams_;         // one per PID the PMTs name
  std::vector<std::uint8_t> carry_;       // start of a packet cut at a datagram's end
  int goodRun_ = 0;
  int badRun_ = 0;
};

}  // namespace vexil::stream
