// The capture reader against files written by libpcap (and converted to pcapng by
// editcap): each link layer, the port filter, what is skipped and counted, frames cut
// short, VLAN tags, time stamps, and files that are no capture. One capture of real
// loopback traffic is made with dumpcap where capturing is allowed.
#include "stream/PcapReader.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/stream/CaptureBuilder.h"

using namespace vexil::stream;
using namespace vexil::stream::testing;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kStart = 1'700'000'000'123'456'789;  // ns since 1970
constexpr std::int64_t kStep = 1'000'250;                   // ns between records
constexpr std::uint16_t kPort = 5000;

/// What one read handed over, payloads copied (the reader's spans die with the call).
struct Read {
  bool ok = false;
  std::string error;
  CaptureStats stats;
  std::vector<CapturedDatagram> datagrams;
  std::vector<Bytes> payloads;
};

Read readAll(const std::string& path, std::optional<std::uint16_t> port = kPort) {
  Read r;
  r.ok = readCapture(
      path, port,
      [&](const CapturedDatagram& d) {
        r.datagrams.push_back(d);
        r.payloads.emplace_back(d.payload.begin(), d.payload.end());
      },
      r.stats, r.error);
  return r;
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    // Parameterised tests are named "Case/Parameter": no slashes in a folder name.
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');
    dir_ = fs::temp_directory_path() / ("pcap-reader-" + std::to_string(getpid()) + "-" + name);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  // Writes `records` of Ethernet (unless told otherwise) and reads them back.
  Read roundTrip(const std::vector<Record>& records, int linkType = DLT_EN10MB,
                 std::optional<std::uint16_t> port = kPort) {
    const std::string file = path("capture.pcap");
    EXPECT_TRUE(writePcap(file, linkType, records));
    return readAll(file, port);
  }

 private:
  fs::path dir_;
};

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

FrameShape udp(const std::string& payload, std::uint16_t port = kPort) {
  FrameShape s;
  s.payload = text(payload);
  s.destinationPort = port;
  return s;
}

Record ethernetRecord(const FrameShape& s, std::size_t index = 0) {
  return {ethernet(ipv4(s)), kStart + static_cast<std::int64_t>(index) * kStep, 0};
}

// ---- Every link layer, in pcap and in pcapng ----------------------------------------

struct LinkCase {
  int linkType;
  const char* name;
  bool pcapng;
};

void PrintTo(const LinkCase& c, std::ostream* out) {
  *out << c.name << (c.pcapng ? " in pcapng" : " in pcap");
}

std::string caseName(const ::testing::TestParamInfo<LinkCase>& info) {
  return std::string(info.param.name) + (info.param.pcapng ? "_pcapng" : "_pcap");
}

class LinkLayers : public TempDir, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(LinkLayers, HandsOverTheUdpOfThePortAndCountsTheRest) {
  const int link = GetParam().linkType;
  FrameShape tcp = udp("tcp");
  tcp.protocol = kProtocolTcp;
  FrameShape a = udp("first");
  a.source = 0xC0A80102;
  a.sourcePort = 1234;
  const std::vector<Bytes> frames = {
      frame(link, ipv4(a)),
      frame(link, ipv4(udp("other port", kPort + 1))),
      frame(link, ipv4(tcp)),
      frame(link, ipv6Packet()),
      frame(link, ipv4(udp("second"))),
  };
  std::vector<Record> records;
  for (std::size_t i = 0; i < frames.size(); ++i)
    records.push_back({frames[i], kStart + static_cast<std::int64_t>(i) * kStep, 0});
  std::string file = path("capture.pcap");
  ASSERT_TRUE(writePcap(file, link, records));
  if (GetParam().pcapng) {
    const std::string converted = path("capture.pcapng");
    if (!convertToPcapng(file, converted)) GTEST_SKIP() << "editcap is not installed";
    file = converted;
  }
  EXPECT_TRUE(looksLikeCapture(file));

