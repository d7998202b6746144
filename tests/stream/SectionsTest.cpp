// Sections put together across packets and read several to a packet: long PMTs, a
// section behind another, sections cut by a lost packet or a transport error, duplicates,
// and the CRC_32 of every table that carries one.
#include <gtest/gtest.h>

#include "PacketBuilder.h"

using namespace vexil::stream;
using namespace vexil::stream::testing;

namespace {

// A PMT of program 1 naming `count` video PIDs from 0x200 up, PCR on the first.
Bytes longPmt(int count, std::uint8_t version = 0) {
  std::vector<PmtStream> streams;
  for (int i = 0; i < count; ++i) streams.push_back({kVideoType, static_cast<std::uint16_t>(0x200 + i)});
  return pmtSection(1, 0x200, streams, version);
}

std::vector<std::uint16_t> pidsFrom(std::uint16_t first, int count) {
  std::vector<std::uint16_t> out;
  for (int i = 0; i < count; ++i) out.push_back(static_cast<std::uint16_t>(first + i));
  return out;
}

class Sections : public ::testing::Test {
 protected:
  void feed(const std::vector<Bytes>& packets, long long ms = 0) { analyser.feed(datagram(packets), at(ms)); }
  std::uint64_t count(Indicator i) const { return analyser.totals().count(i); }
  void patNamingPmtPid() { feed({patPacket(cc(kPatPid))}); }

