// The board watch's figures as Prometheus metrics (names in README.md and vexilctl.1):
// per board up, poll duration, link speed, counters of polls, answers, CRC and inserted
// packet increments and resets, an info metric naming the board; per channel state,
// input rate, buffer usage and overflow flags; the alarms. A board that did not answer
// shows NaN in its gauges, never the last values as if they were fresh.
//
// The families are kept ready between rounds and only their values change, so a
// scrape copies them under a lock instead of assembling thousands of series anew: a
// rack of 256 boards is some 8,000 series.
#pragma once

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include <array>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <unordered_map>

#include "watch/BoardWatch.h"

namespace vexil::watch {

class WatchMetrics final : public prometheus::Collectable {
 public:
  WatchMetrics();
  /// Takes one round's samples and alarms; the watching thread.
  void update(const WatchRound& round);
  /// The metrics as they stand; any thread (the metrics server's).
  std::vector<prometheus::MetricFamily> Collect() const override;

  /// The families, in the order they are served.
  enum Family : std::size_t {
    Up, PollDuration, Polls, Answers, Info, Link, Crc, Ins, Resets, State, InputRate,
    UsageRatio, SizePackets, OverflowLed, OverflowSinceReset, AlarmActive, AlarmsStarted,
    kFamilyCount
  };

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  struct BoardSeries {
    std::array<std::size_t, kFamilyCount> board;  // board-wide series by family
    std::array<std::array<std::size_t, status::kChannelCount>, kFamilyCount> channel;
    std::string infoKey;
    BoardSeries() {
      board.fill(kNone);
      for (auto& c : channel) c.fill(kNone);
    }
  };
  std::size_t add(Family f, std::vector<prometheus::ClientMetric::Label> labels);
  prometheus::ClientMetric& at(Family f, std::size_t index) { return families_[f].metric[index]; }
  void setGauge(Family f, std::size_t index, double value);
  void show(BoardSeries& series, const PollSample& s);
  void showAlarm(const AlarmEvent& e);

  mutable std::mutex lock_;  // guards families_ and the indexes below
  std::vector<prometheus::MetricFamily> families_;
  std::unordered_map<std::string, BoardSeries> boards_;
  std::map<std::tuple<std::string, AlarmKind, int>, std::pair<std::size_t, std::size_t>> alarms_;
};

/// The link speed code's rate in bits per second: 0, 1e7, 1e8, 1e9 (NaN for others).
double linkBitsPerSecond(std::uint8_t code);

}  // namespace vexil::watch
