// The entry rules shared by the instruction pages: the 32-bit boxes that also take the
// unsigned decimal text they show back, the address rows converted as one unit, and the
// 15-byte user text.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "instructions/EntryRules.h"
#include "tests/instructions/ExpectedBytes.h"

using namespace vexil;
using vexil::testing::ascii;
using vexil::testing::Bytes;

namespace {

struct Unsigned32Case {
  const char* text;
  std::optional<std::uint32_t> value;  // unset: the box falls back to its default
};

class Unsigned32Entry : public ::testing::TestWithParam<Unsigned32Case> {};

TEST_P(Unsigned32Entry, ConvertsOrFails) {
  const Unsigned32Case& c = GetParam();
  EXPECT_EQ(parseUnsigned32Entry(c.text), c.value) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    SignedRuleStillHolds, Unsigned32Entry,
    ::testing::Values(
        Unsigned32Case{"56765", 56765u}, Unsigned32Case{"$DDBD", 0xDDBDu},
        Unsigned32Case{"$ddbd", 0xDDBDu}, Unsigned32Case{"x1F", 0x1Fu},
        Unsigned32Case{"X1f", 0x1Fu}, Unsigned32Case{"0x10", 0x10u},
        Unsigned32Case{"0X10", 0x10u}, Unsigned32Case{"  12", 12u},
        Unsigned32Case{"+5", 5u}, Unsigned32Case{"0", 0u},
        Unsigned32Case{"-1", 0xFFFFFFFFu}, Unsigned32Case{"-$1", 0xFFFFFFFFu},
        Unsigned32Case{"2147483647", 0x7FFFFFFFu},
        Unsigned32Case{"-2147483648", 0x80000000u},
        Unsigned32Case{"$FFFFFFFF", 0xFFFFFFFFu},
        Unsigned32Case{"$000000001", 1u}));  // leading zeros are not significant

INSTANTIATE_TEST_SUITE_P(
    SignedRuleFailures, Unsigned32Entry,
    ::testing::Values(Unsigned32Case{"", std::nullopt}, Unsigned32Case{"abc", std::nullopt},
                      Unsigned32Case{"12 ", std::nullopt}, Unsigned32Case{"-", std::nullopt},
                      Unsigned32Case{"+", std::nullopt}, Unsigned32Case{"$", std::nullopt},
                      Unsigned32Case{"0x", std::nullopt}, Unsigned32Case{"1.5", std::nullopt},
                      Unsigned32Case{"12$4", std::nullopt},
                      Unsigned32Case{"$100000000", std::nullopt},
                      Unsigned32Case{"-2147483649", std::nullopt}));

// The boxes show a 32-bit value back as an unsigned decimal number, so they must take
// that text again: 2^31 up to 2^32 - 1 is the pattern itself, anything above still fails.
INSTANTIATE_TEST_SUITE_P(
    UnsignedDecimalRange, Unsigned32Entry,
    ::testing::Values(Unsigned32Case{"2147483648", 0x80000000u},
                      Unsigned32Case{"3000000000", 3000000000u},
                      Unsigned32Case{"4294967295", 0xFFFFFFFFu},
                      Unsigned32Case{"4294967296", std::nullopt},
                      Unsigned32Case{"99999999999", std::nullopt},
                      Unsigned32Case{"18446744073709551615", std::nullopt},
                      Unsigned32Case{"18446744073709551616", std::nullopt}));

// ---- Address rows -----------------------------------------------------------------------

constexpr AddressOctets kRowDefault{10, 123, 13, 101};

struct RowCase {
  const char* why;
  AddressTexts texts;
  AddressOctets octets;
};

class AddressRowRule : public ::testing::TestWithParam<RowCase> {};

TEST_P(AddressRowRule, OctetsAndTheTextsShownBack) {
  const RowCase& c = GetParam();
  const AddressOctets got = addressRowOctets(c.texts, kRowDefault);
  EXPECT_EQ(got, c.octets) << c.why;
  const AddressTexts shown = addressRowTexts(got);
  for (std::size_t i = 0; i < kAddressBoxCount; ++i)
    EXPECT_EQ(shown[i], std::to_string(c.octets[i])) << c.why << ", box " << i + 1;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AddressRowRule,
    ::testing::Values(
        RowCase{"plain", {"192", "168", "1", "20"}, {192, 168, 1, 20}},
        RowCase{"one box fails: all defaults", {"10", "123", "x", "7"}, kRowDefault},
        RowCase{"first box fails", {"", "1", "2", "3"}, kRowDefault},
        RowCase{"last box fails", {"1", "2", "3", "4 "}, kRowDefault},
        RowCase{"low 8 bits of 256", {"192", "168", "1", "256"}, {192, 168, 1, 0}},
        RowCase{"300 is 44, -1 is 255", {"300", "-1", "0", "255"}, {44, 255, 0, 255}},
        RowCase{"hexadecimal", {"$C0", "xA8", "0x01", "$FFFFFFFF"}, {192, 168, 1, 255}},
        RowCase{"0.0.0.0 is sent", {"0", "0", "0", "0"}, {0, 0, 0, 0}},
        RowCase{"unsigned decimal is not taken here", {"4294967295", "1", "2", "3"},
                kRowDefault},
        RowCase{"2147483648 is not taken here", {"1", "2", "3", "2147483648"},
                kRowDefault}));

// ---- User text --------------------------------------------------------------------------

TEST(UserTextField, CutToFifteenOrFilledWithBlanks) {
  struct Case { std::string text; std::string field; };
  const Case cases[] = {
      {"", "               "},
      {"abc", "abc            "},
      {"Quenthaven Bt.", "Quenthaven Bt. "},
      {"exactly 15 char", "exactly 15 char"},
      {"sixteen chars!!!", "sixteen chars!!"},
      {"a much longer user text than fits", "a much longer u"},
  };
  for (const Case& c : cases) {
    const UserText field = userTextField(c.text);
    EXPECT_EQ(Bytes(field.begin(), field.end()), ascii(c.field)) << '"' << c.text << '"';
  }
}

TEST(UserTextField, EightBitCharactersAreOneByteEach) {
  const UserText field = userTextField("\xE9t\xE9");
  EXPECT_EQ(field[0], 0xE9);
  EXPECT_EQ(field[1], 't');
  EXPECT_EQ(field[2], 0xE9);
  EXPECT_EQ(field[3], ' ');
}

TEST(CutUserText, OnlyLongerTextsChange) {
  EXPECT_EQ(cutUserText(""), "");
  EXPECT_EQ(cutUserText("Quenthaven Bt."), "Quenthaven Bt.");
  EXPECT_EQ(cutUserText("trailing blank "), "trailing blank ");
  EXPECT_EQ(cutUserText("sixteen chars!!!"), "sixteen chars!!");
}

}  // namespace
