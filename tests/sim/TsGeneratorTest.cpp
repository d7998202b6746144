// The emulator's synthetic stream read by the analyser: clean as made, tables in time,
// and each fault giving exactly the count it promises.
#include <gtest/gtest.h>

#include <memory>

#include "sim/TsGenerator.h"
#include "sim/TsStreamer.h"
#include "stream/StreamAnalyser.h"
#include "tests/sim/TsReading.h"

using namespace vexil::sim;
using namespace vexil::stream;
using namespace std::chrono_literals;

namespace {

constexpr int kPacketsPerDatagram = 7;
constexpr auto kPacketSpacing = 250us;
constexpr std::uint32_t kPacketsPerSecond = 4000;  // the nominal rate, as spaced

// `count` packets of input `input`, seven to a datagram, fed as they would arrive.
std::unique_ptr<StreamAnalyser> analyse(int input, int count, const StreamFaults& faults = {}) {
  TsGenerator generator(input, kPacketsPerSecond);
  auto analyser = std::make_unique<StreamAnalyser>();
  std::vector<std::uint8_t> d;
  for (int i = 0; i < count; ++i) {
    const auto t = std::chrono::duration_cast<std::chrono::nanoseconds>(kPacketSpacing * i);
    const Packet p = generator.next(t, faults);
    d.insert(d.end(), p.begin(), p.end());
    if ((i + 1) % kPacketsPerDatagram == 0) {
      analyser->feed(d, TimePoint{} + t);
      d.clear();
    }
  }
  return analyser;
}

TEST(TsGenerator, CleanStreamHasEveryIndicatorGreen) {
  for (int input = 1; input <= 4; ++input) {
    const auto a = analyse(input, 70000);  // 17.5 s
    for (const IndicatorInfo& i : kIndicators)
      EXPECT_EQ(a->totals().count(i.id), 0u) << "input " << input << " " << i.name;
    EXPECT_EQ(a->totals().packets, 70000u);
  }
}

TEST(TsGenerator, ProgramOfEachInput) {
  const auto one = analyse(1, 7000);
  EXPECT_EQ(one->referencedPids(), (std::vector<std::uint16_t>{0x101, 0x102}));
  EXPECT_EQ(one->pid(0x100).kind, PidKind::Pmt);
  const auto two = analyse(2, 7000);
  EXPECT_EQ(two->referencedPids(), (std::vector<std::uint16_t>{0x201}));
  EXPECT_EQ(two->pid(0x102).packets, 0u);
}

TEST(TsGenerator, TablesRepeatWellWithinAHundredMilliseconds) {
  const auto a = analyse(1, 8000);  // 2 s
  // One PAT and one PMT per 40 ms of stream time.
  EXPECT_GE(a->pid(kPatPid).packets, 2000u / 40);
  EXPECT_GE(a->pid(0x100).packets, 2000u / 40);
  const double nullShare = static_cast<double>(a->totals().nullPackets) / a->totals().packets;
  EXPECT_NEAR(nullShare, 0.1, 0.02);
}

TEST(TsGenerator, FaultsGiveExactCounts) {
  StreamFaults f;
  f.continuityErrorEvery = 100;
  f.transportErrorEvery = 250;
  const auto a = analyse(2, 7000, f);
  EXPECT_EQ(a->totals().transportErrorPackets, 7000u / 250);
  // Every hundredth elementary-stream payload packet skips one count; the video PID
  // also carries the PCR packets, which have no payload and no count of their own.
  std::uint64_t esPackets = 0;
  std::uint64_t pcrPackets = 0;
  for (const auto& m : vexil::sim::testing::make(2, kPacketsPerSecond, 7000, f)) {
    esPackets += m.view().pid() == 0x201 && m.view().hasPayload();
    pcrPackets += m.view().pid() == 0x201 && !m.view().hasPayload();
  }
  EXPECT_EQ(esPackets + pcrPackets, a->pid(0x201).packets);
  EXPECT_EQ(a->totals().count(Indicator::ContinuityCountError), esPackets / 100);
  EXPECT_EQ(a->totals().count(Indicator::SyncByteError), 0u);
}

TEST(TsGenerator, SyncFaults) {
  StreamFaults bytes;
  bytes.syncErrorEvery = 1000;
  const auto a = analyse(1, 7000, bytes);
  EXPECT_EQ(a->totals().count(Indicator::SyncByteError), 7u);
  EXPECT_EQ(a->totals().count(Indicator::TsSyncLoss), 0u);
  StreamFaults loss;
  loss.syncLossEvery = 3000;
  const auto b = analyse(1, 7000, loss);
  EXPECT_EQ(b->totals().count(Indicator::TsSyncLoss), 2u);
  EXPECT_EQ(b->totals().count(Indicator::SyncByteError), 10u);
}

TEST(TsGenerator, TablesThatStopAndAPidThatDisappears) {
  StreamFaults f;
  f.patStopsAfter = 1000ms;
  f.pmtStopsAfter = 1000ms;
  f.droppedPid = 0x102;
  f.pidDropsAfter = 0ms;
  const auto a = analyse(1, 40000, f);  // 10 s
  EXPECT_GT(a->totals().count(Indicator::PatError), 0u);
  EXPECT_GT(a->totals().count(Indicator::PmtError), 0u);
  EXPECT_GT(a->totals().count(Indicator::PidError), 0u);
  EXPECT_EQ(a->pid(0x102).packets, 0u);
}

// Each second-priority fault read by the analyser: its own indicator turns.
struct Priority2Case {
  const char* name;
  StreamFaults faults;
  Indicator expected;
};

StreamFaults priority2(void (*set)(StreamFaults&)) {
  StreamFaults f;
  set(f);
  return f;
}

TEST(TsGenerator, EachSecondPriorityFaultTurnsItsIndicator) {
  const std::vector<Priority2Case> cases{
      {"pcr gap", priority2([](StreamFaults& f) { f.pcrGapAfter = 1000ms; }), Indicator::PcrRepetitionError},
      {"pcr jump", priority2([](StreamFaults& f) { f.pcrJumpEvery = 20; }), Indicator::PcrDiscontinuityIndicatorError},
      {"pcr jitter", priority2([](StreamFaults& f) { f.pcrJitterEvery = 20; }), Indicator::PcrAccuracyError},
      {"pts gap", priority2([](StreamFaults& f) { f.ptsGapAfter = 1000ms; }), Indicator::PtsError},
      {"bad crc", priority2([](StreamFaults& f) { f.badCrcEvery = 10; }), Indicator::CrcError},
      {"scrambled, no CAT", priority2([](StreamFaults& f) { f.shape.scrambledPid = 0x101; }), Indicator::CatError},
  };
  for (const Priority2Case& c : cases) {
    const auto a = analyse(1, 16000, c.faults);  // 4 s
    EXPECT_GT(a->totals().count(c.expected), 0u) << c.name;
    EXPECT_EQ(a->totals().count(Indicator::ContinuityCountError), 0u) << c.name;
  }
  StreamFaults both;
  both.shape.scrambledPid = 0x101;
  both.shape.withCat = true;
  both.shape.pmtStreams = 45;
  const auto a = analyse(1, 16000, both);
  for (const IndicatorInfo& i : kIndicators) EXPECT_EQ(a->totals().count(i.id), 0u) << "CAT, scrambled, long PMT: " << i.name;
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
