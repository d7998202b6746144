// Rates, the bit-rate history and the red/green state of the indicators, worked out
// from the analyser's totals sampled now and then. No Qt; the caller owns the clock.
#pragma once

#include <array>
#include <chrono>
#include <deque>

#include "stream/StreamAnalyser.h"

namespace vexil::stream {

/// Per-second figures between two samples.
struct StreamRates {
  double datagramsPerSecond = 0;
  double packetsPerSecond = 0;
  double bitsPerSecond = 0;        // transport-stream rate: packets x 188 x 8
  double packetsPerDatagram = 0;   // average over the interval
  double nullShare = 0;            // null packets / packets, 0..1, over the interval
};

/// One point of the bit-rate plot.
struct RatePoint {
  TimePoint at{};
  double bitsPerSecond = 0;
};

/// Keeps the samples of the last `history` (for the plot) and answers, for each
/// indicator, whether its count grew within the last `hold` (red) or not. Not
/// thread-safe.
class StreamMeter {
 public:
  explicit StreamMeter(std::chrono::seconds history = std::chrono::minutes(5),
                       std::chrono::seconds hold = std::chrono::seconds(10));

  /// Takes the totals as they are at `at`; call about once a second.
  void sample(const StreamTotals& totals, TimePoint at);
  void reset();

  /// Figures between the last two samples (zero before the second).
  const StreamRates& rates() const { return rates_; }
  const std::deque<RatePoint>& history() const { return history_; }
  /// Per indicator, in the order of Indicator: true when red (TS sync loss also while
  /// the sync is lost, PAT error also while no stream arrives).
  IndicatorFlags red() const;

 private:
  struct Sample {
    TimePoint at{};
    StreamTotals totals;
  };
  std::chrono::seconds historyLength_;
  std::chrono::seconds hold_;
  std::deque<Sample> samples_;      // the last `hold` of samples
  std::deque<RatePoint> history_;
  StreamRates rates_;
};

}  // namespace vexil::stream
