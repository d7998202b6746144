// The integer-text rule at its edges.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "messaging/IntegerText.h"

using vexil::parseIntegerText;

namespace {

struct Case {
  const char* text;
  std::optional<std::int32_t> expected;
};

class IntegerTextRule : public ::testing::TestWithParam<Case> {};

TEST_P(IntegerTextRule, Converts) {
  const Case& c = GetParam();
  EXPECT_EQ(parseIntegerText(c.text), c.expected) << '"' << c.text << '"';
}

constexpr std::optional<std::int32_t> kFails = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Decimal, IntegerTextRule,
    ::testing::Values(Case{"0", 0}, Case{"5000", 5000}, Case{"+17", 17}, Case{"-17", -17},
                      Case{"  42", 42}, Case{"007", 7}, Case{"-0", 0},
                      Case{"2147483647", 2147483647}, Case{"2147483648", kFails},
                      Case{"-2147483648", INT32_MIN}, Case{"-2147483649", kFails},
                      Case{"00000000002147483647", 2147483647},
                      Case{"99999999999999999999", kFails}));

INSTANTIATE_TEST_SUITE_P(
    Hex, IntegerTextRule,
    ::testing::Values(Case{"$10", 16}, Case{"x10", 16}, Case{"X10", 16}, Case{"0x10", 16},
                      Case{"0X10", 16}, Case{"$abCD", 0xABCD}, Case{"$FFFFFFFF", -1},
                      Case{"$80000000", INT32_MIN}, Case{"$7FFFFFFF", 2147483647},
                      Case{"-$10", -16}, Case{"+$10", 16}, Case{"-$80000000", INT32_MIN},
                      Case{"$000000001", 1}, Case{"$100000000", kFails},
                      Case{"$123456789", kFails}, Case{"  $DDBD", 56765},
                      Case{"-0x1", -1}));

INSTANTIATE_TEST_SUITE_P(
    Refused, IntegerTextRule,
    ::testing::Values(Case{"", kFails}, Case{"   ", kFails}, Case{"+", kFails},
                      Case{"-", kFails}, Case{"$", kFails}, Case{"0x", kFails},
                      Case{"x", kFails}, Case{"-$", kFails}, Case{"12 ", kFails},
                      Case{"1 2", kFails}, Case{"$1G", kFails}, Case{"12a", kFails},
                      Case{"--1", kFails}, Case{"+-1", kFails}, Case{"- 1", kFails},
                      Case{"0x$1", kFails}, Case{"$-1", kFails}, Case{"\t1", kFails},
                      Case{"1.0", kFails}, Case{"0b1", kFails}));

TEST(Narrowing, TakesLowBitsWithoutRangeCheck) {
  EXPECT_EQ(vexil::lowByte(256), 0);
  EXPECT_EQ(vexil::lowByte(-1), 255);
  EXPECT_EQ(vexil::lowByte(0x1234), 0x34);
  EXPECT_EQ(vexil::lowWord(65536 + 7), 7);
  EXPECT_EQ(vexil::lowWord(-2), 65534);
  EXPECT_EQ(vexil::asUnsigned32(-1), 4294967295u);
}

TEST(Narrowing, ShownBackAsTheValueSent) {
  EXPECT_EQ(vexil::byteText(300), "44");
  EXPECT_EQ(vexil::wordText(-1), "65535");
  EXPECT_EQ(vexil::unsigned32Text(INT32_MIN), "2147483648");
  EXPECT_EQ(vexil::unsigned32Text(*parseIntegerText("$DDBD")), "56765");
}

}  // namespace
