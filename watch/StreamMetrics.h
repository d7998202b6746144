// The stream check's figures as Prometheus metrics: each TR 101 290 indicator's count
// and whether it can apply yet, the packets, and per PID its packets and continuity
// errors. Counters follow the analyser's totals; a reset of the analyser (Listen, Reset)
// starts them afresh, as Prometheus expects of a counter that falls.
#pragma once

#include <array>
#include <cstdint>
#include <map>

#include "stream/Indicators.h"
#include "stream/StreamCheck.h"
#include "stream/StreamReport.h"

namespace prometheus {
class Registry;
class Gauge;
class Counter;
template <typename T>
class Family;
}  // namespace prometheus

namespace vexil::watch {

class StreamMetrics {
 public:
  explicit StreamMetrics(prometheus::Registry& registry);
  /// Takes a snapshot of the analyser; one thread at a time.
  void update(const stream::StreamSnapshot& snapshot);

 private:
  // A counter that follows a total: it rises by the difference, and when the total falls
  // (the analyser was reset) it rises by the new total, as counting started again.
  struct Follower {
    prometheus::Counter* counter = nullptr;
    std::uint64_t last = 0;
    void follow(std::uint64_t total);
  };
  struct PidMetrics {
    Follower packets;
    Follower continuity;
  };
  prometheus::Family<prometheus::Counter>& indicatorErrors_;
  prometheus::Family<prometheus::Gauge>& indicatorApplicable_;
  prometheus::Family<prometheus::Counter>& packets_;
  prometheus::Family<prometheus::Gauge>& up_;
  prometheus::Family<prometheus::Counter>& pidPackets_;
  prometheus::Family<prometheus::Counter>& pidContinuity_;
  std::array<Follower, stream::kIndicatorCount> indicators_{};
  std::array<prometheus::Gauge*, stream::kIndicatorCount> applicable_{};
  Follower packetsTotal_;
  prometheus::Gauge* upGauge_ = nullptr;
  std::map<std::uint16_t, PidMetrics> pids_;
};

/// The stream check with its --metrics served, when given: what vexilctl stream-check
/// and vexil-stream-check run. A --metrics value that is not [ADDR:]PORT, or that cannot
/// be bound, is a usage error (2).
int runCheckWithMetrics(const stream::CheckOptions& options, std::ostream& out,
                        std::ostream& err, std::string_view command);

}  // namespace vexil::watch
