// Listening and silence: what start() arms, what advance() counts while nothing
// arrives, "no stream", listening again after a pause, and when each indicator starts
// to apply.
#include <gtest/gtest.h>

#include "PacketBuilder.h"

using namespace vexil::stream;
using namespace vexil::stream::testing;

namespace {

class Silence : public ::testing::Test {
 protected:
  std::uint64_t count(Indicator i) const { return analyser.totals().count(i); }
  bool applies(Indicator i) const { return analyser.totals().isApplicable(i); }
  /// PAT, PMT and video every 100 ms from `fromMs` to `toMs`.
  void cleanStream(long long fromMs, long long toMs) {
    for (long long ms = fromMs; ms <= toMs; ms += 100)
      analyser.feed(datagram({patPacket(cc(kPatPid)), pmtPacket(cc(kPmtPid)), packet(kVideoPid, cc(kVideoPid)),
                              packet(kNullPid, 0)}),
                    at(ms));
  }

  StreamAnalyser analyser;
  Counters cc;
};

// ---- Deadlines in silence --------------------------------------------------------------

TEST_F(Silence, NothingAfterStartIsAPatErrorPerHalfSecond) {
  analyser.start(at(0));
  analyser.advance(at(1200));
  EXPECT_EQ(count(Indicator::PatError), 2u);
}

TEST_F(Silence, HalfASecondOfNothingIsInTime) {
  analyser.start(at(0));
  analyser.advance(at(500));
  EXPECT_EQ(count(Indicator::PatError), 0u);
  analyser.advance(at(501));
  EXPECT_EQ(count(Indicator::PatError), 1u);
}

TEST_F(Silence, AdvancingAgainDoesNotCountTheSameAbsenceTwice) {
  analyser.start(at(0));
  analyser.advance(at(700));
  analyser.advance(at(700));
  analyser.advance(at(900));
  EXPECT_EQ(count(Indicator::PatError), 1u);
  analyser.advance(at(1001));
  EXPECT_EQ(count(Indicator::PatError), 2u);
}

TEST_F(Silence, SmallStepsCountAsOneBigStep) {
  StreamAnalyser once;
  once.start(at(0));
  once.advance(at(3300));
  analyser.start(at(0));
  for (long long ms = 1; ms <= 3300; ++ms) analyser.advance(at(ms));
  EXPECT_EQ(once.totals().count(Indicator::PatError), 6u);
  EXPECT_EQ(count(Indicator::PatError), 6u);
}

TEST_F(Silence, AStreamThatStopsCountsAsMissingPatsOnly) {
  // One fault, not one per table and stream: the PMTs and PIDs are due again when the
  // stream comes back.
  analyser.start(at(0));
  cleanStream(0, 0);
  analyser.advance(at(5600));
  EXPECT_EQ(count(Indicator::PatError), 11u);
  EXPECT_EQ(count(Indicator::PmtError), 0u);
  EXPECT_EQ(count(Indicator::PidError), 0u);
  EXPECT_EQ(count(Indicator::ContinuityCountError), 0u);
  EXPECT_TRUE(analyser.totals().noStream);
}

TEST_F(Silence, WithoutStartTheFirstDatagramStartsTheClock) {
  analyser.feed(datagram({packet(kNullPid, 0)}), at(1000));
  analyser.advance(at(1600));
  EXPECT_EQ(count(Indicator::PatError), 1u);
}

TEST_F(Silence, AdvanceBeforeListeningCountsNothing) {
  analyser.advance(at(5000));
  for (const IndicatorInfo& i : kIndicators) EXPECT_EQ(count(i.id), 0u) << i.key;
}

// ---- No stream ----------------------------------------------------------------------

TEST_F(Silence, NoStreamUntilDataAndAgainAfterHalfASecondOfNothing) {
  EXPECT_TRUE(analyser.totals().noStream);
  analyser.start(at(0));
  EXPECT_TRUE(analyser.totals().noStream);
  analyser.advance(at(300));
  EXPECT_TRUE(analyser.totals().noStream);
  analyser.feed(datagram({packet(kNullPid, 0)}), at(400));
  EXPECT_FALSE(analyser.totals().noStream);
  ASSERT_TRUE(analyser.totals().lastDatagramAt);
  EXPECT_EQ(*analyser.totals().lastDatagramAt, at(400));
  analyser.advance(at(900));
  EXPECT_FALSE(analyser.totals().noStream);  // exactly the PAT interval
  analyser.advance(at(950));
  EXPECT_TRUE(analyser.totals().noStream);
  analyser.feed(datagram({packet(kNullPid, 0)}), at(1000));
  EXPECT_FALSE(analyser.totals().noStream);
}

TEST_F(Silence, DatagramWithoutWholePacketsStillEndsNoStream) {
  analyser.start(at(0));
  analyser.feed(Bytes(100, 0x00), at(10));
  EXPECT_FALSE(analyser.totals().noStream);
  EXPECT_EQ(analyser.totals().packets, 0u);
}

// ---- Listening again ------------------------------------------------------------------

TEST_F(Silence, StartForgetsEverything) {
  cleanStream(0, 300);
  analyser.feed(datagram({packet(kVideoPid, 9)}), at(350));
  analyser.start(at(1000));
  const StreamTotals& t = analyser.totals();
  EXPECT_EQ(t.packets, 0u);
  EXPECT_EQ(t.datagrams, 0u);
  EXPECT_EQ(t.bytes, 0u);
  for (const IndicatorInfo& i : kIndicators) EXPECT_EQ(count(i.id), 0u) << i.key;
  EXPECT_TRUE(analyser.pidTable().empty());
  EXPECT_TRUE(analyser.referencedPids().empty());
  EXPECT_TRUE(analyser.pmtPids().empty());
  EXPECT_TRUE(t.noStream);
}

TEST_F(Silence, ListeningAgainAfterAPauseFindsACleanStreamClean) {
  analyser.start(at(0));
  cleanStream(0, 1000);
  // Not listening for 3 s while the sender carries on: its counters move on.
  for (int i = 0; i < 7; ++i) {
    cc(kPatPid);
    cc(kPmtPid);
  }
  for (int i = 0; i < 11; ++i) cc(kVideoPid);
  analyser.start(at(4000));
  cleanStream(4000, 5000);
  for (const IndicatorInfo& i : kIndicators) EXPECT_EQ(count(i.id), 0u) << i.key;
  EXPECT_EQ(analyser.totals().packets, 11u * 4);
}

TEST_F(Silence, AGapInTheStreamWithoutListeningAgainIsCounted) {
  analyser.start(at(0));
  cleanStream(0, 1000);
  cleanStream(4200, 4400);
  EXPECT_EQ(count(Indicator::PatError), 6u);  // 3.2 s away
  EXPECT_EQ(count(Indicator::PmtError), 0u);  // the stream stopped: due again from its return
  EXPECT_EQ(count(Indicator::ContinuityCountError), 0u);
}

TEST_F(Silence, CountsDoNotDependOnHowOftenTheMonitorLooks) {
  // The same 3.2 s gap, once with advance() every 100 ms during it, once without.
  StreamAnalyser quiet;
  Counters quietCc;
  const auto stream = [](StreamAnalyser& a, Counters& c, long long fromMs, long long toMs) {
    for (long long ms = fromMs; ms <= toMs; ms += 100)
      a.feed(datagram({patPacket(c(kPatPid)), pmtPacket(c(kPmtPid)), ptsPacket(kVideoPid, c(kVideoPid), 0),
                       pcrPacket(kVideoPid, c.last(kVideoPid), static_cast<std::uint64_t>(ms) * kTicksPerMs)}),
             at(ms));
  };
  analyser.start(at(0));
  quiet.start(at(0));
  stream(analyser, cc, 0, 1000);
  stream(quiet, quietCc, 0, 1000);
  for (long long ms = 1100; ms < 4200; ms += 100) analyser.advance(at(ms));
  stream(analyser, cc, 4200, 4400);
  stream(quiet, quietCc, 4200, 4400);
  for (const IndicatorInfo& i : kIndicators)
    EXPECT_EQ(count(i.id), quiet.totals().count(i.id)) << i.key;
  EXPECT_EQ(quiet.totals().count(Indicator::PatError), 6u);
  EXPECT_EQ(quiet.totals().count(Indicator::PmtError), 0u);
}

TEST_F(Silence, ResetReturnsToNotStarted) {
  analyser.start(at(0));
  analyser.reset();
  analyser.advance(at(2000));
  EXPECT_EQ(count(Indicator::PatError), 0u);
  EXPECT_TRUE(analyser.totals().noStream);
}

// ---- Applicability ------------------------------------------------------------------

TEST_F(Silence, OnlyThePatAppliesBeforeAnyPacket) {
  analyser.start(at(0));
  for (const IndicatorInfo& i : kIndicators)
    EXPECT_EQ(applies(i.id), i.id == Indicator::PatError) << i.key;
}

TEST_F(Silence, IndicatorsApplyAsTheStreamTellsWhatItCarries) {
  analyser.start(at(0));
  analyser.feed(datagram({packet(kNullPid, 0)}), at(0));
  for (Indicator i : {Indicator::TsSyncLoss, Indicator::SyncByteError, Indicator::ContinuityCountError,
                      Indicator::TransportError, Indicator::CrcError, Indicator::CatError})
    EXPECT_TRUE(applies(i)) << indexOf(i);
  EXPECT_FALSE(applies(Indicator::PmtError));

  analyser.feed(datagram({patPacket(cc(kPatPid))}), at(10));
  EXPECT_TRUE(applies(Indicator::PmtError));
  EXPECT_FALSE(applies(Indicator::PidError));
  EXPECT_FALSE(applies(Indicator::PcrRepetitionError));

  analyser.feed(datagram({pmtPacket(cc(kPmtPid))}), at(20));
  EXPECT_TRUE(applies(Indicator::PidError));
  EXPECT_TRUE(applies(Indicator::PcrRepetitionError));
  EXPECT_TRUE(applies(Indicator::PcrDiscontinuityIndicatorError));
  EXPECT_TRUE(applies(Indicator::PcrAccuracyError));
  EXPECT_FALSE(applies(Indicator::PtsError));

  analyser.feed(datagram({ptsPacket(kVideoPid, cc(kVideoPid), 9000)}), at(30));
  EXPECT_TRUE(applies(Indicator::PtsError));

  analyser.advance(at(3000));  // silence takes nothing back
  for (const IndicatorInfo& i : kIndicators) EXPECT_TRUE(applies(i.id)) << i.key;
  analyser.start(at(3000));
  EXPECT_FALSE(applies(Indicator::PidError));
}

TEST_F(Silence, PcrIndicatorsDoNotApplyBeforeAPmtNamesAPcrPid) {
  analyser.start(at(0));
  analyser.feed(datagram({patPacket(cc(kPatPid)), pcrPacket(kVideoPid, 0, kTicksPerMs),
                          pcrPacket(kVideoPid, 0, 500 * kTicksPerMs)}),
                at(0));
  EXPECT_FALSE(applies(Indicator::PcrRepetitionError));
  EXPECT_FALSE(applies(Indicator::PcrDiscontinuityIndicatorError));
  EXPECT_FALSE(applies(Indicator::PcrAccuracyError));
  // A program without a PCR (PCR_PID 0x1FFF) does not make them apply either.
  analyser.feed(datagram({sectionPacket(kPmtPid, cc(kPmtPid), pmtSection(1, kNullPid, {{kVideoType, kVideoPid}}))}),
                at(10));
  EXPECT_TRUE(applies(Indicator::PidError));
  EXPECT_FALSE(applies(Indicator::PcrRepetitionError));
  EXPECT_FALSE(applies(Indicator::PcrAccuracyError));
}

}  // namespace
