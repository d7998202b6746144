// Packets found in datagrams: the packet size, packets per datagram, fragments, the
// QV-Net cut across datagrams, bad sync bytes, sync loss and its recovery.
#include <gtest/gtest.h>

#include "PacketBuilder.h"

using namespace vexil::stream;
using namespace vexil::stream::testing;

namespace {

std::vector<Bytes> run(std::uint16_t pid, std::uint8_t firstCc, int count) {
  std::vector<Bytes> out;
  for (int i = 0; i < count; ++i) out.push_back(packet(pid, static_cast<std::uint8_t>((firstCc + i) % 16)));
  return out;
}

class Framing : public ::testing::Test {
 protected:
  const StreamTotals& totals() const { return analyser.totals(); }
  StreamAnalyser analyser;
};

TEST_F(Framing, SevenPacketsOf188) {
  analyser.feed(datagram(run(kVideoPid, 0, 7)), at(0));
  EXPECT_EQ(totals().packetSize, 188u);
  EXPECT_EQ(totals().lastDatagramPackets, 7u);
  EXPECT_EQ(totals().packets, 7u);
  EXPECT_EQ(totals().bytes, 7u * 188);
}

TEST_F(Framing, PacketsOf204AreDetectedAndTheirParitySkipped) {
  analyser.feed(datagram(run(kVideoPid, 0, 7), kRsPacketSize), at(0));
  analyser.feed(datagram(run(kVideoPid, 7, 7), kRsPacketSize), at(1));
  EXPECT_EQ(totals().packetSize, 204u);
  EXPECT_EQ(totals().packets, 14u);
  EXPECT_EQ(totals().priority1.continuityError, 0u);
  EXPECT_EQ(totals().priority1.syncByteError, 0u);
}

TEST_F(Framing, OnePacketOf204PerDatagram) {
  for (int i = 0; i < 3; ++i) analyser.feed(datagram({packet(kVideoPid, i)}, kRsPacketSize), at(i));
  EXPECT_EQ(totals().packetSize, 204u);
  EXPECT_EQ(totals().packets, 3u);
  EXPECT_EQ(totals().lastDatagramPackets, 1u);
}

TEST_F(Framing, DatagramThatIsNoMultipleOfThePacketSizeLosesItsFragment) {
  Bytes d = datagram(run(kVideoPid, 0, 3));
  d.resize(d.size() - 100);  // the third packet cut short
  analyser.feed(d, at(0));
  analyser.feed(datagram(run(kVideoPid, 3, 2)), at(1));
  EXPECT_EQ(totals().packets, 4u);
  EXPECT_EQ(totals().truncatedPackets, 1u);
  EXPECT_EQ(totals().priority1.syncByteError, 0u);
  EXPECT_EQ(totals().priority1.continuityError, 1u);  // the cut packet is missing
}

TEST_F(Framing, PacketsCutAcrossDatagramsAreJoined) {
  // The QV-Net cut: 1000-byte datagrams regardless of packet boundaries.
  const Bytes all = datagram(run(kVideoPid, 0, 16));
  for (std::size_t from = 0; from < all.size(); from += 1000)
    analyser.feed(Bytes(all.begin() + from, all.begin() + std::min(all.size(), from + 1000)), at(0));
  EXPECT_EQ(totals().packets, 16u);
  EXPECT_EQ(totals().truncatedPackets, 0u);
  EXPECT_EQ(totals().priority1.continuityError, 0u);
  EXPECT_EQ(totals().priority1.syncByteError, 0u);
}

TEST_F(Framing, ABadSyncByteOnTheGridCostsThatPacketOnly) {
  std::vector<Bytes> packets = run(kVideoPid, 0, 7);
  packets[3][0] = 0x00;
  analyser.feed(datagram(packets), at(0));
  EXPECT_EQ(totals().priority1.syncByteError, 1u);
  EXPECT_EQ(totals().priority1.tsSyncLoss, 0u);
  EXPECT_EQ(totals().packets, 6u);
  EXPECT_EQ(totals().priority1.continuityError, 1u);
}

TEST_F(Framing, LostBytesMidDatagramAreSkippedAndTheGridFoundAgain) {
  // Three bytes missing inside packet 3: packet 4 slides off the grid, 5 to 7 follow it.
  Bytes d = datagram(run(kVideoPid, 0, 7));
  d.erase(d.begin() + 2 * 188 + 100, d.begin() + 2 * 188 + 103);
  analyser.feed(d, at(0));
  EXPECT_EQ(totals().priority1.syncByteError, 1u);
  EXPECT_EQ(totals().priority1.tsSyncLoss, 0u);
  EXPECT_EQ(totals().packets, 6u);  // packets 1-3 (3 read short), 5, 6, 7
  EXPECT_EQ(totals().priority1.continuityError, 1u);
  EXPECT_GT(totals().skippedBytes, 0u);
  // The next datagram is read cleanly.
  analyser.feed(datagram(run(kVideoPid, 7, 7)), at(1));
  EXPECT_EQ(totals().priority1.syncByteError, 1u);
  EXPECT_EQ(totals().priority1.continuityError, 1u);
}

TEST_F(Framing, TwoBadSyncBytesInARowLoseSyncFiveGoodRegainIt) {
  std::vector<Bytes> packets = run(kVideoPid, 0, 7);
  packets[1][0] = 0x46;
  packets[2][0] = 0x46;
  analyser.feed(datagram(packets), at(0));
  EXPECT_EQ(totals().priority1.syncByteError, 2u);
  EXPECT_EQ(totals().priority1.tsSyncLoss, 1u);
  EXPECT_TRUE(totals().syncLost);  // only 4 good packets since
  analyser.feed(datagram(run(kVideoPid, 7, 1)), at(1));
  EXPECT_FALSE(totals().syncLost);
  EXPECT_EQ(totals().priority1.tsSyncLoss, 1u);
}

TEST_F(Framing, OneBadSyncByteIsNoSyncLoss) {
  std::vector<Bytes> packets = run(kVideoPid, 0, 7);
  packets[1][0] = 0x46;
  packets[4][0] = 0x46;
  analyser.feed(datagram(packets), at(0));
  EXPECT_EQ(totals().priority1.syncByteError, 2u);
  EXPECT_EQ(totals().priority1.tsSyncLoss, 0u);
}

TEST_F(Framing, DatagramWithoutAnySyncCountsEveryPacketPosition) {
  analyser.feed(Bytes(1316, 0x00), at(0));
  EXPECT_EQ(totals().packets, 0u);
  EXPECT_EQ(totals().priority1.syncByteError, 7u);
  EXPECT_EQ(totals().priority1.tsSyncLoss, 1u);
}

TEST_F(Framing, GarbageOffTheGridIsSkipped) {
  analyser.feed(Bytes(1000, 0x00), at(0));
  EXPECT_EQ(totals().packets, 0u);
  EXPECT_EQ(totals().skippedBytes, 1000u);
  EXPECT_EQ(totals().priority1.syncByteError, 1u);
}

}  // namespace