  const Read r = readAll(file);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.stats.frames, 5u);
  EXPECT_EQ(r.stats.datagrams, 2u);
  EXPECT_EQ(r.stats.skippedFrames, 3u);
  ASSERT_EQ(r.payloads.size(), 2u);
  EXPECT_EQ(r.payloads[0], text("first"));
  EXPECT_EQ(r.payloads[1], text("second"));
  EXPECT_EQ(r.datagrams[0].sourceAddress, 0xC0A80102u);
  EXPECT_EQ(r.datagrams[0].destinationAddress, 0xEF010101u);
  EXPECT_EQ(r.datagrams[0].sourcePort, 1234);
  EXPECT_EQ(r.datagrams[0].destinationPort, kPort);
  EXPECT_EQ(r.datagrams[0].timestamp.count(), kStart);
  EXPECT_EQ(r.datagrams[1].timestamp.count(), kStart + 4 * kStep);

  const Read any = readAll(file, std::nullopt);
  ASSERT_TRUE(any.ok) << any.error;
  EXPECT_EQ(any.stats.datagrams, 3u);
  EXPECT_EQ(any.stats.skippedFrames, 2u);
  ASSERT_EQ(any.payloads.size(), 3u);
  EXPECT_EQ(any.payloads[1], text("other port"));
  EXPECT_EQ(any.datagrams[1].destinationPort, kPort + 1);
}

std::vector<LinkCase> linkCases() {
  const std::vector<std::pair<int, const char*>> links = {{DLT_EN10MB, "Ethernet"},
                                                          {DLT_LINUX_SLL, "LinuxCooked"},
                                                          {DLT_LINUX_SLL2, "LinuxCooked2"},
                                                          {DLT_RAW, "RawIp"},
                                                          {DLT_IPV4, "Ipv4"},
                                                          {DLT_NULL, "BsdLoopback"},
                                                          {DLT_LOOP, "OpenBsdLoopback"}};
  std::vector<LinkCase> cases;
  for (const auto& [link, name] : links)
    for (bool ng : {false, true}) cases.push_back({link, name, ng});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(PcapReader, LinkLayers, ::testing::ValuesIn(linkCases()), caseName);

// ---- Frames skipped: fragments, bad lengths, cut short ------------------------------

using Frames = TempDir;

TEST_F(Frames, FragmentsAreSkippedButDontFragmentIsAWholeDatagram) {
  FrameShape firstPart = udp("first part"), lastPart = udp("last part"), whole = udp("whole");
  firstPart.fragment = kMoreFragments;  // offset 0, more to come
  lastPart.fragment = 0x0001;           // offset 8 bytes, no more
  whole.fragment = kDontFragment;
  const Read r =
      roundTrip({ethernetRecord(firstPart), ethernetRecord(lastPart), ethernetRecord(whole)});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.stats.skippedFrames, 2u);
  ASSERT_EQ(r.payloads.size(), 1u);
  EXPECT_EQ(r.payloads[0], text("whole"));
}

TEST_F(Frames, LengthsOutsideTheFrameOrTheHeaderAreSkipped) {
  FrameShape longUdp = udp("udp too long"), tinyUdp = udp("udp 7");
  FrameShape longIp = udp("ip too long"), ipShorterThanHeader = udp("ip 19");
  longUdp.udpLength = static_cast<std::uint16_t>(kUdpHeader + longUdp.payload.size() + 1);
  tinyUdp.udpLength = kUdpHeader - 1;
  longIp.totalLength = 1000;  // more than the frame holds
  ipShorterThanHeader.totalLength = kIpHeader - 1;
  const Read r = roundTrip({ethernetRecord(longUdp), ethernetRecord(tinyUdp),
                            ethernetRecord(longIp), ethernetRecord(ipShorterThanHeader)});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.stats.frames, 4u);
  EXPECT_EQ(r.stats.skippedFrames, 4u);
  EXPECT_TRUE(r.payloads.empty());
}

TEST_F(Frames, AnIpHeaderShorterThanTwentyBytesIsSkipped) {
  // Read with 16 header bytes, this packet would be a UDP datagram of 8 bytes: its
  // destination address as ports, its source port (8) as the UDP length.
  FrameShape shortIhl = udp("");
  shortIhl.headerWords = 4;
  shortIhl.sourcePort = kUdpHeader;
  const Read r = roundTrip({ethernetRecord(shortIhl)}, DLT_EN10MB, std::nullopt);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.stats.skippedFrames, 1u);
  EXPECT_TRUE(r.payloads.empty());
}

