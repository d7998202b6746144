// The monitor's counts against tools nobody here wrote: a stream from the emulator is
// recorded while it is counted, then Debian's tsreport (tstools) and, when installed,
// ffprobe (ffmpeg) read the file. Each tool that is missing skips its part.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "sim/DeviceEmulator.h"
#include "stream/StreamAnalyser.h"
#include "stream/StreamReceiver.h"

using namespace vexil::stream;
using namespace std::chrono_literals;

namespace {

constexpr auto kRecordFor = 1500ms;

bool installed(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

struct Recording {
  StreamSnapshot counts;  // what the monitor counted while recording
  std::string path;
};

// Input 1 of an emulator with `faults`, recorded from before its first packet to after
// its last, so the file holds exactly the packets counted.
Recording record(const vexil::sim::StreamFaults& faults, const std::string& name) {
  Recording r;
  r.path = (std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()) + ".ts")).string();
  StreamReceiver receiver;
  EXPECT_TRUE(receiver.start("127.0.0.1", 0));
  std::string why;
  EXPECT_TRUE(receiver.startRecording(r.path, why)) << why;
  vexil::sim::DeviceEmulator device;
  vexil::sim::DeviceState state = device.state();
  auto& in = state.inputs[0];
  in.destIp = {127, 0, 0, 1};
  in.destPort = receiver.port();
  in.mode2 = 0x02;
  in.mode1 = 0xE0;
  in.state = 1;
  device.setState(state);
  device.streamer().setFaults(faults);
  EXPECT_TRUE(device.start("127.0.0.1", 0));
  std::this_thread::sleep_for(kRecordFor);
  device.stop();
  std::this_thread::sleep_for(200ms);
  receiver.stopRecording();
  r.counts = receiver.snapshot();
  receiver.stop();
  return r;
}

std::map<std::uint16_t, std::uint64_t> ourPackets(const StreamSnapshot& s) {
  std::map<std::uint16_t, std::uint64_t> m;
  for (const PidCounts& p : s.pids) m[p.pid] = p.packets;
  return m;
}

// tsreport -b skips its continuity check whenever the previous counter was 0 (its
// test is "last_cc > 0"), so breaks right after a 0 are missing from its count.
std::map<std::uint16_t, std::uint64_t> breaksAfterZero(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::map<std::uint16_t, int> last;
  std::map<std::uint16_t, std::uint64_t> out;
  std::vector<std::uint8_t> p(kPacketSize);
  while (in.read(reinterpret_cast<char*>(p.data()), kPacketSize)) {
    const PacketView v(p.data());
    if (v.pid() == kNullPid) continue;
    const auto it = last.find(v.pid());
    const int cc = v.continuity();
    if (it != last.end() && it->second == 0 && v.hasPayload() && cc != 1 && cc != 0) ++out[v.pid()];
    last[v.pid()] = cc;
  }
  return out;
}

class Tools : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(Tools, TsreportCountsWhatTheMonitorCounted) {
  if (!installed("tsreport")) GTEST_SKIP() << "tsreport (Debian package tstools) is not installed";
  vexil::sim::StreamFaults faults;
  faults.continuityErrorEvery = GetParam();
  const Recording r = record(faults, "tools-tsreport");
  const StreamTotals& t = r.counts.totals;
  ASSERT_GT(t.packets, 1000u);
  ASSERT_EQ(r.counts.recordedPackets, t.packets);

  // Packet count.
  std::smatch m;
  const std::string summary = output("tsreport '" + r.path + "' 2>&1");
  ASSERT_TRUE(std::regex_search(summary, m, std::regex("Read (\\d+) TS packets"))) << summary;
  EXPECT_EQ(std::stoull(m[1]), t.packets);

  // Packets per PID, from its packet-by-packet listing.
  std::map<std::uint16_t, std::uint64_t> theirs;
  const std::string listing = output("tsreport -v '" + r.path + "' 2>&1");
  const std::regex line("TS Packet +\\d+ PID ([0-9a-f]{4})");
  for (auto it = std::sregex_iterator(listing.begin(), listing.end(), line); it != std::sregex_iterator(); ++it)
    ++theirs[static_cast<std::uint16_t>(std::stoul((*it)[1], nullptr, 16))];
  EXPECT_EQ(theirs, ourPackets(r.counts));

  // Continuity errors per elementary stream.
  const std::string buffering = output("tsreport -b '" + r.path + "' 2>&1");
  const auto skipped = breaksAfterZero(r.path);
  const std::regex stream("\nStream \\d+: PID ([0-9a-f]{4})[^\\n]*\\n((?:  [^\\n]*\\n)*)");
  int streams = 0;
  for (auto it = std::sregex_iterator(buffering.begin(), buffering.end(), stream); it != std::sregex_iterator(); ++it) {
    ++streams;
    const auto pid = static_cast<std::uint16_t>(std::stoul((*it)[1], nullptr, 16));
    const std::string body = (*it)[2];
    std::smatch e;
    const std::uint64_t reported = std::regex_search(body, e, std::regex("### CC error \\* (\\d+)")) ? std::stoull(e[1]) : 0;
    std::uint64_t ours = 0;
    for (const PidCounts& p : r.counts.pids)
      if (p.pid == pid) ours = p.continuityErrors;
    const std::uint64_t after0 = skipped.count(pid) ? skipped.at(pid) : 0;
    EXPECT_EQ(reported + after0, ours) << "PID " << pid << "\n" << buffering;
    if (GetParam() == 0) {
      EXPECT_EQ(ours, 0u);
    }
  }
  EXPECT_EQ(streams, 2);
  if (GetParam() != 0) {
    EXPECT_GT(t.count(Indicator::ContinuityCountError), 0u);
  }
  std::filesystem::remove(r.path);
}

