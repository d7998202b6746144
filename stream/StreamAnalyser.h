// The counting core of the stream check: finds transport-stream packets in UDP
// datagrams or in a file, and keeps the ETSI TR 101 290 first- and second-priority
// counts. It only assembles parts with one job each (framing, continuity, sections,
// tables, clocks). No sockets, no clock of its own, no Qt.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "stream/Indicators.h"
#include "stream/TsPacket.h"

namespace vexil::stream {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

/// How long the tables, streams and clocks may stay away, and how far a PCR may be off.
struct AnalyserLimits {
  std::chrono::nanoseconds psiInterval = std::chrono::milliseconds(500);  // PAT and each PMT
  std::chrono::nanoseconds pidTimeout = std::chrono::seconds(5);          // each PID a PMT names
  std::chrono::nanoseconds pcrInterval = std::chrono::milliseconds(40);   // PCRs of a PCR PID
  std::chrono::nanoseconds pcrJump = std::chrono::milliseconds(100);      // PCR step, unannounced
  std::chrono::nanoseconds pcrAccuracy = std::chrono::nanoseconds(500);   // PCR against the rate
  std::chrono::nanoseconds ptsInterval = std::chrono::milliseconds(700);  // PTSs of a PID
};

/// What a PID carries, as far as the PAT, CAT and PMTs say.
enum class PidKind : std::uint8_t { Unknown, Pat, Cat, Pmt, Elementary, Null };

/// Counts for one PID.
struct PidCounts {
  std::uint16_t pid = 0;
  PidKind kind = PidKind::Unknown;
  std::uint8_t streamType = 0;  // from the PMT, for elementary streams
  std::uint64_t packets = 0;
  std::uint64_t continuityErrors = 0;
  std::uint64_t transportErrors = 0;
  std::uint64_t scrambledPackets = 0;
  bool carriesPcr = false;
  bool carriesPts = false;
};

/// Everything counted since the analyser was made, reset or started.
struct StreamTotals {
  std::uint64_t datagrams = 0;
  std::uint64_t bytes = 0;                  // bytes fed (UDP payload, or file bytes)
  std::uint64_t packets = 0;                // whole packets analysed
  std::uint64_t nullPackets = 0;
  std::uint64_t transportErrorPackets = 0;  // transport_error_indicator set
  std::uint64_t scrambledPackets = 0;       // transport_scrambling_control not 00
  std::uint64_t truncatedPackets = 0;       // packet fragments at a datagram's end, dropped
  std::uint64_t skippedBytes = 0;           // bytes passed over to find the sync again
  std::size_t packetSize = 0;               // 188 or 204 once detected, 0 before
  std::size_t lastDatagramPackets = 0;      // packets that ended in the last datagram
  bool syncLost = false;                    // in TS sync loss now
  bool noStream = true;                     // nothing arrived for longer than the PAT interval
  IndicatorCounts indicators{};             // occurrences of each indicator
  IndicatorFlags applicable{};              // whether each indicator can apply yet
  std::array<std::optional<TimePoint>, kIndicatorCount> lastFired{};
  std::optional<TimePoint> lastDatagramAt;  // when data last arrived

  std::uint64_t count(Indicator i) const { return indicators[indexOf(i)]; }
  bool isApplicable(Indicator i) const { return applicable[indexOf(i)]; }
};

/// Receives every whole packet the analyser finds (its first 188 bytes), in order.
class PacketSink {
 public:
  virtual ~PacketSink() = default;
  virtual void packet(const std::uint8_t* packet188) = 0;
};

class AnalyserParts;

/// Not thread-safe: one thread feeds it, or callers serialise.
///
/// Live, every datagram carries the time it arrived and every packet in it takes that
/// time. From a file, `setByteClock` makes a packet's time its byte position divided by
/// the stream's bit rate. Deadlines (PAT, PMT, PID, PCR, PTS) are checked against the
/// time of each packet and, during silence, the PAT's against the time `advance` is
/// given, so a stream that stops turns the PAT error red instead of freezing the
/// counts. After a silence longer than the PAT interval ("No stream") the other
/// deadlines start again when data comes back: a stop is one fault, not one per table.
class StreamAnalyser {
 public:
  explicit StreamAnalyser(AnalyserLimits limits = {});
  ~StreamAnalyser();
  StreamAnalyser(const StreamAnalyser&) = delete;
  StreamAnalyser& operator=(const StreamAnalyser&) = delete;

  /// Forgets everything and arms every deadline from `at`: listening starts now.
  void start(TimePoint at);
  /// Analyses one datagram (or file chunk) that arrived at `at`; times never go back.
  /// The first feed without start() starts at `at`.
  void feed(std::span<const std::uint8_t> datagram, TimePoint at, PacketSink* sink = nullptr);
  /// No data, but time has passed: checks every deadline against `now`.
  void advance(TimePoint now);
  /// Forgets everything, as newly made (not started).
  void reset();

  /// From now on a packet's time is `origin` plus its byte position in the fed stream
  /// times 8 divided by `bitsPerSecond` (file analysis). 0 returns to datagram times.
  void setByteClock(double bitsPerSecond, TimePoint origin = TimePoint{});
  /// What is fed next starts on a packet of `packetSize` (188 or 204): a file whose
  /// grid has been found. After start().
  void presetPacketGrid(std::size_t packetSize);

  const StreamTotals& totals() const { return totals_; }
  const AnalyserLimits& limits() const { return limits_; }
  /// Counts of every PID seen so far, in PID order.
  std::vector<PidCounts> pidTable() const;
  /// Counts of one PID (zero when never seen).
  PidCounts pid(std::uint16_t pid) const;
  /// The elementary-stream PIDs the current PMTs name, in PID order.
  std::vector<std::uint16_t> referencedPids() const;
  /// The PMT PIDs of the current PAT, in PID order.
  std::vector<std::uint16_t> pmtPids() const;

 private:
  friend class AnalyserParts;
  void fire(Indicator i, TimePoint at, std::uint64_t times = 1);
  void processPacket(const std::uint8_t* p, std::uint64_t offset, bool lasting, TimePoint datagramTime,
                     PacketSink* sink);
  void checkDeadlines(TimePoint at);
  void updateApplicable();
  // The time of the packet at byte `offset`: its datagram's, or the byte clock's.
  TimePoint timeOf(std::uint64_t offset, TimePoint datagramTime) const;

  AnalyserLimits limits_;
  StreamTotals totals_;
  std::unique_ptr<AnalyserParts> parts_;
  bool started_ = false;
  double byteClockBps_ = 0;
  double nsPerByte_ = 0;
  TimePoint byteClockOrigin_{};
  TimePoint lastCheck_{};
};

}  // namespace vexil::stream