  StreamAnalyser analyser;
  Counters cc;
};

// ---- Builders against the library's own ------------------------------------------------

TEST(SectionBuilders, AgreeWithTheLibrarysPatAndPmt) {
  const std::vector<PatEntry> programs{{0, 0x10}, {1, 0x100}, {2, 0x200}};
  EXPECT_EQ(patSection(programs, 0, 7), buildPat(7, programs));
  const Pmt pmt{5, 0x501, {{0x1B, 0x501}, {0x0F, 0x502}}};
  EXPECT_EQ(pmtSection(5, 0x501, pmt.streams), buildPmt(pmt));
  EXPECT_EQ(crc32Mpeg(catSection()), 0u);
  EXPECT_EQ(crc32Mpeg(totSection()), 0u);
}

TEST(SectionBuilders, LongSectionsSpanPacketsWithPointerFields) {
  const Bytes pmt = longPmt(40);  // 216 bytes
  const auto packets = sectionPackets(kPmtPid, 0, {pmt, pmtSection(2, 0x300, {})});
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_TRUE(PacketView(packets[0].data()).unitStart());
  EXPECT_TRUE(PacketView(packets[1].data()).unitStart());
  EXPECT_EQ(packets[1][kHeaderSize], pmt.size() - (kPayloadSize - kPointerFieldSize));
}

// ---- Put together across packets ----------------------------------------------------

TEST_F(Sections, PmtInTwoPacketsIsRead) {
  patNamingPmtPid();
  const Bytes pmt = longPmt(40);
  ASSERT_GT(pmt.size(), kPayloadSize - kPointerFieldSize);
  feed(sectionPackets(kPmtPid, cc(kPmtPid), {pmt}));
  EXPECT_EQ(analyser.referencedPids(), pidsFrom(0x200, 40));
  EXPECT_EQ(count(Indicator::PmtError), 0u);
  EXPECT_EQ(count(Indicator::CrcError), 0u);
}

TEST_F(Sections, PmtInThreePacketsIsRead) {
  patNamingPmtPid();
  const auto packets = sectionPackets(kPmtPid, 0, {longPmt(80)});  // 416 bytes
  ASSERT_EQ(packets.size(), 3u);
  for (const Bytes& p : packets) feed({p});  // one datagram each
  EXPECT_EQ(analyser.referencedPids(), pidsFrom(0x200, 80));
  EXPECT_EQ(count(Indicator::CrcError), 0u);
  EXPECT_EQ(count(Indicator::ContinuityCountError), 0u);
}

TEST_F(Sections, LongPmtRefreshesItsDeadline) {
  patNamingPmtPid();
  for (int ms = 0; ms <= 2000; ms += 400) {
    feed({patPacket(cc(kPatPid))}, ms);
    std::vector<Bytes> pmt = sectionPackets(kPmtPid, 0, {longPmt(80)});
    for (Bytes& p : pmt) p[3] = static_cast<std::uint8_t>((p[3] & ~kContinuityMask) | cc(kPmtPid));
    feed(pmt, ms);
  }
  EXPECT_EQ(count(Indicator::PmtError), 0u);
  EXPECT_EQ(count(Indicator::PatError), 0u);
}

TEST_F(Sections, SectionStartingBehindTheTailOfAnotherIsRead) {
  // PAT: programs 1 and 2 share one PMT PID; program 1's PMT ends in the packet where
  // program 2's begins (pointer_field > 0).
  feed({sectionPacket(kPatPid, cc(kPatPid), patSection({{1, kPmtPid}, {2, kPmtPid}}))});
  feed(sectionPackets(kPmtPid, cc(kPmtPid), {longPmt(40), pmtSection(2, 0x300, {{kAudioType, 0x300}})}));
  std::vector<std::uint16_t> expected = pidsFrom(0x200, 40);
  expected.push_back(0x300);
  EXPECT_EQ(analyser.referencedPids(), expected);
  EXPECT_EQ(count(Indicator::CrcError), 0u);
}

TEST_F(Sections, PmtBehindAnotherSectionInOnePacketIsRead) {
  // Program 9's PMT (not in the PAT) comes first on the PMT PID; program 1's follows it.
  patNamingPmtPid();
  feed(sectionPackets(kPmtPid, cc(kPmtPid),
                      {pmtSection(9, 0x900, {{kVideoType, 0x900}}), pmtSection(1, kVideoPid, {{kVideoType, kVideoPid}})}));
  EXPECT_EQ(analyser.referencedPids(), std::vector<std::uint16_t>{kVideoPid});
  EXPECT_EQ(count(Indicator::PmtError), 0u);
}

TEST_F(Sections, StuffingEndsThePacketsSections) {
  // After the PMT comes 0xFF: no further section, so nothing is misread as one.
  patNamingPmtPid();
  feed({pmtPacket(cc(kPmtPid))});
  EXPECT_EQ(analyser.referencedPids(), std::vector<std::uint16_t>{kVideoPid});
  EXPECT_EQ(count(Indicator::CrcError), 0u);
  EXPECT_EQ(count(Indicator::PmtError), 0u);
}

TEST_F(Sections, SectionCutByALostPacketIsNotDelivered) {
  patNamingPmtPid();
  std::vector<Bytes> pmt = sectionPackets(kPmtPid, cc(kPmtPid), {longPmt(80)});
  feed({pmt[0], pmt[2]});  // the middle packet is lost
  EXPECT_EQ(count(Indicator::ContinuityCountError), 1u);
  EXPECT_TRUE(analyser.referencedPids().empty());
  EXPECT_EQ(count(Indicator::CrcError), 0u);  // dropped, not read as a bad section
  // Whole again, it is read.
  feed(sectionPackets(kPmtPid, 3, {longPmt(80)}));
  EXPECT_EQ(analyser.referencedPids().size(), 80u);
}

TEST_F(Sections, SectionCutByALostPacketRefreshesNothing) {
  patNamingPmtPid();
  feed({pmtPacket(cc(kPmtPid))}, 0);
  feed({patPacket(cc(kPatPid))}, 400);
  std::vector<Bytes> pmt = sectionPackets(kPmtPid, 1, {longPmt(80)});
  feed({pmt[0], pmt[2]}, 400);
  feed({patPacket(cc(kPatPid))}, 700);
  EXPECT_EQ(count(Indicator::PmtError), 1u);  // away since 0
}

TEST_F(Sections, SectionCutByATransportErrorIsNotDelivered) {
  patNamingPmtPid();
  std::vector<Bytes> pmt = sectionPackets(kPmtPid, cc(kPmtPid), {longPmt(80)});
  setTransportError(pmt[1].data(), true);
  feed(pmt);
  EXPECT_TRUE(analyser.referencedPids().empty());
  EXPECT_EQ(count(Indicator::TransportError), 1u);
}

TEST_F(Sections, LegalDuplicateIsNotReadTwice) {
  patNamingPmtPid();
  std::vector<Bytes> pmt = sectionPackets(kPmtPid, cc(kPmtPid), {longPmt(80)});
  feed({pmt[0], pmt[1], pmt[1], pmt[2]});
  EXPECT_EQ(count(Indicator::ContinuityCountError), 0u);
  EXPECT_EQ(count(Indicator::CrcError), 0u);
  EXPECT_EQ(analyser.referencedPids().size(), 80u);
}

TEST_F(Sections, ContinuationWithoutAStartIsIgnored) {
  // Listening began in the middle of a section: its tail is no section.
  patNamingPmtPid();
  std::vector<Bytes> pmt = sectionPackets(kPmtPid, 0, {longPmt(80)});
  feed({pmt[1], pmt[2]});
  EXPECT_EQ(count(Indicator::CrcError), 0u);
  EXPECT_TRUE(analyser.referencedPids().empty());
}

// ---- CRC_32 -------------------------------------------------------------------------

TEST_F(Sections, BadCrcOnThePatIsOneCrcErrorAndRefreshesNothing) {
  feed({patPacket(cc(kPatPid))}, 0);
  feed({sectionPacket(kPatPid, cc(kPatPid), badCrc(patSection({{1, 0x700}})))}, 400);
  EXPECT_EQ(count(Indicator::CrcError), 1u);
  EXPECT_EQ(analyser.pmtPids(), std::vector<std::uint16_t>{kPmtPid});  // its content unused
  analyser.advance(at(700));
  EXPECT_EQ(count(Indicator::PatError), 1u);  // away since 0
}

TEST_F(Sections, BadCrcOnThePmtIsOneCrcErrorAndRefreshesNothing) {
  feed({patPacket(cc(kPatPid)), pmtPacket(cc(kPmtPid))}, 0);
  feed({patPacket(cc(kPatPid)),
        sectionPacket(kPmtPid, cc(kPmtPid), badCrc(pmtSection(1, kVideoPid, {{kVideoType, 0x222}})))},
       400);
  EXPECT_EQ(count(Indicator::CrcError), 1u);
  EXPECT_EQ(analyser.referencedPids(), std::vector<std::uint16_t>{kVideoPid});
  feed({patPacket(cc(kPatPid))}, 700);
  EXPECT_EQ(count(Indicator::PmtError), 1u);  // away since 0
  EXPECT_EQ(count(Indicator::PatError), 0u);
}

TEST_F(Sections, BadCrcOfALongSectionIsFound) {
  patNamingPmtPid();
  feed(sectionPackets(kPmtPid, cc(kPmtPid), {badCrc(longPmt(80))}));
  EXPECT_EQ(count(Indicator::CrcError), 1u);
  EXPECT_TRUE(analyser.referencedPids().empty());
}

TEST_F(Sections, EachBadSectionOfAPacketCounts) {
  feed({sectionPacket(kPatPid, cc(kPatPid), patSection({{1, kPmtPid}, {2, kPmtPid}}))});
  feed(sectionPackets(kPmtPid, cc(kPmtPid),
                      {badCrc(pmtSection(1, kVideoPid, {})), badCrc(pmtSection(2, kVideoPid, {}))}));
  EXPECT_EQ(count(Indicator::CrcError), 2u);
}

TEST_F(Sections, BadCrcOnTheCatIsACrcError) {
  feed({sectionPacket(kCatPid, 0, badCrc(catSection()))});
  EXPECT_EQ(count(Indicator::CrcError), 1u);
}

TEST_F(Sections, ServiceInformationTablesAreChecked) {
  const Bytes sdt = longSection(kSdtTableId, 1, 0, {0x00, 0x01, 0xFF});
  feed({sectionPacket(kSdtPid, 0, sdt)});
  EXPECT_EQ(count(Indicator::CrcError), 0u);
  feed({sectionPacket(kSdtPid, 1, badCrc(sdt))});
  EXPECT_EQ(count(Indicator::CrcError), 1u);
  feed({sectionPacket(kTdtPid, 0, totSection())});
  EXPECT_EQ(count(Indicator::CrcError), 1u);
  feed({sectionPacket(kTdtPid, 1, badCrc(totSection()))});
  EXPECT_EQ(count(Indicator::CrcError), 2u);
}

TEST_F(Sections, TdtHasNoCrcToCheck) {
  feed({sectionPacket(kTdtPid, 0, tdtSection()), sectionPacket(kTdtPid, 1, tdtSection())});
  EXPECT_EQ(count(Indicator::CrcError), 0u);
}

TEST_F(Sections, ElementaryStreamDataIsNoSection) {
  // A payload on a video PID that happens to look like a section with a wrong CRC.
  feed({patPacket(cc(kPatPid)), pmtPacket(cc(kPmtPid)), sectionPacket(kVideoPid, 0, badCrc(catSection())),
        sectionPacket(0x555, 0, badCrc(catSection()))});
  EXPECT_EQ(count(Indicator::CrcError), 0u);
}

}  // namespace