TEST_F(Frames, LengthsAtTheirLimitsAreRead) {
  FrameShape options = udp("after options"), empty = udp(""), shortUdp = udp("abcdef");
  options.headerWords = 6;
  shortUdp.udpLength = kUdpHeader + 3;  // the IP packet carries bytes beyond the datagram
  const Read r =
      roundTrip({ethernetRecord(options), ethernetRecord(empty), ethernetRecord(shortUdp)});
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.payloads.size(), 3u);
  EXPECT_EQ(r.payloads[0], text("after options"));
  EXPECT_TRUE(r.payloads[1].empty());  // the Ethernet padding to 60 bytes is not payload
  EXPECT_EQ(r.payloads[2], text("abc"));
}

TEST_F(Frames, AFrameCutShortBySnapLengthIsSkippedUnlessOnlyPaddingWasCut) {
  const Bytes full = ethernet(ipv4(udp(std::string(100, 'x'))));
  const Bytes padded = ethernet(ipv4(udp("ab")));
  const std::size_t datagramEnd = kEthernetHeader + kIpHeader + kUdpHeader + 2;
  const std::uint32_t wire = static_cast<std::uint32_t>(full.size());
  const Read r = roundTrip({
      {Bytes(full.begin(), full.end() - 1), kStart, wire},     // last byte cut
      {Bytes(full.begin(), full.begin() + 40), kStart, wire},  // cut in UDP header
      {Bytes(full.begin(), full.begin() + 13), kStart, wire},  // cut in Ethernet type
      {Bytes(padded.begin(), padded.begin() + static_cast<long>(datagramEnd)), kStart,
       static_cast<std::uint32_t>(padded.size())},  // only padding cut
      {full, kStart, 0},
  });
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.stats.frames, 5u);
  EXPECT_EQ(r.stats.skippedFrames, 3u);
  ASSERT_EQ(r.payloads.size(), 2u);
  EXPECT_EQ(r.payloads[0], text("ab"));
  EXPECT_EQ(r.payloads[1].size(), 100u);
}

TEST_F(Frames, CookedAndLoopbackHeadersCutShortAreSkipped) {
  for (int link : {DLT_LINUX_SLL, DLT_LINUX_SLL2, DLT_NULL}) {
    const Bytes whole = frame(link, ipv4(udp("x")));
    const Read r =
        roundTrip({{Bytes(whole.begin(), whole.begin() + 3), kStart, 0}, {whole, kStart, 0}}, link);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.stats.skippedFrames, 1u) << "link type " << link;
    EXPECT_EQ(r.stats.datagrams, 1u) << "link type " << link;
  }
}

TEST_F(Frames, BsdLoopbackFamilyIsReadInEitherByteOrder) {
  Bytes bigEndianHost = frame(DLT_LOOP, ipv4(udp("from a big-endian host")));
  Bytes unknownFamily = frame(DLT_NULL, ipv4(udp("family 7")));
  unknownFamily[0] = 7;
  const Read r = roundTrip({{bigEndianHost, kStart, 0}, {unknownFamily, kStart, 0}}, DLT_NULL);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.payloads.size(), 1u);
  EXPECT_EQ(r.payloads[0], text("from a big-endian host"));
  EXPECT_EQ(r.stats.skippedFrames, 1u);
}

// ---- VLAN tags ----------------------------------------------------------------------

using Vlans = TempDir;

TEST_F(Vlans, TaggedFramesAreReadThroughUpToFourTags) {
  const Bytes ip = ipv4(udp("tagged"));
  const std::vector<std::vector<std::uint16_t>> stacks = {
      {kTypeVlan},
      {kTypeServiceVlan, kTypeVlan},
      {kTypeOldQinQ, kTypeVlan},
      {kTypeServiceVlan, kTypeVlan, kTypeVlan, kTypeVlan},
  };
  std::vector<Record> records;
  for (const auto& tags : stacks) records.push_back({ethernet(ip, tags), kStart, 0});
  const Read r = roundTrip(records);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.payloads.size(), stacks.size());
  for (const Bytes& p : r.payloads) EXPECT_EQ(p, text("tagged"));
}

