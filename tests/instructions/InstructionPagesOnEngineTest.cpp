// The General and Send TS pages on the engine, against the emulated board on loopback:
// what each status panel shows at every step, and what the board receives.
#include <gtest/gtest.h>

#include "instructions/GeneralInstructions.h"
#include "instructions/PanelTexts.h"
#include "instructions/TsRouting.h"
#include "tests/instructions/ExpectedBytes.h"
#include "tests/instructions/PagesOnEngine.h"

using namespace vexil;
using namespace vexil::testing;
using namespace std::chrono_literals;

namespace {

// ---- General page ------------------------------------------------------------------------

class GeneralOnEngine : public PagesOnEngine {
 protected:
  Panel panel;
  GeneralInstructions page{engine, [this] { return address; },
                           [this](const PanelUpdate& u) { panel.apply(u); }};
};

TEST_F(GeneralOnEngine, FortyOneByteAnswerGivesTheAck) {
  const GeneralRequest r = buildSetSerial("56765");
  EXPECT_TRUE(page.send(r));
  EXPECT_EQ(panel.text, panel::kWaiting);
  EXPECT_EQ(panel.colour, PageColour::ButtonFace);
  for (const PanelUpdate& u : panel.steps) EXPECT_EQ(u.colour, PageColour::ButtonFace);
  const std::size_t before = panel.steps.size();

  ASSERT_TRUE(panelSteps(panel, before + 1));
  EXPECT_EQ(panel.text, panel::kAck);
  EXPECT_EQ(panel.colour, PageColour::Success);
  EXPECT_EQ(device.lastRequest(), r.frame);
  EXPECT_EQ(device.state().serial, 56765u);
  host.runFor(200ms);
  EXPECT_EQ(panel.steps.size(), before + 1) << "one outcome per press";
}

TEST_F(GeneralOnEngine, AnswerOfAnotherLengthGivesNoAckAtOnce) {
  for (std::size_t length : {26u, 40u, 42u}) {
    sim::Faults f;
    f.answerLength = length;
    device.setFaults(f);
    panel = Panel{};
    const auto start = EngineClock::now();
    ASSERT_TRUE(page.send(buildSetType("7058")));
    const std::size_t before = panel.steps.size();
    ASSERT_TRUE(panelSteps(panel, before + 1)) << length;
    EXPECT_LT(msSince(start), 500.0) << length << " bytes: the answer must end the wait";
    EXPECT_EQ(panel.text, panel::kNoAck) << length;
    EXPECT_EQ(panel.colour, PageColour::Failure) << length;
  }
}

TEST_F(GeneralOnEngine, SilenceGivesNoAckAfterOneSecond) {
  setFaults([](sim::Faults& f) { f.silent = true; });
  const auto start = EngineClock::now();
  ASSERT_TRUE(page.send(buildSetNco(1, "120")));
  const std::size_t before = panel.steps.size();
  ASSERT_TRUE(panelSteps(panel, before + 1, 5000ms));
  EXPECT_GE(msSince(start), 950.0);
  EXPECT_EQ(panel.text, panel::kNoAck);
  EXPECT_EQ(panel.colour, PageColour::Failure);
}

TEST_F(GeneralOnEngine, FailedSendShowsTheErrorAndNothingFollows) {
  holdHostPort();
  panel.colour = PageColour::Success;
  EXPECT_FALSE(page.send(buildSetAddress(AddressRow::Ip, {"10", "123", "13", "70"})));
  EXPECT_EQ(panel.text, panel::kSendFailed);
  EXPECT_EQ(panel.colour, PageColour::Failure);
  const std::size_t after = panel.steps.size();
  host.runFor(1300ms);
  EXPECT_EQ(panel.steps.size(), after) << "no outcome may follow a failed send";
  EXPECT_EQ(device.requestCount(), 0u);
}

TEST_F(GeneralOnEngine, SystemResetKeepsResetSentAndNoOutcomeFollows) {
  const GeneralRequest r = buildReset(kSystemResetIndex, 10);
  EXPECT_TRUE(page.send(r));
  EXPECT_EQ(panel.text, panel::kResetSent);
  EXPECT_EQ(panel.colour, PageColour::ButtonFace);
  EXPECT_FALSE(engine.endpointActive());
  ASSERT_TRUE(device.waitForRequests(1, 2000ms));
  EXPECT_EQ(device.lastRequest(), r.frame);
  const std::size_t after = panel.steps.size();
  host.runFor(1300ms);  // the board answers the trailer, but nobody listens
  EXPECT_EQ(panel.steps.size(), after);
  EXPECT_EQ(panel.text, panel::kResetSent);
}

TEST_F(GeneralOnEngine, SystemResetThatCannotBeSentShowsTheError) {
  holdHostPort();
  EXPECT_FALSE(page.send(buildReset(kSystemResetIndex, 10)));
  EXPECT_EQ(panel.text, panel::kSendFailed);
  EXPECT_EQ(panel.colour, PageColour::Failure);
}

TEST_F(GeneralOnEngine, OtherResetsAndNoSelectionAwaitTheAck) {
  for (int index : {kPdiResetIndex, kSdiResetIndex, -1}) {
    panel = Panel{};
    ASSERT_TRUE(page.send(buildReset(index, 255))) << index;
    EXPECT_EQ(panel.text, panel::kWaiting) << index;
    EXPECT_TRUE(engine.endpointActive()) << index;
    const std::size_t before = panel.steps.size();
    ASSERT_TRUE(panelSteps(panel, before + 1)) << index;
    EXPECT_EQ(panel.text, panel::kAck) << index;
    EXPECT_EQ(panel.colour, PageColour::Success) << index;
  }
}

// ---- Send TS page ------------------------------------------------------------------------

class TsOnEngine : public PagesOnEngine {
 protected:
  Panel panel;
  TsRouting page{engine, [this] { return address; },
                 [this](const PanelUpdate& u) { panel.apply(u); }};
};

TEST_F(TsOnEngine, SendTsAcknowledged) {
  panel.text = panel::kNoAck;
  const Frame frame = buildSendTs(SendTsEntries{}).frame;
  EXPECT_TRUE(page.send(frame));
  EXPECT_EQ(panel.text, panel::kWaiting);
  EXPECT_EQ(panel.colour, PageColour::ButtonFace);
  const std::size_t before = panel.steps.size();
  ASSERT_TRUE(panelSteps(panel, before + 1));
  EXPECT_EQ(panel.text, panel::kAck);
  EXPECT_EQ(panel.colour, PageColour::Success);
  EXPECT_EQ(device.lastRequest(), frame);
}

TEST_F(TsOnEngine, DontSendTsWithAShortAnswerGivesNoAckAtOnce) {
  setFaults([](sim::Faults& f) { f.answerLength = 40; });
  const auto start = EngineClock::now();
  const Frame frame = buildDontSendTs(2);
  ASSERT_TRUE(page.send(frame));
  const std::size_t before = panel.steps.size();
  ASSERT_TRUE(panelSteps(panel, before + 1));
  EXPECT_LT(msSince(start), 500.0);
  EXPECT_EQ(panel.text, panel::kNoAck);
  EXPECT_EQ(panel.colour, PageColour::Failure);
  EXPECT_EQ(device.lastRequest(), frame);
}

TEST_F(TsOnEngine, SilenceGivesNoAckAfterOneSecond) {
  setFaults([](sim::Faults& f) { f.silent = true; });
  const auto start = EngineClock::now();
  ASSERT_TRUE(page.send(buildDontSendTs(0)));
  const std::size_t before = panel.steps.size();
  ASSERT_TRUE(panelSteps(panel, before + 1, 5000ms));
  EXPECT_GE(msSince(start), 950.0);
  EXPECT_EQ(panel.text, panel::kNoAck);
  EXPECT_EQ(panel.colour, PageColour::Failure);
}

TEST_F(TsOnEngine, FailedSendShowsTheErrorAndNothingFollows) {
  holdHostPort();
  EXPECT_FALSE(page.send(buildSendTs(SendTsEntries{}).frame));
  EXPECT_EQ(panel.text, panel::kSendFailed);
  EXPECT_EQ(panel.colour, PageColour::Failure);
  EXPECT_EQ(engine.state(), TransactionState::TsInstructionSent);
  const std::size_t after = panel.steps.size();
  host.runFor(1300ms);
  EXPECT_EQ(panel.steps.size(), after);
}

}  // namespace
