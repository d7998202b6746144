// One board's watch fed by hand: every alarm starts and clears where its setting says,
// counters become increments, and the summary adds up what was seen.
#include <gtest/gtest.h>

#include "watch/BoardTracker.h"

namespace vexil::watch {
namespace {

using status::StatusRecord;

constexpr std::uint32_t kSize = 1000;

StatusRecord board(std::uint8_t state = status::kChannelSendingTs, std::uint32_t rate = 3000,
                   std::uint32_t usage = 100) {
  StatusRecord r;
  r.version = "1.05";
  r.linkSpeed = {2, "100 Mbps"};
  r.model = {7, "IP Remultiplexer"};
  status::Extension x;
  for (std::size_t n = 0; n < status::kChannelCount; ++n) {
    r.inputs[n].state = {state, state == 1 ? "Sending TS" : "Stopped"};
    x.channels[n].inputRatePacketsPerSecond = rate;
    x.channels[n].sdramSizePackets = kSize;
    x.channels[n].sdramUsagePackets = usage;
  }
  r.extension = x;
  return r;
}

class Tracker : public ::testing::Test {
 protected:
  PollSample answer(const StatusRecord& r) {
    events.clear();
    PollOutcome o;
    o.time = WallClock::now();
    o.answerMs = 0.5;
    o.record = r;
    return tracker.observe(o, events);
  }
  PollSample silence() {
    events.clear();
    PollOutcome o;
    o.time = WallClock::now();
    return tracker.observe(o, events);
  }
  bool saw(AlarmKind kind, int channel, bool active) const {
    for (const AlarmEvent& e : events)
      if (e.kind == kind && e.channel == channel && e.active == active) return true;
    return false;
  }

