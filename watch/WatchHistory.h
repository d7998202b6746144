// What the Board Watch window shows, kept without widgets: per board the last hour of
// each watched quantity (per channel where it has channels), the alarms with their
// times, whether each board has been seen, and the rows of the CSV export (the columns
// of vexilctl watch --log).
#pragma once

#include <array>
#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "watch/BoardWatch.h"

namespace vexil::watch {

/// The quantities plotted.
enum class Quantity : std::uint8_t { InputRate, BufferUsagePercent, CrcIncrements, AnswerMs };
inline constexpr std::size_t kQuantityCount = 4;
/// Whether the quantity has a line per channel (input rate, buffer usage) or one line.
bool perChannel(Quantity q);
/// "Input rate (packets/s)", "Buffer usage (%)", "CRC errors per poll", "Answer time (ms)".
const char* quantityTitle(Quantity q);

/// One point of a line.
struct HistoryPoint {
  WallClock::time_point time;
  double value = 0;
};

/// What is known of a board as a whole.
enum class BoardLook : std::uint8_t {
  Waiting,   // never answered yet: nothing seen
  NoAnswer,  // answered before, but not its last poll
  Answering, // answered its last poll, no alarm active
  Alarmed,   // an alarm is active
};

class WatchHistory {
 public:
  static constexpr auto kSpan = std::chrono::hours(1);

  /// Takes one round of the watch.
  void add(const WatchRound& round);
  void clear();

  /// The boards seen so far, in the order they first appeared.
  const std::vector<std::string>& boards() const { return boards_; }
  /// The line of `q` for `board` (`channel` 1..4 for per-channel quantities, 0 for the
  /// others), oldest first, within the last hour of the newest sample. A poll without an
  /// answer leaves a gap: no point.
  std::vector<HistoryPoint> line(const std::string& board, Quantity q, int channel = 0) const;
  BoardLook look(const std::string& board) const;

  /// Every alarm event, oldest first.
  const std::vector<AlarmEvent>& alarms() const { return alarms_; }
  /// The alarms active now, across boards.
  std::size_t activeAlarms() const;

  /// The samples held as CSV: the header and one row a board a poll.
  std::string csv() const;
  std::size_t rowCount() const { return rows_.size(); }

 private:
  struct Sample {
    WallClock::time_point time;
    bool answered = false;
    std::array<double, status::kChannelCount> rate{};
    std::array<double, status::kChannelCount> usagePercent{};
    std::array<bool, status::kChannelCount> hasExtension{};
    double crc = 0;
    double answerMs = 0;
  };
  struct Board {
    std::deque<Sample> samples;
    bool everAnswered = false;
    std::map<std::pair<AlarmKind, int>, bool> active;
  };
  void trim(Board& b, WallClock::time_point newest);

  std::vector<std::string> boards_;
  std::map<std::string, Board> byBoard_;
  std::vector<AlarmEvent> alarms_;
  std::deque<std::pair<WallClock::time_point, std::string>> rows_;
};

}  // namespace vexil::watch
