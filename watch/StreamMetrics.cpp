#include "watch/StreamMetrics.h"

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

#include <mutex>
#include <ostream>

#include "watch/MetricsServer.h"

namespace vexil::watch {

using prometheus::BuildCounter;
using prometheus::BuildGauge;

void StreamMetrics::Follower::follow(std::uint64_t total) {
  const std::uint64_t rise = total >= last ? total - last : total;
  if (rise > 0) counter->Increment(static_cast<double>(rise));
  last = total;
}

StreamMetrics::StreamMetrics(prometheus::Registry& r)
    : indicatorErrors_(BuildCounter()
                           .Name("vexil_stream_indicator_errors_total")
                           .Help("ETSI TR 101 290 indicator occurrences in the checked stream")
                           .Register(r)),
      indicatorApplicable_(BuildGauge()
                               .Name("vexil_stream_indicator_applicable")
                               .Help("1 when the indicator can apply to the stream yet")
                               .Register(r)),
      packets_(BuildCounter()
                   .Name("vexil_stream_packets_total")
                   .Help("Transport-stream packets analysed")
                   .Register(r)),
      up_(BuildGauge()
              .Name("vexil_stream_up")
              .Help("1 while the stream arrives, 0 after more than 0.5 s without data")
              .Register(r)),
      pidPackets_(BuildCounter()
                      .Name("vexil_stream_pid_packets_total")
                      .Help("Packets of each PID")
                      .Register(r)),
      pidContinuity_(BuildCounter()
                         .Name("vexil_stream_pid_continuity_errors_total")
                         .Help("Continuity count errors of each PID")
                         .Register(r)) {
  for (const stream::IndicatorInfo& i : stream::kIndicators) {
    const prometheus::Labels l{{"indicator", std::string(i.key)},
                               {"priority", std::to_string(i.priority)}};
    indicators_[stream::indexOf(i.id)].counter = &indicatorErrors_.Add(l);
    applicable_[stream::indexOf(i.id)] = &indicatorApplicable_.Add(l);
  }
  packetsTotal_.counter = &packets_.Add({});
  upGauge_ = &up_.Add({});
}

void StreamMetrics::update(const stream::StreamSnapshot& s) {
  for (std::size_t i = 0; i < stream::kIndicatorCount; ++i) {
    indicators_[i].follow(s.totals.indicators[i]);
    applicable_[i]->Set(s.totals.applicable[i] ? 1 : 0);
  }
  packetsTotal_.follow(s.totals.packets);
  upGauge_->Set(s.totals.noStream ? 0 : 1);
  for (const stream::PidCounts& p : s.pids) {
    auto [it, made] = pids_.try_emplace(p.pid);
    if (made) {
      const prometheus::Labels l{{"pid", std::to_string(p.pid)}};
      it->second.packets.counter = &pidPackets_.Add(l);
      it->second.continuity.counter = &pidContinuity_.Add(l);
    }
    it->second.packets.follow(p.packets);
    it->second.continuity.follow(p.continuityErrors);
  }
}

int runCheckWithMetrics(const stream::CheckOptions& options, std::ostream& out,
                        std::ostream& err, std::string_view command) {
  if (options.metrics.empty()) return stream::runCheck(options, out, err, command);
  std::string error;
  const auto where = parseMetricsAddress(options.metrics, error);
  MetricsServer server;
  if (!where || !server.start(*where, error)) {
    err << command << ": " << error << "\n";
    return stream::kCheckUsage;
  }
  err << command << ": metrics at http://" << where->address << ":" << server.port()
      << "/metrics\n";
  StreamMetrics metrics(server.registry());
  return stream::runCheck(options, out, err, command,
                          [&](const stream::StreamSnapshot& s) { metrics.update(s); });
}

}  // namespace vexil::watch
