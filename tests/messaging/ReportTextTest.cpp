// The text conventions of the device reports.
#include <gtest/gtest.h>

#include <vector>

#include "messaging/ReportText.h"

using namespace vexil;

namespace {

AnswerReader readerOf(const std::vector<std::uint8_t>& bytes) { return AnswerReader(bytes); }

TEST(VersionText, MinorIsItsLastTwoDecimalDigits) {
  EXPECT_EQ(versionText(1, 5), "1.05");
  EXPECT_EQ(versionText(2, 10), "2.10");
  EXPECT_EQ(versionText(1, 0), "1.00");
  EXPECT_EQ(versionText(1, 99), "1.99");
  EXPECT_EQ(versionText(1, 100), "1.00");
  EXPECT_EQ(versionText(1, 123), "1.23");
  EXPECT_EQ(versionText(1, 255), "1.55");
  EXPECT_EQ(versionText(255, 9), "255.09");
  EXPECT_EQ(versionText(0, 1), "0.01");
}

TEST(HexText, UpperCaseZeroPaddedToWidth) {
  EXPECT_EQ(hexText(10, 2), "0A");
  EXPECT_EQ(hexText(0, 2), "00");
  EXPECT_EQ(hexText(0xFF, 2), "FF");
  EXPECT_EQ(hexText(0x0301, 4), "0301");
  EXPECT_EQ(hexText(0xABCD, 4), "ABCD");
  EXPECT_EQ(hexText(0xBEEF, 2), "EF");  // only the stated width is shown
}

TEST(DecimalText, NoLeadingZerosAndAMinusSign) {
  EXPECT_EQ(decimalText(0), "0");
  EXPECT_EQ(decimalText(7), "7");
  EXPECT_EQ(decimalText(-2), "-2");
  EXPECT_EQ(decimalText(-2147483648LL), "-2147483648");
  EXPECT_EQ(decimalText(65535), "65535");
}

TEST(AddressText, MacIsColonJoinedHexAndIpIsDotJoinedDecimal) {
  const std::vector<std::uint8_t> b{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 10, 123, 13, 255};
  EXPECT_EQ(macText(readerOf(b), 0), "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(ipText(readerOf(b), 6), "10.123.13.255");
  EXPECT_EQ(ipText(readerOf(b), 0), "0.26.43.60");
  EXPECT_EQ(hexBytesText(readerOf(b), 4, 3), "4D5E0A");
}

TEST(AddressText, BytesBeyondTheDatagramReadAsZero) {
  const std::vector<std::uint8_t> b{0xAA, 0xBB};
  EXPECT_EQ(macText(readerOf(b), 0), "AA:BB:00:00:00:00");
  EXPECT_EQ(ipText(readerOf(b), 1), "187.0.0.0");
}

TEST(EnumText, NamedValuesAndUnknownOnes) {
  static constexpr std::string_view names[] = {"Zero (0)", "One (1)"};
  EXPECT_EQ(enumText(0, names), "Zero (0)");
  EXPECT_EQ(enumText(1, names), "One (1)");
  EXPECT_EQ(enumText(2, names), "Unknown (2)");
  EXPECT_EQ(enumText(255, names), "Unknown (255)");
}

}  // namespace
