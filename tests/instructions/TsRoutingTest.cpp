// The Send TS page: the mode bytes, both frames byte for byte, and the destination boxes
// converted as one unit and written back reduced.
#include <gtest/gtest.h>

#include "instructions/TsRouting.h"
#include "tests/instructions/ExpectedBytes.h"

using namespace vexil;
using namespace vexil::testing;

namespace {

// The page as a first start leaves it (no settings file), each field set here.
SendTsEntries firstStart() {
  SendTsEntries e;
  e.tsFormat = 1;          // IPTV
  e.instructionType = 0;   // Send TS
  e.dataValidPin = 0;      // Disabled
  e.tsSource = 0;          // "1"
  e.destinationIp = {"10", "123", "13", "201"};
  e.destinationPort = "56789";
  e.qvNetSize = 1428;
  e.packetNumber = 6;      // "7"
  e.removeNullPackets = false;
  e.removeTspErrors = false;
  e.packetFormat = 0;      // 188 bytes
  return e;
}

const Bytes kSendTsStart = join({header(" Send TS       "), {0x30, 0x00, 0x1D}});

TEST(SendTsFrame, FirstStartWholeFrame) {
  const Bytes expected = join({{0x50, 0x61, 0x6C, 0x76, 0x6F, 0x78, 0x20, 0x53, 0x65, 0x6E,
                                0x64, 0x20, 0x54, 0x53, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
                                0x20, 0x01, 0x30, 0x00, 0x1D, 0x01, 0x02, 0xE0, 0x00, 0x02},
                               repeated(18, 0x00),
                               {0x0A, 0x7B, 0x0D, 0xC9, 0xDD, 0xD5, 0x03, 0x00, 0x01, 0x00}});
  ASSERT_EQ(expected.size(), 58u);
  const SendTsRequest r = buildSendTs(firstStart());
  EXPECT_EQ(r.frame, expected);
  EXPECT_EQ(r.destinationIp, (AddressTexts{"10", "123", "13", "201"}));
  EXPECT_EQ(r.destinationPort, "56789");
}

TEST(SendTsFrame, QvNetAlwaysSendWithDataValidPinOnSourceTwo) {
  SendTsEntries e = firstStart();
  e.tsFormat = 0;
  e.instructionType = 1;
  e.dataValidPin = 1;
  e.tsSource = 1;
  e.qvNetSize = 1428;
  const SendTsRequest r = buildSendTs(e);
  EXPECT_EQ(r.frame, join({kSendTsStart, {0x02, 0x05, 0x05, 0x94, 0x02}, repeated(18, 0x00),
                           {0x0A, 0x7B, 0x0D, 0xC9, 0xDD, 0xD5}, kTrailer}));
}

// ---- Mode bytes --------------------------------------------------------------------------

struct ModeCase {
  const char* why;
  SendTsEntries entries;
  std::uint8_t mode2, mode1, mode0;
};

SendTsEntries with(void (*change)(SendTsEntries&)) {
  SendTsEntries e = firstStart();
  change(e);
  return e;
}

class ModeByteRule : public ::testing::TestWithParam<ModeCase> {};

// The same three bytes come out of composeModeBytes and sit at offsets 26..28 of the frame.
TEST_P(ModeByteRule, ComposedAndSent) {
  const ModeCase& c = GetParam();
  const ModeBytes m = composeModeBytes(c.entries);
  EXPECT_EQ(m.mode2, c.mode2) << c.why;
  EXPECT_EQ(m.mode1, c.mode1) << c.why;
  EXPECT_EQ(m.mode0, c.mode0) << c.why;
  const Frame f = buildSendTs(c.entries).frame;
  ASSERT_EQ(f.size(), 58u);
  EXPECT_EQ(f[26], c.mode2) << c.why;
  EXPECT_EQ(f[27], c.mode1) << c.why;
  EXPECT_EQ(f[28], c.mode0) << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ModeByteRule,
    ::testing::Values(
        ModeCase{"IPTV pn 1, 204 bytes, both removals",
                 with([](SendTsEntries& e) {
                   e.packetNumber = 0, e.packetFormat = 1;
                   e.removeNullPackets = e.removeTspErrors = true;
                 }),
                 0x02, 0x27, 0x00},
        ModeCase{"IPTV pn 7, 188 bytes, nothing ticked", firstStart(), 0x02, 0xE0, 0x00},
        ModeCase{"IPTV pn 4, null packets only",
                 with([](SendTsEntries& e) { e.packetNumber = 3, e.removeNullPackets = true; }),
                 0x02, 0x82, 0x00},
        ModeCase{"IPTV pn 2, TSP errors only",
                 with([](SendTsEntries& e) { e.packetNumber = 1, e.removeTspErrors = true; }),
                 0x02, 0x44, 0x00},
        ModeCase{"IPTV ignores the data size",
                 with([](SendTsEntries& e) { e.qvNetSize = 256; }), 0x02, 0xE0, 0x00},
        ModeCase{"all three Mode[2] bits",
                 with([](SendTsEntries& e) { e.dataValidPin = 1, e.instructionType = 1; }),
                 0x07, 0xE0, 0x00},
        ModeCase{"QV-Net at the scroll bar's left end",
                 with([](SendTsEntries& e) { e.tsFormat = 0, e.qvNetSize = 256; }), 0x00,
                 0x01, 0x00},
        ModeCase{"QV-Net ignores the IPTV controls",
                 with([](SendTsEntries& e) {
                   e.tsFormat = 0, e.qvNetSize = 1000, e.packetNumber = 0, e.packetFormat = 1;
                   e.removeNullPackets = e.removeTspErrors = true;
                 }),
                 0x00, 0x03, 0xE8},
        ModeCase{"no format selected: data size, IPTV bit clear",
                 with([](SendTsEntries& e) { e.tsFormat = -1, e.qvNetSize = 1428; }), 0x00,
                 0x05, 0x94},
        ModeCase{"no format selected, pin enabled",
                 with([](SendTsEntries& e) {
                   e.tsFormat = -1, e.dataValidPin = 1, e.qvNetSize = 300;
                 }),
                 0x01, 0x01, 0x2C}));

TEST(SendTsFrame, SourceByteIsTheItemPlusOne) {
  for (int item = 0; item < 4; ++item) {
    SendTsEntries e = firstStart();
    e.tsSource = item;
    EXPECT_EQ(buildSendTs(e).frame[25], item + 1);
  }
}

// ---- Destination boxes -------------------------------------------------------------------

struct DestinationCase {
  const char* why;
  AddressTexts ip;
  const char* port;
  Bytes sent;  // frame bytes 48..53: the address, then the port high byte first
  AddressTexts ipShown;
  const char* portShown;
};

class DestinationRule : public ::testing::TestWithParam<DestinationCase> {};

TEST_P(DestinationRule, SentAndShown) {
  const DestinationCase& c = GetParam();
  SendTsEntries e = firstStart();
  e.destinationIp = c.ip;
  e.destinationPort = c.port;
  const SendTsRequest r = buildSendTs(e);
  ASSERT_EQ(r.frame.size(), 58u);
  EXPECT_EQ(Bytes(r.frame.begin() + 48, r.frame.begin() + 54), c.sent) << c.why;
  EXPECT_EQ(r.destinationIp, c.ipShown) << c.why;
  EXPECT_EQ(r.destinationPort, c.portShown) << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, DestinationRule,
    ::testing::Values(
        DestinationCase{"x in EditDIP3 resets all five, the valid port included",
                        {"192", "168", "x", "7"}, "1234",
                        {0x0A, 0x7B, 0x0D, 0xC9, 0xDD, 0xD5}, {"10", "123", "13", "201"},
                        "56789"},
        DestinationCase{"a bad port resets the address too", {"192", "168", "1", "7"}, "",
                        {0x0A, 0x7B, 0x0D, 0xC9, 0xDD, 0xD5}, {"10", "123", "13", "201"},
                        "56789"},
        DestinationCase{"300 and 70000 are reduced", {"300", "168", "1", "7"}, "70000",
                        {0x2C, 0xA8, 0x01, 0x07, 0x11, 0x70}, {"44", "168", "1", "7"}, "4464"},
        DestinationCase{"-1 everywhere", {"-1", "-1", "-1", "-1"}, "-1",
                        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {"255", "255", "255", "255"},
                        "65535"},
        DestinationCase{"hexadecimal", {"$7F", "0", "0", "x1"}, "$1F90",
                        {0x7F, 0x00, 0x00, 0x01, 0x1F, 0x90}, {"127", "0", "0", "1"}, "8080"},
        DestinationCase{"port 65536 is 0", {"1", "2", "3", "4"}, "65536",
                        {0x01, 0x02, 0x03, 0x04, 0x00, 0x00}, {"1", "2", "3", "4"}, "0"},
        DestinationCase{"no unsigned exception in the port box", {"1", "2", "3", "4"},
                        "4294967295", {0x0A, 0x7B, 0x0D, 0xC9, 0xDD, 0xD5},
                        {"10", "123", "13", "201"}, "56789"}));

// ---- Don't Send TS -----------------------------------------------------------------------

TEST(DontSendTsFrame, SourceThreeWholeFrame) {
  const Frame f = buildDontSendTs(2);
  EXPECT_EQ(f, join({ascii("Palvox Dont Send TS  "),
                     {0x01, 0x31, 0x00, 0x01, 0x03, 0x03, 0x00, 0x01, 0x00}}));
  EXPECT_EQ(f.size(), 30u);
}

TEST(DontSendTsFrame, OnlyTheSourceByteVaries) {
  const Bytes start = join({header(" Dont Send TS  "), {0x31, 0x00, 0x01}});
  for (int item = 0; item < 4; ++item) {
    EXPECT_EQ(buildDontSendTs(item),
              join({start, {static_cast<std::uint8_t>(item + 1)}, kTrailer}))
        << item;
  }
}

}  // namespace