TEST_P(Tools, FfprobeSeesTheSameStreams) {
  if (!installed("ffprobe")) GTEST_SKIP() << "ffprobe (Debian package ffmpeg) is not installed";
  vexil::sim::StreamFaults faults;
  faults.continuityErrorEvery = GetParam();
  const Recording r = record(faults, "tools-ffprobe");
  ASSERT_GT(r.counts.totals.packets, 1000u);

  std::set<std::uint16_t> theirs;
  const std::string ids = output("ffprobe -v error -show_entries stream=id -of csv=p=0 '" + r.path + "' 2>/dev/null");
  const std::regex id("0x([0-9a-fA-F]+)");
  for (auto it = std::sregex_iterator(ids.begin(), ids.end(), id); it != std::sregex_iterator(); ++it)
    theirs.insert(static_cast<std::uint16_t>(std::stoul((*it)[1], nullptr, 16)));
  EXPECT_EQ(theirs, (std::set<std::uint16_t>{0x101, 0x102})) << ids;

  // ffmpeg logs each failed continuity check of the PIDs it follows at debug level. It
  // reads parts of a file more than once while probing, so a break may be logged
  // several times: compare which PIDs break, not how often.
  const std::string log = output("ffprobe -v debug -show_packets '" + r.path + "' 2>&1 >/dev/null");
  std::set<std::uint16_t> theirBreaks, ourBreaks;
  const std::regex check("Continuity check failed for pid (\\d+)");
  for (auto it = std::sregex_iterator(log.begin(), log.end(), check); it != std::sregex_iterator(); ++it)
    theirBreaks.insert(static_cast<std::uint16_t>(std::stoul((*it)[1])));
  for (const PidCounts& p : r.counts.pids) {
    if (p.continuityErrors > 0) ourBreaks.insert(p.pid);
  }
  EXPECT_EQ(theirBreaks, ourBreaks);
  EXPECT_EQ(ourBreaks.empty(), GetParam() == 0);
  std::filesystem::remove(r.path);
}

// The recording read back as a file: the same packets, so the same counts per PID, and
// the PCR steps that tsreport finds too big are the ones the analyser counts.
TEST_P(Tools, TheRecordingReadsBackAsItWasCounted) {
  if (!installed("tsreport")) GTEST_SKIP() << "tsreport (Debian package tstools) is not installed";
  vexil::sim::StreamFaults faults;
  faults.continuityErrorEvery = GetParam();
  const Recording r = record(faults, "tools-reread");
  ASSERT_GT(r.counts.totals.packets, 1000u);

  std::ifstream in(r.path, std::ios::binary);
  const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_EQ(file.size(), r.counts.totals.packets * kPacketSize);
  StreamAnalyser a;
  const TimePoint origin{};
  a.start(origin);
  const double seconds = std::chrono::duration<double>(kRecordFor).count();
  a.setByteClock(static_cast<double>(file.size()) * 8 / seconds, origin);
  constexpr std::size_t kChunk = 7 * kPacketSize;
  for (std::size_t from = 0; from < file.size(); from += kChunk)
    a.feed(std::span<const std::uint8_t>(file).subspan(from, std::min(kChunk, file.size() - from)), origin);

  EXPECT_EQ(a.totals().packets, r.counts.totals.packets);
  std::map<std::uint16_t, std::pair<std::uint64_t, std::uint64_t>> live, reread;
  for (const PidCounts& p : r.counts.pids) live[p.pid] = {p.packets, p.continuityErrors};
  for (const PidCounts& p : a.pidTable()) reread[p.pid] = {p.packets, p.continuityErrors};
  EXPECT_EQ(reread, live);
  EXPECT_EQ(a.totals().count(Indicator::ContinuityCountError), r.counts.totals.count(Indicator::ContinuityCountError));
  EXPECT_EQ(a.pmtPids(), std::vector<std::uint16_t>{0x100});
  EXPECT_EQ(a.referencedPids(), (std::vector<std::uint16_t>{0x101, 0x102}));
  EXPECT_EQ(a.totals().count(Indicator::SyncByteError), 0u);
  EXPECT_EQ(a.totals().count(Indicator::CrcError), 0u);

  std::smatch m;
  const std::string timing = output("tsreport -b '" + r.path + "' 2>&1");
  ASSERT_TRUE(std::regex_search(timing, m, std::regex("PCRs found: (\\d+), Bad \\(>\\.1s\\) gaps: (\\d+)"))) << timing;
  EXPECT_GT(std::stoull(m[1]), 10u);
  EXPECT_EQ(std::stoull(m[2]), a.totals().count(Indicator::PcrDiscontinuityIndicatorError)) << timing;
  std::filesystem::remove(r.path);
}

INSTANTIATE_TEST_SUITE_P(Streams, Tools, ::testing::Values(0u, 300u),
                         [](const auto& info) { return info.param ? std::string("WithContinuityErrors") : std::string("Clean"); });

}  // namespace
