#include "watch/BoardTracker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "portable/Files.h"

namespace vexil::watch {
namespace {

constexpr double kPercent = 100.0;
constexpr std::array<std::string_view, kAlarmKindCount> kAlarmNames = {
    "silent", "crc", "overflow", "buffer", "channel_state", "link", "input_rate"};

std::string fixed1(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string enumDetail(const status::EnumField& f) {
  return f.known() ? std::string(f.name) + " (" + std::to_string(f.code) + ")"
                   : "code " + std::to_string(f.code);
}

}  // namespace

std::string_view alarmName(AlarmKind kind) { return kAlarmNames[static_cast<std::size_t>(kind)]; }

bool isChannelAlarm(AlarmKind kind) {
  return kind == AlarmKind::Overflow || kind == AlarmKind::Buffer ||
         kind == AlarmKind::ChannelState || kind == AlarmKind::InputRate;
}

std::string isoTime(WallClock::time_point time) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(
      std::chrono::floor<std::chrono::seconds>(ms).count());
  std::tm utc{};
  fs::utcTime(seconds, utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms.count() - std::chrono::floor<std::chrono::seconds>(ms).count() * 1000));
  return text;
}

std::string alarmLine(const AlarmEvent& e) {
  std::string line = isoTime(e.time) + " " + e.board;
  if (e.channel > 0) line += " channel " + std::to_string(e.channel);
  line += " " + std::string(alarmName(e.kind)) + (e.active ? " started" : " cleared");
  if (!e.detail.empty()) line += ": " + e.detail;
  return line;
}

BoardTracker::BoardTracker(std::string board, AlarmSettings alarms)
    : board_(std::move(board)), alarms_(alarms) {
  summary_.board = board_;
}

bool BoardTracker::isActive(AlarmKind kind, int channel) const {
  const auto it = active_.find({kind, channel});
  return it != active_.end() && it->second;
}

std::vector<std::pair<AlarmKind, int>> BoardTracker::activeAlarms() const {
  std::vector<std::pair<AlarmKind, int>> list;
  for (const auto& [key, on] : active_)
    if (on) list.push_back(key);
  return list;
}

void BoardTracker::judge(AlarmKind kind, int channel, bool on, std::string detail,
                         WallClock::time_point time, std::vector<AlarmEvent>& events) {
  bool& active = active_[{kind, channel}];
  if (active == on) return;
  active = on;
  if (on) ++summary_.alarms;
  events.push_back({time, board_, kind, channel, on, std::move(detail)});
}

