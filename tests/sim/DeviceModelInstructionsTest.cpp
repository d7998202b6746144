// Instructions the pages send, pressed on the emulated board byte for byte, and then
// read back from its status record: routing of the TS inputs, the gateway mode, the
// resets and what a restart keeps.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "sim/DeviceModel.h"

using namespace vexil::sim;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Record offsets as the status report reads them.
constexpr std::size_t kSerialAt = 27;
constexpr std::size_t kGatewayModeAt = 89;
constexpr std::size_t kGatewayIpAt = 109;
constexpr std::size_t kNetMaskIpAt = 125;
constexpr std::size_t kInputsAt = 131;
constexpr std::size_t kInputSize = 32;
constexpr std::size_t kInsCounterAt = 405;
constexpr std::size_t kCrcCounterAt = 439;
constexpr std::size_t kRemuxFlagsAt = 543 + 3;

Bytes hex(const std::string& text) {
  std::istringstream in(text);
  Bytes out;
  std::string octet;
  while (in >> octet) out.push_back(static_cast<std::uint8_t>(std::stoul(octet, nullptr, 16)));
  return out;
}
Bytes ascii(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Bytes zeros(std::size_t n) { return Bytes(n, 0); }

std::uint32_t be(const Bytes& b, std::size_t at, std::size_t width) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < width; ++i) v = (v << 8) | b.at(at + i);
  return v;
}
Bytes slice(const Bytes& b, std::size_t at, std::size_t count) {
  return {b.begin() + static_cast<std::ptrdiff_t>(at),
          b.begin() + static_cast<std::ptrdiff_t>(at + count)};
}
Bytes inputBlock(const Bytes& record, int channel) {
  return slice(record, kInputsAt + kInputSize * static_cast<std::size_t>(channel - 1), kInputSize);
}

// The frames exactly as the pages send them.
const Bytes kStatusQuery = ascii("Palvox") + ascii("Quenthaven  ACK") + hex("01 03 00 01 01");
const Bytes kAckTrailer = hex("03 00 01 00");

Bytes firstStartSendTs() {
  return hex("50 61 6C 76 6F 78 20 53 65 6E 64 20 54 53 20 20 20 20 20 20 20 01 30 00 1D 01 "
             "02 E0 00 02") +
         zeros(18) + hex("0A 7B 0D C9 DD D5 03 00 01 00");
}
Bytes sendTs(std::uint8_t source, const Bytes& modes, const Bytes& ip, std::uint16_t port) {
  return ascii("Palvox") + ascii(" Send TS       ") + hex("01 30 00 1D") + Bytes{source} + modes +
         hex("02") + zeros(18) + ip +
         Bytes{static_cast<std::uint8_t>(port >> 8), static_cast<std::uint8_t>(port)} + kAckTrailer;
}
Bytes dontSendTs(std::uint8_t source) {
  return ascii("Palvox Dont Send TS  ") + hex("01 31 00 01") + Bytes{source} + kAckTrailer;
}
Bytes reset(std::uint8_t type, std::uint8_t timeMs) {
  return ascii("Palvox") + ascii(" Reset         ") + hex("01 01 00 02") + Bytes{type, timeMs} +
         kAckTrailer;
}
Bytes setGateway(const Bytes& ip) {
  return ascii("Palvox") + ascii(" Set GatewayIP ") + hex("01 20 00 11 01") + zeros(12) + ip +
         kAckTrailer;
}

// A board whose clock the test moves by hand.
struct HandClock {
  std::shared_ptr<std::atomic<long long>> ms = std::make_shared<std::atomic<long long>>(0);
  BoardClock clock() const {
    return [ms = ms] { return std::chrono::milliseconds(ms->load()); };
  }
};

