// The "Change IP" rule: which address entries are taken over, and what base and last
// octet they give.
#include <gtest/gtest.h>

#include "instructions/DeviceAddress.h"

namespace vexil {
namespace {

struct Accepted {
  const char* entry;
  const char* base;
  int lastOctet;
  const char* label;
};

class ChangeIpAccepts : public ::testing::TestWithParam<Accepted> {};

TEST_P(ChangeIpAccepts, TakesBaseAndTail) {
  const Accepted& row = GetParam();
  const auto change = takeAddressEntry(row.entry);
  ASSERT_TRUE(change.has_value()) << row.entry;
  EXPECT_EQ(change->base, row.base);
  EXPECT_EQ(change->lastOctet, row.lastOctet);
  EXPECT_EQ(deviceAddressText(change->base, change->lastOctet), row.label);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ChangeIpAccepts,
    ::testing::Values(
        Accepted{"10.123.13.70", "10.123.13.", 70, "10.123.13.70"},
        // Seven characters with the last dot at position 6: the shortest accepted form.
        Accepted{"1.2.3.4", "1.2.3.", 4, "1.2.3.4"},
        Accepted{"10.0.0.007", "10.0.0.", 7, "10.0.0.7"},
        Accepted{"10.0.0.$1F", "10.0.0.", 31, "10.0.0.31"},
        Accepted{"10.0.0.0x1f", "10.0.0.", 31, "10.0.0.31"},
        Accepted{"10.0.0.070", "10.0.0.", 70, "10.0.0.70"},
        Accepted{"10.0.0.$46", "10.0.0.", 70, "10.0.0.70"},
        Accepted{"10.0.0.0", "10.0.0.", 0, "10.0.0.0"},
        Accepted{"10.0.0.255", "10.0.0.", 255, "10.0.0.255"},
        Accepted{"10.0.0.+5", "10.0.0.", 5, "10.0.0.5"},
        Accepted{"10.0.0.-0", "10.0.0.", 0, "10.0.0.0"},
        // Leading blanks of the tail are skipped by the integer-text rule.
        Accepted{"10.0.0. 9", "10.0.0.", 9, "10.0.0.9"},
        // Only the dots and the tail are examined.
        Accepted{"ab.cd.ef.9", "ab.cd.ef.", 9, "ab.cd.ef.9"},
        Accepted{"192.168.1.20", "192.168.1.", 20, "192.168.1.20"}));

class ChangeIpRefuses : public ::testing::TestWithParam<const char*> {};

TEST_P(ChangeIpRefuses, LeavesEverything) {
  EXPECT_FALSE(takeAddressEntry(GetParam()).has_value()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ChangeIpRefuses,
    ::testing::Values("",                 // empty
                      "1.2.3.",           // six characters
                      "1.2.34",           // six characters, two dots
                      "10.123.13.",       // nothing after the last dot
                      "10.0.0.256",       // beyond 255
                      "10.0.0.-1",        // below 0
                      "10.0.0.x",         // not a number: counts as 256
                      "10.0.0.5 ",        // a trailing blank does not convert
                      "10.0.0.$",         // a prefix alone
                      "10.0.0.$100",      // 256 in hexadecimal
                      "10.1.1.1.1",       // four dots
                      "10.1.11111",       // two dots
                      "1.2..34",          // three dots, last one at position 5
                      "..1.2345",         // last dot at position 4
                      "abcdefghij"));     // no dot

TEST(DeviceAddressText, BaseAndDecimalOctet) {
  EXPECT_EQ(deviceAddressText("10.123.13.", 101), "10.123.13.101");
  EXPECT_EQ(deviceAddressText("", 0), "0");
  EXPECT_EQ(deviceAddressText("127.0.0.", 255), "127.0.0.255");
}

}  // namespace
}  // namespace vexil
