// Frames byte for byte against the literal frames the device expects, and the readers'
// bounds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "messaging/AnswerReader.h"
#include "messaging/Frames.h"

using namespace vexil;

namespace {

Frame bytesOf(const std::string& text) { return Frame(text.begin(), text.end()); }

Frame concat(std::initializer_list<Frame> parts) {
  Frame out;
  for (const Frame& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace

TEST(FixedFrames, StatusQueryIsTheTwentySixBytes) {
  const Frame expected =
      concat({bytesOf("Palvox"), bytesOf("Quenthaven  ACK"), {0x01, 0x03, 0x00, 0x01, 0x01}});
  EXPECT_EQ(StatusQuery(), expected);
  EXPECT_EQ(StatusQuery().size(), 26u);
}

TEST(FixedFrames, QvNetQueryIsTheEighteenBytes) {
  const Frame expected = concat({bytesOf("QV-Net"), {0x00, 0x00}, bytesOf("  Send ACK")});
  EXPECT_EQ(QvNetQuery(), expected);
  EXPECT_EQ(QvNetQuery().size(), 18u);
}

TEST(FixedFrames, DontSendTsPutsTheTrailerAfterTheInstruction) {
  const std::uint8_t input = 0x02;
  const Frame f = buildFixedFrame(makeUserText(" Dont Send TS"), wire::OpDontSendTS, {&input, 1});
  const Frame expected = concat({bytesOf("Palvox"), bytesOf(" Dont Send TS  "),
                                 {0x01, 0x31, 0x00, 0x01, 0x02, 0x03, 0x00, 0x01, 0x00}});
  EXPECT_EQ(f, expected);
  EXPECT_EQ(f.size(), 30u);
}

TEST(FixedFrames, SetSerial56765) {
  const std::uint8_t serial[] = {0x00, 0x00, 0xDD, 0xBD};
  const Frame f = buildFixedFrame(makeUserText(" Set Serial"), wire::OpSetSerial, serial);
  const Frame expected = concat({bytesOf("Palvox"), bytesOf(" Set Serial    "),
                                 {0x01, 0x10, 0x00, 0x04, 0x00, 0x00, 0xDD, 0xBD, 0x03, 0x00,
                                  0x01, 0x00}});
  EXPECT_EQ(f, expected);
  EXPECT_EQ(f.size(), 33u);
}

TEST(FixedFrames, SendTsOfAFirstStart) {
  Frame data = {0x01, 0x02, 0xE0, 0x00, 0x02};
  data.resize(data.size() + 18, 0x00);
  data.insert(data.end(), {0x0A, 0x7B, 0x0D, 0xC9, 0xDD, 0xD5});
  ASSERT_EQ(data.size(), wire::kSendTSDataLength);
  const Frame f = buildFixedFrame(makeUserText(" Send TS"), wire::OpSendTS, data);
  const Frame expected = concat(
      {{0x50, 0x61, 0x6C, 0x76, 0x6F, 0x78, 0x20, 0x53, 0x65, 0x6E, 0x64, 0x20, 0x54, 0x53,
        0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x01, 0x30, 0x00, 0x1D, 0x01, 0x02, 0xE0,
        0x00, 0x02},
       Frame(18, 0x00),
       {0x0A, 0x7B, 0x0D, 0xC9, 0xDD, 0xD5, 0x03, 0x00, 0x01, 0x00}});
  EXPECT_EQ(f, expected);
  EXPECT_EQ(f.size(), 58u);
}

TEST(FixedFrames, ManufacturerConfiguration) {
  const Frame expected = concat({bytesOf("Palvox"), bytesOf("Quenthaven  ACK"), {0x01, 0x12, 0x00, 0x0F},
                                 bytesOf("Marovantis Ltd."), {0x03, 0x00, 0x01, 0x00}});
  EXPECT_EQ(manufacturerConfigFrame(), expected);
  EXPECT_EQ(manufacturerConfigFrame().size(), 44u);
}

TEST(FixedFrames, TotalLengthsOfTheGeneralPageFrames) {
  struct Row { const char* text; std::uint8_t opcode; std::size_t dataLength; std::size_t total; };
  const Row rows[] = {
      {" Set Type", wire::OpSetType, wire::kSetTypeDataLength, 31},
      {" Reset", wire::OpReset, wire::kResetDataLength, 31},
      {" Set User Text", wire::OpSetUserText, wire::kSetUserTextDataLength, 44},
      {" Set IP", wire::OpSetIP, wire::kSetIPDataLength, 45},
      {" Set NetMask", wire::OpSetNetMask, wire::kSetNetMaskDataLength, 45},
      {" Set GatewayIP", wire::OpSetGatewayIP, wire::kSetGatewayIPDataLength, 46},
      {" Set NCO 1", wire::OpSetNCO, wire::kSetNCODataLength, 34},
  };
  for (const Row& r : rows) {
    const Frame data(r.dataLength, 0);
    EXPECT_EQ(buildFixedFrame(makeUserText(r.text), r.opcode, data).size(), r.total) << r.text;
  }
}

TEST(Header, IsMagicTextAndFlags) {
  const Frame h = BuildHeader(makeUserText("Quenthaven Bt."));
  EXPECT_EQ(h, concat({bytesOf("Palvox"), bytesOf("Quenthaven Bt. "), {0x01}}));
  EXPECT_EQ(h.size(), wire::kHeaderLength);  // a frame with no instruction is the header alone
}

TEST(Header, UserTextIsCutOrFilledToFifteenBytes) {
  EXPECT_EQ(makeUserText(""), makeUserText("               "));
  const UserText cut = makeUserText("0123456789ABCDEFGH");
  EXPECT_EQ(std::string(cut.begin(), cut.end()), "0123456789ABCDE");
}

TEST(AppendInstruction, LengthIsBigEndian) {
  Frame f;
  const Frame data(300, 0x5A);
  ASSERT_EQ(AppendInstruction(f, 0x77, data), AppendResult::Appended);
  ASSERT_EQ(f.size(), 303u);
  EXPECT_EQ(f[0], 0x77);
  EXPECT_EQ(f[1], 0x01);
  EXPECT_EQ(f[2], 0x2C);
}

TEST(AppendInstruction, NoDataIsOpcodeAndZeroLength) {
  Frame f;
  ASSERT_EQ(AppendInstruction(f, 0xAB, {}), AppendResult::Appended);
  EXPECT_EQ(f, (Frame{0xAB, 0x00, 0x00}));
}

TEST(AppendInstruction, LargestExpressibleLengthIsAccepted) {
  Frame f;
  const Frame data(65535, 1);
  ASSERT_EQ(AppendInstruction(f, 0x01, data), AppendResult::Appended);
  EXPECT_EQ(f[1], 0xFF);
  EXPECT_EQ(f[2], 0xFF);
  EXPECT_EQ(f.size(), 65538u);
}

TEST(AppendInstruction, DataTheLengthCannotExpressIsRefusedAndFrameUntouched) {
  Frame f = BuildHeader(makeUserText("x"));
  const Frame before = f;
  const Frame data(65536, 1);
  EXPECT_EQ(AppendInstruction(f, 0x01, data), AppendResult::DataTooLong);
  EXPECT_EQ(f, before);
}

TEST(AnswerReader, ReadsBigEndianInsideTheDatagram) {
  const std::vector<std::uint8_t> d = {0x12, 0x34, 0x56, 0x78, 0x9A};
  const AnswerReader r(d);
  EXPECT_EQ(r.u8(4), 0x9A);
  EXPECT_EQ(r.u16(0), 0x1234);
  EXPECT_EQ(r.u32(1), 0x3456789Au);
}

TEST(AnswerReader, NeverReadsBeyondTheDatagram) {
  // The view covers 3 bytes of a larger buffer; bytes beyond it must not be taken.
  const std::vector<std::uint8_t> buffer = {0x01, 0x02, 0x03, 0xEE, 0xEE, 0xEE};
  const AnswerReader r(std::span(buffer.data(), 3));
  EXPECT_EQ(r.u8(3), 0);
  EXPECT_EQ(r.u16(2), 0x0300);
  EXPECT_EQ(r.u32(1), 0x02030000u);
  EXPECT_EQ(r.u32(static_cast<std::size_t>(-2)), 0u);
  EXPECT_FALSE(r.has(2, 2));
  EXPECT_TRUE(r.has(1, 2));
}

TEST(AnswerReader, UserTextAtOffsetSix) {
  std::vector<std::uint8_t> d = bytesOf("PalvoxMarovantis Ltd.");
  d.push_back(0x01);
  const UserText t = AnswerReader(d).userText();
  EXPECT_EQ(std::string(t.begin(), t.end()), "Marovantis Ltd.");
}