TEST(BoardSendTs, FirstStartFrameRoutesInputOneAsTheRecordReadsIt) {
  DeviceModel board;
  board.state().inputs[0] = InputChannel{};  // stopped, nothing set
  const Bytes frame = firstStartSendTs();
  ASSERT_EQ(frame.size(), 58u);
  const Bytes before = board.handle(kStatusQuery);

  EXPECT_EQ(board.handle(frame).size(), 41u);
  const Bytes after = board.handle(kStatusQuery);
  const Bytes block = inputBlock(after, 1);
  EXPECT_EQ(slice(block, 0, 6), zeros(6)) << "destination MAC";
  EXPECT_EQ(slice(block, 6, 12), zeros(12));
  EXPECT_EQ(slice(block, 18, 4), (Bytes{10, 123, 13, 201}));
  EXPECT_EQ(be(block, 22, 2), 56789u);
  EXPECT_EQ(block[24], 0x02) << "destination mode IP";
  EXPECT_EQ(block[25], 0x01) << "sending";
  EXPECT_EQ(slice(block, 26, 3), hex("02 E0 00")) << "Mode[2], Mode[1], Mode[0]";
  for (int n = 2; n <= 4; ++n) EXPECT_EQ(inputBlock(after, n), inputBlock(before, n)) << n;
}

TEST(BoardSendTs, EachSourceReachesOnlyItsOwnBlock) {
  for (std::uint8_t source = 1; source <= 4; ++source) {
    DeviceModel board;
    board.state().clock = frozenClock(0ms);
    const Bytes before = board.handle(kStatusQuery);
    // QV-Net, size 1428, DV pin enabled, always send.
    board.handle(sendTs(source, hex("05 05 94"), {192, 168, 1, source}, 0x1234));
    const Bytes after = board.handle(kStatusQuery);
    for (int n = 1; n <= 4; ++n) {
      const Bytes block = inputBlock(after, n);
      if (n != source) {
        EXPECT_EQ(block, inputBlock(before, n)) << int(source) << " touched " << n;
        continue;
      }
      EXPECT_EQ(slice(block, 18, 4), (Bytes{192, 168, 1, source}));
      EXPECT_EQ(be(block, 22, 2), 0x1234u);
      EXPECT_EQ(slice(block, 24, 5), hex("02 01 05 05 94"));
    }
  }
}

TEST(BoardSendTs, SourceOutsideOneToFourOrWrongLengthChangesNothingButIsAcknowledged) {
  for (std::uint8_t source : {0, 5, 0xFF}) {
    DeviceModel board;
    board.state().clock = frozenClock(0ms);
    const Bytes before = board.handle(kStatusQuery);
    EXPECT_EQ(board.handle(sendTs(source, hex("02 E0 00"), {1, 2, 3, 4}, 9)).size(), 41u);
    EXPECT_EQ(board.handle(kStatusQuery), before) << int(source);
  }
  DeviceModel board;
  board.state().clock = frozenClock(0ms);
  const Bytes before = board.handle(kStatusQuery);
  Bytes longer = firstStartSendTs();
  longer[24] = 30;  // 30 data bytes: one too many
  longer.insert(longer.begin() + 25 + 29, 0x00);
  EXPECT_EQ(board.handle(longer).size(), 41u);
  Bytes shorter = firstStartSendTs();
  shorter[24] = 28;
  shorter.erase(shorter.begin() + 25 + 28);
  EXPECT_EQ(board.handle(shorter).size(), 41u);
  EXPECT_EQ(board.handle(kStatusQuery), before);
}

TEST(BoardDontSendTs, StopsTheInputAndKeepsItsRouting) {
  DeviceModel board;
  board.handle(sendTs(3, hex("03 41 00"), {239, 9, 9, 9}, 7000));
  const Bytes frame = dontSendTs(3);
  ASSERT_EQ(frame.size(), 30u);
  EXPECT_EQ(frame, ascii("Palvox Dont Send TS  ") + hex("01 31 00 01 03 03 00 01 00"));
  const Bytes sending = inputBlock(board.handle(kStatusQuery), 3);
  ASSERT_EQ(sending[25], 1);

  EXPECT_EQ(board.handle(frame).size(), 41u);
  Bytes stopped = inputBlock(board.handle(kStatusQuery), 3);
  EXPECT_EQ(stopped[25], 0);
  stopped[25] = 1;
  EXPECT_EQ(stopped, sending) << "only the state changes";
  // Input 1 of the emulator sends out of the box; source 0 and 5 stop nothing.
  board.handle(dontSendTs(0));
  board.handle(dontSendTs(5));
  EXPECT_EQ(inputBlock(board.handle(kStatusQuery), 1)[25], 1);
  board.handle(dontSendTs(1));
  EXPECT_EQ(inputBlock(board.handle(kStatusQuery), 1)[25], 0);
}

