// The tables and what follows from them: PAT, PMT and PID deadlines, PMT versions that
// drop or add PIDs, shared PMT PIDs, tables on the wrong PID, scrambling and the CAT.
#include <gtest/gtest.h>

#include <string>

#include "PacketBuilder.h"

using namespace vexil::stream;
using namespace vexil::stream::testing;

namespace {

using Pids = std::vector<std::uint16_t>;

TEST(Crc32Mpeg, CheckValueOfTheStandardString) {
  const std::string text = "123456789";
  EXPECT_EQ(crc32Mpeg({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}), 0x0376E6E7u);
}

TEST(PsiReaders, PatReadsBackWhatWasBuilt) {
  const Bytes p = sectionPacket(kPatPid, 0, patSection({{0, 0x10}, {1, 0x100}, {2, 0x200}}, 0, 7));
  const auto section = sectionInPayload({p.data() + kHeaderSize, kPacketSize - kHeaderSize});
  ASSERT_TRUE(section);
  EXPECT_EQ(crc32Mpeg(*section), 0u);
  const auto read = readPat(*section);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->size(), 3u);
  EXPECT_EQ((*read)[2].program, 2);
  EXPECT_EQ((*read)[2].pmtPid, 0x200);
}

TEST(PsiReaders, PmtReadsBackWhatWasBuilt) {
  const auto read = readPmt(pmtSection(5, 0x501, {{0x1B, 0x501}, {0x0F, 0x502}}));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->program, 5);
  EXPECT_EQ(read->pcrPid, 0x501);
  ASSERT_EQ(read->streams.size(), 2u);
  EXPECT_EQ(read->streams[1].streamType, 0x0F);
  EXPECT_EQ(read->streams[1].pid, 0x502);
}

TEST(PsiReaders, ACorruptedSectionIsRefused) {
  Bytes p = patPacket(0);
  p[kHeaderSize + 1 + 11] ^= 0x01;  // a PMT PID bit
  EXPECT_FALSE(sectionInPayload({p.data() + kHeaderSize, kPacketSize - kHeaderSize}));
}

class Tables : public ::testing::Test {
 protected:
  void feedAt(long long ms, const std::vector<Bytes>& packets) { analyser.feed(datagram(packets), at(ms)); }
  std::uint64_t count(Indicator i) const { return analyser.totals().count(i); }
  Bytes pat() { return patPacket(cc(kPatPid)); }
  Bytes pmt() { return pmtPacket(cc(kPmtPid)); }
  Bytes pmtNaming(const std::vector<PmtStream>& streams, std::uint8_t version) {
    return sectionPacket(kPmtPid, cc(kPmtPid), pmtSection(1, kVideoPid, streams, version));
  }
  Bytes es(std::uint16_t pid) { return packet(pid, cc(pid)); }

  StreamAnalyser analyser;
  Counters cc;
};

// ---- PAT ----------------------------------------------------------------------------

TEST_F(Tables, TablesEvery400MsAreClean) {
  for (int ms = 0; ms <= 4000; ms += 400) feedAt(ms, {pat(), pmt(), es(kVideoPid)});
  for (const IndicatorInfo& i : kIndicators) EXPECT_EQ(count(i.id), 0u) << i.key;
  EXPECT_EQ(analyser.pid(kPatPid).kind, PidKind::Pat);
  EXPECT_EQ(analyser.pid(kPmtPid).kind, PidKind::Pmt);
  EXPECT_EQ(analyser.pid(kVideoPid).kind, PidKind::Elementary);
  EXPECT_EQ(analyser.pid(kVideoPid).streamType, kVideoType);
  EXPECT_EQ(analyser.referencedPids(), Pids{kVideoPid});
  EXPECT_EQ(analyser.pmtPids(), Pids{kPmtPid});
}

TEST_F(Tables, PatAwayForExactlyHalfASecondIsInTime) {
  feedAt(0, {pat()});
  feedAt(500, {pat()});
  EXPECT_EQ(count(Indicator::PatError), 0u);
}

TEST_F(Tables, PatAwayLongerThanHalfASecondIsAnError) {
  feedAt(0, {pat()});
  feedAt(300, {packet(kNullPid, 0)});
  feedAt(501, {packet(kNullPid, 0)});
  EXPECT_EQ(count(Indicator::PatError), 1u);
  feedAt(900, {packet(kNullPid, 0)});  // the same absence: counted once
  EXPECT_EQ(count(Indicator::PatError), 1u);
  feedAt(1001, {packet(kNullPid, 0)});  // another half second gone
  EXPECT_EQ(count(Indicator::PatError), 2u);
  feedAt(1100, {pat()});  // back: a new absence starts
  feedAt(1500, {pat()});
  EXPECT_EQ(count(Indicator::PatError), 2u);
}

TEST_F(Tables, AStreamWithoutAnyPatCountsFromItsFirstDatagram) {
  feedAt(1000, {packet(kNullPid, 0)});
  feedAt(1600, {packet(kNullPid, 0)});
  EXPECT_EQ(count(Indicator::PatError), 1u);
}