PollSample BoardTracker::observe(const PollOutcome& outcome, std::vector<AlarmEvent>& events) {
  PollSample s;
  s.time = outcome.time;
  s.board = board_;
  s.poll = ++polls_;
  ++summary_.polls;
  ++pollsSinceAnswer_;
  if (!outcome.answerMs || !outcome.record) {
    ++missed_;
    if (alarms_.silentPolls > 0 && missed_ >= alarms_.silentPolls) {
      judge(AlarmKind::Silent, 0, true,
            "no answer to " + std::to_string(missed_) + " polls in a row", s.time, events);
    }
    return s;
  }
  const status::StatusRecord& r = *outcome.record;
  s.answered = true;
  s.answerMs = *outcome.answerMs;
  s.record = r;
  ++summary_.answered;
  summary_.worstAnswerMs = std::max(summary_.worstAnswerMs, s.answerMs);
  if (isActive(AlarmKind::Silent)) {
    judge(AlarmKind::Silent, 0, false, "answered after " + std::to_string(missed_) + " silent polls",
          s.time, events);
  }
  missed_ = 0;

  s.crcCounter = r.crcErrorCounter;
  s.insCounter = r.insPacketCounter;
  const CounterStep crc = crc_.next(r.crcErrorCounter, pollsSinceAnswer_);
  const CounterStep ins = ins_.next(r.insPacketCounter, pollsSinceAnswer_);
  pollsSinceAnswer_ = 0;
  s.crcIncrement = crc.increment;
  s.insIncrement = ins.increment;
  s.counterReset = crc.reset || ins.reset;
  summary_.crcIncrements += crc.increment;
  summary_.insIncrements += ins.increment;
  if (s.counterReset) ++summary_.resets;

  for (std::size_t n = 0; n < status::kChannelCount; ++n) {
    ChannelSample& c = s.channels[n];
    c.state = r.inputs[n].state;
    if (r.extension) {
      const status::ExtensionChannel& x = r.extension->channels[n];
      c.hasExtension = true;
      c.inputRatePacketsPerSecond = x.inputRatePacketsPerSecond;
      c.sdramUsagePackets = x.sdramUsagePackets;
      c.sdramSizePackets = x.sdramSizePackets;
      c.usageRatio = x.usageRatio();
      c.overflowLed = x.overflowLed;
      c.overflowSinceReset = x.overflowSinceReset;
      summary_.worstUsageRatio = std::max(summary_.worstUsageRatio.value_or(0.0), c.usageRatio);
    }
  }

  if (alarms_.crcIncrements > 0) {
    const bool on = crc.increment >= static_cast<std::uint64_t>(alarms_.crcIncrements);
    judge(AlarmKind::Crc, 0, on,
          on ? "CRC error counter moved by " + std::to_string(crc.increment) +
                   (crc.reset ? " (since a board reset)" : "")
             : "CRC error counter still at " + std::to_string(r.crcErrorCounter),
          s.time, events);
  }
  if (alarms_.link) {
    if (!firstLink_) firstLink_ = r.linkSpeed.code;
    const bool on = r.linkSpeed.code != *firstLink_;
    judge(AlarmKind::Link, 0, on, "link " + enumDetail(r.linkSpeed), s.time, events);
  }
  judgeChannels(s, events);
  return s;
}

void BoardTracker::judgeChannels(const PollSample& s, std::vector<AlarmEvent>& events) {
  for (std::size_t n = 0; n < status::kChannelCount; ++n) {
    const ChannelSample& c = s.channels[n];
    const int channel = static_cast<int>(n) + 1;
    if (c.hasExtension && alarms_.overflow) {
      judge(AlarmKind::Overflow, channel, c.overflowSinceReset,
            c.overflowSinceReset ? "overflow since reset set" : "overflow since reset clear",
            s.time, events);
    }
    if (c.hasExtension && alarms_.bufferPercent > 0) {
      const double percent = c.usageRatio * kPercent;
      const bool on = percent > alarms_.bufferPercent;
      judge(AlarmKind::Buffer, channel, on,
            "usage " + fixed1(percent) + " %" + (on ? " > " : " <= ") +
                fixed1(alarms_.bufferPercent) + " %",
            s.time, events);
    }
    if (alarms_.channelState) {
      if (!firstState_[n]) firstState_[n] = c.state.code;
      const bool on = c.state.code != *firstState_[n];
      judge(AlarmKind::ChannelState, channel, on, "state " + enumDetail(c.state), s.time, events);
    }
    const bool rateBand = alarms_.rateMin > 0 || alarms_.rateMax > 0;
    if (c.hasExtension && rateBand) {
      const double rate = c.inputRatePacketsPerSecond;
      const bool sending = c.state.code == status::kChannelSendingTs;
      const bool outside =
          rate < alarms_.rateMin || (alarms_.rateMax > 0 && rate > alarms_.rateMax);
      const bool on = sending && outside;
      std::string band = fixed1(alarms_.rateMin) + " .. " +
                         (alarms_.rateMax > 0 ? fixed1(alarms_.rateMax) : std::string("any"));
      judge(AlarmKind::InputRate, channel, on,
            "input rate " + std::to_string(c.inputRatePacketsPerSecond) + " packets/s" +
                (on ? " outside " : (sending ? " inside " : " (not sending), band ")) + band,
            s.time, events);
    }
  }
}

}  // namespace vexil::watch
