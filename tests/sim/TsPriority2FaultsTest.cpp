// The second-priority faults of the synthetic stream, each found by reading the packets
// back: where it should be, as often as promised, and nowhere else.
#include <gtest/gtest.h>

#include "tests/sim/TsReading.h"

using namespace vexil::sim;
using namespace vexil::sim::testing;
using namespace std::chrono_literals;
using vexil::stream::kPatPid;

namespace {

constexpr std::uint32_t kRate = 4000;  // 250 us a packet: stream time and clock agree
constexpr std::uint64_t kTicksPerPacket = kClockHz / kRate;
constexpr std::uint64_t kTicksPerMs = kClockHz / 1000;
constexpr std::uint64_t kPtsLead90k = 9000;

std::uint64_t clockAt(const Made& m) { return m.index * kTicksPerPacket; }

std::vector<Made> pcrPackets(const std::vector<Made>& stream) {
  std::vector<Made> out;
  for (const Made& m : stream)
    if (pcrOf(m)) out.push_back(m);
  return out;
}

TEST(PcrGap, OnceAHundredMillisecondsFromTheTimeAskedThenBackEveryTwenty) {
  StreamFaults f;
  f.pcrGapAfter = 1000ms;
  const auto pcrs = pcrPackets(make(1, kRate, kRate * 3, f));
  int gaps = 0;
  for (std::size_t i = 1; i < pcrs.size(); ++i) {
    EXPECT_EQ(*pcrOf(pcrs[i]), clockAt(pcrs[i])) << "values stay on the clock";
    EXPECT_FALSE(pcrs[i].view().discontinuity());
    const std::uint64_t ticks = *pcrOf(pcrs[i]) - *pcrOf(pcrs[i - 1]);
    if (ticks <= 20 * kTicksPerMs) continue;
    ++gaps;
    EXPECT_LE(ticks, 100 * kTicksPerMs) << "a repetition error, not a discontinuity";
    EXPECT_GT(ticks, 100 * kTicksPerMs - kTicksPerPacket);
    EXPECT_LT(pcrs[i - 1].at, 1000ms);
    EXPECT_GE(pcrs[i - 1].at, 1000ms - 20ms) << "the gap starts with the PCR due at 1 s";
  }
  EXPECT_EQ(gaps, 1);
}

TEST(PcrJump, EveryNthPcrTwoHundredMillisecondsAheadAndTheClockGoesOnFromThere) {
  StreamFaults f;
  f.pcrJumpEvery = 10;
  const auto stream = make(2, kRate, kRate * 2, f);
  const auto pcrs = pcrPackets(stream);
  ASSERT_GE(pcrs.size(), 90u);
  std::uint64_t jumped = 0;
  for (std::size_t i = 0; i < pcrs.size(); ++i) {
    const std::uint64_t number = i + 1;
    if (number % 10 == 0) jumped += 200 * kTicksPerMs;
    EXPECT_EQ(*pcrOf(pcrs[i]), clockAt(pcrs[i]) + jumped) << "PCR " << number;
    EXPECT_FALSE(pcrs[i].view().discontinuity()) << "PCR " << number;
  }
  // The PTS follows the program clock across the jumps.
  std::uint64_t offset = 0;
  std::size_t nextPcr = 0;
  for (const Made& m : stream) {
    if (nextPcr < pcrs.size() && pcrs[nextPcr].index == m.index) {
      offset = *pcrOf(m) - clockAt(m);
      ++nextPcr;
    }
    if (const auto pts = ptsOf(m)) {
      EXPECT_EQ(*pts, (clockAt(m) + offset) / 300 + kPtsLead90k) << "packet " << m.index;
    }
  }
}

TEST(PcrJitter, EveryNthPcrTwoMicrosecondsLateAndTheNextBackOnTheClock) {
  StreamFaults f;
  f.pcrJitterEvery = 5;
  const auto pcrs = pcrPackets(make(3, kRate, kRate * 2, f));
  int late = 0;
  for (std::size_t i = 0; i < pcrs.size(); ++i) {
    const bool hit = (i + 1) % 5 == 0;
    EXPECT_EQ(*pcrOf(pcrs[i]), clockAt(pcrs[i]) + (hit ? 54 : 0)) << "PCR " << i + 1;
    late += hit;
  }
  EXPECT_EQ(late, static_cast<int>(pcrs.size() / 5));
}

TEST(PtsGap, VideoWithoutPtsForOneSecondFromTheTimeAskedAudioUntouched) {
  StreamFaults f;
  f.ptsGapAfter = 1000ms;
  const auto stream = make(1, kRate, kRate * 3, f);
  int videoStarts = 0;
  int withoutPts = 0;
  for (const Made& m : stream) {
    if (!startsPes(m)) continue;
    const bool video = m.view().pid() == 0x101;
    const bool inGap = video && m.at >= 1000ms && m.at < 2000ms;
    EXPECT_EQ(ptsOf(m).has_value(), !inGap) << "packet " << m.index;
    videoStarts += video;
    withoutPts += inGap;
  }
  EXPECT_GT(withoutPts, 100) << "the PES starts go on, only the PTS is missing";
  EXPECT_LT(withoutPts, videoStarts / 2);
}

TEST(BadCrc, EveryNthPatOrPmtSectionSpoiltInOneByteEvenWhenItSpansPackets) {
  for (const int streams : {0, 40}) {
    StreamFaults f;
    f.badCrcEvery = 3;
    f.shape.pmtStreams = streams;
    f.shape.withCat = true;
    const auto stream = make(1, kRate, kRate * 2, f);
    auto sections = sectionsOn(stream, kPatPid);
    const auto pmts = sectionsOn(stream, 0x100);
    sections.insert(sections.end(), pmts.begin(), pmts.end());
    std::sort(sections.begin(), sections.end(), [](const Section& a, const Section& b) { return a.firstPacket < b.firstPacket; });
    const auto clean = make(1, kRate, kRate * 2, [&] { StreamFaults c = f; c.badCrcEvery = 0; return c; }());
    ASSERT_GE(sections.size(), 100u);
    for (std::size_t i = 0; i < sections.size(); ++i) {
      EXPECT_EQ(sections[i].crcGood(), (i + 1) % 3 != 0) << "section " << i + 1;
    }
    for (const Section& cat : sectionsOn(stream, vexil::stream::kCatPid)) EXPECT_TRUE(cat.crcGood());
    // Only the last CRC byte differs from the clean stream.
    std::size_t differing = 0;
    for (std::size_t i = 0; i < stream.size(); ++i)
      for (std::size_t b = 0; b < vexil::stream::kPacketSize; ++b) differing += stream[i].packet[b] != clean[i].packet[b];
    EXPECT_EQ(differing, sections.size() / 3);
  }
}

TEST(FirstPriorityFaults, StillOnTheExactPacketsWithTheNewStream) {
  StreamFaults f;
  f.transportErrorEvery = 250;
  f.syncErrorEvery = 1000;
  f.droppedPid = 0x111;  // a data stream
  f.shape.pmtStreams = 12;
  const auto stream = make(1, kRate, 7000, f);
  for (const Made& m : stream) {
    EXPECT_EQ(m.view().transportError(), (m.index + 1) % 250 == 0) << "packet " << m.index;
    EXPECT_EQ(m.view().hasSync(), (m.index + 1) % 1000 != 0) << "packet " << m.index;
  }
  const auto counts = pidCounts(stream);
  EXPECT_EQ(counts.count(0x111), 0u);
  EXPECT_GT(counts.at(0x110), 10u);
}

TEST(Faults, NoneOfThemInACleanStream) {
  const auto stream = make(1, kRate, kRate * 3);
  for (const Made& m : stream) {
    EXPECT_TRUE(m.view().hasSync());
    EXPECT_FALSE(m.view().transportError());
    if (const auto pcr = pcrOf(m)) {
      EXPECT_EQ(*pcr, clockAt(m));
    }
    if (startsPes(m)) {
      EXPECT_TRUE(ptsOf(m)) << "packet " << m.index;
    }
  }
  for (const std::uint16_t pid : {kPatPid, std::uint16_t{0x100}})
    for (const Section& s : sectionsOn(stream, pid)) EXPECT_TRUE(s.crcGood());
}

}  // namespace
