// The emulator's synthetic stream read by the analyser: clean as made, tables in time,
// and each fault giving exactly the count it promises.
#include <gtest/gtest.h>

#include "sim/TsGenerator.h"
#include "sim/TsStreamer.h"
#include "stream/StreamAnalyser.h"

using namespace vexil::sim;
using namespace vexil::stream;
using namespace std::chrono_literals;

namespace {

constexpr int kPacketsPerDatagram = 7;
constexpr auto kPacketSpacing = 250us;  // 4000 packets/s

// `count` packets of input `input`, seven to a datagram, fed as they would arrive.
StreamAnalyser analyse(int input, int count, const StreamFaults& faults = {}) {
  TsGenerator generator(input);
  StreamAnalyser analyser;
  std::vector<std::uint8_t> d;
  for (int i = 0; i < count; ++i) {
    const auto t = std::chrono::duration_cast<std::chrono::nanoseconds>(kPacketSpacing * i);
    const Packet p = generator.next(t, faults);
    d.insert(d.end(), p.begin(), p.end());
    if ((i + 1) % kPacketsPerDatagram == 0) {
      analyser.feed(d, TimePoint{} + t);
      d.clear();
    }
  }
  return analyser;
}

TEST(TsGenerator, CleanStreamHasEveryIndicatorGreen) {
  for (int input = 1; input <= 4; ++input) {
    const StreamAnalyser a = analyse(input, 70000);  // 17.5 s
    const auto p1 = a.totals().priority1.asArray();
    for (std::size_t i = 0; i < p1.size(); ++i) EXPECT_EQ(p1[i], 0u) << "input " << input << " indicator " << i;
    EXPECT_EQ(a.totals().packets, 70000u);
  }
}

TEST(TsGenerator, ProgramOfEachInput) {
  const StreamAnalyser one = analyse(1, 7000);
  EXPECT_EQ(one.referencedPids(), (std::vector<std::uint16_t>{0x101, 0x102}));
  EXPECT_EQ(one.pid(0x100).kind, PidKind::Pmt);
  const StreamAnalyser two = analyse(2, 7000);
  EXPECT_EQ(two.referencedPids(), (std::vector<std::uint16_t>{0x201}));
  EXPECT_EQ(two.pid(0x102).packets, 0u);
}

TEST(TsGenerator, TablesRepeatWellWithinAHundredMilliseconds) {
  const StreamAnalyser a = analyse(1, 8000);  // 2 s
  // One PAT and one PMT per 40 ms of stream time.
  EXPECT_GE(a.pid(kPatPid).packets, 2000u / 40);
  EXPECT_GE(a.pid(0x100).packets, 2000u / 40);
  const double nullShare = static_cast<double>(a.totals().nullPackets) / a.totals().packets;
  EXPECT_NEAR(nullShare, 0.1, 0.02);
}

TEST(TsGenerator, FaultsGiveExactCounts) {
  StreamFaults f;
  f.continuityErrorEvery = 100;
  f.transportErrorEvery = 250;
  const StreamAnalyser a = analyse(2, 7000, f);
  EXPECT_EQ(a.totals().transportErrorPackets, 7000u / 250);
  // Every hundredth elementary-stream payload packet skips one count; the video PID
  // also carries one PCR packet (no payload) per PMT.
  const std::uint64_t esPackets = a.pid(0x201).packets - a.pid(0x200).packets;
  EXPECT_EQ(a.totals().priority1.continuityError, esPackets / 100);
  EXPECT_EQ(a.totals().priority1.syncByteError, 0u);
}

TEST(TsGenerator, SyncFaults) {
  StreamFaults bytes;
  bytes.syncErrorEvery = 1000;
  const StreamAnalyser a = analyse(1, 7000, bytes);
  EXPECT_EQ(a.totals().priority1.syncByteError, 7u);
  EXPECT_EQ(a.totals().priority1.tsSyncLoss, 0u);
  StreamFaults loss;
  loss.syncLossEvery = 3000;
  const StreamAnalyser b = analyse(1, 7000, loss);
  EXPECT_EQ(b.totals().priority1.tsSyncLoss, 2u);
  EXPECT_EQ(b.totals().priority1.syncByteError, 10u);
}

TEST(TsGenerator, TablesThatStopAndAPidThatDisappears) {
  StreamFaults f;
  f.patStopsAfter = 1000ms;
  f.pmtStopsAfter = 1000ms;
  f.droppedPid = 0x102;
  f.pidDropsAfter = 0ms;
  const StreamAnalyser a = analyse(1, 40000, f);  // 10 s
  EXPECT_GT(a.totals().priority1.patError, 0u);
  EXPECT_GT(a.totals().priority1.pmtError, 0u);
  EXPECT_GT(a.totals().priority1.pidError, 0u);
  EXPECT_EQ(a.pid(0x102).packets, 0u);
}

TEST(DatagramFormat, ReadFromTheModeBytes) {
  const DatagramFormat iptv = DatagramFormat::fromModes(0x02, 0x27, 0x00);
  EXPECT_TRUE(iptv.iptv);
  EXPECT_EQ(iptv.packetsPerDatagram, 1u);
  EXPECT_TRUE(iptv.withParity);
  EXPECT_TRUE(iptv.removeNulls);
  EXPECT_TRUE(iptv.removeErrored);
  const DatagramFormat seven = DatagramFormat::fromModes(0x02, 0xE0, 0x00);
  EXPECT_EQ(seven.packetsPerDatagram, 7u);
  EXPECT_FALSE(seven.withParity || seven.removeNulls || seven.removeErrored);
  EXPECT_EQ(DatagramFormat::fromModes(0x02, 0x00, 0x00).packetsPerDatagram, 1u);  // number 0
  const DatagramFormat qv = DatagramFormat::fromModes(0x04, 0x05, 0x94);
  EXPECT_FALSE(qv.iptv);
  EXPECT_EQ(qv.qvNetSize, 1428u);
  EXPECT_EQ(DatagramFormat::fromModes(0x00, 0x00, 0x10).qvNetSize, 256u);
  EXPECT_EQ(DatagramFormat::fromModes(0x00, 0x10, 0x00).qvNetSize, 1428u);
}

}  // namespace
