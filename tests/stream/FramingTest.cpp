// Packets found in datagrams: the packet size, packets per datagram, fragments, the
// QV-Net cut across datagrams, bad sync bytes on the grid, sync loss and its recovery,
// bytes off the grid.
#include <gtest/gtest.h>

#include "PacketBuilder.h"

using namespace vexil::stream;
using namespace vexil::stream::testing;

namespace {

constexpr std::uint8_t kBadSync = 0x46;

std::vector<Bytes> run(std::uint16_t pid, std::uint8_t firstCc, int count) {
  std::vector<Bytes> out;
  for (int i = 0; i < count; ++i) out.push_back(packet(pid, static_cast<std::uint8_t>((firstCc + i) % 16)));
  return out;
}

class Framing : public ::testing::Test {
 protected:
  const StreamTotals& totals() const { return analyser.totals(); }
  std::uint64_t count(Indicator i) const { return totals().count(i); }
  StreamAnalyser analyser;
};

// ---- Packet size and datagrams ------------------------------------------------------

TEST_F(Framing, SevenPacketsOf188) {
  analyser.feed(datagram(run(kVideoPid, 0, 7)), at(0));
  EXPECT_EQ(totals().packetSize, 188u);
  EXPECT_EQ(totals().lastDatagramPackets, 7u);
  EXPECT_EQ(totals().packets, 7u);
  EXPECT_EQ(totals().datagrams, 1u);
  EXPECT_EQ(totals().bytes, 7u * 188);
}

TEST_F(Framing, PacketsOf204AreDetectedAndTheirParitySkipped) {
  analyser.feed(datagram(run(kVideoPid, 0, 7), kRsPacketSize), at(0));
  analyser.feed(datagram(run(kVideoPid, 7, 7), kRsPacketSize), at(1));
  EXPECT_EQ(totals().packetSize, 204u);
  EXPECT_EQ(totals().packets, 14u);
  EXPECT_EQ(totals().bytes, 14u * 204);
  EXPECT_EQ(count(Indicator::ContinuityCountError), 0u);
  EXPECT_EQ(count(Indicator::SyncByteError), 0u);
  EXPECT_EQ(totals().skippedBytes, 0u);
}

TEST_F(Framing, OnePacketOf204PerDatagram) {
  for (int i = 0; i < 3; ++i)
    analyser.feed(datagram({packet(kVideoPid, static_cast<std::uint8_t>(i))}, kRsPacketSize), at(i));
  EXPECT_EQ(totals().packetSize, 204u);
  EXPECT_EQ(totals().packets, 3u);
  EXPECT_EQ(totals().lastDatagramPackets, 1u);
  EXPECT_EQ(count(Indicator::ContinuityCountError), 0u);
}

TEST_F(Framing, DatagramThatIsNoMultipleOfThePacketSizeLosesItsFragment) {
  Bytes d = datagram(run(kVideoPid, 0, 3));
  d.resize(d.size() - 100);  // the third packet cut short
  analyser.feed(d, at(0));
  analyser.feed(datagram(run(kVideoPid, 3, 2)), at(1));
  EXPECT_EQ(totals().packets, 4u);
  EXPECT_EQ(totals().truncatedPackets, 1u);
  EXPECT_EQ(count(Indicator::SyncByteError), 0u);
  EXPECT_EQ(count(Indicator::ContinuityCountError), 1u);  // the cut packet is missing
}

TEST_F(Framing, PacketsCutAcrossDatagramsAreJoined) {
  // The QV-Net cut: 1000-byte datagrams regardless of packet boundaries.
  const Bytes all = datagram(run(kVideoPid, 0, 16));
  for (std::size_t from = 0; from < all.size(); from += 1000)
    analyser.feed(Bytes(all.begin() + static_cast<std::ptrdiff_t>(from),
                        all.begin() + static_cast<std::ptrdiff_t>(std::min(all.size(), from + 1000))),
                  at(0));
  EXPECT_EQ(totals().packets, 16u);
  EXPECT_EQ(totals().truncatedPackets, 0u);
  EXPECT_EQ(count(Indicator::ContinuityCountError), 0u);
  EXPECT_EQ(count(Indicator::SyncByteError), 0u);
}

TEST_F(Framing, JoinedPacketsKeepTheirBytes) {
  // A duplicate split across datagrams must compare equal to its first copy.
  Bytes all = datagram({packet(kVideoPid, 0, false, 0x31), packet(kVideoPid, 0, false, 0x31), packet(kVideoPid, 1)});
  analyser.feed(Bytes(all.begin(), all.begin() + 300), at(0));
  analyser.feed(Bytes(all.begin() + 300, all.end()), at(1));
  EXPECT_EQ(totals().packets, 3u);
  EXPECT_EQ(count(Indicator::ContinuityCountError), 0u);
}

TEST_F(Framing, TheSinkGetsEveryPacketInOrderWithoutItsParity) {
  struct Collect : PacketSink {
    std::vector<Bytes> got;
    void packet(const std::uint8_t* p) override { got.emplace_back(p, p + kPacketSize); }
  } sink;
  std::vector<Bytes> sent = run(kVideoPid, 0, 7);
  sent[2] = packet(0x200, 4, true);
  analyser.feed(datagram(sent, kRsPacketSize), at(0), &sink);
  EXPECT_EQ(sink.got, sent);
}

// ---- Bad sync bytes ---------------------------------------------------------------

TEST_F(Framing, ABadSyncByteOnTheGridIsStillAPacket) {
  std::vector<Bytes> packets = run(kVideoPid, 0, 7);
  packets[3][0] = 0x00;
  analyser.feed(datagram(packets), at(0));
  EXPECT_EQ(count(Indicator::SyncByteError), 1u);
  EXPECT_EQ(count(Indicator::TsSyncLoss), 0u);
  EXPECT_EQ(totals().packets, 7u);
  EXPECT_EQ(analyser.pid(kVideoPid).packets, 7u);
  EXPECT_EQ(count(Indicator::ContinuityCountError), 0u);  // its counter was read
  EXPECT_EQ(totals().skippedBytes, 0u);
}

TEST_F(Framing, ABadSyncByteAtTheEndOfADatagramIsStillAPacket) {
  analyser.feed(datagram(run(kVideoPid, 0, 7)), at(0));
  std::vector<Bytes> packets = run(kVideoPid, 7, 7);
  packets.back()[0] = kBadSync;
  analyser.feed(datagram(packets), at(1));
  EXPECT_EQ(count(Indicator::SyncByteError), 1u);
  EXPECT_EQ(totals().packets, 14u);
  analyser.feed(datagram(run(kVideoPid, 14, 7)), at(2));
  EXPECT_EQ(count(Indicator::ContinuityCountError), 0u);
}

TEST_F(Framing, LostBytesMidDatagramAreSkippedAndTheGridFoundAgain) {
  // Three bytes missing inside packet 3: packet 4 slides off the grid, 5 to 7 follow it.
  const Bytes whole = datagram(run(kVideoPid, 0, 7));
  constexpr std::ptrdiff_t kCutAt = 2 * 188 + 100;
  Bytes d(whole.begin(), whole.begin() + kCutAt);
  d.insert(d.end(), whole.begin() + kCutAt + 3, whole.end());
  analyser.feed(d, at(0));
  EXPECT_EQ(count(Indicator::TsSyncLoss), 0u);
  EXPECT_GT(totals().skippedBytes, 0u);
  EXPECT_LT(totals().skippedBytes, 2u * 188);
  EXPECT_GE(totals().packets, 5u);  // at least 1, 2, 5, 6, 7
  EXPECT_LE(totals().packets, 6u);
  EXPECT_EQ(analyser.pid(kVideoPid).continuityErrors, count(Indicator::ContinuityCountError));
  const std::uint64_t ccBefore = count(Indicator::ContinuityCountError);
  EXPECT_GE(ccBefore, 1u);  // packet 4 is gone
  // The next datagram is read cleanly.
  const std::uint64_t syncBefore = count(Indicator::SyncByteError);
  analyser.feed(datagram(run(kVideoPid, 7, 7)), at(1));
  EXPECT_EQ(count(Indicator::SyncByteError), syncBefore);
  EXPECT_EQ(count(Indicator::ContinuityCountError), ccBefore);
  EXPECT_EQ(totals().lastDatagramPackets, 7u);
}

TEST_F(Framing, TwoBadSyncBytesInARowLoseSyncFiveGoodRegainIt) {
  std::vector<Bytes> packets = run(kVideoPid, 0, 7);
  packets[1][0] = kBadSync;
  packets[2][0] = kBadSync;
  analyser.feed(datagram(packets), at(0));
  EXPECT_EQ(count(Indicator::SyncByteError), 2u);
  EXPECT_EQ(count(Indicator::TsSyncLoss), 1u);
  EXPECT_TRUE(totals().syncLost);  // only 4 good packets since
  analyser.feed(datagram(run(kVideoPid, 7, 1)), at(1));
  EXPECT_FALSE(totals().syncLost);
  EXPECT_EQ(count(Indicator::TsSyncLoss), 1u);
}

TEST_F(Framing, ARunOfBadSyncBytesIsOneSyncLoss) {
  std::vector<Bytes> packets = run(kVideoPid, 0, 14);
  for (int i = 2; i < 7; ++i) packets[static_cast<std::size_t>(i)][0] = kBadSync;
  analyser.feed(datagram(packets), at(0));
  EXPECT_EQ(count(Indicator::SyncByteError), 5u);
  EXPECT_EQ(count(Indicator::TsSyncLoss), 1u);
  EXPECT_FALSE(totals().syncLost);  // 7 good ones since
}

TEST_F(Framing, ALongRunOfBadSyncBytesIsOneLossAndEveryPacketCounted) {
  // Longer than any look-ahead of a few dozen packets: still on the grid.
  std::vector<Bytes> packets = run(kVideoPid, 0, 400);
  for (int i = 100; i < 300; ++i) packets[static_cast<std::size_t>(i)][0] = kBadSync;
  analyser.feed(datagram(packets), at(0));
  EXPECT_EQ(count(Indicator::SyncByteError), 200u);
  EXPECT_EQ(count(Indicator::TsSyncLoss), 1u);
  EXPECT_EQ(totals().packets, 400u);
  EXPECT_EQ(count(Indicator::ContinuityCountError), 0u);
}

TEST_F(Framing, SyncLostAgainAfterRegainingIsASecondLoss) {
  std::vector<Bytes> packets = run(kVideoPid, 0, 14);
  packets[1][0] = packets[2][0] = kBadSync;   // lost
  packets[8][0] = packets[9][0] = kBadSync;   // regained at 7 (5 good: 3..7), lost again
  analyser.feed(datagram(packets), at(0));
  EXPECT_EQ(count(Indicator::SyncByteError), 4u);
  EXPECT_EQ(count(Indicator::TsSyncLoss), 2u);
}

TEST_F(Framing, BadSyncBytesWithTooFewGoodOnesBetweenAreOneLoss) {
  std::vector<Bytes> packets = run(kVideoPid, 0, 14);
  packets[1][0] = packets[2][0] = kBadSync;   // lost
  packets[6][0] = packets[7][0] = kBadSync;   // only 3 good between: still lost
  analyser.feed(datagram(packets), at(0));
  EXPECT_EQ(count(Indicator::TsSyncLoss), 1u);
}

TEST_F(Framing, OneBadSyncByteIsNoSyncLoss) {
  std::vector<Bytes> packets = run(kVideoPid, 0, 7);
  packets[1][0] = kBadSync;
  packets[4][0] = kBadSync;
  analyser.feed(datagram(packets), at(0));
  EXPECT_EQ(count(Indicator::SyncByteError), 2u);
  EXPECT_EQ(count(Indicator::TsSyncLoss), 0u);
  EXPECT_FALSE(totals().syncLost);
}

TEST_F(Framing, BadSyncByteCarriesOnIntoTheNextDatagram) {
  std::vector<Bytes> first = run(kVideoPid, 0, 7);
  first.back()[0] = kBadSync;
  std::vector<Bytes> second = run(kVideoPid, 7, 7);
  second.front()[0] = kBadSync;
  analyser.feed(datagram(first), at(0));
  analyser.feed(datagram(second), at(1));
  EXPECT_EQ(count(Indicator::SyncByteError), 2u);
  EXPECT_EQ(count(Indicator::TsSyncLoss), 1u);  // two in a row, across the boundary
}

// ---- Off the grid -----------------------------------------------------------------

TEST_F(Framing, GarbageWithoutAnySyncByteIsSkipped) {
  analyser.feed(Bytes(1000, 0x00), at(0));
  EXPECT_EQ(totals().packets, 0u);
  EXPECT_EQ(totals().skippedBytes, 1000u);
  EXPECT_EQ(totals().bytes, 1000u);
}

TEST_F(Framing, GarbageBeforeTheFirstPacketIsSkipped) {
  Bytes d(50, 0x00);
  const Bytes packets = datagram(run(kVideoPid, 0, 6));
  d.insert(d.end(), packets.begin(), packets.end());
  analyser.feed(d, at(0));
  EXPECT_EQ(totals().skippedBytes, 50u);
  EXPECT_EQ(totals().packets, 6u);
  EXPECT_EQ(totals().packetSize, 188u);
}

TEST_F(Framing, ListeningStartsInsideAPacketOf204) {
  // A QV-Net cut stream of 204-byte packets joined in the middle of a packet.
  const Bytes all = datagram(run(kVideoPid, 0, 30), kRsPacketSize);
  constexpr std::size_t kJoinedAt = 100;
  for (std::size_t from = kJoinedAt; from < all.size(); from += 1000)
    analyser.feed(Bytes(all.begin() + static_cast<std::ptrdiff_t>(from),
                        all.begin() + static_cast<std::ptrdiff_t>(std::min(all.size(), from + 1000))),
                  at(0));
  EXPECT_EQ(totals().packetSize, 204u);
  EXPECT_EQ(totals().packets, 29u);
  EXPECT_EQ(count(Indicator::ContinuityCountError), 0u);
  EXPECT_EQ(count(Indicator::TsSyncLoss), 0u);
}

TEST_F(Framing, ALoneSyncByteInGarbageIsNoPacket) {
  Bytes d(600, 0x00);
  d[10] = kSyncByte;  // nothing one packet later
  analyser.feed(d, at(0));
  EXPECT_EQ(totals().packets, 0u);
}

}  // namespace
