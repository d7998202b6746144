// The emulated board's answers and its parsing of requests: right answers to the
// fixed frames, instructions carried out, and any datagram parsed without reading
// past its end (run under AddressSanitizer to prove the last).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "sim/DeviceModel.h"

using vexil::sim::DeviceModel;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes header(const std::string& userText = "Quenthaven  ACK") {
  Bytes b = text("Palvox");
  Bytes t = text(userText);
  t.resize(15, ' ');
  b.insert(b.end(), t.begin(), t.end());
  b.push_back(0x01);
  return b;
}

void instruction(Bytes& frame, std::uint8_t opcode, const Bytes& data) {
  frame.push_back(opcode);
  frame.push_back(static_cast<std::uint8_t>(data.size() >> 8));
  frame.push_back(static_cast<std::uint8_t>(data.size()));
  frame.insert(frame.end(), data.begin(), data.end());
}

Bytes withAckRequest(Bytes frame, std::uint8_t datum) {
  instruction(frame, 0x03, {datum});
  return frame;
}

std::uint32_t be(const Bytes& b, std::size_t at, std::size_t width) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < width; ++i) v = (v << 8) | b[at + i];
  return v;
}

TEST(BoardAnswers, QvNetQueryGetsTheTwentyFiveByteAck) {
  DeviceModel board;
  Bytes query = text("QV-Net");
  query.insert(query.end(), {0, 0});
  const Bytes tail = text("  Send ACK");
  query.insert(query.end(), tail.begin(), tail.end());
  const Bytes a = board.handle(query);
  ASSERT_EQ(a.size(), 25u);
  EXPECT_EQ(be(a, 16, 2), 7163u);
  EXPECT_EQ(be(a, 18, 2), 5000u);
  EXPECT_EQ(a[23], 1);
  EXPECT_EQ(a[24], 5);
}

TEST(BoardAnswers, StatusQueryGetsTheRecordWithIdentityAndOwnUserText) {
  DeviceModel board;
  const Bytes a = board.handle(withAckRequest(header(), 0x01));
  ASSERT_EQ(a.size(), 662u) << "model 7 carries the extension block";
  EXPECT_EQ(std::string(a.begin(), a.begin() + 6), "Palvox");
  EXPECT_EQ(std::string(a.begin() + 6, a.begin() + 21), "Vexil Emulator ");
  EXPECT_EQ(a[22], 0xF0);
  EXPECT_EQ(a[25], 1);
  EXPECT_EQ(a[26], 5);
  EXPECT_EQ(be(a, 27, 4), 5000u);
  EXPECT_EQ(be(a, 31, 2), 7163u);
  EXPECT_EQ(a[40] & 0x07, 7);
}

TEST(BoardAnswers, OtherModelsAnswerWith534Bytes) {
  for (std::uint8_t model = 0; model < 7; ++model) {
    DeviceModel board;
    board.state().model = model;
    const Bytes a = board.handle(withAckRequest(header(), 0x01));
    EXPECT_EQ(a.size(), 534u) << int(model);
    EXPECT_EQ(a[40] & 0x07, model);
  }
}

TEST(BoardAnswers, ShortAnswerIsFortyOneBytesWithTheAckRecord) {
  DeviceModel board;
  const Bytes a = board.handle(withAckRequest(header(), 0x00));
  ASSERT_EQ(a.size(), 41u);
  EXPECT_EQ(a[22], 0xF0);
  EXPECT_EQ(std::string(a.begin() + 6, a.begin() + 21), "Vexil Emulator ");
}

TEST(BoardAnswers, NoAckRequestNoAnswer) {
  DeviceModel board;
  Bytes reset = header(" Reset");
  instruction(reset, 0x01, {0x00, 0x0A});
  EXPECT_TRUE(board.handle(reset).empty());
  EXPECT_TRUE(board.handle(header()).empty()) << "a header alone asks for nothing";
}

TEST(BoardInstructions, ManufacturerConfigurationChangesTheUserTextItReports) {
  DeviceModel board;
  Bytes f = header();
  instruction(f, 0x12, text("Marovantis Ltd."));
  const Bytes a = board.handle(withAckRequest(f, 0x00));
  ASSERT_EQ(a.size(), 41u);
  EXPECT_EQ(std::string(a.begin() + 6, a.begin() + 21), "Marovantis Ltd.");
}

