// vexilctl stream-check as scripts use it: files with known faults read at file speed,
// exit statuses, one JSON object, global options before the command, the command named
// as called, and a live run whose recording cannot be written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "CtlTestSupport.h"
#include "sim/DeviceEmulator.h"
#include "sim/TsGenerator.h"
#include "stream/Indicators.h"
#include "stream/StreamReceiver.h"
#include "../stream/MiniJson.h"

using vexil::stream::testing::JsonReader;
using vexil::stream::testing::JsonValue;

using namespace vexil;
using namespace vexil::testing;
using namespace std::chrono_literals;

namespace {

const JsonValue& member(const JsonValue& v, const std::string& key) {
  static const JsonValue kMissing;
  const JsonValue* m = v.find(key);
  EXPECT_TRUE(m) << "no \"" << key << "\"";
  return m ? *m : kMissing;
}

std::uint64_t number(const JsonValue& v) {
  EXPECT_TRUE(v.isInteger()) << v.text;
  return v.isInteger() ? std::stoull(v.text) : 0;
}

constexpr std::uint32_t kPacketsPerSecond = 3500;
constexpr std::size_t kPackets = 3 * kPacketsPerSecond;  // 3 s of stream
constexpr std::uint32_t kCcErrorEvery = 1000;             // elementary-stream packets

// The emulator's stream of input 1 for kPackets packets, with `faults`, as a .ts file.
std::string writeStream(const std::string& name, const sim::StreamFaults& faults) {
  const auto path = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()) + ".ts");
  sim::TsGenerator generator(1, kPacketsPerSecond);
  std::ofstream out(path, std::ios::binary);
  for (std::size_t i = 0; i < kPackets; ++i) {
    const auto at = std::chrono::nanoseconds(static_cast<long long>(i) * 1'000'000'000 / kPacketsPerSecond);
    const sim::Packet p = generator.next(at, faults);
    out.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
  }
  return path.string();
}

class StreamCheckCommand : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    clean_ = writeStream("clean", {});
    sim::StreamFaults f;
    f.continuityErrorEvery = kCcErrorEvery;
    faulty_ = writeStream("cc-errors", f);
  }
  static void TearDownTestSuite() {
    std::filesystem::remove(clean_);
    std::filesystem::remove(faulty_);
  }
  static std::uint64_t indicator(const JsonValue& report, const std::string& key) {
    return number(member(member(report, "indicators"), key));
  }
  static inline std::string clean_;
  static inline std::string faulty_;
};

TEST_F(StreamCheckCommand, ACleanFilePassesWithOneJsonObject) {
  const CtlRun r = runCtl({"stream-check", "--file", clean_, "--json"});
  EXPECT_EQ(r.exit, 0) << r.out << r.err;
  const auto report = JsonReader::parse(r.out);
  ASSERT_TRUE(report) << r.out;
  EXPECT_EQ(number(member(*report, "packets")), kPackets);
  EXPECT_EQ(member(*report, "verdict").text, "pass");
  for (const stream::IndicatorInfo& i : stream::kIndicators) EXPECT_EQ(indicator(*report, std::string(i.key)), 0u) << i.key;
  EXPECT_TRUE(member(*report, "not_applicable").items.empty());
}

TEST_F(StreamCheckCommand, ContinuityErrorsAreCountedExactlyAndFailTheRun) {
  const CtlRun r = runCtl({"stream-check", "--file", faulty_, "--json"});
  EXPECT_EQ(r.exit, 1);
  const auto report = JsonReader::parse(r.out);
  ASSERT_TRUE(report) << r.out;
  // Every kCcErrorEvery-th elementary packet skips a count: one error each.
  const std::uint64_t cc = indicator(*report, "continuity_count_error");
  EXPECT_GE(cc, 1u);
  std::uint64_t perPid = 0;
  for (const JsonValue& pid : member(*report, "pids").items) perPid += number(member(pid, "cc_errors"));
  EXPECT_EQ(perPid, cc);
  EXPECT_EQ(member(*report, "verdict").text, "fail");
}

// `clean_` with its first `bad` sync bytes spoilt, or cut to `keep` bytes.
std::string variant(const std::string& from, const std::string& name, int bad, std::size_t keep) {
  std::ifstream in(from, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (int i = 0; i < bad; ++i) bytes[static_cast<std::size_t>(i) * stream::kPacketSize] = 0x46;
  bytes.resize(std::min(bytes.size(), keep));
  const auto path = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()) + ".ts");
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path.string();
}