  AlarmSettings settings;
  BoardTracker tracker{"127.0.0.1:5000", settings};
  std::vector<AlarmEvent> events;
};

TEST_F(Tracker, AQuietBoardRaisesNothing) {
  for (int i = 0; i < 5; ++i) {
    answer(board());
    EXPECT_TRUE(events.empty());
  }
  EXPECT_EQ(tracker.summary().polls, 5u);
  EXPECT_EQ(tracker.summary().answered, 5u);
  EXPECT_EQ(tracker.summary().alarms, 0u);
  ASSERT_TRUE(tracker.summary().worstUsageRatio);
  EXPECT_DOUBLE_EQ(*tracker.summary().worstUsageRatio, 0.1);
}

TEST_F(Tracker, SilentStartsOnTheNthMissedPollAndClearsOnTheAnswer) {
  answer(board());
  silence();
  silence();
  EXPECT_TRUE(events.empty()) << "two missed polls are not yet three";
  const PollSample third = silence();
  EXPECT_FALSE(third.answered);
  EXPECT_TRUE(saw(AlarmKind::Silent, 0, true));
  silence();
  EXPECT_TRUE(events.empty()) << "an alarm starts once";
  answer(board());
  EXPECT_TRUE(saw(AlarmKind::Silent, 0, false));
  EXPECT_EQ(tracker.summary().alarms, 1u);
  EXPECT_EQ(tracker.summary().answered, 2u);
  EXPECT_EQ(tracker.summary().polls, 6u);
}

TEST_F(Tracker, ABoardThatNeverAnswersIsSilentToo) {
  silence();
  silence();
  silence();
  EXPECT_TRUE(saw(AlarmKind::Silent, 0, true));
  EXPECT_FALSE(tracker.summary().worstUsageRatio) << "no buffer was ever seen";
}

TEST_F(Tracker, CrcMovesStartTheAlarmAndAStillCounterClearsIt) {
  StatusRecord r = board();
  r.crcErrorCounter = 10;
  answer(r);
  EXPECT_TRUE(events.empty()) << "the first value is where counting starts";
  r.crcErrorCounter = 13;
  const PollSample moved = answer(r);
  EXPECT_EQ(moved.crcIncrement, 3u);
  EXPECT_TRUE(saw(AlarmKind::Crc, 0, true));
  answer(r);
  EXPECT_TRUE(saw(AlarmKind::Crc, 0, false));
  EXPECT_EQ(tracker.summary().crcIncrements, 3u);
}

TEST_F(Tracker, AFarFallOfTheCounterIsAResetNotSixtyFiveThousandErrors) {
  StatusRecord r = board();
  r.crcErrorCounter = 40000;
  answer(r);
  r.crcErrorCounter = 2;
  const PollSample s = answer(r);
  EXPECT_TRUE(s.counterReset);
  EXPECT_EQ(s.crcIncrement, 2u);
  EXPECT_EQ(tracker.summary().resets, 1u);
  EXPECT_EQ(tracker.summary().crcIncrements, 2u);
}

TEST(TrackerSettings, CrcThresholdAndOffAreHonoured) {
  AlarmSettings s;
  s.crcIncrements = 5;
  BoardTracker t("b", s);
  std::vector<AlarmEvent> ev;
  StatusRecord r = board();
  PollOutcome o{WallClock::now(), 1.0, r};
  t.observe(o, ev);
  o.record->crcErrorCounter = 4;
  t.observe(o, ev);
  EXPECT_FALSE(t.isActive(AlarmKind::Crc)) << "4 errors are below a threshold of 5";
  o.record->crcErrorCounter = 9;
  t.observe(o, ev);
  EXPECT_TRUE(t.isActive(AlarmKind::Crc));

  s.crcIncrements = 0;
  BoardTracker off("b", s);
  o.record->crcErrorCounter = 0;
  off.observe(o, ev);
  o.record->crcErrorCounter = 60000;
  off.observe(o, ev);
  EXPECT_FALSE(off.isActive(AlarmKind::Crc));
}

TEST_F(Tracker, OverflowSinceResetIsAnAlarmWhileSet) {
  StatusRecord r = board();
  answer(r);
  r.extension->channels[2].overflowSinceReset = true;
  answer(r);
  EXPECT_TRUE(saw(AlarmKind::Overflow, 3, true));
  EXPECT_FALSE(tracker.isActive(AlarmKind::Overflow, 1));
  r.extension->channels[2].overflowSinceReset = false;
  answer(r);
  EXPECT_TRUE(saw(AlarmKind::Overflow, 3, false));
}

TEST_F(Tracker, BufferAlarmIsAboveThePercentNotAtIt) {
  answer(board(1, 3000, 900));  // exactly 90 %
  EXPECT_FALSE(tracker.isActive(AlarmKind::Buffer, 1));
  answer(board(1, 3000, 901));
  EXPECT_TRUE(saw(AlarmKind::Buffer, 1, true));
  EXPECT_TRUE(saw(AlarmKind::Buffer, 4, true));
  answer(board(1, 3000, 100));
  EXPECT_TRUE(saw(AlarmKind::Buffer, 2, false));
  EXPECT_DOUBLE_EQ(*tracker.summary().worstUsageRatio, 0.901);
}

TEST_F(Tracker, UsageAboveTheSizeIsShownAsItComes) {
  answer(board(1, 3000, 1500));
  EXPECT_DOUBLE_EQ(*tracker.summary().worstUsageRatio, 1.5);
}

TEST_F(Tracker, ChannelStateChangeStartsAndTheReturnClears) {
  answer(board(status::kChannelSendingTs));
  StatusRecord stopped = board(status::kChannelSendingTs);
  stopped.inputs[1].state = {status::kChannelStopped, "Stopped"};
  stopped.extension->channels[1].inputRatePacketsPerSecond = 0;
  answer(stopped);
  EXPECT_TRUE(saw(AlarmKind::ChannelState, 2, true));
  EXPECT_FALSE(saw(AlarmKind::InputRate, 2, true)) << "a stopped channel keeps no rate";
  ASSERT_EQ(events.size(), 1u);
  answer(board(status::kChannelSendingTs));
  EXPECT_TRUE(saw(AlarmKind::ChannelState, 2, false));
}

TEST_F(Tracker, LinkChangeStartsAndTheReturnClears) {
  answer(board());
  StatusRecord r = board();
  r.linkSpeed = {0, "Off"};
  answer(r);
  EXPECT_TRUE(saw(AlarmKind::Link, 0, true));
  answer(board());
  EXPECT_TRUE(saw(AlarmKind::Link, 0, false));
}

TEST(TrackerSettings, InputRateBandJudgesSendingChannelsOnly) {
  AlarmSettings s;
  s.rateMin = 2500;
  s.rateMax = 3500;
  BoardTracker t("b", s);
  std::vector<AlarmEvent> ev;
  const auto feed = [&](const StatusRecord& r) {
    ev.clear();
    t.observe(PollOutcome{WallClock::now(), 1.0, r}, ev);
  };
  feed(board(1, 2500));
  EXPECT_FALSE(t.isActive(AlarmKind::InputRate, 1)) << "the band's ends are inside";
  feed(board(1, 3501));
  EXPECT_TRUE(t.isActive(AlarmKind::InputRate, 1));
  feed(board(1, 3500));
  EXPECT_FALSE(t.isActive(AlarmKind::InputRate, 1));
  feed(board(1, 2499));
  EXPECT_TRUE(t.isActive(AlarmKind::InputRate, 1));
  // All four channels fired and cleared together; the events say so channel by channel.
  EXPECT_EQ(ev.size(), 4u);
}

TEST(TrackerSettings, ABoardWithoutTheExtensionRaisesNoBufferOrRateAlarm) {
  BoardTracker t("b", AlarmSettings{});
  std::vector<AlarmEvent> ev;
  StatusRecord r = board(1, 0, 0);
  r.extension.reset();
  t.observe(PollOutcome{WallClock::now(), 1.0, r}, ev);
  EXPECT_TRUE(ev.empty());
  EXPECT_FALSE(t.summary().worstUsageRatio);
}

TEST(AlarmText, NamesBoardChannelKindAndWhatWasSeen) {
  AlarmEvent e;
  e.time = WallClock::time_point(std::chrono::milliseconds(1765267200123));
  e.board = "127.0.0.1:5000";
  e.kind = AlarmKind::Buffer;
  e.channel = 2;
  e.active = true;
  e.detail = "usage 95.0 % > 90.0 %";
  EXPECT_EQ(alarmLine(e),
            "2025-12-09T08:00:00.123Z 127.0.0.1:5000 channel 2 buffer started: usage 95.0 % > 90.0 %");
}

}  // namespace
}  // namespace vexil::watch
