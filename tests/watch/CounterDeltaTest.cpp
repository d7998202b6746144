// The 16-bit counters turned into increments: counting on, wrapping, resets, silences.
#include <gtest/gtest.h>

#include "watch/CounterDelta.h"

namespace vexil::watch {
namespace {

TEST(CounterDelta, FirstValueGivesNothingThenCountsOn) {
  CounterDelta c;
  EXPECT_EQ(c.next(500).increment, 0u);
  EXPECT_EQ(c.next(500).increment, 0u);
  const CounterStep step = c.next(512);
  EXPECT_EQ(step.increment, 12u);
  EXPECT_FALSE(step.reset);
}

TEST(CounterDelta, WrapThroughTheTopCountsTheStepsTaken) {
  CounterDelta c;
  c.next(65530);
  const CounterStep step = c.next(5);  // 65531..65535, 0..5
  EXPECT_EQ(step.increment, 11u);
  EXPECT_FALSE(step.reset);
}

TEST(CounterDelta, WrapAtTheLimitOfTheQuietWindow) {
  CounterDelta at;
  at.next(65535);
  EXPECT_FALSE(at.next(kWrapWindow - 1).reset);  // forward distance exactly the window
  CounterDelta beyond;
  beyond.next(65535);
  const CounterStep step = beyond.next(kWrapWindow);  // one more: a reset
  EXPECT_TRUE(step.reset);
  EXPECT_EQ(step.increment, kWrapWindow);
}

TEST(CounterDelta, AFarFallIsAResetCountedFromZeroNotSixtyFiveThousandErrors) {
  CounterDelta c;
  c.next(40000);
  c.next(40010);
  const CounterStep step = c.next(7);
  EXPECT_TRUE(step.reset);
  EXPECT_EQ(step.increment, 7u);
  EXPECT_EQ(c.next(9).increment, 2u);  // counting on after the reset
}

TEST(CounterDelta, ABusyCounterMayWrapFurtherThanAQuietOne) {
  CounterDelta c;
  c.next(20000);
  c.next(40000);  // 20,000 a poll
  c.next(60000);
  const CounterStep step = c.next(14464);  // 60000 + 20000 - 65536
  EXPECT_FALSE(step.reset);
  EXPECT_EQ(step.increment, 20000u);
}

TEST(CounterDelta, AfterASilenceTheWindowGrowsWithThePollsMissed) {
  const auto afterSilence = [](std::uint32_t polls) {
    CounterDelta c;
    c.next(60000);
    c.next(61000);  // 1,000 a poll
    return c.next(static_cast<std::uint16_t>(61000 + 20000 - 65536), polls);
  };
  const CounterStep twentyPolls = afterSilence(20);
  EXPECT_FALSE(twentyPolls.reset);
  EXPECT_EQ(twentyPolls.increment, 20000u);
  // The same fall one poll later is too far for a counter of 1,000 a poll.
  EXPECT_TRUE(afterSilence(1).reset);
}

}  // namespace
}  // namespace vexil::watch
