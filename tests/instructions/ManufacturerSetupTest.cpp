// The manufacturer set-up sequence through the engine, against a fake board on loopback
// that plays good, short, stale-bytes, wrong-type and wrong-text answers.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "instructions/GeneralInstructions.h"
#include "instructions/ManufacturerSetup.h"
#include "messaging/Frames.h"
#include "messaging/PlainEngineHost.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"
#include "tests/instructions/ScriptedDevice.h"

using namespace vexil;
using namespace vexil::test;
using namespace std::chrono_literals;

namespace {

constexpr char kLoopback[] = "127.0.0.1";
constexpr char kMaker[] = "Marovantis Ltd.";
constexpr std::uint16_t kGoodType = 7163;
constexpr std::size_t kStatusLength = 662;

// What the page shows, as the window would hold it.
struct Page {
  std::string status = "Press 'Test and Configure' !";
  std::string target = "Target Device:";
  std::string userText = "User Text:";
  PageColour p1 = PageColour::ButtonFace, p2 = PageColour::ButtonFace, p3 = PageColour::ButtonFace;
  int updates = 0;
  bool p3EverRed = false;

  void apply(const SetupUpdate& u) {
    ++updates;
    if (u.status) status = *u.status;
    if (u.targetDevice) target = *u.targetDevice;
    if (u.userText) userText = *u.userText;
    if (u.communication) p1 = *u.communication;
    if (u.setup) p2 = *u.setup;
    if (u.selfTest) p3 = *u.selfTest;
    if (p3 == PageColour::Failure) p3EverRed = true;
  }
};

Reply answer(std::vector<std::uint8_t> bytes, std::chrono::milliseconds delay = 0ms) {
  return {std::move(bytes), delay};
}
Reply silence() { return {std::nullopt, 0ms}; }
Reply goodStatus(const std::string& boardText = "Vexil Emulator") {
  return answer(statusAnswer(kStatusLength, kGoodType, 1, 5, boardText));
}

class SetupSequence : public ::testing::Test {
 protected:
  void play(std::vector<Reply> script, int hostPort = 0) {
    device = std::make_unique<ScriptedDevice>(std::move(script));
    ASSERT_TRUE(device->ok());
    engine.SetDevicePort(device->port());
    engine.SetHostPort(hostPort);
  }
  // Runs the interface thread until the page has settled: no transaction waits.
  void settle(std::chrono::milliseconds limit = 3000ms) {
    host.runUntil([&] { return !host.timerActive(); }, limit);
    host.runFor(20ms);
  }
  void run(std::vector<Reply> script) {
    play(std::move(script));
    setup.start();
    settle();
  }

  PlainEngineHost host;
  TransactionEngine engine{host};
  Page page;
  std::string address = kLoopback;
  ManufacturerSetup setup{engine, [this] { return address; },
                          [this](const SetupUpdate& u) { page.apply(u); }};
  std::unique_ptr<ScriptedDevice> device;
};

// ---- Step one -------------------------------------------------------------------

TEST_F(SetupSequence, GoodBoardIsConfiguredAndAllIndicatorsGoGreen) {
  run({goodStatus(), answer(shortAnswer(kMaker))});
  EXPECT_EQ(page.status, "Manufacturer Setup succeeded.");
  EXPECT_EQ(page.target, "Target Device: QV-7163 Version 1.05");
  EXPECT_EQ(page.userText, "User Text: Marovantis Ltd.");
  EXPECT_EQ(page.p1, PageColour::Success);
  EXPECT_EQ(page.p2, PageColour::Success);
  EXPECT_EQ(page.p3, PageColour::Success);
  const auto requests = device->requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], StatusQuery());
  EXPECT_EQ(requests[1], manufacturerConfigFrame());
  EXPECT_EQ(requests[1].size(), 44u);
}