TEST_F(StreamCheckCommand, DamagedFirstPacketsOfAFileCount) {
  const std::string one = variant(clean_, "first-bad", 1, std::string::npos);
  const std::string two = variant(clean_, "two-first-bad", 2, std::string::npos);
  const auto r1 = JsonReader::parse(runCtl({"stream-check", "--file", one, "--json"}).out);
  const auto r2 = JsonReader::parse(runCtl({"stream-check", "--file", two, "--json"}).out);
  std::filesystem::remove(one);
  std::filesystem::remove(two);
  ASSERT_TRUE(r1 && r2);
  EXPECT_EQ(number(member(*r1, "packets")), kPackets);
  EXPECT_EQ(indicator(*r1, "sync_byte_error"), 1u);
  EXPECT_EQ(indicator(*r1, "ts_sync_loss"), 0u);
  EXPECT_EQ(indicator(*r2, "sync_byte_error"), 2u);
  EXPECT_EQ(indicator(*r2, "ts_sync_loss"), 1u);
}

TEST_F(StreamCheckCommand, AFileOfOnePacketHasOnePacket) {
  const std::string path = variant(clean_, "one-packet", 0, stream::kPacketSize);
  const CtlRun r = runCtl({"stream-check", "--file", path, "--json"});
  std::filesystem::remove(path);
  const auto report = JsonReader::parse(r.out);
  ASSERT_TRUE(report) << r.out;
  EXPECT_EQ(number(member(*report, "packets")), 1u);
}

TEST_F(StreamCheckCommand, GlobalOptionsMayStandBeforeTheCommand) {
  const CtlRun r = runCtl({"--device", "127.0.0.1", "--timeout", "500", "--json", "stream-check", "--file", clean_});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_TRUE(JsonReader::parse(r.out)) << r.out;
}

TEST_F(StreamCheckCommand, AMissingFileIsAUsageErrorNamedByTheCommand) {
  const CtlRun r = runCtl({"stream-check", "--file", "/nonexistent/stream.ts"});
  EXPECT_EQ(r.exit, 2);
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(r.err.rfind("vexilctl stream-check: ", 0), 0u) << r.err;
}

TEST_F(StreamCheckCommand, HelpAndMessagesNameTheCommandAsCalled) {
  const CtlRun help = runCtl({"stream-check", "--help"});
  EXPECT_EQ(help.exit, 0);
  EXPECT_TRUE(contains(help.out, "Usage: vexilctl stream-check")) << help.out;
  EXPECT_FALSE(contains(help.out, "vexil-stream-check"));
  const CtlRun wrong = runCtl({"--device", "127.0.0.1", "stream-check", "--no-such-option"});
  EXPECT_EQ(wrong.exit, 2);
  EXPECT_EQ(wrong.err.rfind("vexilctl stream-check: ", 0), 0u) << wrong.err;
  const CtlRun mixed = runCtl({"stream-check", "--file", clean_, "--seconds", "2"});
  EXPECT_EQ(mixed.exit, 2);
}

TEST(StreamCheckLive, NothingArrivingFailsOnEveryLine) {
  const std::uint16_t port = [] {
    stream::StreamReceiver probe;  // a free port: bound, then released
    EXPECT_TRUE(probe.start("127.0.0.1", 0));
    return probe.port();
  }();
  const CtlRun r = runCtl({"stream-check", "--port", std::to_string(port), "--seconds", "1.2"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_TRUE(contains(r.out, "PAT error:")) << r.out;
  EXPECT_FALSE(contains(r.out, "Result: PASS"));
  // The PAT was missed twice in 1.2 s of silence: its line says so.
  for (const auto& line : r.outLines()) {
    if (contains(line, "PAT error:")) {
      EXPECT_TRUE(contains(line, "FAIL")) << line;
    }
  }
}

TEST(StreamCheckLive, ARecordingThatCannotBeWrittenFailsTheRun) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  stream::StreamReceiver probe;
  ASSERT_TRUE(probe.start("127.0.0.1", 0));
  const std::uint16_t port = probe.port();
  probe.stop();
  sim::DeviceEmulator device;
  sim::DeviceState state = device.state();
  for (auto& in : state.inputs) in.state = 0;
  auto& in = state.inputs[0];
  in.destIp = {127, 0, 0, 1};
  in.destPort = port;
  in.mode2 = 0x02;
  in.mode1 = 0xE0;
  in.state = 1;
  device.setState(state);
  ASSERT_TRUE(device.start("127.0.0.1", 0));
  const CtlRun r = runCtl({"stream-check", "--port", std::to_string(port), "--seconds", "1.5", "--record", "/dev/full", "--json"});
  device.stop();
  EXPECT_EQ(r.exit, 1) << r.out;
  EXPECT_TRUE(contains(r.err, "recording failed")) << r.err;
  const auto report = JsonReader::parse(r.out);
  ASSERT_TRUE(report) << r.out;
  EXPECT_EQ(member(*report, "verdict").text, "fail");
  EXPECT_GT(number(member(*report, "packets")), 0u);
}

}  // namespace
