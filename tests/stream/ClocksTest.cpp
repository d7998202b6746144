// The clocks: PCR repetition, PCR steps with and without the discontinuity indicator,
// PCR accuracy against the stream's own rate (file analysis with a byte clock), and the
// PTS interval.
#include <gtest/gtest.h>

#include "PacketBuilder.h"

using namespace vexil::stream;
using namespace vexil::stream::testing;

namespace {

constexpr std::uint64_t kPcrStart = 1'000'000;  // an arbitrary first PCR
// One 188-byte packet per millisecond.
constexpr double kOnePacketPerMs = 188.0 * 8 * 1000;
constexpr std::uint64_t kTicksPerPacket = kTicksPerMs;

class Clocks : public ::testing::Test {
 protected:
  void SetUp() override { analyser.feed(datagram({pat(), pmt()}), at(0)); }
  Bytes pat() { return patPacket(cc(kPatPid)); }
  Bytes pmt() { return pmtPacket(cc(kPmtPid)); }
  /// One datagram at `ms` with a PCR of `pcr` on the video PID.
  void pcrAt(long long ms, std::uint64_t pcr, bool discontinuity = false, std::uint16_t pid = kVideoPid) {
    analyser.feed(datagram({pcrPacket(pid, cc.last(pid), pcr, false, discontinuity)}), at(ms));
  }
  /// PCRs every `stepMs` from `fromMs` to `toMs`, each worth its arrival time.
  void pcrsEvery(long long stepMs, long long fromMs, long long toMs) {
    for (long long ms = fromMs; ms <= toMs; ms += stepMs) pcrAt(ms, kPcrStart + static_cast<std::uint64_t>(ms) * kTicksPerMs);
  }
  std::uint64_t count(Indicator i) const { return analyser.totals().count(i); }