TEST(BoardInstructions, SerialTypeAddressesAndNcoAreCarriedOut) {
  DeviceModel board;
  Bytes f = header();
  instruction(f, 0x10, {0xFF, 0xFF, 0xFF, 0xFE});
  instruction(f, 0x11, {0x1B, 0x7B});
  Bytes ip(12, 0);
  ip.insert(ip.end(), {192, 168, 7, 9});
  instruction(f, 0x24, ip);
  instruction(f, 0x40, {3, 0x00, 0x0F, 0x42, 0x40});
  board.handle(withAckRequest(f, 0x00));
  EXPECT_EQ(board.state().serial, 0xFFFFFFFEu);
  EXPECT_EQ(board.state().deviceType, 7035);
  EXPECT_EQ(board.state().ipAddress, (std::array<std::uint8_t, 4>{192, 168, 7, 9}));
  EXPECT_EQ(board.state().ncoFrequency[2], 1000000);
}

TEST(BoardInstructions, WrongDataLengthsAndChannelsChangeNothing) {
  DeviceModel board;
  const auto before = board.state();
  Bytes f = header();
  instruction(f, 0x10, {0x01, 0x02, 0x03});           // serial needs 4 bytes
  instruction(f, 0x12, text("short"));                // user text needs 15
  instruction(f, 0x40, {5, 0, 0, 0, 1});              // no NCO channel 5
  instruction(f, 0x40, {0, 0, 0, 0, 1});              // nor 0
  board.handle(withAckRequest(f, 0x00));
  EXPECT_EQ(board.state().serial, before.serial);
  EXPECT_EQ(board.state().userText, before.userText);
  EXPECT_EQ(board.state().ncoFrequency, before.ncoFrequency);
}

TEST(BoardParsing, LengthRunningPastTheDatagramEndsTheParse) {
  DeviceModel board;
  Bytes f = header();
  // An instruction claiming 0x0100 data bytes with only 4 present, followed (inside
  // its claimed data) by what would look like an ACK request.
  f.insert(f.end(), {0x10, 0x01, 0x00, 0x03, 0x00, 0x01, 0x01});
  EXPECT_TRUE(board.handle(f).empty());
  EXPECT_EQ(board.state().serial, 5000u);
}

TEST(BoardParsing, TruncatedInstructionHeaderIsIgnored) {
  DeviceModel board;
  Bytes f = withAckRequest(header(), 0x00);
  f.insert(f.end(), {0x10, 0x00});  // two stray bytes after the last instruction
  EXPECT_EQ(board.handle(f).size(), 41u);
}

TEST(BoardParsing, AckRequestWithoutDataAsksForNothing) {
  DeviceModel board;
  Bytes f = header();
  instruction(f, 0x03, {});
  EXPECT_TRUE(board.handle(f).empty());
}

TEST(BoardParsing, ShortOrForeignDatagramsGetNoAnswer) {
  DeviceModel board;
  EXPECT_TRUE(board.handle({}).empty());
  EXPECT_TRUE(board.handle(text("Palvox")).empty());
  EXPECT_TRUE(board.handle(text("QV-Net")).empty());
  Bytes notPalvox = withAckRequest(header(), 0x01);
  notPalvox[0] = 'X';
  EXPECT_TRUE(board.handle(notPalvox).empty());
}

TEST(BoardParsing, RandomDatagramsNeverReadPastTheirEnd) {
  std::mt19937 rng(20261208);
  DeviceModel board;
  for (int i = 0; i < 20000; ++i) {
    // Half start with a valid header, so the instruction parser sees random input.
    Bytes d = (i % 2) ? header() : Bytes{};
    const std::size_t extra = rng() % 80;
    for (std::size_t k = 0; k < extra; ++k) d.push_back(static_cast<std::uint8_t>(rng()));
    // Copy into an exactly sized heap block, so any over-read is an AddressSanitizer
    // finding.
    auto block = std::make_unique<std::uint8_t[]>(d.size() + (d.empty() ? 1 : 0));
    if (!d.empty()) std::memcpy(block.get(), d.data(), d.size());
    const Bytes answer = board.handle({block.get(), d.size()});
    EXPECT_TRUE(answer.empty() || answer.size() == 25 || answer.size() == 41 ||
                answer.size() >= 534);
  }
}

}  // namespace
