// One board's watch, without sockets or threads: each poll's outcome in, the sample with
// its counter increments and the alarms that started or cleared out, and the totals for
// the summary. The poller feeds it; the tests feed it by hand.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "watch/CounterDelta.h"
#include "watch/WatchTypes.h"

namespace vexil::watch {

/// What one poll of one board brought back.
struct PollOutcome {
  WallClock::time_point time;       // when the query was sent
  std::optional<double> answerMs;   // nothing: no answer within the wait
  std::optional<status::StatusRecord> record;  // the answer, decoded
};

class BoardTracker {
 public:
  BoardTracker(std::string board, AlarmSettings alarms);

  /// Takes one poll's outcome; returns its sample and appends to `events` the alarms
  /// it started or cleared, in a fixed order (board alarms, then channel 1 to 4).
  PollSample observe(const PollOutcome& outcome, std::vector<AlarmEvent>& events);

  const BoardSummary& summary() const { return summary_; }
  const std::string& board() const { return board_; }
  /// Whether the alarm of `kind` (on `channel`, 0 for board alarms) is active now.
  bool isActive(AlarmKind kind, int channel = 0) const;
  /// The alarms active now.
  std::vector<std::pair<AlarmKind, int>> activeAlarms() const;

 private:
  void judge(AlarmKind kind, int channel, bool on, std::string detail,
             WallClock::time_point time, std::vector<AlarmEvent>& events);
  void judgeChannels(const PollSample& sample, std::vector<AlarmEvent>& events);

  std::string board_;
  AlarmSettings alarms_;
  BoardSummary summary_;
  std::uint64_t polls_ = 0;
  int missed_ = 0;                    // polls in a row without an answer
  std::uint32_t pollsSinceAnswer_ = 0;
  CounterDelta crc_;
  CounterDelta ins_;
  std::optional<std::uint8_t> firstLink_;
  std::array<std::optional<std::uint8_t>, status::kChannelCount> firstState_{};
  std::map<std::pair<AlarmKind, int>, bool> active_;
};

/// Text of an alarm event for people: "TIME BOARD [channel N] NAME started|cleared: DETAIL".
std::string alarmLine(const AlarmEvent& event);

/// UTC time with milliseconds: "2026-12-09T07:50:01.123Z".
std::string isoTime(WallClock::time_point time);

}  // namespace vexil::watch
