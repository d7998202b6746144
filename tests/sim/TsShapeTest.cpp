// The shapes of stream the analyser's tests need: a PMT naming many streams carried
// across packets, a CAT naming an EMM PID, a scrambled PID; and the options that ask
// for them and for the second-priority faults.
#include <gtest/gtest.h>

#include "sim/StreamOptions.h"
#include "tests/sim/TsReading.h"

using namespace vexil::sim;
using namespace vexil::sim::testing;
using namespace vexil::stream;

namespace {

constexpr std::uint32_t kRate = 4000;
constexpr std::uint8_t kEvenKey = 0x2;  // transport_scrambling_control '10'

StreamFaults withStreams(int n) {
  StreamFaults f;
  f.shape.pmtStreams = n;
  return f;
}

class LongPmt : public ::testing::TestWithParam<int> {};

TEST_P(LongPmt, JoinedAcrossPacketsNamesEveryStreamAndEachIsSent) {
  const int n = GetParam();
  const auto stream = make(1, kRate, kRate * 2, withStreams(n));  // 2 s
  const auto sections = sectionsOn(stream, 0x100);
  ASSERT_GE(sections.size(), 40u);
  const int packetsEach = 16 + 5 * n > 183 ? 2 : 1;  // 12 fixed + 5 a stream + CRC vs 183
  for (const Section& s : sections) {
    EXPECT_TRUE(s.crcGood());
    EXPECT_EQ(s.packets, packetsEach);
  }
  const auto pmt = readPmt(sections.front().bytes);
  ASSERT_TRUE(pmt);
  ASSERT_EQ(pmt->streams.size(), static_cast<std::size_t>(n));
  EXPECT_EQ(pmt->pcrPid, 0x101);
  EXPECT_EQ(pmt->streams[0].pid, 0x101);
  const auto counts = pidCounts(stream);
  for (std::size_t i = 0; i < pmt->streams.size(); ++i) {
    const PmtStream& s = pmt->streams[i];
    if (i >= 2) {
      EXPECT_EQ(s.streamType, TsGenerator::kDataStreamType);
      EXPECT_EQ(s.pid, 0x110 + i - 2);
    }
    // At least once a second, so no named PID goes missing.
    EXPECT_GE(counts.count(s.pid) ? counts.at(s.pid) : 0, 2u) << "PID " << s.pid;
  }
  // Nothing sent that the PMT does not name, besides the tables and null packets.
  for (const auto& [pid, count] : counts) {
    const bool named = std::any_of(pmt->streams.begin(), pmt->streams.end(), [&](const PmtStream& s) { return s.pid == pid; });
    EXPECT_TRUE(named || pid == kPatPid || pid == 0x100 || pid == kNullPid) << "PID " << pid;
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, LongPmt, ::testing::Values(1, 3, 33, 34, 40, 60, TsGenerator::kMaxPmtStreams));

TEST(LongPmt, SecondPacketContinuesTheSectionAndIsStuffedAfterIt) {
  const auto stream = make(2, kRate, 400, withStreams(60));
  std::vector<const Made*> pmtPackets;
  for (const Made& m : stream)
    if (m.view().pid() == 0x200) pmtPackets.push_back(&m);
  ASSERT_GE(pmtPackets.size(), 4u);
  for (std::size_t i = 0; i < pmtPackets.size(); ++i) {
    const Made& m = *pmtPackets[i];
    EXPECT_EQ(m.view().continuity(), i % 16) << "counters run on across the parts";
    EXPECT_EQ(m.view().unitStart(), i % 2 == 0) << "payload_unit_start on the first part only";
    if (i % 2 == 0) {
      EXPECT_EQ(m.packet[kHeaderSize], 0) << "pointer_field";
    }
  }
  // The second part holds what is left of the section (16 + 300 - 183 = 133 bytes), then 0xFF.
  const Made& second = *pmtPackets[1];
  EXPECT_EQ(pmtPackets[1]->index, pmtPackets[0]->index + 1);
  const std::size_t end = kHeaderSize + (16 + 5 * 60 - 183);
  EXPECT_NE(second.packet[end - 1], 0xFF);  // the CRC's last byte happens not to be 0xFF
  for (std::size_t i = end; i < kPacketSize; ++i) EXPECT_EQ(second.packet[i], 0xFF) << "byte " << i;
}

TEST(Cat, NamesTheEmmPidWithAValidCrcEveryHundredMilliseconds) {
  StreamFaults f;
  f.shape.withCat = true;
  const auto stream = make(3, kRate, kRate * 2, f);
  const auto cats = sectionsOn(stream, kCatPid);
  EXPECT_NEAR(static_cast<double>(cats.size()), 20, 1);
  for (std::size_t i = 0; i < cats.size(); ++i) {
    EXPECT_TRUE(cats[i].crcGood());
    if (i > 0) {
      EXPECT_LE(cats[i].firstPacket - cats[i - 1].firstPacket, kRate / 10 + 2);
    }
  }
  const std::vector<std::uint8_t>& c = cats.front().bytes;
  ASSERT_EQ(c.size(), 8u + 6 + 4);
  EXPECT_EQ(c[0], kCatTableId);
  EXPECT_EQ(c[1] & 0x80, 0x80) << "section_syntax_indicator";
  EXPECT_EQ(c[8], kCaDescriptorTag);
  EXPECT_EQ(c[9], 4);
  const std::uint16_t emm = static_cast<std::uint16_t>(((c[12] << 8) | c[13]) & 0x1FFF);
  EXPECT_EQ(emm, InputProgram::forInput(3).emmPid);
  EXPECT_EQ(sectionsOn(stream, emm).size(), cats.size()) << "the EMM PID is not left empty";
}

TEST(Cat, NoneUnlessAskedAndNothingScrambledUnlessAsked) {
  const auto stream = make(1, kRate, kRate);
  EXPECT_EQ(pidCounts(stream).count(kCatPid), 0u);
  for (const Made& m : stream) EXPECT_EQ(m.view().scrambling(), 0) << "packet " << m.index;
}

TEST(Scrambled, OnlyThatPidsPayloadPacketsAndThePayloadKept) {
  StreamFaults f;
  f.shape.scrambledPid = 0x101;
  const auto plain = make(1, kRate, kRate);
  const auto stream = make(1, kRate, kRate, f);
  int scrambled = 0;
  for (std::size_t i = 0; i < stream.size(); ++i) {
    const auto v = stream[i].view();
    const bool should = v.pid() == 0x101 && v.hasPayload();
    EXPECT_EQ(v.scrambling(), should ? kEvenKey : 0) << "packet " << i;
    scrambled += should;
    // Apart from those two bits the packet is as it would be in the clear.
    Packet p = stream[i].packet;
    p[3] = static_cast<std::uint8_t>(p[3] & ~kScramblingMask);
    EXPECT_EQ(p, plain[i].packet) << "packet " << i;
  }
  EXPECT_GT(scrambled, 1000);
}

// The options, as vexil-sim reads them.
std::string parse(std::vector<std::string> args, StreamFaults& f) {
  DeviceState state;
  std::string error;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const auto taken = parseStreamOption(args, i, state, f, error);
    if (!taken) return "not a stream option: " + args[i];
    if (!*taken) return error;
  }
  return {};
}

TEST(StreamOptions, ShapesAndSecondPriorityFaults) {
  StreamFaults f;
  EXPECT_EQ(parse({"--ts-pmt-streams", "40", "--ts-cat", "--ts-scrambled", "0x101", "--ts-pcr-gap", "1500",
                   "--ts-pcr-jump", "7", "--ts-pcr-jitter", "3", "--ts-pts-gap", "2000", "--ts-bad-crc", "5"},
                  f),
            "");
  EXPECT_EQ(f.shape.pmtStreams, 40);
  EXPECT_TRUE(f.shape.withCat);
  EXPECT_EQ(f.shape.scrambledPid, 0x101);
  EXPECT_EQ(f.pcrGapAfter, std::chrono::milliseconds(1500));
  EXPECT_EQ(f.pcrJumpEvery, 7u);
  EXPECT_EQ(f.pcrJitterEvery, 3u);
  EXPECT_EQ(f.ptsGapAfter, std::chrono::milliseconds(2000));
  EXPECT_EQ(f.badCrcEvery, 5u);
  const std::string help(streamHelpText());
  for (const char* option : {"--ts-pmt-streams", "--ts-cat", "--ts-scrambled", "--ts-pcr-gap", "--ts-pcr-jump",
                             "--ts-pcr-jitter", "--ts-pts-gap", "--ts-bad-crc"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(StreamOptions, ValuesOutOfRangeAreRefusedWithTheOptionNamed) {
  const std::vector<std::vector<std::string>> bad{
      {"--ts-pmt-streams", "0"}, {"--ts-pmt-streams", "65"}, {"--ts-scrambled", "0x2000"},
      {"--ts-pcr-gap", "-1"},    {"--ts-pcr-jump", "0"},     {"--ts-pcr-jitter", "x"},
      {"--ts-pts-gap", "86400001"}, {"--ts-bad-crc", "0"},   {"--ts-bad-crc"}};
  for (const auto& args : bad) {
    StreamFaults f;
    const std::string error = parse(args, f);
    EXPECT_NE(error.find(args[0]), std::string::npos) << args[0] << " -> " << error;
  }
  StreamFaults f;
  EXPECT_EQ(parse({"--ts-pmt-streams", "64", "--ts-scrambled", "0"}, f), "");
}

}  // namespace
