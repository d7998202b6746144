// The General page's frames and the texts its buttons write back, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "instructions/GeneralInstructions.h"
#include "tests/instructions/ExpectedBytes.h"

using namespace vexil;
using namespace vexil::testing;
using Texts = std::vector<std::string>;

namespace {

// The frame of one General instruction: header, opcode, length, data, trailer.
Bytes generalFrame(std::string_view text, std::uint8_t opcode, const Bytes& data) {
  return join({header(text), {opcode, 0x00, static_cast<std::uint8_t>(data.size())}, data,
               kTrailer});
}

void expectAwaited(const GeneralRequest& r) {
  EXPECT_FALSE(r.reset);
  EXPECT_FALSE(r.systemReset);
}

// ---- Set Serial --------------------------------------------------------------------------

TEST(SetSerial, WorkedExampleWholeFrame) {
  const GeneralRequest r = buildSetSerial("56765");
  const Bytes expected = join({ascii("Palvox"), ascii(" Set Serial    "),
                               {0x01, 0x10, 0x00, 0x04, 0x00, 0x00, 0xDD, 0xBD, 0x03, 0x00,
                                0x01, 0x00}});
  EXPECT_EQ(r.frame, expected);
  EXPECT_EQ(r.frame.size(), 33u);
  EXPECT_EQ(r.rewritten, Texts{"56765"});
  expectAwaited(r);
}

struct SerialCase {
  const char* text;
  Bytes data;
  const char* shown;
};

class SetSerialEntry : public ::testing::TestWithParam<SerialCase> {};

TEST_P(SetSerialEntry, DataBytesAndBoxShown) {
  const SerialCase& c = GetParam();
  const GeneralRequest r = buildSetSerial(c.text);
  EXPECT_EQ(r.frame, generalFrame(" Set Serial    ", 0x10, c.data)) << '"' << c.text << '"';
  EXPECT_EQ(r.rewritten, Texts{c.shown}) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Entries, SetSerialEntry,
    ::testing::Values(
        SerialCase{"$DDBD", {0x00, 0x00, 0xDD, 0xBD}, "56765"},
        SerialCase{"abc", {0x00, 0x00, 0x00, 0x00}, "0"},
        SerialCase{"", {0x00, 0x00, 0x00, 0x00}, "0"},
        SerialCase{"56765 ", {0x00, 0x00, 0x00, 0x00}, "0"},
        SerialCase{"-1", {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
        SerialCase{"$FFFFFFFF", {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
        SerialCase{"2147483647", {0x7F, 0xFF, 0xFF, 0xFF}, "2147483647"},
        // What the box shows back sends the same bytes when pressed again.
        SerialCase{"4294967295", {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
        SerialCase{"2147483648", {0x80, 0x00, 0x00, 0x00}, "2147483648"},
        SerialCase{"4294967296", {0x00, 0x00, 0x00, 0x00}, "0"}));

TEST(SetSerial, PressingAgainWithTheTextShownSendsTheSameBytes) {
  for (const char* typed : {"-1", "$80000000", "$DEADBEEF", "56765", "0"}) {
    const GeneralRequest first = buildSetSerial(typed);
    ASSERT_EQ(first.rewritten.size(), 1u);
    const GeneralRequest again = buildSetSerial(first.rewritten[0]);
    EXPECT_EQ(again.frame, first.frame) << typed;
    EXPECT_EQ(again.rewritten, first.rewritten) << typed;
  }
}

// ---- Set Type ----------------------------------------------------------------------------

TEST(SetType, WholeFrame) {
  const GeneralRequest r = buildSetType("7058");
  EXPECT_EQ(r.frame, join({header(" Set Type      "), {0x11, 0x00, 0x02, 0x1B, 0x92}, kTrailer}));
  EXPECT_EQ(r.frame.size(), 31u);
  EXPECT_EQ(r.rewritten, Texts{"7058"});
  expectAwaited(r);
}

struct TypeCase {
  const char* text;
  std::uint8_t high, low;
  const char* shown;
};

class SetTypeEntry : public ::testing::TestWithParam<TypeCase> {};

TEST_P(SetTypeEntry, LowSixteenBitsSentAndShown) {
  const TypeCase& c = GetParam();
  const GeneralRequest r = buildSetType(c.text);
  EXPECT_EQ(r.frame, generalFrame(" Set Type      ", 0x11, {c.high, c.low})) << c.text;
  EXPECT_EQ(r.rewritten, Texts{c.shown}) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Entries, SetTypeEntry,
    ::testing::Values(TypeCase{"-1", 0xFF, 0xFF, "65535"}, TypeCase{"70000", 0x11, 0x70, "4464"},
                      TypeCase{"65535", 0xFF, 0xFF, "65535"}, TypeCase{"65536", 0x00, 0x00, "0"},
                      TypeCase{"$1BFB", 0x1B, 0xFB, "7163"}, TypeCase{"abc", 0x00, 0x00, "0"},
                      TypeCase{"", 0x00, 0x00, "0"},
                      // The unsigned decimal text of the 32-bit boxes is not taken here.
                      TypeCase{"4294967295", 0x00, 0x00, "0"},
                      TypeCase{"2147483648", 0x00, 0x00, "0"}));

// ---- Address rows ------------------------------------------------------------------------

const Bytes kTwelveZeros = repeated(12, 0x00);

TEST(SetAddress, WholeFramesForTenOneTwoThreeThirteenSeventy) {
  const AddressTexts row{"10", "123", "13", "70"};
  const Bytes address{0x0A, 0x7B, 0x0D, 0x46};

  const GeneralRequest ip = buildSetAddress(AddressRow::Ip, row);
  EXPECT_EQ(ip.frame, join({header(" Set IP        "), {0x24, 0x00, 0x10}, kTwelveZeros, address,
                            kTrailer}));
  EXPECT_EQ(ip.frame.size(), 45u);

  const GeneralRequest mask = buildSetAddress(AddressRow::NetMask, row);
  EXPECT_EQ(mask.frame, join({header(" Set NetMask   "), {0x21, 0x00, 0x10}, kTwelveZeros,
                              address, kTrailer}));
  EXPECT_EQ(mask.frame.size(), 45u);

  const GeneralRequest gateway = buildSetAddress(AddressRow::Gateway, row);
  EXPECT_EQ(gateway.frame, join({header(" Set GatewayIP "), {0x20, 0x00, 0x11, 0x01},
                                 kTwelveZeros, address, kTrailer}));
  EXPECT_EQ(gateway.frame.size(), 46u);

  for (const GeneralRequest* r : {&ip, &mask, &gateway}) {
    EXPECT_EQ(r->rewritten, (Texts{"10", "123", "13", "70"}));
    expectAwaited(*r);
  }
}

struct AddressCase {
  const char* why;
  AddressRow row;
  AddressTexts texts;
  Bytes octets;
  Texts shown;
};

class SetAddressEntry : public ::testing::TestWithParam<AddressCase> {};

// The last four data bytes are the octets in dotted order.
TEST_P(SetAddressEntry, OctetsSentAndBoxesShown) {
  const AddressCase& c = GetParam();
  const GeneralRequest r = buildSetAddress(c.row, c.texts);
  ASSERT_GE(r.frame.size(), 45u) << c.why;
  const std::size_t trailerAt = r.frame.size() - kTrailer.size();
  EXPECT_EQ(Bytes(r.frame.begin() + trailerAt - 4, r.frame.begin() + trailerAt), c.octets) << c.why;
  EXPECT_EQ(r.rewritten, c.shown) << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SetAddressEntry,
    ::testing::Values(
        AddressCase{"IP row with x: all four defaults", AddressRow::Ip, {"10", "123", "x", "7"},
                    {10, 123, 13, 101}, {"10", "123", "13", "101"}},
        AddressCase{"net mask with an empty box", AddressRow::NetMask, {"255", "255", "", "0"},
                    {255, 0, 0, 0}, {"255", "0", "0", "0"}},
        AddressCase{"gateway with an empty box", AddressRow::Gateway, {"", "168", "1", "1"},
                    {10, 123, 13, 1}, {"10", "123", "13", "1"}},
        AddressCase{"256 becomes 0", AddressRow::Ip, {"192", "168", "1", "256"},
                    {192, 168, 1, 0}, {"192", "168", "1", "0"}},
        AddressCase{"300 and -1", AddressRow::NetMask, {"300", "-1", "255", "0"},
                    {44, 255, 255, 0}, {"44", "255", "255", "0"}},
        AddressCase{"broadcast is sent", AddressRow::Gateway, {"255", "255", "255", "255"},
                    {255, 255, 255, 255}, {"255", "255", "255", "255"}},
        AddressCase{"no unsigned exception in an address box", AddressRow::Ip,
                    {"4294967295", "1", "2", "3"}, {10, 123, 13, 101},
                    {"10", "123", "13", "101"}}));

// ---- Set NCO -----------------------------------------------------------------------------

TEST(SetNco, UnconvertibleTextOnChannelTwoWholeFrame) {
  const GeneralRequest r = buildSetNco(2, "abc");
  EXPECT_EQ(r.frame, join({header(" Set NCO 2     "),
                           {0x40, 0x00, 0x05, 0x02, 0x00, 0x0F, 0x42, 0x40}, kTrailer}));
  EXPECT_EQ(r.frame.size(), 34u);
  EXPECT_EQ(r.rewritten, Texts{"1000000"});
  expectAwaited(r);
}

TEST(SetNco, ChannelNumberInTextAndFirstDatum) {
  for (int channel = 1; channel <= 4; ++channel) {
    const GeneralRequest r = buildSetNco(channel, "120");
    const std::string text = " Set NCO " + std::to_string(channel) + "     ";
    const auto ch = static_cast<std::uint8_t>(channel);
    EXPECT_EQ(r.frame, generalFrame(text, 0x40, {ch, 0x00, 0x00, 0x00, 0x78})) << channel;
  }
}

struct NcoCase {
  const char* text;
  Bytes frequency;
  const char* shown;
};

class SetNcoEntry : public ::testing::TestWithParam<NcoCase> {};

TEST_P(SetNcoEntry, SentUnscaledAndShownUnsigned) {
  const NcoCase& c = GetParam();
  const GeneralRequest r = buildSetNco(3, c.text);
  EXPECT_EQ(r.frame, generalFrame(" Set NCO 3     ", 0x40, join({{0x03}, c.frequency}))) << c.text;
  EXPECT_EQ(r.rewritten, Texts{c.shown}) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Entries, SetNcoEntry,
    ::testing::Values(NcoCase{"62500000", {0x03, 0xB9, 0xAC, 0xA0}, "62500000"},
                      NcoCase{"120", {0x00, 0x00, 0x00, 0x78}, "120"},
                      NcoCase{"0", {0x00, 0x00, 0x00, 0x00}, "0"},
                      NcoCase{"100000000", {0x05, 0xF5, 0xE1, 0x00}, "100000000"},
                      NcoCase{"", {0x00, 0x0F, 0x42, 0x40}, "1000000"},
                      NcoCase{"-1", {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
                      NcoCase{"4294967295", {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295"},
                      NcoCase{"2147483648", {0x80, 0x00, 0x00, 0x00}, "2147483648"},
                      NcoCase{"4294967296", {0x00, 0x0F, 0x42, 0x40}, "1000000"}));

// ---- Reset -------------------------------------------------------------------------------

TEST(Reset, SdiResetWholeFrameAwaitsTheAck) {
  const GeneralRequest r = buildReset(kSdiResetIndex, 255);
  EXPECT_EQ(r.frame, join({header(" Reset         "), {0x01, 0x00, 0x02, 0x02, 0xFF}, kTrailer}));
  EXPECT_EQ(r.frame.size(), 31u);
  EXPECT_TRUE(r.reset);
  EXPECT_FALSE(r.systemReset);
  EXPECT_TRUE(r.rewritten.empty());
}

TEST(Reset, TypeByteIsTheItemIndexAndOnlySystemResetSkipsTheWait) {
  struct Case { int index; int time; std::uint8_t type; bool systemReset; };
  const Case cases[] = {
      {kPdiResetIndex, 1, 0x00, false},
      {kSystemResetIndex, 10, 0x01, true},
      {kSdiResetIndex, 128, 0x02, false},
      {-1, 10, 0xFF, false},  // no item selected
  };
  for (const Case& c : cases) {
    const GeneralRequest r = buildReset(c.index, c.time);
    EXPECT_EQ(r.frame, generalFrame(" Reset         ", 0x01,
                                    {c.type, static_cast<std::uint8_t>(c.time)}))
        << c.index;
    EXPECT_TRUE(r.reset) << c.index;
    EXPECT_EQ(r.systemReset, c.systemReset) << c.index;
  }
}

// ---- Set User Text -----------------------------------------------------------------------

TEST(SetUserText, FifteenBytesAlwaysAndTheBoxIsNotRewritten) {
  struct Case { std::string text; std::string field; };
  const Case cases[] = {
      {"Hello", "Hello          "},
      {"", "               "},
      {"exactly 15 char", "exactly 15 char"},
      {"sixteen chars!!!", "sixteen chars!!"},
      {std::string(200, 'z'), std::string(15, 'z')},
  };
  for (const Case& c : cases) {
    const GeneralRequest r = buildSetUserText(c.text);
    EXPECT_EQ(r.frame, join({header(" Set User Text "), {0x12, 0x00, 0x0F}, ascii(c.field),
                             kTrailer}))
        << '"' << c.text << '"';
    EXPECT_EQ(r.frame.size(), 44u);
    EXPECT_TRUE(r.rewritten.empty());
    expectAwaited(r);
  }
}

}  // namespace
