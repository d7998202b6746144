// The program clock of the synthetic streams: PCR and PTS fields laid out bit for bit,
// a PCR exactly where the byte count puts it at the nominal rate, a PTS at every PES
// start following the clock, and PCR and tables repeating in time whichever of stream
// time and the clock runs ahead.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/sim/TsReading.h"

using namespace vexil::sim;
using namespace vexil::sim::testing;
using namespace std::chrono_literals;
using vexil::stream::kPacketSize;
using vexil::stream::kPatPid;
using vexil::stream::kPcrSize;
using vexil::stream::kPesPtsSize;

namespace {

constexpr std::uint64_t kPtsLead90k = 9000;  // 0.1 s at 90 kHz
constexpr double kBitsPerPacket = kPacketSize * 8.0;

// The clock reading of packet k at a constant rate, worked out in one division (k is
// far below the 6.8e11 packets at which k * 27e6 would overflow).
std::uint64_t expectedTicks(std::uint64_t k, std::uint64_t rate) { return k * kClockHz / rate; }

TEST(PcrField, RoundTripsAtTheEdgesAndWraps) {
  for (const std::uint64_t ticks : std::vector<std::uint64_t>{0, 299, 300, 301, vexil::stream::kPcrModulus - 1, 123'456'789'012}) {
    std::uint8_t f[kPcrSize];
    writePcrField(f, ticks);
    EXPECT_EQ(readPcrField(f), ticks);
    EXPECT_EQ(f[4] & 0x7E, 0x7E) << "reserved bits set";
  }
  std::uint8_t f[kPcrSize];
  writePcrField(f, vexil::stream::kPcrModulus + 5);
  EXPECT_EQ(readPcrField(f), 5u);
}

TEST(PtsField, PrefixMarkersAndBitGroups) {
  std::uint8_t f[kPesPtsSize];
  writePtsField(f, 0);
  EXPECT_EQ(std::vector<std::uint8_t>(f, f + kPesPtsSize), (std::vector<std::uint8_t>{0x21, 0x00, 0x01, 0x00, 0x01}));
  writePtsField(f, kPtsModulus - 1);
  EXPECT_EQ(std::vector<std::uint8_t>(f, f + kPesPtsSize), (std::vector<std::uint8_t>{0x2F, 0xFF, 0xFF, 0xFF, 0xFF}));
  writePtsField(f, 1ULL << 32);  // top bit only: bit 32 is the first of the three high bits
  EXPECT_EQ(f[0], 0x29);
  writePtsField(f, (1ULL << 15) | 1);  // lowest bit of each 15-bit group
  EXPECT_EQ(std::vector<std::uint8_t>(f, f + kPesPtsSize), (std::vector<std::uint8_t>{0x21, 0x00, 0x03, 0x00, 0x03}));
  writePtsField(f, kPtsModulus + 7);
  EXPECT_EQ(readPtsField(f), 7u);
}

TEST(ProgramClock, NoDriftOverAnHourAndRateChangesGoOnFromTheReading) {
  ProgramClock c(3500);
  EXPECT_EQ(c.ticksAt(3500ULL * 3600), 3600 * kClockHz);
  EXPECT_EQ(c.ticksAt(1), kClockHz / 3500);  // 7714.28...: the fraction is dropped, not kept
  EXPECT_EQ(c.ticksAt(7), 54'000u);          // ...and comes back exactly
  const std::uint64_t at = c.ticksAt(1000);
  c.setRate(2800, 1000);
  EXPECT_EQ(c.ticksAt(1000), at);
  EXPECT_EQ(c.ticksAt(1000 + 2800), at + kClockHz);
  c.jump(5'400'000);
  EXPECT_EQ(c.ticksAt(1000), at + 5'400'000);
  EXPECT_EQ(c.steadyTicksAt(1000), at);
  c.setRate(0, 2000);  // taken as 1 packet/s, never a division by zero
  EXPECT_EQ(c.rate(), 1u);
}

struct RateCase {
  int input;
  std::uint32_t rate;
};

class ConstantRatePcr : public ::testing::TestWithParam<RateCase> {};

TEST_P(ConstantRatePcr, EveryPcrWhereTheByteCountPutsIt) {
  const auto [input, rate] = GetParam();
  const auto stream = make(input, rate, rate * 3);  // 3 s
  const double bitRate = rate * kBitsPerPacket;
  std::optional<Made> last;
  int pcrs = 0;
  for (const Made& m : stream) {
    const auto pcr = pcrOf(m);
    if (!pcr) continue;
    ++pcrs;
    EXPECT_EQ(m.view().pid(), InputProgram::forInput(input).videoPid);
    EXPECT_EQ(*pcr, expectedTicks(m.index, rate)) << "packet " << m.index;
    if (last) {
      // What a checker predicts from the previous PCR and the bytes between them.
      const double bytes = static_cast<double>((m.index - last->index) * kPacketSize);
      const double predicted = static_cast<double>(*pcrOf(*last)) + bytes * 8 * kClockHz / bitRate;
      EXPECT_LE(std::abs(static_cast<double>(*pcr) - predicted), 1.0) << "packet " << m.index;
      const double gapMs = (m.index - last->index) * 1000.0 / rate;
      EXPECT_LE(gapMs, 20.0 + 1000.0 / rate) << "packet " << m.index;
      EXPECT_GE(gapMs, 20.0 - 1000.0 / rate) << "packet " << m.index;
    }
    last = m;
  }
  EXPECT_NEAR(pcrs, 3 * 50, 2);
}

INSTANTIATE_TEST_SUITE_P(Inputs, ConstantRatePcr,
                         ::testing::Values(RateCase{1, 3500}, RateCase{2, 2800}, RateCase{3, 4000},
                                           RateCase{4, 12345}, RateCase{1, 997}));

TEST(ConstantRatePcr, RepeatsWithinTwentyMillisecondsOfBothClocks) {
  // Sent slower and faster than the nominal rate: the PCR comes by whichever of stream
  // time and the clock reaches 20 ms first, and stays on the clock.
  for (const auto spacing : {std::chrono::nanoseconds(1'000'000'000 / 3300), std::chrono::nanoseconds(1'000'000'000 / 3700)}) {
    const auto stream = make(1, 3500, 3500 * 2, {}, spacing);
    std::optional<Made> last;
    for (const Made& m : stream) {
      const auto pcr = pcrOf(m);
      if (!pcr) continue;
      EXPECT_EQ(*pcr, expectedTicks(m.index, 3500));
      if (last) {
        EXPECT_LE(m.at - last->at, 20ms + spacing);
        EXPECT_LE(*pcr - *pcrOf(*last), 20 * kClockHz / 1000 + kClockHz / 3500 + 1);
      }
      last = m;
    }
  }
}

TEST(ConstantRatePcr, RateChangeKeepsTheClockContinuous) {
  TsGenerator g(2, 2800);
  std::uint64_t before = 0;
  for (int i = 0; i < 2800; ++i) g.next(std::chrono::nanoseconds(i * 357'143LL), {});
  before = g.clock().ticksAt(g.packetsMade());
  g.setNominalRate(5600);
  EXPECT_EQ(g.clock().ticksAt(g.packetsMade()), before);
  EXPECT_EQ(g.clock().ticksAt(g.packetsMade() + 5600), before + kClockHz);
}

TEST(Pts, EveryVideoAndAudioPesStartCarriesOneOnTheClock) {
  for (const int input : {1, 2}) {
    const std::uint32_t rate = input == 1 ? 3500 : 2800;
    const auto stream = make(input, rate, rate * 2);
    const InputProgram prog = InputProgram::forInput(input);
    std::map<std::uint16_t, std::uint64_t> lastPts;
    int starts = 0;
    for (const Made& m : stream) {
      if (!startsPes(m)) continue;
      ++starts;
      const std::uint16_t pid = m.view().pid();
      EXPECT_TRUE(pid == prog.videoPid || pid == prog.audioPid);
      const std::uint8_t* pes = m.packet.data() + m.view().payloadOffset();
      EXPECT_EQ(pes[vexil::stream::kPesFlags2Offset], 0x80) << "PTS_DTS_flags '10', nothing else";
      EXPECT_EQ(pes[kPesHeaderLengthOffset], kPesPtsSize);
      const auto pts = ptsOf(m);
      ASSERT_TRUE(pts) << "packet " << m.index;
      EXPECT_EQ(*pts, expectedTicks(m.index, rate) / 300 + kPtsLead90k) << "packet " << m.index;
      if (lastPts.count(pid)) {
        EXPECT_GT(*pts, lastPts[pid]);
      }
      lastPts[pid] = *pts;
    }
    EXPECT_GT(starts, 200);
    EXPECT_EQ(lastPts.count(prog.audioPid), input == 1 ? 1u : 0u);
  }
}

TEST(Tables, PatAndPmtEveryFortyMillisecondsOfBothClocks) {
  for (const auto spacing : {250'000ns, std::chrono::nanoseconds(1'000'000'000 / 3000)}) {
    const auto stream = make(1, 4000, 8000, {}, spacing);
    for (const std::uint16_t pid : {kPatPid, std::uint16_t{0x100}}) {
      const auto sections = sectionsOn(stream, pid);
      ASSERT_GE(sections.size(), 2u);
      EXPECT_EQ(sections.front().firstPacket, pid == kPatPid ? 1u : 2u) << "after the first PCR";
      for (std::size_t i = 1; i < sections.size(); ++i) {
        EXPECT_TRUE(sections[i].crcGood());
        const Made& a = stream[sections[i - 1].firstPacket];
        const Made& b = stream[sections[i].firstPacket];
        EXPECT_LE(b.at - a.at, 40ms + 2 * spacing);
        EXPECT_LE(b.index - a.index, 4000u * 40 / 1000 + 2);
      }
    }
  }
}

}  // namespace