TEST_F(Vlans, FiveTagsOrATagCutShortOrAnotherInnerTypeAreSkipped) {
  const Bytes ip = ipv4(udp("tagged"));
  const Bytes tagged = ethernet(ip, {kTypeVlan});
  const Read r = roundTrip({
      {ethernet(ip, {kTypeVlan, kTypeVlan, kTypeVlan, kTypeVlan, kTypeVlan}), kStart, 0},
      {Bytes(tagged.begin(), tagged.begin() + 16), kStart,
       static_cast<std::uint32_t>(tagged.size())},
      {ethernet(Bytes(28, 0), {kTypeVlan}, kTypeArp), kStart, 0},
  });
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.stats.skippedFrames, 3u);
  EXPECT_TRUE(r.payloads.empty());
}

// ---- Time stamps --------------------------------------------------------------------

using Timestamps = TempDir;

TEST_F(Timestamps, NanosecondFilesKeepNanosecondsAndMicrosecondFilesAreScaled) {
  const std::vector<Record> records = {ethernetRecord(udp("a"), 0), ethernetRecord(udp("b"), 1)};
  const std::string nano = path("nano.pcap"), micro = path("micro.pcap");
  ASSERT_TRUE(writePcap(nano, DLT_EN10MB, records, true));
  ASSERT_TRUE(writePcap(micro, DLT_EN10MB, records, false));
  const Read n = readAll(nano), u = readAll(micro);
  ASSERT_EQ(n.datagrams.size(), 2u);
  ASSERT_EQ(u.datagrams.size(), 2u);
  EXPECT_EQ(n.datagrams[0].timestamp.count(), kStart);
  EXPECT_EQ(n.datagrams[1].timestamp.count(), kStart + kStep);
  EXPECT_EQ(u.datagrams[0].timestamp.count(), kStart / 1000 * 1000);
  EXPECT_EQ(u.datagrams[1].timestamp.count(), (kStart + kStep) / 1000 * 1000);
}

// ---- Files that are no capture ------------------------------------------------------

using Files = TempDir;

TEST_F(Files, MagicsOfPcapInBothOrdersAndPrecisionsAndOfPcapngAreKnown) {
  const std::vector<std::pair<Bytes, bool>> heads = {
      {{0xA1, 0xB2, 0xC3, 0xD4}, true},  {{0xD4, 0xC3, 0xB2, 0xA1}, true},
      {{0xA1, 0xB2, 0x3C, 0x4D}, true},  {{0x4D, 0x3C, 0xB2, 0xA1}, true},
      {{0x0A, 0x0D, 0x0D, 0x0A}, true},  {{0xA1, 0xB2, 0xC3, 0xD5}, false},
      {{0x47, 0x40, 0x00, 0x10}, false},  // a transport stream
      {{0xA1, 0xB2, 0xC3}, false},        // too short for a magic
  };
  for (const auto& [head, capture] : heads) {
    const std::string file = path("head");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(head.data()), static_cast<long>(head.size()));
    EXPECT_EQ(looksLikeCapture(file), capture) << std::hex << int(head[0]) << int(head[1]);
  }
  EXPECT_FALSE(looksLikeCapture(path("missing")));
}

TEST_F(Files, MissingEmptyAndForeignFilesFailNamingTheFile) {
  const std::string missing = path("missing.pcap"), empty = path("empty.pcap"),
                    foreign = path("notes.txt");
  std::ofstream(empty).flush();
  std::ofstream(foreign) << "not a capture, just some words\n";
  for (const std::string& file : {missing, empty, foreign}) {
    const Read r = readAll(file);
    EXPECT_FALSE(r.ok) << file;
    EXPECT_NE(r.error.find(file), std::string::npos) << r.error;
    EXPECT_EQ(r.stats.frames, 0u);
  }
}

