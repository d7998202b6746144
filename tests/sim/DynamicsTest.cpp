// The emulator's board over time: counters at exact times (and wrapping), rates that
// wander within their band and repeat for a seed, overflows, stops, link changes,
// resets and a silence, each at its moment; and the options that script them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/BoardDynamics.h"
#include "sim/CommandLine.h"
#include "sim/StatusRecord.h"

namespace vexil::sim {
namespace {

using std::chrono::milliseconds;

// A board whose clock reads what the test says.
struct Board {
  Board() {
    state = defaultDeviceState();
    state.clock = [this] { return now; };
  }
  DeviceState& at(BoardDynamics& d, double seconds) {
    now = milliseconds(static_cast<long>(seconds * 1000));
    d.apply(state, Seconds(seconds));
    return state;
  }
  DeviceState state;
  milliseconds now{0};
};

std::optional<SimOptions> parse(std::vector<std::string> args, std::string& error) {
  return parseSimOptions(args, error);
}

TEST(Dynamics, CounterRatesGiveExactCountsAndWrap) {
  std::string error;
  auto o = parse({"--crc-rate", "5", "--ins-rate", "1000"}, error);
  ASSERT_TRUE(o) << error;
  DeviceState s = o->state;
  EXPECT_EQ(crcErrorCount(s, milliseconds(10'000)), 50);
  EXPECT_EQ(crcErrorCount(s, milliseconds(10'199)), 50);
  EXPECT_EQ(crcErrorCount(s, milliseconds(10'200)), 51);
  EXPECT_EQ(insPacketCount(s, milliseconds(65'536'000 / 1000)), 0) << "65,536 packets wrap to 0";
  EXPECT_EQ(insPacketCount(s, milliseconds(65'537)), 1);
}

TEST(Dynamics, WanderStaysWithinItsBandAndRepeatsForASeed) {
  DynamicsScript script;
  script.wander = true;
  script.seed = 7;
  BoardDynamics a(script);
  BoardDynamics b(script);
  script.seed = 8;
  BoardDynamics other(script);
  bool moved = false;
  bool differs = false;
  for (int t = 0; t < 3600; t += 7) {
    const std::uint32_t r = a.wanderingRate(0, 3000, Seconds(t + 0.5));
    EXPECT_GE(r, 2700u);
    EXPECT_LE(r, 3300u);
    EXPECT_EQ(r, b.wanderingRate(0, 3000, Seconds(t + 0.5)));
    if (r != 3000) moved = true;
    if (r != other.wanderingRate(0, 3000, Seconds(t + 0.5))) differs = true;
  }
  EXPECT_TRUE(moved);
  EXPECT_TRUE(differs) << "another seed, another walk";
}

TEST(Dynamics, UsageFollowsTheWanderingRate) {
  DynamicsScript script;
  script.wander = true;
  BoardDynamics d(script);
  Board board;
  for (double t = 0; t < 600; t += 13.3) {
    const RemuxChannel& c = board.at(d, t).remux.channels[0];
    const double fill = static_cast<double>(c.usage) / c.bufferSize;
    EXPECT_GE(fill, kFillLow - 1e-4);
    EXPECT_LE(fill, kFillHigh + 1e-4);
    EXPECT_EQ(c.rateSwing, 0u);
  }
  EXPECT_EQ(board.state.remux.channels[2].rate, 0u) << "a channel without a rate stays at 0";
  EXPECT_EQ(board.state.remux.channels[2].usage, 0u);
}

TEST(Dynamics, OverflowSetsTheFlagFromItsMomentAndTheLedForAWhile) {
  DynamicsScript script;
  script.overflows.push_back({Seconds(10), 2});
  BoardDynamics d(script);
  Board board;
  const RemuxChannel before = board.at(d, 9.999).remux.channels[1];
  EXPECT_FALSE(before.overflowSinceReset);
  EXPECT_FALSE(before.overflowLed);
  const RemuxChannel during = board.at(d, 10).remux.channels[1];
  EXPECT_TRUE(during.overflowSinceReset);
  EXPECT_TRUE(during.overflowLed);
  EXPECT_EQ(during.usage, during.bufferSize);
  const RemuxChannel after = board.at(d, 12.5).remux.channels[1];
  EXPECT_TRUE(after.overflowSinceReset) << "since reset: it stays";
  EXPECT_FALSE(after.overflowLed);
  EXPECT_EQ(after.usage, 9000u) << "the usage as it was";
  EXPECT_FALSE(board.state.remux.channels[0].overflowSinceReset) << "only channel 2";
}

TEST(Dynamics, AResetClearsTheOverflowAndStartsTheCountersAgain) {
  DynamicsScript script;
  script.overflows.push_back({Seconds(5), 1});
  script.resets.push_back(Seconds(20));
  BoardDynamics d(script);
  Board board;
  board.state.crcErrorsPerMinute = 600;  // 10 a second
  const DeviceState& before = board.at(d, 19.9);
  EXPECT_EQ(crcErrorCount(before, before.uptime()), 199);
  EXPECT_TRUE(board.state.remux.channels[0].overflowSinceReset);
  DeviceState& s = board.at(d, 21);
  EXPECT_EQ(crcErrorCount(s, s.uptime()), 10) << "counting from the reset at 20 s";
  EXPECT_FALSE(s.remux.channels[0].overflowSinceReset);
}

TEST(Dynamics, AStoppedChannelAndALinkChangeComeAtTheirMoments) {
  DynamicsScript script;
  script.stops.push_back({Seconds(3), 1});
  script.links.push_back({Seconds(4), 0});
  script.links.push_back({Seconds(6), 3});
  BoardDynamics d(script);
  Board board;
  EXPECT_EQ(board.at(d, 2.9).inputs[0].state, 1);
  EXPECT_EQ(board.state.linkSpeed, 2);
  EXPECT_EQ(board.at(d, 3).inputs[0].state, 0);
  EXPECT_EQ(board.state.remux.channels[0].rate, 0u);
  EXPECT_EQ(board.at(d, 4).linkSpeed, 0);
  EXPECT_EQ(board.at(d, 7).linkSpeed, 3);
}

TEST(Dynamics, SilenceStartsAtItsMomentAndEndsAfterItsLength) {
  DynamicsScript script;
  script.silentAt = Seconds(20);
  script.silentFor = Seconds(15);
  const BoardDynamics d(script);
  EXPECT_FALSE(d.silent(Seconds(19.999)));
  EXPECT_TRUE(d.silent(Seconds(20)));
  EXPECT_TRUE(d.silent(Seconds(34.999)));
  EXPECT_FALSE(d.silent(Seconds(35)));
}

TEST(Dynamics, OptionsAreReadAndWrongValuesRefused) {
  std::string error;
  auto o = parse({"--dynamics", "--seed", "42", "--overflow-at", "30", "--stop-channel-at", "12.5:3",
                  "--link-at", "40:1", "--reset-at", "50", "--silent-at", "60", "--silent-for", "5"},
                 error);
  ASSERT_TRUE(o) << error;
  EXPECT_TRUE(o->dynamics.wander);
  EXPECT_EQ(o->dynamics.seed, 42u);
  ASSERT_EQ(o->dynamics.overflows.size(), 1u);
  EXPECT_EQ(o->dynamics.overflows[0].channel, 1) << "channel 1 unless named";
  EXPECT_DOUBLE_EQ(o->dynamics.stops.at(0).at.count(), 12.5);
  EXPECT_EQ(o->dynamics.stops.at(0).channel, 3);
  EXPECT_EQ(o->dynamics.links.at(0).speed, 1);
  EXPECT_DOUBLE_EQ(o->dynamics.silentFor.count(), 5);

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--crc-rate", "-1"}, {"--crc-rate", "abc"}, {"--crc-rate"},
        {"--overflow-at", "10:5"}, {"--overflow-at", "10:0"}, {"--stop-channel-at", "10"},
        {"--link-at", "5:4"}, {"--seed", "-3"}, {"--silent-at", "nan"}, {"--reset-at", "1e99"}}) {
    EXPECT_FALSE(parse(bad, error)) << bad[0];
  }
}

TEST(Dynamics, SeedTakesTheWholeUnsigned32BitRange) {
  std::string error;
  for (const auto& [text, seed] : {std::pair<std::string, std::uint32_t>{"0", 0u}, {"2147483648", 2147483648u},
                                   {"4294967295", 4294967295u}}) {
    const auto o = parse({"--seed", text}, error);
    ASSERT_TRUE(o) << text << ": " << error;
    EXPECT_EQ(o->dynamics.seed, seed) << text;
  }
  for (const char* bad : {"4294967296", "9999999999", "12345678901"})
    EXPECT_FALSE(parse({"--seed", bad}, error)) << bad << " is past 2^32 - 1";
}

TEST(Dynamics, WithoutTheOptionsTheRecordIsAsBefore) {
  std::string error;
  auto o = parse({}, error);
  ASSERT_TRUE(o);
  EXPECT_FALSE(o->dynamics.any());
}

}  // namespace
}  // namespace vexil::sim
