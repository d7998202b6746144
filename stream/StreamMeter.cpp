#include "stream/StreamMeter.h"

namespace vexil::stream {
namespace {
constexpr double kBitsPerByte = 8;
}

StreamMeter::StreamMeter(std::chrono::seconds history, std::chrono::seconds hold)
    : historyLength_(history), hold_(hold) {}

void StreamMeter::reset() {
  samples_.clear();
  history_.clear();
  rates_ = {};
}

void StreamMeter::sample(const StreamTotals& totals, TimePoint at) {
  if (!samples_.empty()) {
    const Sample& last = samples_.back();
    const double seconds = std::chrono::duration<double>(at - last.at).count();
    if (seconds > 0) {
      const auto packets = static_cast<double>(totals.packets - last.totals.packets);
      const auto datagrams = static_cast<double>(totals.datagrams - last.totals.datagrams);
      const auto nulls = static_cast<double>(totals.nullPackets - last.totals.nullPackets);
      rates_.datagramsPerSecond = datagrams / seconds;
      rates_.packetsPerSecond = packets / seconds;
      rates_.bitsPerSecond = packets * kPacketSize * kBitsPerByte / seconds;
      rates_.packetsPerDatagram = datagrams > 0 ? packets / datagrams : 0;
      rates_.nullShare = packets > 0 ? nulls / packets : 0;
      history_.push_back({at, rates_.bitsPerSecond});
    }
  }
  samples_.push_back({at, totals});
  // Keep one sample at least `hold` old, to compare the counts with.
  while (samples_.size() > 2 && at - samples_[1].at >= hold_) samples_.pop_front();
  while (!history_.empty() && at - history_.front().at >= historyLength_) history_.pop_front();
}

IndicatorFlags StreamMeter::red() const {
  IndicatorFlags out{};
  if (samples_.empty()) return out;
  const StreamTotals& last = samples_.back().totals;
  const IndicatorCounts& now = last.indicators;
  const IndicatorCounts& then = samples_.front().totals.indicators;
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = now[i] > then[i] || (samples_.size() == 1 && now[i] > 0);
  out[indexOf(Indicator::TsSyncLoss)] = out[indexOf(Indicator::TsSyncLoss)] || last.syncLost;
  out[indexOf(Indicator::PatError)] = out[indexOf(Indicator::PatError)] || last.noStream;
  return out;
}

}  // namespace vexil::stream