TEST(BoardGeneralInstructions, SetSerialFromThePageExampleIsReported) {
  DeviceModel board;
  const Bytes frame =
      ascii("Palvox") + ascii(" Set Serial    ") + hex("01 10 00 04 00 00 DD BD 03 00 01 00");
  ASSERT_EQ(frame.size(), 33u);
  EXPECT_EQ(board.handle(frame).size(), 41u);
  EXPECT_EQ(be(board.handle(kStatusQuery), kSerialAt, 4), 56765u);
}

TEST(BoardGeneralInstructions, SetGatewayStoresTheModeAndTheAddress) {
  DeviceModel board;
  board.state().gatewayMode = 0;
  const Bytes frame = setGateway({10, 123, 13, 70});
  ASSERT_EQ(frame.size(), 46u);
  EXPECT_EQ(board.handle(frame).size(), 41u);
  const Bytes record = board.handle(kStatusQuery);
  EXPECT_EQ(record[kGatewayModeAt], 1) << "Manual IP (1)";
  EXPECT_EQ(slice(record, kGatewayIpAt, 4), (Bytes{10, 123, 13, 70}));

  Bytes otherMode = setGateway({10, 0, 0, 254});
  otherMode[25] = 0x02;
  board.handle(otherMode);
  EXPECT_EQ(board.handle(kStatusQuery)[kGatewayModeAt], 2);
}

TEST(BoardReset, PdiSdiAndUnknownTypesAreAcknowledgedAndChangeNothing) {
  for (std::uint8_t type : {0, 2, 3, 0xFF}) {
    DeviceModel board;
    board.state().clock = frozenClock(5000ms);
    const Bytes before = board.handle(kStatusQuery);
    const Bytes frame = reset(type, 255);
    ASSERT_EQ(frame.size(), 31u);
    EXPECT_EQ(board.handle(frame).size(), 41u) << int(type);
    EXPECT_EQ(board.handle(kStatusQuery), before) << int(type);
  }
}

TEST(BoardReset, SystemResetGivesNoAnswerAndRestartsTheCounters) {
  HandClock hand;
  DeviceModel board;
  board.state().clock = hand.clock();
  board.state().insPacketCounter = 100;
  board.state().insPacketsPerSecond = 120;
  board.state().crcErrorCounter = 7;
  board.state().crcErrorsPerMinute = 60;
  *hand.ms = 5000;
  Bytes record = board.handle(kStatusQuery);
  EXPECT_EQ(be(record, kInsCounterAt, 2), 100u + 600u);
  EXPECT_EQ(be(record, kCrcCounterAt, 2), 7u + 5u);

  EXPECT_TRUE(board.handle(reset(1, 10)).empty()) << "no answer despite the ACK request";
  record = board.handle(kStatusQuery);
  EXPECT_EQ(be(record, kInsCounterAt, 2), 100u) << "back to the start value";
  EXPECT_EQ(be(record, kCrcCounterAt, 2), 7u);
  EXPECT_EQ(board.state().uptime(), 0ms);
  *hand.ms = 6000;
  EXPECT_EQ(be(board.handle(kStatusQuery), kInsCounterAt, 2), 100u + 120u);
}

TEST(BoardReset, SystemResetRestartsABoardWithAFrozenClock) {
  DeviceModel board;
  board.state().clock = frozenClock(12345ms);
  board.state().insPacketCounter = 0;
  board.state().insPacketsPerSecond = 100;
  EXPECT_EQ(be(board.handle(kStatusQuery), kInsCounterAt, 2), 1234u);
  board.handle(reset(1, 1));
  EXPECT_EQ(be(board.handle(kStatusQuery), kInsCounterAt, 2), 0u);
}

