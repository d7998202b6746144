#include "watch/WatchMetrics.h"

#include <limits>

namespace vexil::watch {
namespace {

using prometheus::ClientMetric;
using prometheus::MetricType;
using Labels = std::vector<ClientMetric::Label>;

constexpr double kNotSeen = std::numeric_limits<double>::quiet_NaN();
constexpr double kSecondsPerMs = 1e-3;
constexpr std::array<double, 4> kLinkBitsPerSecond = {0, 1e7, 1e8, 1e9};

struct FamilySpec {
  const char* name;
  const char* help;
  MetricType type;
};

// In the order of WatchMetrics::Family.
constexpr std::array<FamilySpec, WatchMetrics::kFamilyCount> kSpecs = {{
    {"vexil_board_up", "1 when the board answered its last status query, 0 when not", MetricType::Gauge},
    {"vexil_board_poll_duration_seconds", "Time from the status query to its answer, last answered poll",
     MetricType::Gauge},
    {"vexil_board_polls_total", "Status queries sent to the board", MetricType::Counter},
    {"vexil_board_answers_total", "Status queries the board answered in time", MetricType::Counter},
    {"vexil_board_info", "The board's type, version, serial and model (value 1)", MetricType::Gauge},
    {"vexil_board_link_speed_bits_per_second", "The board's Ethernet link speed", MetricType::Gauge},
    {"vexil_board_crc_errors_total", "CRC errors the board counted while watched (16-bit counter increments)",
     MetricType::Counter},
    {"vexil_board_inserted_packets_total",
     "Packets the board inserted while watched (Ins. packet counter increments)", MetricType::Counter},
    {"vexil_board_resets_total", "Board resets seen: a counter that fell far between two polls",
     MetricType::Counter},
    {"vexil_channel_state",
     "Input channel state code: 0 Stopped, 1 Sending TS, 2 Searching MAC, 3 Searching Gateway",
     MetricType::Gauge},
    {"vexil_channel_input_rate_packets_per_second", "The channel's input stream rate", MetricType::Gauge},
    {"vexil_channel_buffer_usage_ratio", "SDRAM buffer usage over its size (may exceed 1)", MetricType::Gauge},
    {"vexil_channel_buffer_size_packets", "SDRAM buffer size", MetricType::Gauge},
    {"vexil_channel_overflow_led", "1 while the channel's overflow LED is on", MetricType::Gauge},
    {"vexil_channel_overflow_since_reset", "1 when the channel overflowed since the board's reset",
     MetricType::Gauge},
    {"vexil_watch_alarm_active", "1 while the watch's alarm is active", MetricType::Gauge},
    {"vexil_watch_alarms_total", "Times the watch's alarm started", MetricType::Counter},
}};

constexpr std::array<WatchMetrics::Family, 5> kExtensionFamilies = {
    WatchMetrics::InputRate, WatchMetrics::UsageRatio, WatchMetrics::SizePackets,
    WatchMetrics::OverflowLed, WatchMetrics::OverflowSinceReset};

double flag(bool b) { return b ? 1.0 : 0.0; }

}  // namespace

double linkBitsPerSecond(std::uint8_t code) {
  return code < kLinkBitsPerSecond.size() ? kLinkBitsPerSecond[code] : kNotSeen;
}

WatchMetrics::WatchMetrics() : families_(kFamilyCount) {
  for (std::size_t f = 0; f < kFamilyCount; ++f) {
    families_[f].name = kSpecs[f].name;
    families_[f].help = kSpecs[f].help;
    families_[f].type = kSpecs[f].type;
  }
}

std::vector<prometheus::MetricFamily> WatchMetrics::Collect() const {
  std::lock_guard guard(lock_);
  std::vector<prometheus::MetricFamily> served;
  served.reserve(families_.size());
  // A family with no series yet is left out: nothing seen, nothing shown.
  for (const prometheus::MetricFamily& f : families_)
    if (!f.metric.empty()) served.push_back(f);
  return served;
}

std::size_t WatchMetrics::add(Family f, Labels labels) {
  ClientMetric m;
  m.label = std::move(labels);
  families_[f].metric.push_back(std::move(m));
  return families_[f].metric.size() - 1;
}

void WatchMetrics::setGauge(Family f, std::size_t index, double value) {
  if (index != kNone) at(f, index).gauge.value = value;
}

void WatchMetrics::show(BoardSeries& series, const PollSample& s) {
  auto& b = series.board;
  const Labels board{{"board", s.board}};
  if (b[Up] == kNone) {
    for (Family f : {Up, PollDuration, Polls, Answers, Crc, Ins, Resets}) b[f] = add(f, board);
    setGauge(PollDuration, b[PollDuration], kNotSeen);
  }
  at(Polls, b[Polls]).counter.value += 1;
  setGauge(Up, b[Up], flag(s.answered));
  if (!s.answered) {
    // Not seen this poll: the gauges say so instead of repeating old values.
    setGauge(PollDuration, b[PollDuration], kNotSeen);
    setGauge(Link, b[Link], kNotSeen);
    for (Family f : {State, InputRate, UsageRatio, SizePackets, OverflowLed, OverflowSinceReset})
      for (std::size_t index : series.channel[f]) setGauge(f, index, kNotSeen);
    return;
  }
  const status::StatusRecord& r = *s.record;
  at(Answers, b[Answers]).counter.value += 1;
  setGauge(PollDuration, b[PollDuration], s.answerMs * kSecondsPerMs);
  at(Crc, b[Crc]).counter.value += static_cast<double>(s.crcIncrement);
  at(Ins, b[Ins]).counter.value += static_cast<double>(s.insIncrement);
  if (s.counterReset) at(Resets, b[Resets]).counter.value += 1;

  const std::string model = r.model.known() ? std::string(r.model.name) : std::to_string(r.model.code);
  const std::string infoKey = std::to_string(r.type) + "/" + r.version + "/" +
                              std::to_string(r.serial) + "/" + model;
  if (infoKey != series.infoKey) {
    Labels info{{"board", s.board},
                {"model", model},
                {"serial", std::to_string(r.serial)},
                {"type", std::to_string(r.type)},
                {"version", r.version}};
    if (b[Info] == kNone) {
      b[Info] = add(Info, std::move(info));
    } else {
      at(Info, b[Info]).label = std::move(info);  // the board changed: one info series
    }
    setGauge(Info, b[Info], 1);
    series.infoKey = infoKey;
  }

  if (b[Link] == kNone) {
    b[Link] = add(Link, board);
    for (std::size_t n = 0; n < status::kChannelCount; ++n)
      series.channel[State][n] = add(State, {{"board", s.board}, {"channel", std::to_string(n + 1)}});
  }
  if (r.extension && series.channel[InputRate][0] == kNone) {
    for (Family f : kExtensionFamilies)
      for (std::size_t n = 0; n < status::kChannelCount; ++n)
        series.channel[f][n] = add(f, {{"board", s.board}, {"channel", std::to_string(n + 1)}});
  }
  setGauge(Link, b[Link], linkBitsPerSecond(r.linkSpeed.code));
  for (std::size_t n = 0; n < status::kChannelCount; ++n) {
    const ChannelSample& c = s.channels[n];
    setGauge(State, series.channel[State][n], c.state.code);
    const bool seen = c.hasExtension;  // a board that lost its extension shows nothing
    setGauge(InputRate, series.channel[InputRate][n], seen ? c.inputRatePacketsPerSecond : kNotSeen);
    setGauge(UsageRatio, series.channel[UsageRatio][n], seen ? c.usageRatio : kNotSeen);
    setGauge(SizePackets, series.channel[SizePackets][n], seen ? c.sdramSizePackets : kNotSeen);
    setGauge(OverflowLed, series.channel[OverflowLed][n], seen ? flag(c.overflowLed) : kNotSeen);
    setGauge(OverflowSinceReset, series.channel[OverflowSinceReset][n],
             seen ? flag(c.overflowSinceReset) : kNotSeen);
  }
}

void WatchMetrics::showAlarm(const AlarmEvent& e) {
  auto [it, made] = alarms_.try_emplace({e.board, e.kind, e.channel});
  if (made) {
    Labels l{{"alarm", std::string(alarmName(e.kind))}, {"board", e.board}};
    if (e.channel > 0) l.push_back({"channel", std::to_string(e.channel)});
    it->second = {add(AlarmActive, l), add(AlarmsStarted, l)};
  }
  setGauge(AlarmActive, it->second.first, flag(e.active));
  if (e.active) at(AlarmsStarted, it->second.second).counter.value += 1;
}

void WatchMetrics::update(const WatchRound& round) {
  std::lock_guard guard(lock_);
  for (const PollSample& s : round.samples) show(boards_[s.board], s);
  for (const AlarmEvent& e : round.events) showAlarm(e);
}

}  // namespace vexil::watch