TEST_F(SetupSequence, QueryWithoutAnswerEndsAfterOneSecond) {
  const auto started = EngineClock::now();
  run({silence()});
  EXPECT_GE(EngineClock::now() - started, 1000ms);
  EXPECT_EQ(page.status, "Error: No ACK answer received (in 1s).");
  EXPECT_EQ(page.target, "Target Device: Unknown");
  EXPECT_EQ(page.p1, PageColour::Failure);
  EXPECT_EQ(page.p2, PageColour::ButtonFace);
  EXPECT_EQ(device->requestCount(), 1u);
}

TEST_F(SetupSequence, AnswerShorterThanFiveHundredBytesIsUnknown) {
  run({answer(statusAnswer(499, kGoodType, 1, 5, "x"))});
  EXPECT_EQ(page.status, "Error: Unknown message received.");
  EXPECT_EQ(page.target, "Target Device: Unknown (127.0.0.1)");
  EXPECT_EQ(page.p1, PageColour::Failure);
  EXPECT_EQ(device->requestCount(), 1u) << "nothing more is sent";
}

TEST_F(SetupSequence, FiveHundredBytesWithoutAckOpcodeIsUnknown) {
  run({answer(statusAnswer(500, kGoodType, 1, 5, "x", 0xF1))});
  EXPECT_EQ(page.status, "Error: Unknown message received.");
  EXPECT_EQ(page.p1, PageColour::Failure);
}

TEST_F(SetupSequence, FiveHundredBytesAreEnough) {
  run({answer(statusAnswer(500, kGoodType, 2, 123, "x")), answer(shortAnswer(kMaker))});
  EXPECT_EQ(page.target, "Target Device: QV-7163 Version 2.23");
  EXPECT_EQ(page.status, "Manufacturer Setup succeeded.");
}

TEST_F(SetupSequence, OtherTypeIsRefusedAndNothingMoreIsSent) {
  run({answer(statusAnswer(kStatusLength, 7058, 1, 5, "x"))});
  EXPECT_EQ(page.target, "Target Device: QV-7058 Version 1.05");
  EXPECT_EQ(page.status, "Error: Device type must be QV-7163.");
  EXPECT_EQ(page.p1, PageColour::Failure);
  EXPECT_EQ(page.p2, PageColour::ButtonFace);
  EXPECT_EQ(device->requestCount(), 1u);
}

// ---- Step two -------------------------------------------------------------------

TEST_F(SetupSequence, ConfigurationWithoutAnswerEndsAfterOneSecond) {
  run({goodStatus(), silence()});
  EXPECT_EQ(page.status, "Error: No ACK answer received (in 1s).");
  EXPECT_EQ(page.p1, PageColour::Success);
  EXPECT_EQ(page.p2, PageColour::Failure);
  EXPECT_EQ(page.p3, PageColour::ButtonFace);
}

TEST_F(SetupSequence, TextDifferingInTheCaseOfOneLetterFails) {
  run({goodStatus(), answer(shortAnswer("Marovantis ltd."))});
  EXPECT_EQ(page.status, "Error: Marovantis Setup failed.");
  EXPECT_EQ(page.userText, "User Text: Marovantis ltd.");
  EXPECT_EQ(page.p2, PageColour::Failure);
  EXPECT_EQ(page.p3, PageColour::ButtonFace);
  EXPECT_FALSE(page.p3EverRed);
}

TEST_F(SetupSequence, ConfigurationAnswerWithoutAckOpcodeIsUnknown) {
  run({goodStatus(), answer(shortAnswer(kMaker, 0x00))});
  EXPECT_EQ(page.status, "Error: Unknown message received.");
  EXPECT_EQ(page.userText, "User Text: Marovantis Ltd.");
  EXPECT_EQ(page.p2, PageColour::Failure);
}

TEST_F(SetupSequence, LongerMatchingAnswerSucceeds) {
  run({goodStatus(), answer(statusAnswer(kStatusLength, kGoodType, 1, 5, kMaker))});
  EXPECT_EQ(page.status, "Manufacturer Setup succeeded.");
}