TEST_F(Tables, AnotherTableOnPid0IsAPatErrorPerSection) {
  feedAt(0, {sectionPacket(kPatPid, 0, pmtSection(1, kVideoPid, {}))});
  EXPECT_EQ(count(Indicator::PatError), 1u);
  feedAt(0, sectionPackets(kPatPid, 1, {pmtSection(1, kVideoPid, {}), catSection()}));
  EXPECT_EQ(count(Indicator::PatError), 3u);
}

TEST_F(Tables, AnotherTableOnPid0DoesNotRefreshThePat) {
  feedAt(0, {pat()});
  feedAt(400, {sectionPacket(kPatPid, cc(kPatPid), pmtSection(1, kVideoPid, {}))});
  feedAt(700, {packet(kNullPid, 0)});
  EXPECT_EQ(count(Indicator::PatError), 2u);  // the wrong table, and the PAT away since 0
}

TEST_F(Tables, EachScrambledPatPacketIsAPatError) {
  feedAt(0, {scrambled(pat()), scrambled(pat())});
  EXPECT_EQ(count(Indicator::PatError), 2u);
}

TEST_F(Tables, NextPatIsNotTakenForTheCurrentOne) {
  feedAt(0, {pat()});
  const Bytes next = longSection(kPatTableId, 1, 1, {0x00, 0x01, 0xE7, 0x00}, false);
  feedAt(100, {sectionPacket(kPatPid, cc(kPatPid), next)});
  EXPECT_EQ(analyser.pmtPids(), Pids{kPmtPid});
}

TEST_F(Tables, NetworkProgramIsNoPmt) {
  for (int ms = 0; ms <= 1200; ms += 400)
    feedAt(ms, {sectionPacket(kPatPid, cc(kPatPid), patSection({{0, 0x10}, {1, kPmtPid}})), pmt()});
  EXPECT_EQ(analyser.pmtPids(), Pids{kPmtPid});
  EXPECT_EQ(count(Indicator::PmtError), 0u);
}

TEST_F(Tables, NewPatVersionReplacesThePrograms) {
  feedAt(0, {pat(), pmt()});
  const Bytes v1 = patSection({{2, 0x200}}, 1);
  feedAt(400, {sectionPacket(kPatPid, cc(kPatPid), v1)});
  EXPECT_EQ(analyser.pmtPids(), Pids{0x200});
  EXPECT_TRUE(analyser.referencedPids().empty());  // program 1 is gone
  for (int ms = 400; ms <= 1600; ms += 400)
    feedAt(ms, {sectionPacket(kPatPid, cc(kPatPid), v1),
                sectionPacket(0x200, cc(0x200), pmtSection(2, 0x201, {{kVideoType, 0x201}}))});
  EXPECT_EQ(analyser.referencedPids(), Pids{0x201});
  EXPECT_EQ(count(Indicator::PmtError), 0u);  // 0x100 has no deadline any more
}

// ---- PMT ----------------------------------------------------------------------------

TEST_F(Tables, PmtAwayLongerThanHalfASecondIsAnError) {
  feedAt(0, {pat(), pmt()});
  feedAt(400, {pat()});
  feedAt(800, {pat()});
  EXPECT_EQ(count(Indicator::PmtError), 1u);
  EXPECT_EQ(count(Indicator::PatError), 0u);
}

TEST_F(Tables, PmtIsDueFromWhenThePatNamedIt) {
  feedAt(1000, {packet(kNullPid, 0)});
  feedAt(1400, {pat()});
  feedAt(1800, {pat(), packet(kNullPid, 0)});
  EXPECT_EQ(count(Indicator::PmtError), 0u);  // named at 1400
  feedAt(2000, {pat()});
  EXPECT_EQ(count(Indicator::PmtError), 1u);
}

TEST_F(Tables, EachScrambledPmtPacketIsAPmtError) {
  feedAt(0, {pat(), scrambled(pmt()), scrambled(pmt()), scrambled(pmt())});
  EXPECT_EQ(count(Indicator::PmtError), 3u);
}

TEST_F(Tables, PmtPidSharedByTwoProgramsHasOneDeadline) {
  const Bytes shared = patSection({{1, kPmtPid}, {2, kPmtPid}});
  for (int ms = 0; ms <= 1200; ms += 400) feedAt(ms, {sectionPacket(kPatPid, cc(kPatPid), shared)});
  EXPECT_EQ(analyser.pmtPids(), Pids{kPmtPid});
  EXPECT_EQ(count(Indicator::PmtError), 2u);  // 1.2 s away, counted for one PID
}

// ---- Referenced PIDs ----------------------------------------------------------------

TEST_F(Tables, PidNamedByThePmtThatStopsIsAPidError) {
  for (int ms = 0; ms <= 2000; ms += 200) feedAt(ms, {pat(), pmt(), es(kVideoPid)});
  for (int ms = 2200; ms <= 7000; ms += 200) feedAt(ms, {pat(), pmt()});
  EXPECT_EQ(count(Indicator::PidError), 0u);  // last seen at 2000, 5 s not yet over
  feedAt(7001, {pat(), pmt()});
  EXPECT_EQ(count(Indicator::PidError), 1u);
  EXPECT_EQ(count(Indicator::PatError), 0u);
  EXPECT_EQ(count(Indicator::PmtError), 0u);
}

