#include "watch/WatchMetrics.h"

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

#include <limits>

namespace vexil::watch {
namespace {

using prometheus::BuildCounter;
using prometheus::BuildGauge;
using prometheus::Labels;

constexpr double kNotSeen = std::numeric_limits<double>::quiet_NaN();
constexpr double kSecondsPerMs = 1e-3;
constexpr std::array<double, 4> kLinkBitsPerSecond = {0, 1e7, 1e8, 1e9};

prometheus::Family<prometheus::Gauge>& gauge(prometheus::Registry& r, const char* name,
                                             const char* help) {
  return BuildGauge().Name(name).Help(help).Register(r);
}
prometheus::Family<prometheus::Counter>& counter(prometheus::Registry& r, const char* name,
                                                 const char* help) {
  return BuildCounter().Name(name).Help(help).Register(r);
}

double flag(bool b) { return b ? 1.0 : 0.0; }

}  // namespace

double linkBitsPerSecond(std::uint8_t code) {
  return code < kLinkBitsPerSecond.size() ? kLinkBitsPerSecond[code] : kNotSeen;
}

WatchMetrics::WatchMetrics(prometheus::Registry& r)
    : up_(gauge(r, "vexil_board_up", "1 when the board answered its last status query, 0 when not")),
      pollDuration_(gauge(r, "vexil_board_poll_duration_seconds",
                          "Time from the status query to its answer, last answered poll")),
      polls_(counter(r, "vexil_board_polls_total", "Status queries sent to the board")),
      answers_(counter(r, "vexil_board_answers_total", "Status queries the board answered in time")),
      info_(gauge(r, "vexil_board_info", "The board's type, version, serial and model (value 1)")),
      link_(gauge(r, "vexil_board_link_speed_bits_per_second", "The board's Ethernet link speed")),
      crc_(counter(r, "vexil_board_crc_errors_total",
                   "CRC errors the board counted while watched (16-bit counter increments)")),
      ins_(counter(r, "vexil_board_inserted_packets_total",
                   "Packets the board inserted while watched (Ins. packet counter increments)")),
      resets_(counter(r, "vexil_board_resets_total",
                      "Board resets seen: a counter that fell far between two polls")),
      state_(gauge(r, "vexil_channel_state",
                   "Input channel state code: 0 Stopped, 1 Sending TS, 2 Searching MAC, 3 Searching Gateway")),
      inputRate_(gauge(r, "vexil_channel_input_rate_packets_per_second",
                       "The channel's input stream rate")),
      usageRatio_(gauge(r, "vexil_channel_buffer_usage_ratio",
                        "SDRAM buffer usage over its size (may exceed 1)")),
      sizePackets_(gauge(r, "vexil_channel_buffer_size_packets", "SDRAM buffer size")),
      overflowLed_(gauge(r, "vexil_channel_overflow_led", "1 while the channel's overflow LED is on")),
      overflowSinceReset_(gauge(r, "vexil_channel_overflow_since_reset",
                                "1 when the channel overflowed since the board's reset")),
      alarmActive_(gauge(r, "vexil_watch_alarm_active", "1 while the watch's alarm is active")),
      alarmsStarted_(counter(r, "vexil_watch_alarms_total", "Times the watch's alarm started")) {}

WatchMetrics::BoardMetrics& WatchMetrics::board(const std::string& label) {
  auto [it, made] = boards_.try_emplace(label);
  BoardMetrics& m = it->second;
  if (made) {
    const Labels l{{"board", label}};
    m.up = &up_.Add(l);
    m.pollDuration = &pollDuration_.Add(l);
    m.polls = &polls_.Add(l);
    m.answers = &answers_.Add(l);
    m.crc = &crc_.Add(l);
    m.ins = &ins_.Add(l);
    m.resets = &resets_.Add(l);
    m.pollDuration->Set(kNotSeen);
  }
  return m;
}

void WatchMetrics::makeChannels(BoardMetrics& m, const std::string& label, bool extension) {
  if (!m.channelsMade) {
    m.link = &link_.Add({{"board", label}});
    for (std::size_t n = 0; n < status::kChannelCount; ++n) {
      m.channels[n].state = &state_.Add({{"board", label}, {"channel", std::to_string(n + 1)}});
    }
    m.channelsMade = true;
  }
  if (extension && !m.extensionMade) {
    for (std::size_t n = 0; n < status::kChannelCount; ++n) {
      const Labels l{{"board", label}, {"channel", std::to_string(n + 1)}};
      ChannelMetrics& c = m.channels[n];
      c.inputRate = &inputRate_.Add(l);
      c.usageRatio = &usageRatio_.Add(l);
      c.sizePackets = &sizePackets_.Add(l);
      c.overflowLed = &overflowLed_.Add(l);
      c.overflowSinceReset = &overflowSinceReset_.Add(l);
    }
    m.extensionMade = true;
  }
}

void WatchMetrics::show(BoardMetrics& m, const PollSample& s) {
  m.polls->Increment();
  m.up->Set(flag(s.answered));
  if (!s.answered) {
    // Not seen this poll: the gauges say so instead of repeating old values.
    m.pollDuration->Set(kNotSeen);
    if (m.link) m.link->Set(kNotSeen);
    for (ChannelMetrics& c : m.channels) {
      for (prometheus::Gauge* g : {c.state, c.inputRate, c.usageRatio, c.sizePackets,
                                   c.overflowLed, c.overflowSinceReset}) {
        if (g) g->Set(kNotSeen);
      }
    }
    return;
  }
  const status::StatusRecord& r = *s.record;
  m.answers->Increment();
  m.pollDuration->Set(s.answerMs * kSecondsPerMs);
  m.crc->Increment(static_cast<double>(s.crcIncrement));
  m.ins->Increment(static_cast<double>(s.insIncrement));
  if (s.counterReset) m.resets->Increment();

  const std::string infoKey = std::to_string(r.type) + "/" + r.version + "/" +
                              std::to_string(r.serial) + "/" + std::to_string(r.model.code);
  if (infoKey != m.infoKey) {
    if (m.info) info_.Remove(m.info);
    const std::string model = r.model.known() ? std::string(r.model.name) : std::to_string(r.model.code);
    m.info = &info_.Add({{"board", s.board},
                         {"type", std::to_string(r.type)},
                         {"version", r.version},
                         {"serial", std::to_string(r.serial)},
                         {"model", model}});
    m.info->Set(1);
    m.infoKey = infoKey;
  }

  const bool extension = r.extension.has_value();
  makeChannels(m, s.board, extension);
  m.link->Set(linkBitsPerSecond(r.linkSpeed.code));
  for (std::size_t n = 0; n < status::kChannelCount; ++n) {
    const ChannelSample& c = s.channels[n];
    ChannelMetrics& g = m.channels[n];
    g.state->Set(c.state.code);
    if (!g.inputRate) continue;
    const bool seen = c.hasExtension;  // a board that lost its extension shows nothing
    g.inputRate->Set(seen ? c.inputRatePacketsPerSecond : kNotSeen);
    g.usageRatio->Set(seen ? c.usageRatio : kNotSeen);
    g.sizePackets->Set(seen ? c.sdramSizePackets : kNotSeen);
    g.overflowLed->Set(seen ? flag(c.overflowLed) : kNotSeen);
    g.overflowSinceReset->Set(seen ? flag(c.overflowSinceReset) : kNotSeen);
  }
}

void WatchMetrics::showAlarm(const AlarmEvent& e) {
  Labels l{{"board", e.board}, {"alarm", std::string(alarmName(e.kind))}};
  if (e.channel > 0) l.emplace("channel", std::to_string(e.channel));
  alarmActive_.Add(l).Set(flag(e.active));
  if (e.active) alarmsStarted_.Add(l).Increment();
}

void WatchMetrics::update(const WatchRound& round) {
  for (const PollSample& s : round.samples) show(board(s.board), s);
  for (const AlarmEvent& e : round.events) showAlarm(e);
}

}  // namespace vexil::watch