TEST(BoardReset, SystemResetKeepsTheConfigurationAndStopsTheInputs) {
  DeviceModel board;
  board.state().clock = frozenClock(0ms);
  board.state().remux.channels[0].overflowSinceReset = true;
  board.handle(ascii("Palvox") + ascii(" Set Serial    ") + hex("01 10 00 04 00 00 DD BD") +
               kAckTrailer);
  board.handle(ascii("Palvox") + ascii(" Set User Text ") + hex("01 12 00 0F") +
               ascii("Kept Over Reset") + kAckTrailer);
  board.handle(setGateway({10, 1, 1, 1}));
  board.handle(sendTs(2, hex("02 E0 00"), {239, 5, 5, 5}, 5555));
  const Bytes before = board.handle(kStatusQuery);
  ASSERT_NE(before[kRemuxFlagsAt] & 0x04, 0);

  board.handle(reset(1, 100));
  const Bytes after = board.handle(kStatusQuery);
  EXPECT_EQ(be(after, kSerialAt, 4), 56765u);
  EXPECT_EQ(std::string(after.begin() + 6, after.begin() + 21), "Kept Over Reset");
  EXPECT_EQ(slice(after, kGatewayIpAt, 4), (Bytes{10, 1, 1, 1}));
  EXPECT_EQ(slice(after, kNetMaskIpAt, 4), slice(before, kNetMaskIpAt, 4));
  for (int n = 1; n <= 4; ++n) {
    Bytes block = inputBlock(after, n);
    EXPECT_EQ(block[25], 0) << "input " << n << " stopped";
    block[25] = inputBlock(before, n)[25];
    EXPECT_EQ(block, inputBlock(before, n)) << "input " << n << " keeps its routing";
  }
  EXPECT_EQ(after[kRemuxFlagsAt] & 0x04, 0) << "no overflow since this reset";
}

TEST(BoardReset, SystemResetDropsTheRestOfItsFrame) {
  DeviceModel board;
  Bytes frame = ascii("Palvox") + ascii(" Reset         ") + hex("01 01 00 02 01 0A");
  frame = frame + hex("10 00 04 00 00 00 2A") + hex("03 00 01 01");
  EXPECT_TRUE(board.handle(frame).empty());
  EXPECT_EQ(board.state().serial, 5000u);
}

TEST(BoardReset, SystemResetWithoutAckRequestStillRestarts) {
  DeviceModel board;
  board.state().clock = frozenClock(9000ms);
  const Bytes frame = ascii("Palvox") + ascii(" Reset         ") + hex("01 01 00 02 01 0A");
  EXPECT_TRUE(board.handle(frame).empty());
  EXPECT_EQ(board.state().uptime(), 0ms);
  EXPECT_EQ(inputBlock(board.handle(kStatusQuery), 1)[25], 0);
}

TEST(BoardInstructionsWithoutAckRequest, AreCarriedOutSilently) {
  DeviceModel board;
  Bytes frame = firstStartSendTs();
  frame.resize(frame.size() - kAckTrailer.size());
  EXPECT_TRUE(board.handle(frame).empty());
  EXPECT_EQ(slice(inputBlock(board.handle(kStatusQuery), 1), 18, 4), (Bytes{10, 123, 13, 201}));
}

TEST(BoardRefusedInstructions, AreAcknowledgedButNotCarriedOut) {
  DeviceModel board;
  const Bytes configuration = ascii("Palvox") + ascii("Quenthaven  ACK") + hex("01 12 00 0F") +
                              ascii("Marovantis Ltd.") + kAckTrailer;
  const std::uint8_t refuseUserText[] = {0x12};
  const Bytes answer = board.handle(configuration, refuseUserText);
  ASSERT_EQ(answer.size(), 41u);
  EXPECT_EQ(std::string(answer.begin() + 6, answer.begin() + 21), "Vexil Emulator ");
  const std::uint8_t refuseOthers[] = {0x10, 0x30};
  const Bytes carried = board.handle(configuration, refuseOthers);
  EXPECT_EQ(std::string(carried.begin() + 6, carried.begin() + 21), "Marovantis Ltd.");
}

TEST(BoardRequestParsing, ListsTheInstructionsInOrderAndStopsAtAnOverrun) {
  const Bytes frame = firstStartSendTs();  // the instructions point into it
  const auto list = palvoxInstructions(frame);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].opcode, 0x30);
  EXPECT_EQ(list[0].data.size(), 29u);
  EXPECT_EQ(list[1].opcode, 0x03);
  EXPECT_EQ(Bytes(list[1].data.begin(), list[1].data.end()), Bytes{0x00});

  Bytes overrun = dontSendTs(1);
  overrun[24] = 0x05;  // claims 5 data bytes, the frame holds 1 + trailer (5) exactly
  EXPECT_EQ(palvoxInstructions(overrun).size(), 1u);
  overrun.pop_back();
  EXPECT_TRUE(palvoxInstructions(overrun).empty());
  EXPECT_TRUE(palvoxInstructions(ascii("Palvox")).empty());
}

}  // namespace