TEST_F(Tables, PidNamedButNeverSentIsAPidErrorAfterTheTimeout) {
  AnalyserLimits limits;
  limits.pidTimeout = std::chrono::seconds(1);
  StreamAnalyser shortLimit(limits);
  for (int ms = 0; ms <= 1200; ms += 100) shortLimit.feed(datagram({pat(), pmt()}), at(ms));
  EXPECT_EQ(shortLimit.totals().count(Indicator::PidError), 1u);
}

TEST_F(Tables, PidDroppedByANewPmtVersionIsForgotten) {
  const std::vector<PmtStream> both{{kVideoType, kVideoPid}, {kAudioType, kAudioPid}};
  for (int ms = 0; ms <= 1000; ms += 200) feedAt(ms, {pat(), pmtNaming(both, 0), es(kVideoPid), es(kAudioPid)});
  EXPECT_EQ(analyser.referencedPids(), (Pids{kVideoPid, kAudioPid}));
  for (int ms = 1200; ms <= 7200; ms += 200) feedAt(ms, {pat(), pmtNaming({{kVideoType, kVideoPid}}, 1), es(kVideoPid)});
  EXPECT_EQ(analyser.referencedPids(), Pids{kVideoPid});
  EXPECT_EQ(count(Indicator::PidError), 0u);
}

TEST_F(Tables, PidStillNamedThatStopsIsCaughtWhileAnotherIsDropped) {
  // The same stream, but the video stops when the audio is dropped: that is still an error.
  const std::vector<PmtStream> both{{kVideoType, kVideoPid}, {kAudioType, kAudioPid}};
  for (int ms = 0; ms <= 1000; ms += 200) feedAt(ms, {pat(), pmtNaming(both, 0), es(kVideoPid), es(kAudioPid)});
  for (int ms = 1200; ms <= 7200; ms += 200) feedAt(ms, {pat(), pmtNaming({{kVideoType, kVideoPid}}, 1)});
  EXPECT_EQ(count(Indicator::PidError), 1u);
}

TEST_F(Tables, NewlyNamedPidIsDueFromWhenItWasNamed) {
  for (int ms = 0; ms < 1000; ms += 200) feedAt(ms, {pat(), pmtNaming({{kVideoType, kVideoPid}}, 0), es(kVideoPid)});
  const std::vector<PmtStream> more{{kVideoType, kVideoPid}, {kAudioType, 0x103}};
  for (int ms = 1000; ms <= 6000; ms += 200) feedAt(ms, {pat(), pmtNaming(more, 1), es(kVideoPid)});
  EXPECT_EQ(count(Indicator::PidError), 0u);  // named at 1000, exactly 5 s ago
  feedAt(6200, {pat(), pmtNaming(more, 1), es(kVideoPid)});
  EXPECT_EQ(count(Indicator::PidError), 1u);
}

// ---- CAT and scrambling --------------------------------------------------------------

TEST_F(Tables, EveryScrambledPacketWithoutACatIsACatError) {
  feedAt(0, {scrambled(es(kVideoPid)), scrambled(es(kVideoPid), 0x3), es(kVideoPid), scrambled(es(0x300))});
  EXPECT_EQ(count(Indicator::CatError), 3u);
  EXPECT_EQ(analyser.totals().scrambledPackets, 3u);
  EXPECT_EQ(analyser.pid(kVideoPid).scrambledPackets, 2u);
}

TEST_F(Tables, ScrambledPacketsAfterACatAreFine) {
  feedAt(0, {catPacket(cc(kCatPid)), scrambled(es(kVideoPid)), scrambled(es(0x300))});
  EXPECT_EQ(count(Indicator::CatError), 0u);
  EXPECT_EQ(analyser.pid(kCatPid).kind, PidKind::Cat);
}

TEST_F(Tables, CatWithABadCrcIsNoCat) {
  feedAt(0, {sectionPacket(kCatPid, cc(kCatPid), badCrc(catSection())), scrambled(es(kVideoPid))});
  EXPECT_EQ(count(Indicator::CatError), 1u);
  EXPECT_EQ(count(Indicator::CrcError), 1u);
}

TEST_F(Tables, AnotherTableOnPid1IsACatErrorPerSection) {
  feedAt(0, {sectionPacket(kCatPid, cc(kCatPid), patSection({{1, kPmtPid}}))});
  EXPECT_EQ(count(Indicator::CatError), 1u);
  feedAt(0, sectionPackets(kCatPid, cc(kCatPid), {patSection({{1, kPmtPid}}), pmtSection(1, kVideoPid, {})}));
  EXPECT_EQ(count(Indicator::CatError), 3u);
  EXPECT_TRUE(analyser.pmtPids().empty());  // a PAT off PID 0 is no PAT
}

}  // namespace