  StreamAnalyser analyser;
  Counters cc;
};

// ---- PCR repetition -----------------------------------------------------------------

TEST_F(Clocks, PcrsEvery30MsAreClean) {
  pcrsEvery(30, 0, 450);
  EXPECT_EQ(count(Indicator::PcrRepetitionError), 0u);
  EXPECT_EQ(count(Indicator::PcrDiscontinuityIndicatorError), 0u);
  EXPECT_EQ(count(Indicator::PcrAccuracyError), 0u);
  EXPECT_TRUE(analyser.pid(kVideoPid).carriesPcr);
}

TEST_F(Clocks, PcrsExactly40MsApartAreInTime) {
  pcrsEvery(40, 0, 400);
  EXPECT_EQ(count(Indicator::PcrRepetitionError), 0u);
}

TEST_F(Clocks, PcrsEvery50MsAreOneRepetitionErrorPerGap) {
  pcrsEvery(50, 0, 300);
  EXPECT_EQ(count(Indicator::PcrRepetitionError), 6u);
}

TEST_F(Clocks, PcrAway88MsIsTwoRepetitionErrors) {
  pcrAt(0, kPcrStart);
  pcrAt(88, kPcrStart + 88 * kTicksPerMs);
  EXPECT_EQ(count(Indicator::PcrRepetitionError), 2u);
}

TEST_F(Clocks, PcrRepetitionIsDueFromTheFirstPcrOnly) {
  pcrsEvery(30, 300, 450);  // the PMT named the PCR PID 300 ms before
  EXPECT_EQ(count(Indicator::PcrRepetitionError), 0u);
}

TEST_F(Clocks, APcrGapIsCountedWhenThePcrsComeBack) {
  pcrsEvery(30, 0, 120);
  pcrAt(250, kPcrStart + 250 * kTicksPerMs);  // 130 ms since the last PCR
  EXPECT_EQ(count(Indicator::PcrRepetitionError), 3u);
}

TEST_F(Clocks, AStreamThatStopsIsNoPcrRepetitionError) {
  // The stop shows as missing PATs; the PCRs are due again when the stream is back.
  pcrsEvery(30, 0, 120);
  analyser.advance(at(2000));
  pcrsEvery(30, 2100, 2400);
  EXPECT_EQ(count(Indicator::PcrRepetitionError), 0u);
  EXPECT_GT(count(Indicator::PatError), 0u);
}

TEST_F(Clocks, PcrsOnAPidNoPmtNamesForThemAreNotJudgedForRepetition) {
  for (long long ms = 0; ms <= 400; ms += 100) pcrAt(ms, kPcrStart + static_cast<std::uint64_t>(ms) * kTicksPerMs, false, 0x300);
  EXPECT_EQ(count(Indicator::PcrRepetitionError), 0u);
}

// ---- PCR steps ----------------------------------------------------------------------

TEST_F(Clocks, UnannouncedJumpOf200MsIsOneDiscontinuityIndicatorError) {
  for (long long ms = 0; ms <= 240; ms += 30)
    pcrAt(ms, kPcrStart + static_cast<std::uint64_t>(ms + (ms >= 90 ? 200 : 0)) * kTicksPerMs);
  EXPECT_EQ(count(Indicator::PcrDiscontinuityIndicatorError), 1u);
  EXPECT_EQ(count(Indicator::PcrAccuracyError), 0u);  // the jump restarts the prediction
}

TEST_F(Clocks, AnnouncedJumpIsNoError) {
  for (long long ms = 0; ms <= 240; ms += 30)
    pcrAt(ms, kPcrStart + static_cast<std::uint64_t>(ms + (ms >= 90 ? 200 : 0)) * kTicksPerMs, ms == 90);
  EXPECT_EQ(count(Indicator::PcrDiscontinuityIndicatorError), 0u);
  EXPECT_EQ(count(Indicator::PcrAccuracyError), 0u);
}

TEST_F(Clocks, PcrGoingBackIsOneDiscontinuityIndicatorError) {
  const long long values[] = {0, 30, 60, 40, 70, 100, 130};
  long long ms = 0;
  for (long long v : values) {
    pcrAt(ms, kPcrStart + static_cast<std::uint64_t>(v) * kTicksPerMs);
    ms += 30;
  }
  EXPECT_EQ(count(Indicator::PcrDiscontinuityIndicatorError), 1u);
  EXPECT_EQ(count(Indicator::PcrAccuracyError), 0u);
}

TEST_F(Clocks, StepOfExactly100MsIsAllowedOneTickMoreIsNot) {
  pcrAt(0, kPcrStart);
  pcrAt(30, kPcrStart + 100 * kTicksPerMs);
  EXPECT_EQ(count(Indicator::PcrDiscontinuityIndicatorError), 0u);
  pcrAt(60, kPcrStart + 200 * kTicksPerMs + 1);
  EXPECT_EQ(count(Indicator::PcrDiscontinuityIndicatorError), 1u);
}

TEST_F(Clocks, PcrWrappingAroundIsNoStep) {
  const std::uint64_t first = kPcrModulus - 100 * kTicksPerMs;
  for (long long ms = 0; ms <= 240; ms += 30) pcrAt(ms, first + static_cast<std::uint64_t>(ms) * kTicksPerMs);
  EXPECT_EQ(count(Indicator::PcrDiscontinuityIndicatorError), 0u);
  EXPECT_EQ(count(Indicator::PcrAccuracyError), 0u);
}

// ---- PCR accuracy: a file at a constant rate ---------------------------------------------

// `packets` packets of a stream at one packet per ms: PAT and PMT every 100, a PCR on
// the video PID every 20 (worth its byte position, plus `jitter` ticks on PCR number
// `jitterAt`), video between.
Bytes constantRateFile(int packets, int jitterAt = -1, std::int64_t jitter = 0,
                       const std::vector<std::int64_t>& everyPcr = {}) {
  Counters cc;
  std::vector<Bytes> out;
  int pcrs = 0;
  for (int i = 0; i < packets; ++i) {
    if (i % 100 == 0) {
      out.push_back(patPacket(cc(kPatPid)));
    } else if (i % 100 == 1) {
      out.push_back(pmtPacket(cc(kPmtPid)));
    } else if (i % 20 == 5) {
      std::int64_t offset = pcrs == jitterAt ? jitter : 0;
      if (!everyPcr.empty()) offset += everyPcr[static_cast<std::size_t>(pcrs) % everyPcr.size()];
      out.push_back(pcrPacket(kVideoPid, cc.last(kVideoPid),
                              kPcrStart + static_cast<std::uint64_t>(i) * kTicksPerPacket + static_cast<std::uint64_t>(offset)));
      ++pcrs;
    } else {
      out.push_back(packet(kVideoPid, cc(kVideoPid)));
    }
  }
  return datagram(out);
}

// Fed as a file is read: chunks of 7 packets, the time from the byte clock.
StreamTotals analyseFile(const Bytes& file) {
  StreamAnalyser a;
  a.start(at(0));
  a.setByteClock(kOnePacketPerMs, at(0));
  constexpr std::size_t kChunk = 7 * kPacketSize;
  for (std::size_t from = 0; from < file.size(); from += kChunk)
    a.feed(std::span<const std::uint8_t>(file).subspan(from, std::min(kChunk, file.size() - from)), at(0));
  return a.totals();
}

TEST(PcrAccuracy, ConstantRateStreamIsClean) {
  const StreamTotals t = analyseFile(constantRateFile(2000));
  for (const IndicatorInfo& i : kIndicators) EXPECT_EQ(t.count(i.id), 0u) << i.key;
  EXPECT_TRUE(t.isApplicable(Indicator::PcrAccuracyError));
}

TEST(PcrAccuracy, OnePcrTwoMicrosecondsLateIsOneError) {
  // 54 ticks off the line the other PCRs lie on; the ones after it are on the line again.
  const StreamTotals t = analyseFile(constantRateFile(2000, 30, 54));
  EXPECT_EQ(t.count(Indicator::PcrAccuracyError), 1u);
  EXPECT_EQ(t.count(Indicator::PcrDiscontinuityIndicatorError), 0u);
}

TEST(PcrAccuracy, JitterOfEveryPcrWithinHalfAMicrosecondIsClean) {
  // Every PCR off by up to 8 ticks (296 ns) either way: each is within 500 ns of the
  // rate, although two neighbours may differ by 16 ticks.
  const std::vector<std::int64_t> jitter = {8, -8, 5, -3, 0, 7, -8, 2, -6, 8, -1, 4};
  const StreamTotals t = analyseFile(constantRateFile(4000, -1, 0, jitter));
  EXPECT_EQ(t.count(Indicator::PcrAccuracyError), 0u);
}

TEST(PcrAccuracy, AJust500NsLatePcrIsInTimeAndJustOverIsNot) {
  EXPECT_EQ(analyseFile(constantRateFile(2000, 30, 13)).count(Indicator::PcrAccuracyError), 0u);  // 481 ns
  EXPECT_EQ(analyseFile(constantRateFile(2000, 30, 14)).count(Indicator::PcrAccuracyError), 1u);  // 519 ns
}

TEST(PcrAccuracy, JitterWellInsideHalfAMicrosecondIsClean) {
  // 6 ticks: the worst miss is 12 ticks (444 ns).
  const StreamTotals t = analyseFile(constantRateFile(2000, 30, 6));
  EXPECT_EQ(t.count(Indicator::PcrAccuracyError), 0u);
}

TEST(PcrAccuracy, TheFirstTwoPcrsAreNeverJudged) {
  // Two PCRs (packets 5 and 25), the second far off: no rate to predict it from.
  const StreamTotals t = analyseFile(constantRateFile(40, 1, 5000));
  EXPECT_EQ(t.count(Indicator::PcrAccuracyError), 0u);
}

TEST(PcrAccuracy, TheFifthPcrIsTheFirstJudged) {
  // Four PCRs make the line; PCRs at packets 5, 25, 45, 65, 85.
  EXPECT_EQ(analyseFile(constantRateFile(80, 3, 5000)).count(Indicator::PcrAccuracyError), 0u);
  EXPECT_EQ(analyseFile(constantRateFile(100, 4, 54)).count(Indicator::PcrAccuracyError), 1u);
}

TEST(PcrAccuracy, TheByteClockTimesTheDeadlines) {
  // Without PATs for 2000 packets (2 s at this rate) the PAT error counts byte time.
  Counters cc;
  std::vector<Bytes> packets{patPacket(cc(kPatPid))};
  for (int i = 1; i < 2000; ++i) packets.push_back(packet(kVideoPid, cc(kVideoPid)));
  const StreamTotals t = analyseFile(datagram(packets));
  EXPECT_EQ(t.count(Indicator::PatError), 3u);  // last packet at 1999 ms
}

// ---- PTS ----------------------------------------------------------------------------

class Pts : public Clocks {
 protected:
  void ptsAt(long long ms, bool scramble = false) {
    const Bytes p = ptsPacket(kVideoPid, cc(kVideoPid), static_cast<std::uint64_t>(ms) * kPtsTicksPerMs);
    analyser.feed(datagram({scramble ? scrambled(p) : p}), at(ms));
  }
};

TEST_F(Pts, PtsEvery100MsIsClean) {
  for (long long ms = 0; ms <= 1500; ms += 100) ptsAt(ms);
  EXPECT_EQ(count(Indicator::PtsError), 0u);
  EXPECT_TRUE(analyser.pid(kVideoPid).carriesPts);
}

TEST_F(Pts, PtsAwayExactly700MsIsInTime) {
  ptsAt(0);
  ptsAt(700);
  EXPECT_EQ(count(Indicator::PtsError), 0u);
}

TEST_F(Pts, PtsAwayMoreThan700MsIsAnError) {
  ptsAt(0);
  ptsAt(100);
  for (long long ms = 200; ms < 900; ms += 100) analyser.feed(datagram({packet(kNullPid, 0)}), at(ms));
  ptsAt(900);
  EXPECT_EQ(count(Indicator::PtsError), 1u);
}

TEST_F(Pts, PacketsWithoutAPtsDoNotRefreshIt) {
  ptsAt(0);
  for (long long ms = 100; ms <= 800; ms += 100) analyser.feed(datagram({packet(kVideoPid, cc(kVideoPid))}), at(ms));
  EXPECT_EQ(count(Indicator::PtsError), 1u);
}

TEST_F(Pts, APtsGapIsCountedWhileTheStreamGoesOn) {
  ptsAt(0);
  for (long long ms = 100; ms < 1500; ms += 100) analyser.feed(datagram({packet(kNullPid, 0)}), at(ms));
  ptsAt(1500);
  EXPECT_EQ(count(Indicator::PtsError), 2u);
}

TEST_F(Pts, AStreamThatStopsIsNoPtsError) {
  ptsAt(0);
  analyser.advance(at(1500));
  ptsAt(1600);
  EXPECT_EQ(count(Indicator::PtsError), 0u);
}

TEST_F(Pts, ScrambledPesIsNotLookedAt) {
  ptsAt(0);
  for (long long ms = 100; ms <= 1000; ms += 100) ptsAt(ms, true);
  EXPECT_EQ(count(Indicator::PtsError), 1u);
}

TEST_F(Pts, APidANewPmtVersionDropsOwesNoMorePts) {
  // Video and audio named, both with PTSs; version 1 of the PMT names video alone and
  // the audio stops: no PTS error for it from then on.
  const std::vector<PmtStream> both = {{kVideoType, kVideoPid}, {0x03, kAudioPid}};
  const std::vector<PmtStream> videoOnly = {{kVideoType, kVideoPid}};
  Counters c;
  for (long long ms = 0; ms <= 3000; ms += 100) {
    const bool v1 = ms >= 1000;
    std::vector<Bytes> d = {patPacket(c(kPatPid)),
                            sectionPacket(kPmtPid, c(kPmtPid), pmtSection(1, kVideoPid, v1 ? videoOnly : both, v1 ? 1 : 0)),
                            ptsPacket(kVideoPid, c(kVideoPid), static_cast<std::uint64_t>(ms) * kPtsTicksPerMs)};
    if (!v1) d.push_back(ptsPacket(kAudioPid, c(kAudioPid), static_cast<std::uint64_t>(ms) * kPtsTicksPerMs));
    analyser.feed(datagram(d), at(ms));
  }
  EXPECT_EQ(count(Indicator::PtsError), 0u);
  EXPECT_EQ(count(Indicator::PidError), 0u);
}

TEST_F(Pts, PidThatNeverCarriedAPtsHasNoPtsDeadline) {
  for (long long ms = 0; ms <= 1500; ms += 100) analyser.feed(datagram({packet(kVideoPid, cc(kVideoPid))}), at(ms));
  EXPECT_EQ(count(Indicator::PtsError), 0u);
  EXPECT_FALSE(analyser.totals().isApplicable(Indicator::PtsError));
}

}  // namespace
