// Which faults a request meets: selectors by request number and opcode, the first
// matching rule of a script, and the bytes of a shaped answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/DeviceEmulator.h"
#include "sim/Faults.h"

using namespace vexil::sim;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes palvox(const Bytes& instructions) {
  const std::string head = "PalvoxQuenthaven  ACK";
  Bytes b(head.begin(), head.end());
  b.push_back(0x01);
  b.insert(b.end(), instructions.begin(), instructions.end());
  return b;
}
const Bytes kStatusQuery = palvox({0x03, 0x00, 0x01, 0x01});
// Set User Text "Marovantis Ltd." with the trailer: 0x12 first, 0x03 second.
const Bytes kConfiguration = palvox({0x12, 0x00, 0x0F, 'M', 'a', 'r', 'o', 'v',  'a',  'n',  't',
                                     'i',  's',  ' ',  'L', 't', 'd', '.', 0x03, 0x00, 0x01, 0x00});
const Bytes kQvNetQuery = {'Q', 'V', '-', 'N', 'e', 't', 0,   0,   ' ',
                           ' ', 'S', 'e', 'n', 'd', ' ', 'A', 'C', 'K'};

TEST(RequestSelector, EmptySelectorPicksEveryRequest) {
  const RequestSelector any;
  EXPECT_TRUE(any.matches(1, kStatusQuery));
  EXPECT_TRUE(any.matches(99, kQvNetQuery));
  EXPECT_TRUE(any.matches(3, {}));
}

TEST(RequestSelector, NumberPicksOnlyThatRequest) {
  const RequestSelector second{2, std::nullopt};
  EXPECT_FALSE(second.matches(1, kStatusQuery));
  EXPECT_TRUE(second.matches(2, kStatusQuery));
  EXPECT_FALSE(second.matches(3, kStatusQuery));
}

TEST(RequestSelector, OpcodeLooksAtEveryInstructionOfAPalvoxRequest) {
  const RequestSelector userText{std::nullopt, 0x12};
  EXPECT_TRUE(userText.matches(1, kConfiguration));
  EXPECT_FALSE(userText.matches(1, kStatusQuery));
  const RequestSelector ackRequest{std::nullopt, 0x03};
  EXPECT_TRUE(ackRequest.matches(1, kConfiguration)) << "the trailer is an instruction too";
  EXPECT_TRUE(ackRequest.matches(1, kStatusQuery));
  EXPECT_FALSE(ackRequest.matches(1, kQvNetQuery)) << "a QV-Net query carries no opcode";
  // 0x12 inside the data of another instruction is not an opcode.
  const Bytes serialHolding12 = palvox({0x10, 0x00, 0x04, 0x12, 0x12, 0x12, 0x12});
  EXPECT_FALSE(userText.matches(1, serialHolding12));
  // An instruction running past the datagram's end is not read.
  Bytes cut = kConfiguration;
  cut.resize(30);
  EXPECT_FALSE(userText.matches(1, cut));
}

TEST(RequestSelector, NumberAndOpcodeMustBothHold) {
  const RequestSelector secondIfUserText{2, 0x12};
  EXPECT_TRUE(secondIfUserText.matches(2, kConfiguration));
  EXPECT_FALSE(secondIfUserText.matches(2, kStatusQuery));
  EXPECT_FALSE(secondIfUserText.matches(1, kConfiguration));
}

TEST(FaultScript, FirstMatchingRuleDecidesAndOtherwiseCoversTheRest) {
  FaultScript script;
  script.otherwise.silent = true;
  Faults cut;
  cut.answerLength = 20;
  Faults late;
  late.delay = std::chrono::milliseconds(300);
  Faults behaves;
  script.rules = {
      {{std::nullopt, 0x12}, cut}, {{2, std::nullopt}, late}, {{1, std::nullopt}, behaves}};

  EXPECT_FALSE(script.faultsFor(1, kStatusQuery).silent) << "rule 3: a rule replaces otherwise";
  EXPECT_FALSE(script.faultsFor(1, kStatusQuery).answerLength);
  EXPECT_EQ(script.faultsFor(2, kStatusQuery).delay, std::chrono::milliseconds(300));
  EXPECT_EQ(script.faultsFor(2, kConfiguration).answerLength, 20u) << "rule 1 comes first";
  EXPECT_EQ(script.faultsFor(2, kConfiguration).delay, std::chrono::milliseconds(0));
  EXPECT_TRUE(script.faultsFor(3, kStatusQuery).silent);
  EXPECT_EQ(script.faultsFor(7, kConfiguration).answerLength, 20u);

  const FaultScript none;
  EXPECT_FALSE(none.faultsFor(1, kStatusQuery).silent);
}

TEST(ShapeAnswer, LengthCutsOrZeroFills) {
  const Bytes answer(41, 0x77);
  Faults f;
  EXPECT_EQ(shapeAnswer(answer, f), answer);
  f.answerLength = 20;
  EXPECT_EQ(shapeAnswer(answer, f), Bytes(20, 0x77));
  f.answerLength = 0;
  EXPECT_TRUE(shapeAnswer(answer, f).empty());
  f.answerLength = 50;
  const Bytes longer = shapeAnswer(answer, f);
  ASSERT_EQ(longer.size(), 50u);
  EXPECT_EQ(longer[40], 0x77);
  EXPECT_EQ(Bytes(longer.begin() + 41, longer.end()), Bytes(9, 0));
}

TEST(ShapeAnswer, OpcodeReplacesByte22OnlyWhereTheAnswerReachesIt) {
  Bytes answer(41, 0);
  answer[22] = 0xF0;
  Faults f;
  f.answerOpcode = 0x00;
  Bytes shaped = shapeAnswer(answer, f);
  EXPECT_EQ(shaped[22], 0x00);
  EXPECT_EQ(shaped.size(), 41u);
  f.answerLength = 22;  // byte 22 is cut away: nothing to replace
  EXPECT_EQ(shapeAnswer(answer, f), Bytes(22, 0));
  f.answerLength = 23;
  shaped = shapeAnswer(answer, f);
  ASSERT_EQ(shaped.size(), 23u);
  EXPECT_EQ(shaped[22], 0x00);
  f.answerLength = 600;  // zero-filled, then the opcode: byte 22 is still the fault's
  f.answerOpcode = 0xAB;
  EXPECT_EQ(shapeAnswer(answer, f)[22], 0xAB);
}

TEST(LoopbackAddress, OnlyDottedAddressesIn127Count) {
  EXPECT_TRUE(isLoopbackAddress("127.0.0.1"));
  EXPECT_TRUE(isLoopbackAddress("127.255.255.254"));
  EXPECT_TRUE(isLoopbackAddress("127.0.0.0"));
  EXPECT_FALSE(isLoopbackAddress("126.255.255.255"));
  EXPECT_FALSE(isLoopbackAddress("128.0.0.1"));
  EXPECT_FALSE(isLoopbackAddress("10.123.13.101"));
  EXPECT_FALSE(isLoopbackAddress("0.0.0.0"));
  EXPECT_FALSE(isLoopbackAddress("localhost"));
  EXPECT_FALSE(isLoopbackAddress(""));
}

}  // namespace