// A board that already holds the maker's name answers step one with it at 6..20 and
// 0xF0 at 22; a short stray answer to step two must not borrow those bytes.
TEST_F(SetupSequence, ShortConfigurationAnswerCannotBorrowStepOnesBytes) {
  for (std::size_t length : {0u, 1u, 6u, 20u, 21u, 22u}) {
    page = Page{};
    run({goodStatus(kMaker), answer(shortAnswer(kMaker, 0xF0, length))});
    EXPECT_EQ(page.status, "Error: Unknown message received.") << length;
    EXPECT_EQ(page.p2, PageColour::Failure) << length;
    EXPECT_EQ(page.p3, PageColour::ButtonFace) << length;
    const std::string shown =
        length <= 6 ? "" : std::string(kMaker).substr(0, std::min<std::size_t>(length, 21) - 6);
    EXPECT_EQ(page.userText, "User Text: " + shown) << length;
  }
}

TEST_F(SetupSequence, TwentyThreeByteAnswerIsJudgedAsWritten) {
  run({goodStatus(), answer(shortAnswer(kMaker, 0xF0, 23))});
  EXPECT_EQ(page.status, "Manufacturer Setup succeeded.");
}

// ---- Failed sends, restarts and drops ------------------------------------------------

TEST_F(SetupSequence, FailedSendAtStepOne) {
  const int held = freeLoopbackPort();
  UdpEndpoint holder(
      [](const std::uint8_t*, std::size_t, std::size_t, const std::string&, std::uint16_t) {});
  ASSERT_TRUE(holder.activate(held));
  play({goodStatus()}, held);
  setup.start();
  EXPECT_EQ(page.status, "Communication Error!");
  EXPECT_EQ(page.p1, PageColour::Failure);
  host.runFor(1200ms);
  EXPECT_EQ(page.status, "Communication Error!") << "no outcome follows";
  EXPECT_EQ(device->requestCount(), 0u);
}

TEST_F(SetupSequence, FailedSendAtStepTwo) {
  const int hostPort = freeLoopbackPort();
  // Another program takes the host port between the two steps: the engine closed its
  // endpoint at the dispatch of step one and must bind it again for step two.
  std::unique_ptr<UdpEndpoint> thief;
  ManufacturerSetup stealing{
      engine, [this] { return address; },
      [&](const SetupUpdate& u) {
        page.apply(u);
        if (u.status && *u.status == "ACK Received.") {
          thief = std::make_unique<UdpEndpoint>([](const std::uint8_t*, std::size_t, std::size_t,
                                                   const std::string&, std::uint16_t) {});
          ASSERT_TRUE(thief->activate(hostPort));
        }
      }};
  play({goodStatus(), answer(shortAnswer(kMaker))}, hostPort);
  stealing.start();
  settle();
  host.runFor(1200ms);
  EXPECT_EQ(page.status, "Communication Error!");
  EXPECT_EQ(page.p1, PageColour::Success);
  EXPECT_EQ(page.p2, PageColour::Failure);
  EXPECT_EQ(device->requestCount(), 1u);
}

TEST_F(SetupSequence, PressingAgainResetsIndicatorsButKeepsTheUserText) {
  run({goodStatus(), answer(shortAnswer(kMaker)), silence()});
  ASSERT_EQ(page.p3, PageColour::Success);
  setup.start();
  EXPECT_EQ(page.p1, PageColour::ButtonFace);
  EXPECT_EQ(page.p2, PageColour::ButtonFace);
  EXPECT_EQ(page.p3, PageColour::ButtonFace);
  EXPECT_EQ(page.target, "Target Device:");
  EXPECT_EQ(page.status, "Query sent, waiting for reply...");
  EXPECT_EQ(page.userText, "User Text: Marovantis Ltd.");
  settle();
}