TEST_F(Files, AnUnknownLinkTypeFailsNamingTheFileAndTheType) {
  const std::string file = path("wifi.pcap");
  ASSERT_TRUE(writePcap(file, DLT_IEEE802_11, {{Bytes(40, 0), kStart, 0}}));
  const Read r = readAll(file);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(file), std::string::npos) << r.error;
  EXPECT_NE(r.error.find("IEEE802_11"), std::string::npos) << r.error;
}

TEST_F(Files, AFileCutInsideARecordHandsTheRecordsBeforeAndFails) {
  const std::string file = path("cut.pcap");
  ASSERT_TRUE(writePcap(
      file, DLT_EN10MB,
      {ethernetRecord(udp("one")), ethernetRecord(udp("two")), ethernetRecord(udp("three"))}));
  fs::resize_file(file, fs::file_size(file) - 10);
  const Read r = readAll(file);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(file), std::string::npos) << r.error;
  ASSERT_EQ(r.payloads.size(), 2u);
  EXPECT_EQ(r.payloads[1], text("two"));
}

// ---- A real capture of loopback traffic ---------------------------------------------

using RealCapture = TempDir;

constexpr int kCapturedDatagrams = 5;
constexpr auto kCaptureStartWait = std::chrono::seconds(10);
constexpr auto kSendInterval = std::chrono::milliseconds(20);
constexpr int kMaxSent = 500;

// dumpcap on lo, stopping by itself after kCapturedDatagrams; skipped when capturing is
// not allowed here. Datagrams go to 127.0.0.1 only, numbered, until dumpcap stops.
TEST_F(RealCapture, DumpcapOnLoopbackIsReadAsEthernetPcapng) {
  if (!installed("dumpcap")) GTEST_SKIP() << "dumpcap is not installed";
  const int receiver = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t atSize = sizeof at;
  ASSERT_EQ(bind(receiver, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(getsockname(receiver, reinterpret_cast<sockaddr*>(&at), &atSize), 0);
  const std::uint16_t port = ntohs(at.sin_port);

  const std::string file = path("lo.pcapng");
  int sent = 0;
  {
    LoopbackDumpcap dumpcap(file, "udp and dst host 127.0.0.1 and dst port " + std::to_string(port),
                            kCapturedDatagrams, path("dumpcap.log"));
    if (!dumpcap.capturing(kCaptureStartWait)) {
      close(receiver);
      GTEST_SKIP() << "capturing on lo is not possible here: " << dumpcap.log();
    }
    const int sender = socket(AF_INET, SOCK_DGRAM, 0);
    for (; sent < kMaxSent && dumpcap.running(); ++sent) {
      const std::string payload = "datagram " + std::to_string(sent);
      sendto(sender, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&at),
             sizeof at);
      std::this_thread::sleep_for(kSendInterval);
    }
    close(sender);
  }
  close(receiver);
  ASSERT_LT(sent, kMaxSent) << "dumpcap did not stop after " << kCapturedDatagrams;

  EXPECT_TRUE(looksLikeCapture(file));
  const Read r = readAll(file, port);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.payloads.size(), static_cast<std::size_t>(kCapturedDatagrams));
  // dumpcap may start a few datagrams late: the first one captured sets the numbering.
  const std::string prefix = "datagram ";
  const std::string firstText(r.payloads[0].begin(), r.payloads[0].end());
  ASSERT_EQ(firstText.rfind(prefix, 0), 0u) << firstText;
  const int first = std::stoi(firstText.substr(prefix.size()));
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  for (int i = 0; i < kCapturedDatagrams; ++i) {
    const CapturedDatagram& d = r.datagrams[static_cast<std::size_t>(i)];
    EXPECT_EQ(r.payloads[static_cast<std::size_t>(i)],
              text("datagram " + std::to_string(first + i)));
    EXPECT_EQ(d.sourceAddress, 0x7F000001u);
    EXPECT_EQ(d.destinationAddress, 0x7F000001u);
    EXPECT_EQ(d.destinationPort, port);
    EXPECT_LT(std::chrono::abs(now - d.timestamp), std::chrono::minutes(1));
    if (i > 0) {
      EXPECT_GE(d.timestamp, r.datagrams[static_cast<std::size_t>(i - 1)].timestamp);
    }
  }
}

}  // namespace
