// What the board watch is told and what it reports: the boards, the alarm settings, one
// poll's sample of one board, and the alarms as they start and clear. Shared by
// `vexilctl watch` and the Board Watch window, so the two agree.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "messaging/StatusRecord.h"

namespace vexil::watch {

using WallClock = std::chrono::system_clock;

/// One board: its address and the UDP port its status query goes to.
struct BoardAddress {
  std::string address;  // dotted IPv4
  int port = 0;
  /// "A.B.C.D:PORT": the board's name in logs, alarms and metrics.
  std::string label() const { return address + ":" + std::to_string(port); }
  bool operator==(const BoardAddress&) const = default;
};

/// Limits of the watch's timing.
inline constexpr double kIntervalMinSeconds = 0.05;
inline constexpr double kIntervalMaxSeconds = 86400;
inline constexpr double kDefaultIntervalSeconds = 1.0;

/// The alarms and what starts them. A setting of 0 (or an empty band) turns its alarm off.
struct AlarmSettings {
  int silentPolls = 3;             // board silent for this many polls in a row
  int crcIncrements = 1;           // CRC errors counted in one poll
  bool overflow = true;            // a channel's overflow-since-reset flag set
  double bufferPercent = 90;       // a channel's SDRAM usage above this share of its size
  bool channelState = true;        // a channel's state differs from the one first seen
  bool link = true;                // the link speed differs from the one first seen
  // A sending channel's input rate outside [rateMin, rateMax] packets/s; rateMax 0: no
  // upper bound. Only channels in state "Sending TS" are judged: a stopped channel has
  // no rate to keep.
  double rateMin = 1;
  double rateMax = 0;
};

/// Everything a watch is told.
struct WatchSettings {
  std::vector<BoardAddress> boards;
  std::chrono::milliseconds interval{1000};
  std::chrono::milliseconds timeout{1000};  // the status query's wait, at most the interval
  int hostPort = 0;                          // 0: any free port
  std::string bindAddress = "0.0.0.0";
  AlarmSettings alarms;
};

/// The kinds of alarm, in the order of their names.
enum class AlarmKind : std::uint8_t { Silent, Crc, Overflow, Buffer, ChannelState, Link, InputRate };
inline constexpr std::size_t kAlarmKindCount = 7;
/// "silent", "crc", "overflow", "buffer", "channel_state", "link", "input_rate".
std::string_view alarmName(AlarmKind kind);
/// Whether the alarm concerns one channel (overflow, buffer, channel state, input rate).
bool isChannelAlarm(AlarmKind kind);

/// An alarm starting or clearing.
struct AlarmEvent {
  WallClock::time_point time;
  std::string board;        // label
  AlarmKind kind = AlarmKind::Silent;
  int channel = 0;          // 1..4 for channel alarms, 0 otherwise
  bool active = false;      // true: started; false: cleared
  std::string detail;       // what was seen, e.g. "usage 95.2 % > 90 %"
};

/// One channel as a poll saw it (the extension's figures only when the board has them).
struct ChannelSample {
  status::EnumField state;
  bool hasExtension = false;
  std::uint32_t inputRatePacketsPerSecond = 0;
  std::uint32_t sdramUsagePackets = 0;
  std::uint32_t sdramSizePackets = 1;
  double usageRatio = 0;
  bool overflowLed = false;
  bool overflowSinceReset = false;
};

/// One board after one poll.
struct PollSample {
  WallClock::time_point time;   // when the query was sent
  std::string board;            // label
  std::uint64_t poll = 0;       // 1, 2, ... per board
  bool answered = false;
  double answerMs = 0;          // answered only
  // The rest holds only when answered.
  std::optional<status::StatusRecord> record;
  std::uint16_t crcCounter = 0;
  std::uint16_t insCounter = 0;
  std::uint64_t crcIncrement = 0;  // since the last answered poll
  std::uint64_t insIncrement = 0;
  bool counterReset = false;       // a counter fell far: the board was reset
  std::array<ChannelSample, status::kChannelCount> channels{};
};

/// A board's totals, for the summary at the end.
struct BoardSummary {
  std::string board;
  std::uint64_t polls = 0;
  std::uint64_t answered = 0;
  std::uint64_t alarms = 0;          // alarms started
  std::optional<double> worstUsageRatio;  // none: the board never showed its buffers
  std::uint64_t crcIncrements = 0;
  std::uint64_t insIncrements = 0;
  std::uint64_t resets = 0;
  double worstAnswerMs = 0;
};

}  // namespace vexil::watch
