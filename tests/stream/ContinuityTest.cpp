// Continuity counting at its edges: wrap, duplicates, packets without payload, the
// discontinuity indicator, a lost packet, null packets.
#include <gtest/gtest.h>

#include "PacketBuilder.h"

using namespace vexil::stream;
using namespace vexil::stream::testing;

namespace {

class Continuity : public ::testing::Test {
 protected:
  void feed(const std::vector<Bytes>& packets) { analyser.feed(datagram(packets), at(0)); }
  std::uint64_t errors() const { return analyser.totals().priority1.continuityError; }

  StreamAnalyser analyser;
};

TEST_F(Continuity, CounterWrapsFrom15To0WithoutError) {
  feed({packet(kVideoPid, 14), packet(kVideoPid, 15), packet(kVideoPid, 0), packet(kVideoPid, 1)});
  EXPECT_EQ(errors(), 0u);
  EXPECT_EQ(analyser.pid(kVideoPid).packets, 4u);
}

TEST_F(Continuity, SkippedValueAcrossTheWrapIsAnError) {
  feed({packet(kVideoPid, 15), packet(kVideoPid, 1)});
  EXPECT_EQ(errors(), 1u);
}

TEST_F(Continuity, OneDuplicateIsAllowedASecondIsNot) {
  feed({packet(kVideoPid, 3), packet(kVideoPid, 3), packet(kVideoPid, 4)});
  EXPECT_EQ(errors(), 0u);
  feed({packet(kVideoPid, 4), packet(kVideoPid, 4)});  // 4 three times
  EXPECT_EQ(errors(), 1u);
}

TEST_F(Continuity, AdaptationOnlyPacketsKeepTheCounter) {
  feed({packet(kVideoPid, 7), adaptationOnly(kVideoPid, 7), adaptationOnly(kVideoPid, 7),
        packet(kVideoPid, 8)});
  EXPECT_EQ(errors(), 0u);
}

TEST_F(Continuity, AdaptationOnlyPacketThatIncrementsIsAnError) {
  feed({packet(kVideoPid, 7), adaptationOnly(kVideoPid, 8), packet(kVideoPid, 9)});
  EXPECT_EQ(errors(), 1u);
}

TEST_F(Continuity, DiscontinuityIndicatorAllowsAJump) {
  feed({packet(kVideoPid, 2), withDiscontinuity(kVideoPid, 11), packet(kVideoPid, 12)});
  EXPECT_EQ(errors(), 0u);
  feed({packet(kVideoPid, 13), adaptationOnly(kVideoPid, 5, true), packet(kVideoPid, 6)});
  EXPECT_EQ(errors(), 0u);
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

TEST_F(Continuity, CountersArePerPid) {
  feed({packet(0x200, 0), packet(0x300, 9), packet(0x200, 1), packet(0x300, 10)});
  EXPECT_EQ(errors(), 0u);
  feed({packet(0x200, 3)});
  EXPECT_EQ(analyser.pid(0x200).continuityErrors, 1u);
  EXPECT_EQ(analyser.pid(0x300).continuityErrors, 0u);
}

TEST_F(Continuity, NullPacketsAreNotChecked) {
  feed({packet(kNullPid, 0), packet(kNullPid, 0), packet(kNullPid, 9)});
  EXPECT_EQ(errors(), 0u);
  EXPECT_EQ(analyser.totals().nullPackets, 3u);
  EXPECT_EQ(analyser.pid(kNullPid).kind, PidKind::Null);
}

TEST_F(Continuity, TransportErrorPacketsAreCountedPerPid) {
  feed({packet(kVideoPid, 0, true), packet(kVideoPid, 1), packet(0x200, 0, true)});
  EXPECT_EQ(analyser.totals().transportErrorPackets, 2u);
  EXPECT_EQ(analyser.pid(kVideoPid).transportErrors, 1u);
  EXPECT_EQ(analyser.pid(0x200).transportErrors, 1u);
}

TEST_F(Continuity, ResetForgetsTheCounters) {
  feed({packet(kVideoPid, 0), packet(kVideoPid, 5)});
  analyser.reset();
  feed({packet(kVideoPid, 9), packet(kVideoPid, 10)});
  EXPECT_EQ(errors(), 0u);
  EXPECT_EQ(analyser.totals().packets, 2u);
}

}  // namespace
