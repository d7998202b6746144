// PAT and PMT sections, and the first-priority table and PID timeouts that follow them.
#include <gtest/gtest.h>

#include "PacketBuilder.h"

using namespace vexil::stream;
using namespace vexil::stream::testing;

namespace {

TEST(Crc32Mpeg, CheckValueOfTheStandardString) {
  const std::string text = "123456789";
  EXPECT_EQ(crc32Mpeg({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}), 0x0376E6E7u);
}

TEST(Sections, PatReadsBackWhatWasBuilt) {
  const std::vector<PatEntry> programs{{0, 0x10}, {1, 0x100}, {2, 0x200}};
  const Bytes pat = buildPat(7, programs);
  const Bytes p = sectionPacket(kPatPid, 0, pat);
  const auto section = sectionInPayload({p.data() + kHeaderSize, kPacketSize - kHeaderSize});
  ASSERT_TRUE(section);
  EXPECT_EQ(crc32Mpeg(*section), 0u);
  const auto read = readPat(*section);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->size(), 3u);
  EXPECT_EQ((*read)[2].program, 2);
  EXPECT_EQ((*read)[2].pmtPid, 0x200);
}

TEST(Sections, PmtReadsBackWhatWasBuilt) {
  const Pmt pmt{5, 0x501, {{0x1B, 0x501}, {0x0F, 0x502}}};
  const auto read = readPmt(buildPmt(pmt));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->program, 5);
  EXPECT_EQ(read->pcrPid, 0x501);
  ASSERT_EQ(read->streams.size(), 2u);
  EXPECT_EQ(read->streams[1].streamType, 0x0F);
  EXPECT_EQ(read->streams[1].pid, 0x502);
}

TEST(Sections, ACorruptedSectionIsRefused) {
  Bytes p = patPacket(0);
  p[kHeaderSize + 1 + 9] ^= 0x01;  // a PMT PID bit
  EXPECT_FALSE(sectionInPayload({p.data() + kHeaderSize, kPacketSize - kHeaderSize}));
}

class Tables : public ::testing::Test {
 protected:
  void feedAt(long long ms, const std::vector<Bytes>& packets) { analyser.feed(datagram(packets), at(ms)); }
  const Priority1& p1() const { return analyser.totals().priority1; }

  StreamAnalyser analyser;
};

TEST_F(Tables, TablesEvery400MsAreClean) {
  for (int ms = 0; ms <= 4000; ms += 400) {
    const auto c = static_cast<std::uint8_t>(ms / 400 % 16);
    feedAt(ms, {patPacket(c), pmtPacket(c), packet(kVideoPid, c)});
  }
  EXPECT_EQ(p1().patError, 0u);
  EXPECT_EQ(p1().pmtError, 0u);
  EXPECT_EQ(p1().pidError, 0u);
  EXPECT_EQ(p1().continuityError, 0u);
  EXPECT_EQ(analyser.pid(kPmtPid).kind, PidKind::Pmt);
  EXPECT_EQ(analyser.pid(kVideoPid).kind, PidKind::Elementary);
  EXPECT_EQ(analyser.referencedPids(), std::vector<std::uint16_t>{kVideoPid});
}

TEST_F(Tables, PatAwayForExactlyHalfASecondIsInTime) {
  feedAt(0, {patPacket(0)});
  feedAt(500, {patPacket(1)});
  EXPECT_EQ(p1().patError, 0u);
}

TEST_F(Tables, PatAwayLongerThanHalfASecondIsAnError) {
  feedAt(0, {patPacket(0)});
  feedAt(300, {packet(kNullPid, 0)});
  feedAt(501, {packet(kNullPid, 0)});
  EXPECT_EQ(p1().patError, 1u);
  feedAt(900, {packet(kNullPid, 0)});  // the same absence: counted once
  EXPECT_EQ(p1().patError, 1u);
  feedAt(1001, {packet(kNullPid, 0)});  // another half second gone
  EXPECT_EQ(p1().patError, 2u);
  feedAt(1100, {patPacket(1)});  // back: a new absence starts
  feedAt(1500, {patPacket(2)});
  EXPECT_EQ(p1().patError, 2u);
}

TEST_F(Tables, AStreamWithoutAnyPatCountsFromItsFirstDatagram) {
  feedAt(1000, {packet(kNullPid, 0)});
  feedAt(1600, {packet(kNullPid, 0)});
  EXPECT_EQ(p1().patError, 1u);
}

TEST_F(Tables, PmtAwayLongerThanHalfASecondIsAnError) {
  feedAt(0, {patPacket(0), pmtPacket(0)});
  feedAt(400, {patPacket(1)});
  feedAt(800, {patPacket(2)});
  EXPECT_EQ(p1().pmtError, 1u);
  EXPECT_EQ(p1().patError, 0u);
}

TEST_F(Tables, AnotherTableOnPid0IsAPatError) {
  const Bytes notPat = sectionPacket(kPatPid, 0, buildPmt(Pmt{1, kVideoPid, {}}));
  feedAt(0, {notPat});
  EXPECT_EQ(p1().patError, 1u);
}

TEST_F(Tables, ScrambledPatIsAPatError) {
  Bytes p = patPacket(0);
  p[3] |= kScramblingMask;
  feedAt(0, {p});
  EXPECT_EQ(p1().patError, 1u);
}

TEST_F(Tables, PidNamedByThePmtThatStopsIsAPidError) {
  for (int ms = 0; ms <= 2000; ms += 200) {
    const auto c = static_cast<std::uint8_t>(ms / 200 % 16);
    feedAt(ms, {patPacket(c), pmtPacket(c), packet(kVideoPid, c)});
  }
  for (int ms = 2200; ms <= 7000; ms += 200) {
    const auto c = static_cast<std::uint8_t>(ms / 200 % 16);
    feedAt(ms, {patPacket(c), pmtPacket(c)});
  }
  EXPECT_EQ(p1().pidError, 0u);  // last seen at 2000, 5 s not yet over
  feedAt(7001, {patPacket(3), pmtPacket(3)});
  EXPECT_EQ(p1().pidError, 1u);
  EXPECT_EQ(p1().patError, 0u);
  EXPECT_EQ(p1().pmtError, 0u);
}

TEST_F(Tables, PidNamedButNeverSentIsAPidErrorAfterTheTimeout) {
  StreamAnalyser shortLimit(AnalyserLimits{std::chrono::milliseconds(500), std::chrono::seconds(1)});
  for (int ms = 0; ms <= 1200; ms += 100) {
    const auto c = static_cast<std::uint8_t>(ms / 100 % 16);
    shortLimit.feed(datagram({patPacket(c), pmtPacket(c)}), at(ms));
  }
  EXPECT_EQ(shortLimit.totals().priority1.pidError, 1u);
}

}  // namespace
