// Continuity counting at its edges: the wrap, duplicates compared by content, losses of
// 15 and 16 packets, packets without payload, the discontinuity indicator, packets with
// a transport error, null packets.
#include <gtest/gtest.h>

#include "PacketBuilder.h"

using namespace vexil::stream;
using namespace vexil::stream::testing;

namespace {

class Continuity : public ::testing::Test {
 protected:
  void feed(const std::vector<Bytes>& packets) { analyser.feed(datagram(packets), at(0)); }
  std::uint64_t errors() const { return analyser.totals().count(Indicator::ContinuityCountError); }

  StreamAnalyser analyser;
};

// ---- Order ------------------------------------------------------------------------

TEST_F(Continuity, CounterWrapsFrom15To0WithoutError) {
  feed({packet(kVideoPid, 14), packet(kVideoPid, 15), packet(kVideoPid, 0), packet(kVideoPid, 1)});
  EXPECT_EQ(errors(), 0u);
  EXPECT_EQ(analyser.pid(kVideoPid).packets, 4u);
}

TEST_F(Continuity, FirstPacketOfAPidMayHaveAnyCounter) {
  feed({packet(0x200, 9), packet(0x201, 0), packet(0x202, 15)});
  EXPECT_EQ(errors(), 0u);
}

TEST_F(Continuity, SkippedValueAcrossTheWrapIsAnError) {
  feed({packet(kVideoPid, 15), packet(kVideoPid, 1)});
  EXPECT_EQ(errors(), 1u);
}

TEST_F(Continuity, OneLostPacketCountsOnceAndTheTrackerFollows) {
  // 0 1 2 _ 4 5 6 7: one error, and 5, 6, 7 are good again.
  feed({packet(kVideoPid, 0), packet(kVideoPid, 1), packet(kVideoPid, 2), packet(kVideoPid, 4),
        packet(kVideoPid, 5), packet(kVideoPid, 6), packet(kVideoPid, 7)});
  EXPECT_EQ(errors(), 1u);
  EXPECT_EQ(analyser.pid(kVideoPid).continuityErrors, 1u);
}

TEST_F(Continuity, PacketsOutOfOrderBreakTheCountEachTime) {
  feed({packet(kVideoPid, 0), packet(kVideoPid, 2), packet(kVideoPid, 1), packet(kVideoPid, 3)});
  EXPECT_EQ(errors(), 3u);  // 0->2, 2->1, 1->3
}

TEST_F(Continuity, LossOf15PacketsLeavesTheSameCounterAndIsOneError) {
  // 0..5, then 15 packets lost: the next one carries 5 again, with other bytes.
  std::vector<Bytes> packets;
  for (std::uint8_t cc = 0; cc <= 5; ++cc) packets.push_back(packet(kVideoPid, cc, false, 0x10));
  packets.push_back(packet(kVideoPid, 5, false, 0x20));
  packets.push_back(packet(kVideoPid, 6, false, 0x21));
  packets.push_back(packet(kVideoPid, 7, false, 0x22));
  feed(packets);
  EXPECT_EQ(errors(), 1u);
}

TEST_F(Continuity, LossOfExactly16PacketsCannotBeSeen) {
  std::vector<Bytes> packets;
  for (std::uint8_t cc = 0; cc <= 5; ++cc) packets.push_back(packet(kVideoPid, cc, false, 0x10));
  packets.push_back(packet(kVideoPid, 6, false, 0x20));  // 6..15, 0..5 lost in between
  feed(packets);
  EXPECT_EQ(errors(), 0u);
}

TEST_F(Continuity, CountersArePerPid) {
  feed({packet(0x200, 0), packet(0x300, 9), packet(0x200, 1), packet(0x300, 10)});
  EXPECT_EQ(errors(), 0u);
  feed({packet(0x200, 3)});
  EXPECT_EQ(analyser.pid(0x200).continuityErrors, 1u);
  EXPECT_EQ(analyser.pid(0x300).continuityErrors, 0u);
  EXPECT_EQ(errors(), 1u);
}

// ---- Duplicates -------------------------------------------------------------------

TEST_F(Continuity, DuplicateWithEqualBytesIsLegal) {
  feed({packet(kVideoPid, 3), packet(kVideoPid, 3), packet(kVideoPid, 4)});
  EXPECT_EQ(errors(), 0u);
  EXPECT_EQ(analyser.pid(kVideoPid).packets, 3u);
}

TEST_F(Continuity, DuplicatesAreJudgedAgainstTheRightPacketAfterManyPids) {
  // One datagram per packet: each PID's last packet is kept as a copy. Many PIDs later
  // the first PID's copy must still be its packet (a copy that moved would be read
  // after it was freed, or compare wrongly).
  constexpr std::uint16_t kPids = 200;
  for (std::uint16_t i = 0; i < kPids; ++i) feed({packet(static_cast<std::uint16_t>(0x200 + i), 3)});
  feed({packet(0x200, 3)});  // the same bytes again: a legal duplicate
  EXPECT_EQ(errors(), 0u);
  Bytes other = packet(0x201, 3);
  other[100] ^= 0x01;
  feed({other});  // same counter, other bytes
  EXPECT_EQ(errors(), 1u);
}

TEST_F(Continuity, DuplicateWithOtherBytesIsAnError) {
  feed({packet(kVideoPid, 3, false, 0xAA), packet(kVideoPid, 3, false, 0xAB), packet(kVideoPid, 4)});
  EXPECT_EQ(errors(), 1u);
}

TEST_F(Continuity, DuplicateDifferingInOneLastByteIsAnError) {
  Bytes copy = packet(kVideoPid, 3);
  copy.back() = 0x00;
  feed({packet(kVideoPid, 3), copy});
  EXPECT_EQ(errors(), 1u);
}

TEST_F(Continuity, ThirdCopyIsAnError) {
  feed({packet(kVideoPid, 3), packet(kVideoPid, 3), packet(kVideoPid, 3), packet(kVideoPid, 4)});
  EXPECT_EQ(errors(), 1u);
}

TEST_F(Continuity, DuplicateDifferingOnlyInThePcrIsLegal) {
  feed({pcrPacket(kVideoPid, 5, 27'000'000, true), pcrPacket(kVideoPid, 5, 27'000'000 + 8100, true),
        packet(kVideoPid, 6)});
  EXPECT_EQ(errors(), 0u);
}

TEST_F(Continuity, DuplicateOfAPcrPacketDifferingInItsPayloadIsAnError) {
  Bytes copy = pcrPacket(kVideoPid, 5, 27'000'000, true);
  copy[100] = 0x01;
  feed({pcrPacket(kVideoPid, 5, 27'000'000, true), copy});
  EXPECT_EQ(errors(), 1u);
}

TEST_F(Continuity, DuplicateAfterALossIsStillLegalOnce) {
  feed({packet(kVideoPid, 0), packet(kVideoPid, 2), packet(kVideoPid, 2), packet(kVideoPid, 3)});
  EXPECT_EQ(errors(), 1u);  // only the loss before 2
}

TEST_F(Continuity, DuplicatesOfSeveralPidsAreJudgedApart) {
  feed({packet(0x200, 1), packet(0x300, 1), packet(0x200, 1), packet(0x300, 1, false, 0xBB)});
  EXPECT_EQ(analyser.pid(0x200).continuityErrors, 0u);
  EXPECT_EQ(analyser.pid(0x300).continuityErrors, 1u);
}

// ---- Packets the counter does not follow ----------------------------------------------

TEST_F(Continuity, AdaptationOnlyPacketsKeepTheCounter) {
  feed({packet(kVideoPid, 7), adaptationOnly(kVideoPid, 7), adaptationOnly(kVideoPid, 7), packet(kVideoPid, 8)});
  EXPECT_EQ(errors(), 0u);
  EXPECT_EQ(analyser.pid(kVideoPid).packets, 4u);
}

TEST_F(Continuity, AdaptationOnlyPacketsAreNotCheckedWhateverTheirCounter) {
  feed({packet(kVideoPid, 7), adaptationOnly(kVideoPid, 12), adaptationOnly(kVideoPid, 3), packet(kVideoPid, 8)});
  EXPECT_EQ(errors(), 0u);
}

TEST_F(Continuity, AdaptationOnlyPacketDoesNotAdvanceTheExpectation) {
  // An adaptation field that wrongly counts on does not excuse the next payload packet.
  feed({packet(kVideoPid, 7), adaptationOnly(kVideoPid, 8), packet(kVideoPid, 9)});
  EXPECT_EQ(errors(), 1u);
}

TEST_F(Continuity, ReservedAdaptationControlIsNotChecked) {
  Bytes reserved = packet(kVideoPid, 11);
  reserved[3] &= static_cast<std::uint8_t>(~kAdaptationMask);  // adaptation_field_control 00
  feed({packet(kVideoPid, 1), reserved, packet(kVideoPid, 2)});
  EXPECT_EQ(errors(), 0u);
}

TEST_F(Continuity, DiscontinuityIndicatorAllowsAJump) {
  feed({packet(kVideoPid, 2), withDiscontinuity(kVideoPid, 11), packet(kVideoPid, 12)});
  EXPECT_EQ(errors(), 0u);
}

TEST_F(Continuity, DiscontinuityAnnouncedWithoutPayloadAllowsAJump) {
  // A splice announced in a PCR-only packet: the counters start again from its value.
  feed({packet(kVideoPid, 13), adaptationOnly(kVideoPid, 5, true), packet(kVideoPid, 6)});
  EXPECT_EQ(errors(), 0u);
}

TEST_F(Continuity, DiscontinuityIndicatorRestartsFromTheNewCounter) {
  feed({packet(kVideoPid, 2), withDiscontinuity(kVideoPid, 11), packet(kVideoPid, 3)});
  EXPECT_EQ(errors(), 1u);  // 3 after 11
}

TEST_F(Continuity, TransportErrorPacketsAreSkippedButCounted) {
  feed({packet(kVideoPid, 0), packet(kVideoPid, 1), packet(kVideoPid, 9, true), packet(kVideoPid, 2)});
  EXPECT_EQ(errors(), 0u);
  EXPECT_EQ(analyser.totals().count(Indicator::TransportError), 1u);
  EXPECT_EQ(analyser.totals().transportErrorPackets, 1u);
  EXPECT_EQ(analyser.pid(kVideoPid).packets, 4u);
  EXPECT_EQ(analyser.pid(kVideoPid).transportErrors, 1u);
}

TEST_F(Continuity, TransportErrorPacketDoesNotHideALossAfterIt) {
  // Whether the damaged packet was 2 or not, 3 and 4 are missing before 5.
  feed({packet(kVideoPid, 0), packet(kVideoPid, 1), packet(kVideoPid, 2, true), packet(kVideoPid, 5)});
  EXPECT_EQ(errors(), 1u);
}

TEST_F(Continuity, TransportErrorPacketWithAWildCounterHidesNothing) {
  feed({packet(kVideoPid, 0), packet(kVideoPid, 1), packet(kVideoPid, 12, true), packet(kVideoPid, 13)});
  EXPECT_EQ(errors(), 1u);  // 13 after 1
}

TEST_F(Continuity, TransportErrorPacketsAreCountedPerPid) {
  feed({packet(kVideoPid, 0, true), packet(kVideoPid, 1), packet(0x200, 0, true)});
  EXPECT_EQ(analyser.totals().transportErrorPackets, 2u);
  EXPECT_EQ(analyser.totals().count(Indicator::TransportError), 2u);
  EXPECT_EQ(analyser.pid(kVideoPid).transportErrors, 1u);
  EXPECT_EQ(analyser.pid(0x200).transportErrors, 1u);
}

TEST_F(Continuity, NullPacketsAreNotChecked) {
  feed({packet(kNullPid, 0), packet(kNullPid, 0, false, 0x11), packet(kNullPid, 9), packet(kNullPid, 3)});
  EXPECT_EQ(errors(), 0u);
  EXPECT_EQ(analyser.totals().nullPackets, 4u);
  EXPECT_EQ(analyser.pid(kNullPid).kind, PidKind::Null);
  EXPECT_EQ(analyser.pid(kNullPid).continuityErrors, 0u);
}

// ---- Forgetting -------------------------------------------------------------------

TEST_F(Continuity, ResetForgetsTheCounters) {
  feed({packet(kVideoPid, 0), packet(kVideoPid, 5)});
  analyser.reset();
  EXPECT_EQ(errors(), 0u);
  feed({packet(kVideoPid, 9), packet(kVideoPid, 10)});
  EXPECT_EQ(errors(), 0u);
  EXPECT_EQ(analyser.totals().packets, 2u);
}

TEST_F(Continuity, StartForgetsTheCounters) {
  feed({packet(kVideoPid, 0), packet(kVideoPid, 1)});
  analyser.start(at(2000));
  analyser.feed(datagram({packet(kVideoPid, 9), packet(kVideoPid, 10)}), at(2000));
  EXPECT_EQ(errors(), 0u);
  EXPECT_EQ(analyser.pid(kVideoPid).packets, 2u);
}

}  // namespace
