// The board watch's figures as Prometheus metrics (names in README.md and vexilctl.1):
// per board up, poll duration, link speed, counters of polls, answers, CRC and inserted
// packet increments and resets, an info metric naming the board; per channel state,
// input rate, buffer usage and overflow flags; the alarms. A board that did not answer
// shows NaN in its gauges, never the last values as if they were fresh.
#pragma once

#include <array>
#include <map>
#include <string>
#include <unordered_map>

#include "watch/BoardWatch.h"

namespace prometheus {
class Registry;
class Gauge;
class Counter;
template <typename T>
class Family;
}  // namespace prometheus

namespace vexil::watch {

class WatchMetrics {
 public:
  explicit WatchMetrics(prometheus::Registry& registry);
  /// Takes one round's samples and alarms; the watching thread only.
  void update(const WatchRound& round);

 private:
  struct ChannelMetrics {
    prometheus::Gauge* state = nullptr;
    prometheus::Gauge* inputRate = nullptr;
    prometheus::Gauge* usageRatio = nullptr;
    prometheus::Gauge* sizePackets = nullptr;
    prometheus::Gauge* overflowLed = nullptr;
    prometheus::Gauge* overflowSinceReset = nullptr;
  };
  struct BoardMetrics {
    prometheus::Gauge* up = nullptr;
    prometheus::Gauge* pollDuration = nullptr;
    prometheus::Counter* polls = nullptr;
    prometheus::Counter* answers = nullptr;
    prometheus::Gauge* link = nullptr;
    prometheus::Counter* crc = nullptr;
    prometheus::Counter* ins = nullptr;
    prometheus::Counter* resets = nullptr;
    prometheus::Gauge* info = nullptr;
    std::string infoKey;  // type, version, serial and model the info metric names now
    std::array<ChannelMetrics, status::kChannelCount> channels{};
    bool channelsMade = false;
    bool extensionMade = false;
  };
  BoardMetrics& board(const std::string& label);
  void makeChannels(BoardMetrics& m, const std::string& label, bool extension);
  void show(BoardMetrics& m, const PollSample& s);
  void showAlarm(const AlarmEvent& e);

  prometheus::Family<prometheus::Gauge>& up_;
  prometheus::Family<prometheus::Gauge>& pollDuration_;
  prometheus::Family<prometheus::Counter>& polls_;
  prometheus::Family<prometheus::Counter>& answers_;
  prometheus::Family<prometheus::Gauge>& info_;
  prometheus::Family<prometheus::Gauge>& link_;
  prometheus::Family<prometheus::Counter>& crc_;
  prometheus::Family<prometheus::Counter>& ins_;
  prometheus::Family<prometheus::Counter>& resets_;
  prometheus::Family<prometheus::Gauge>& state_;
  prometheus::Family<prometheus::Gauge>& inputRate_;
  prometheus::Family<prometheus::Gauge>& usageRatio_;
  prometheus::Family<prometheus::Gauge>& sizePackets_;
  prometheus::Family<prometheus::Gauge>& overflowLed_;
  prometheus::Family<prometheus::Gauge>& overflowSinceReset_;
  prometheus::Family<prometheus::Gauge>& alarmActive_;
  prometheus::Family<prometheus::Counter>& alarmsStarted_;
  std::unordered_map<std::string, BoardMetrics> boards_;
};

/// The link speed code's rate in bits per second: 0, 1e7, 1e8, 1e9.
double linkBitsPerSecond(std::uint8_t code);

}  // namespace vexil::watch
