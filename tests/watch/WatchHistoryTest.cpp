// The Board Watch window's history: lines per channel with gaps where a board did not
// answer, the hour it keeps, what a board looks like before and after it answers, the
// alarms, and the CSV it exports.
#include <gtest/gtest.h>

#include "watch/WatchHistory.h"
#include "watch/WatchLog.h"

namespace vexil::watch {
namespace {

using namespace std::chrono_literals;

const WallClock::time_point kStart = WallClock::time_point(std::chrono::hours(490000));

PollSample answered(const std::string& board, WallClock::time_point t, std::uint32_t rate,
                    std::uint64_t crc = 0) {
  PollSample s;
  s.board = board;
  s.time = t;
  s.answered = true;
  s.answerMs = 0.5;
  s.crcIncrement = crc;
  s.record = status::StatusRecord{};
  for (auto& c : s.channels) {
    c.hasExtension = true;
    c.inputRatePacketsPerSecond = rate;
    c.usageRatio = 0.25;
  }
  return s;
}

PollSample silent(const std::string& board, WallClock::time_point t) {
  PollSample s;
  s.board = board;
  s.time = t;
  return s;
}

WatchRound round(std::vector<PollSample> samples, std::vector<AlarmEvent> events = {}) {
  WatchRound r;
  r.samples = std::move(samples);
  r.events = std::move(events);
  return r;
}

TEST(WatchHistory, LinesPerChannelWithAGapWhereTheBoardWasSilent) {
  WatchHistory h;
  h.add(round({answered("a", kStart, 3000, 2)}));
  h.add(round({silent("a", kStart + 1s)}));
  h.add(round({answered("a", kStart + 2s, 3100)}));
  const auto rate = h.line("a", Quantity::InputRate, 2);
  ASSERT_EQ(rate.size(), 2u) << "no point for the silent poll";
  EXPECT_EQ(rate[1].value, 3100);
  EXPECT_EQ(rate[1].time, kStart + 2s);
  EXPECT_EQ(h.line("a", Quantity::BufferUsagePercent, 1).front().value, 25);
  EXPECT_EQ(h.line("a", Quantity::CrcIncrements).front().value, 2);
  EXPECT_TRUE(h.line("a", Quantity::InputRate, 0).empty()) << "channels are 1..4";
  EXPECT_TRUE(h.line("a", Quantity::InputRate, 5).empty());
  EXPECT_TRUE(h.line("nobody", Quantity::AnswerMs).empty());
}

TEST(WatchHistory, KeepsTheLastHour) {
  WatchHistory h;
  for (int i = 0; i <= 3700; i += 10) h.add(round({answered("a", kStart + std::chrono::seconds(i), 1)}));
  const auto line = h.line("a", Quantity::AnswerMs);
  ASSERT_FALSE(line.empty());
  EXPECT_LE(line.back().time - line.front().time, WatchHistory::kSpan);
  EXPECT_GE(line.back().time - line.front().time, WatchHistory::kSpan - 10s);
  EXPECT_EQ(h.rowCount(), line.size());
}

TEST(WatchHistory, ABoardIsNeverShownGoodBeforeItAnswers) {
  WatchHistory h;
  EXPECT_EQ(h.look("a"), BoardLook::Waiting);
  h.add(round({silent("a", kStart)}));
  EXPECT_EQ(h.look("a"), BoardLook::Waiting);
  h.add(round({answered("a", kStart + 1s, 1)}));
  EXPECT_EQ(h.look("a"), BoardLook::Answering);
  h.add(round({silent("a", kStart + 2s)}));
  EXPECT_EQ(h.look("a"), BoardLook::NoAnswer);
  AlarmEvent e;
  e.board = "a";
  e.kind = AlarmKind::Silent;
  e.active = true;
  h.add(round({silent("a", kStart + 3s)}, {e}));
  EXPECT_EQ(h.look("a"), BoardLook::Alarmed);
  EXPECT_EQ(h.activeAlarms(), 1u);
  e.active = false;
  h.add(round({answered("a", kStart + 4s, 1)}, {e}));
  EXPECT_EQ(h.look("a"), BoardLook::Answering);
  EXPECT_EQ(h.activeAlarms(), 0u);
  EXPECT_EQ(h.alarms().size(), 2u);
}

TEST(WatchHistory, CsvHasTheLogsColumnsAndARowPerBoardPerPoll) {
  WatchHistory h;
  h.add(round({answered("a", kStart, 1), silent("b", kStart)}));
  h.add(round({answered("a", kStart + 1s, 1), answered("b", kStart + 1s, 2)}));
  const std::string csv = h.csv();
  EXPECT_EQ(csv.substr(0, csv.find('\n')), watchCsvHeader());
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 5);
  EXPECT_EQ(h.boards(), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace vexil::watch
