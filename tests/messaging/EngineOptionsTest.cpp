// The engine's two opt-in settings for tools that talk to many boards: answers only
// from the device the request went to, and a wait other than one second. Without them
// the engine keeps the window's rules, which the first case of each group pins down.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <vector>

#include "messaging/PlainEngineHost.h"
#include "messaging/TransactionEngine.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"
#include "tests/portable/UnderWine.h"

using namespace vexil;
using namespace std::chrono_literals;
using S = TransactionState;

namespace {

constexpr const char* kDeviceAddress = "127.0.0.2";
constexpr const char* kStrayAddress = "127.0.0.3";

Frame setTypeFrame() {
  const std::uint8_t type[] = {0x1B, 0xFB};
  return buildFixedFrame(makeUserText(" Set Type"), wire::OpSetType, type);
}

class EngineOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device.start(kDeviceAddress, 0)) << device.error();
    engine.SetDevicePort(device.port());
    engine.SetHostPort(0);
    for (S s : {S::GeneralInstructionSent, S::GeneralInstructionAnswered}) {
      engine.setOutcome(s, [this, s](const Answer&) { dispatched = s; });
    }
    ASSERT_TRUE(stray.activate(0, kStrayAddress)) << stray.error();
  }
  // Sends Set Type to the (silent) device and lets a 41-byte datagram arrive from
  // another loopback address, as a second board or a stray program would send it.
  void sendWithStrayAnswer() {
    sim::Faults silent;
    silent.silent = true;
    device.setFaults(silent);
    ASSERT_TRUE(engine.BeginTransaction(S::GeneralInstructionSent, setTypeFrame(),
                                        kDeviceAddress));
    const std::vector<std::uint8_t> ack(wire::kShortAnswerLength, 0x00);
    ASSERT_TRUE(stray.sendTo("127.0.0.1", engine.boundPort(), ack));
    ASSERT_TRUE(host.runUntil([this] { return dispatched.has_value(); }, 3s));
  }

  sim::DeviceEmulator device;
  PlainEngineHost host;
  TransactionEngine engine{host};
  UdpEndpoint stray{[](const std::uint8_t*, std::size_t, std::size_t, const std::string&,
                       std::uint16_t) {}};
  std::optional<S> dispatched;
};

TEST_F(EngineOptions, WithoutAFilterAnAnswerFromAnySenderCounts) {
  sendWithStrayAnswer();
  EXPECT_EQ(*dispatched, S::GeneralInstructionAnswered);
  EXPECT_TRUE(engine.answerAcceptedAt().has_value());
}

TEST_F(EngineOptions, WithAFilterAnAnswerFromAnotherSenderIsNeverSeen) {
  ASSERT_TRUE(engine.acceptOnlyFrom(kDeviceAddress));
  sendWithStrayAnswer();
  EXPECT_EQ(*dispatched, S::GeneralInstructionSent);
  EXPECT_FALSE(engine.answerAcceptedAt().has_value());
  EXPECT_EQ(engine.lastLength(), 0u);
}

TEST_F(EngineOptions, WithAFilterTheDevicesOwnAnswerCounts) {
  if (test::underWine())
    GTEST_SKIP() << "under Wine a socket bound to " << kDeviceAddress
                 << " sends from 127.0.0.1, so the device's own answer comes from another address";
  ASSERT_TRUE(engine.acceptOnlyFrom(kDeviceAddress));
  ASSERT_TRUE(engine.BeginTransaction(S::GeneralInstructionSent, setTypeFrame(), kDeviceAddress));
  ASSERT_TRUE(host.runUntil([this] { return dispatched.has_value(); }, 3s));
  EXPECT_EQ(*dispatched, S::GeneralInstructionAnswered);
  EXPECT_EQ(engine.lastLength(), wire::kShortAnswerLength);
}

TEST_F(EngineOptions, AnEmptyFilterGoesBackToEverySender) {
  ASSERT_TRUE(engine.acceptOnlyFrom("127.0.0.9"));
  ASSERT_TRUE(engine.acceptOnlyFrom(""));
  sendWithStrayAnswer();
  EXPECT_EQ(*dispatched, S::GeneralInstructionAnswered);
}

TEST_F(EngineOptions, AFilterThatIsNoDottedAddressIsRefusedAndChangesNothing) {
  ASSERT_TRUE(engine.acceptOnlyFrom(kDeviceAddress));
  EXPECT_FALSE(engine.acceptOnlyFrom("localhost"));
  EXPECT_FALSE(engine.acceptOnlyFrom("127.0.0"));
  sendWithStrayAnswer();
  EXPECT_EQ(*dispatched, S::GeneralInstructionSent);  // the earlier filter still holds
}

TEST_F(EngineOptions, TheWaitIsOneSecondUnlessSetOtherwise) {
  EXPECT_EQ(engine.answerTimeout(), kAnswerTimeout);
  sim::Faults silent;
  silent.silent = true;
  device.setFaults(silent);

  const auto before = EngineClock::now();
  ASSERT_TRUE(engine.BeginTransaction(S::GeneralInstructionSent, setTypeFrame(), kDeviceAddress));
  ASSERT_TRUE(host.timerDeadline().has_value());
  EXPECT_GE(*host.timerDeadline(), before + kAnswerTimeout);

  engine.SetAnswerTimeout(250ms);
  const auto resent = EngineClock::now();
  ASSERT_TRUE(engine.BeginTransaction(S::GeneralInstructionSent, setTypeFrame(), kDeviceAddress));
  ASSERT_TRUE(host.timerDeadline().has_value());
  EXPECT_GE(*host.timerDeadline(), resent + 250ms);
  EXPECT_LT(*host.timerDeadline(), resent + kAnswerTimeout);
  ASSERT_TRUE(host.runUntil([this] { return dispatched.has_value(); }, 3s));
  EXPECT_EQ(*dispatched, S::GeneralInstructionSent);
}

}  // namespace