TEST_F(SetupSequence, AnotherPagesTransactionDropsTheSequenceSilently) {
  play({answer(statusAnswer(kStatusLength, kGoodType, 1, 5, "x"), 200ms)});
  setup.start();
  ASSERT_EQ(page.status, "Query sent, waiting for reply...");
  const int updatesBefore = page.updates;
  std::string general;
  GeneralInstructions other{engine, [this] { return address; },
                            [&](const PanelUpdate& u) {
                              if (u.text) general = *u.text;
                            }};
  other.send(buildSetType("7058"));
  settle();
  host.runFor(1200ms);
  EXPECT_EQ(page.updates, updatesBefore) << "the page keeps its last texts";
  EXPECT_EQ(page.status, "Query sent, waiting for reply...");
  EXPECT_EQ(general, "No ACK Received!") << "the late 662-byte answer is not the 41-byte ACK";
}

// ---- Against the emulated board, scripted per request ----------------------------

class SetupOnEmulator : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::DeviceState board = sim::defaultDeviceState();
    board.userText = sim::deviceText(kMaker);  // a re-run: the board already holds it
    device = std::make_unique<sim::DeviceEmulator>(board);
    ASSERT_TRUE(device->start(kLoopback, 0));
    engine.SetDevicePort(device->port());
    engine.SetHostPort(0);
  }
  void runWith(const sim::FaultScript& script) {
    device->setFaultScript(script);
    setup.start();
    host.runUntil([&] { return !host.timerActive(); }, 3000ms);
    host.runFor(20ms);
  }
  static sim::FaultRule onSetUserText(sim::Faults faults) {
    sim::FaultRule rule;
    rule.when.opcode = wire::OpSetUserText;
    rule.faults = std::move(faults);
    return rule;
  }

  PlainEngineHost host;
  TransactionEngine engine{host};
  Page page;
  ManufacturerSetup setup{engine, [] { return std::string(kLoopback); },
                          [this](const SetupUpdate& u) { page.apply(u); }};
  std::unique_ptr<sim::DeviceEmulator> device;
};

TEST_F(SetupOnEmulator, GoodStatusThenTwentyByteConfigurationAnswerFails) {
  sim::Faults cut;
  cut.answerLength = 20;
  runWith({{}, {onSetUserText(cut)}});
  EXPECT_EQ(device->requestCount(), 2u);
  EXPECT_EQ(page.p1, PageColour::Success);
  EXPECT_EQ(page.status, "Error: Unknown message received.");
  EXPECT_EQ(page.userText, "User Text: Marovantis Ltd");  // the 14 text bytes it holds
  EXPECT_EQ(page.p2, PageColour::Failure);
}

TEST_F(SetupOnEmulator, SecondRequestWithAnotherOpcodeIsUnknown) {
  sim::Faults wrong;
  wrong.answerOpcode = 0x00;
  sim::FaultRule second;
  second.when.number = 2;
  second.faults = wrong;
  runWith({{}, {second}});
  EXPECT_EQ(page.status, "Error: Unknown message received.");
  EXPECT_EQ(page.userText, "User Text: Marovantis Ltd.");
}

TEST_F(SetupOnEmulator, ReRunAgainstTheBoardSucceeds) {
  runWith({});
  EXPECT_EQ(page.status, "Manufacturer Setup succeeded.");
  EXPECT_EQ(page.p3, PageColour::Success);
}

// ---- The judgements alone ---------------------------------------------------------

TEST(SetupJudgement, VersionMinorAlwaysShowsTwoDigits) {
  EXPECT_EQ(setupVersionText(1, 5), " Version 1.05");
  EXPECT_EQ(setupVersionText(1, 123), " Version 1.23");
  EXPECT_EQ(setupVersionText(0, 0), " Version 0.00");
  EXPECT_EQ(setupVersionText(255, 255), " Version 255.55");
}

TEST(SetupJudgement, StepOneReadsTypeAtThirtyOneBigEndian) {
  const auto r = judgeTestAnswer(statusAnswer(534, 0x1BFB, 1, 5, "x"), "10.0.0.1");
  EXPECT_TRUE(r.proceed);
  EXPECT_EQ(*r.update.targetDevice, "Target Device: QV-7163 Version 1.05");
  const auto other = judgeTestAnswer(statusAnswer(534, 0xFB1B, 1, 5, "x"), "10.0.0.1");
  EXPECT_FALSE(other.proceed);
}

}  // namespace
