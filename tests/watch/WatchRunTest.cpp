// The watch against emulated boards on loopback: the poller's rounds, the alarms a board
// going silent and a CRC counter moving raise, the time series written whole (also by a
// vexilctl that is killed), the metrics as served, and vexilctl watch's options and exit
// statuses.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"
#include "tests/ctl/CtlTestSupport.h"
#include "tests/stream/MiniJson.h"
#include "tests/support/ChildProcess.h"
#include "watch/BoardWatch.h"
#include "watch/MetricsServer.h"
#include "watch/WatchLog.h"
#include "watch/WatchMetrics.h"

#include <prometheus/text_serializer.h>

namespace vexil::watch {
namespace {

using namespace std::chrono_literals;
using stream::testing::JsonReader;
using vexil::testing::contains;
using vexil::testing::runCtl;

// A board whose counters and buffers stand still, unless told otherwise.
sim::DeviceState steadyBoard() {
  sim::DeviceState s = sim::defaultDeviceState();
  s.crcErrorsPerMinute = 0;
  s.insPacketsPerSecond = 0;
  for (sim::RemuxChannel& c : s.remux.channels) {
    c.rateSwing = 0;
    c.usageSwing = 0;
  }
  return s;
}

struct Rack {
  explicit Rack(std::size_t count, sim::DeviceState state = steadyBoard()) {
    for (std::size_t i = 0; i < count; ++i) {
      boards.push_back(std::make_unique<sim::DeviceEmulator>(state));
      EXPECT_TRUE(boards.back()->start("127.0.0.1", 0)) << boards.back()->error();
    }
  }
  BoardAddress address(std::size_t i) const { return {"127.0.0.1", boards[i]->port()}; }
  std::vector<BoardAddress> all() const {
    std::vector<BoardAddress> list;
    for (std::size_t i = 0; i < boards.size(); ++i) list.push_back(address(i));
    return list;
  }
  std::string deviceFile() const {
    const std::string path = ::testing::TempDir() + "watch-devices-" + std::to_string(::getpid()) + ".txt";
    std::ofstream f(path);
    for (std::size_t i = 0; i < boards.size(); ++i) f << address(i).label() << "\n";
    return path;
  }
  std::vector<std::unique_ptr<sim::DeviceEmulator>> boards;
};

WatchSettings fastWatch(const std::vector<BoardAddress>& boards) {
  WatchSettings s;
  s.boards = boards;
  // Waits generous enough for a loaded machine under the sanitizers.
  s.interval = 200ms;
  s.timeout = 190ms;
  s.bindAddress = "127.0.0.1";
  return s;
}

// Waits (at most 10 s) until process `pid` takes `signal` itself, blocked for a waiting
// thread or caught, as its status in /proc shows: a signal sent before that would end it
// the default way, which on a slow machine (a sanitizer build under load) a fixed pause
// does not rule out.
bool waitForHandler(pid_t pid, int signal) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < until) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("SigBlk:", 0) != 0 && line.rfind("SigCgt:", 0) != 0) continue;
      const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
      if (mask & (1ULL << (signal - 1))) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(BoardWatch, RefusesWhatCannotBeWatched) {
  WatchSettings s;
  EXPECT_FALSE(BoardWatch::problemWith(s).empty()) << "no board";
  s.boards = {{"127.0.0.1", 5000}, {"127.0.0.1", 5000}};
  EXPECT_TRUE(contains(BoardWatch::problemWith(s), "named twice"));
  s.boards.pop_back();
  s.interval = 500ms;
  s.timeout = 501ms;
  EXPECT_FALSE(BoardWatch::problemWith(s).empty()) << "a wait longer than the interval";
  s.timeout = 500ms;
  EXPECT_TRUE(BoardWatch::problemWith(s).empty());
}

TEST(BoardWatch, PollsEveryBoardEachRoundAndSeesItsFields) {
  Rack rack(3);
  BoardWatch w(fastWatch(rack.all()));
  std::vector<WatchRound> rounds;
  std::string error;
  ASSERT_TRUE(w.run(550ms, [&](const WatchRound& r) { rounds.push_back(r); }, error)) << error;
  // Rounds start at 0, 200 and 400 ms: three of them.
  ASSERT_EQ(rounds.size(), 3u);
  for (const WatchRound& r : rounds) {
    ASSERT_EQ(r.samples.size(), 3u);
    EXPECT_TRUE(r.events.empty());
    EXPECT_LT(r.duration, 200ms) << "every poll completes within its interval";
    for (std::size_t i = 0; i < 3; ++i) {
      const PollSample& s = r.samples[i];
      EXPECT_EQ(s.board, rack.address(i).label());
      ASSERT_TRUE(s.answered);
      ASSERT_TRUE(s.record);
      EXPECT_EQ(s.record->serial, 5000);
      EXPECT_EQ(s.record->type, 7163);
      EXPECT_GT(s.answerMs, 0);
      EXPECT_EQ(s.channels[0].inputRatePacketsPerSecond, 3500u);
      EXPECT_EQ(s.channels[0].sdramUsagePackets, 12000u);
      EXPECT_EQ(s.channels[0].sdramSizePackets, 65536u);
    }
  }
  for (const BoardSummary& b : w.summaries()) {
    EXPECT_EQ(b.polls, 3u);
    EXPECT_EQ(b.answered, 3u);
    EXPECT_EQ(b.alarms, 0u);
  }
}

TEST(BoardWatch, ASilentBoardAndAMovingCrcCounterRaiseTheirAlarms) {
  Rack rack(2);
  sim::DeviceState crcBoard = steadyBoard();
  crcBoard.crcErrorsPerMinute = 6000;  // 100 a second: about 20 each poll
  rack.boards[1]->setState(crcBoard);
  sim::Faults silent;
  silent.silent = true;
  rack.boards[0]->setFaults(silent);

  BoardWatch w(fastWatch(rack.all()));
  std::vector<AlarmEvent> events;
  std::string error;
  ASSERT_TRUE(w.run(1s, [&](const WatchRound& r) {
    events.insert(events.end(), r.events.begin(), r.events.end());
  }, error)) << error;

  const auto summaries = w.summaries();
  EXPECT_EQ(summaries[0].answered, 0u);
  EXPECT_EQ(summaries[1].answered, summaries[1].polls);
  // About 100 errors a second over the 0.8 s between the first and last poll.
  EXPECT_GE(summaries[1].crcIncrements, 60u);
  EXPECT_LE(summaries[1].crcIncrements, 100u);
  bool silentStarted = false;
  bool crcStarted = false;
  for (const AlarmEvent& e : events) {
    if (e.board == rack.address(0).label() && e.kind == AlarmKind::Silent && e.active) silentStarted = true;
    if (e.board == rack.address(1).label() && e.kind == AlarmKind::Crc && e.active) crcStarted = true;
    EXPECT_FALSE(e.board == rack.address(1).label() && e.kind == AlarmKind::Silent);
  }
  EXPECT_TRUE(silentStarted);
  EXPECT_TRUE(crcStarted);
}

TEST(BoardWatch, StopEndsAnOpenEndedWatch) {
  Rack rack(1);
  BoardWatch w(fastWatch(rack.all()));
  std::string error;
  std::thread stopper([&] {
    std::this_thread::sleep_for(250ms);
    w.stop();
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(w.run(std::nullopt, {}, error));
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  EXPECT_GE(w.summaries()[0].polls, 2u);
}

TEST(WatchLog, CsvGetsOneHeaderAndOneWholeRowPerSample) {
  const std::string path = ::testing::TempDir() + "watch-log-" + std::to_string(::getpid()) + ".csv";
  std::remove(path.c_str());
  Rack rack(2);
  for (int run = 0; run < 2; ++run) {  // two watches on the same file: one header
    WatchLog log;
    std::string error;
    ASSERT_TRUE(log.open(path, error)) << error;
    BoardWatch w(fastWatch(rack.all()));
    ASSERT_TRUE(w.run(250ms, [&](const WatchRound& r) {
      for (const PollSample& s : r.samples) ASSERT_TRUE(log.append(s, error)) << error;
    }, error));
  }
  const auto lines = linesOf(readFile(path));
  ASSERT_EQ(lines.size(), 1u + 2 * 2 * 2);  // two runs of two rounds of two boards
  EXPECT_EQ(lines[0], watchCsvHeader());
  const std::size_t columns = std::count(lines[0].begin(), lines[0].end(), ',');
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(static_cast<std::size_t>(std::count(lines[i].begin(), lines[i].end(), ',')), columns) << lines[i];
    EXPECT_TRUE(contains(lines[i], ",1,")) << "answered";
  }
  std::remove(path.c_str());
}

TEST(WatchLog, NamesWithoutAKnownEndingAreRefused) {
  WatchLog log;
  std::string error;
  EXPECT_FALSE(log.open(::testing::TempDir() + "watch.txt", error));
  EXPECT_TRUE(contains(error, ".csv or .jsonl"));
}

TEST(WatchLog, JsonLinesCarryTheFieldsInSnakeCase) {
  Rack rack(1);
  BoardWatch w(fastWatch(rack.all()));
  std::string line;
  std::string error;
  ASSERT_TRUE(w.run(50ms, [&](const WatchRound& r) { line = watchJsonLine(r.samples[0]); }, error));
  const auto v = JsonReader::parse(line);
  ASSERT_TRUE(v) << line;
  EXPECT_EQ(v->find("board")->text, rack.address(0).label());
  EXPECT_TRUE(v->find("answered")->boolean);
  EXPECT_EQ(v->find("link_speed")->find("name")->text, "100 Mbps");
  const auto& ch1 = v->find("channels")->items.at(0);
  EXPECT_EQ(ch1.find("input_rate_packets_per_second")->text, "3500");
  EXPECT_EQ(ch1.find("sdram_size_packets")->text, "65536");
  ASSERT_NE(ch1.find("buffer_usage_ratio"), nullptr);
  EXPECT_NEAR(std::stod(ch1.find("buffer_usage_ratio")->text), 12000.0 / 65536, 1e-6);
}

TEST(WatchMetrics, ServesTheBoardsFiguresAndNaNForWhatWasNotSeen) {
  Rack rack(2);
  sim::Faults silent;
  silent.silent = true;
  rack.boards[1]->setFaults(silent);
  WatchMetrics metrics;
  BoardWatch w(fastWatch(rack.all()));
  std::string error;
  ASSERT_TRUE(w.run(250ms, [&](const WatchRound& r) { metrics.update(r); }, error));
  const std::string text = prometheus::TextSerializer().Serialize(metrics.Collect());
  const std::string a = rack.address(0).label();
  const std::string b = rack.address(1).label();
  EXPECT_TRUE(contains(text, "vexil_board_up{board=\"" + a + "\"} 1")) << text;
  EXPECT_TRUE(contains(text, "vexil_board_up{board=\"" + b + "\"} 0"));
  EXPECT_TRUE(contains(text, "vexil_board_polls_total{board=\"" + a + "\"} 2"));
  EXPECT_TRUE(contains(text, "vexil_channel_input_rate_packets_per_second{board=\"" + a + "\",channel=\"1\"} 3500"));
  EXPECT_TRUE(contains(text, "vexil_channel_buffer_size_packets{board=\"" + a + "\",channel=\"1\"} 65536"));
  EXPECT_TRUE(contains(text, "vexil_board_link_speed_bits_per_second{board=\"" + a + "\"} 100000000"));
  EXPECT_TRUE(contains(text, "serial=\"5000\""));
  EXPECT_TRUE(contains(text, "vexil_board_poll_duration_seconds{board=\"" + b + "\"} Nan"));
  EXPECT_FALSE(contains(text, "vexil_channel_state{board=\"" + b + "\"")) << "never seen, never shown";
}

TEST(MetricsAddress, TakesAddrPortOrAPortForLoopback) {
  std::string error;
  auto a = parseMetricsAddress("9464", error);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->address, "127.0.0.1");
  EXPECT_EQ(a->port, 9464);
  a = parseMetricsAddress("0.0.0.0:0", error);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->address, "0.0.0.0");
  for (const char* bad : {"", "host:80", "127.0.0.1:65536", "127.0.0.1:", "1.2.3:80", ":80x"}) {
    EXPECT_FALSE(parseMetricsAddress(bad, error)) << bad;
  }
}

// ---- vexilctl watch ------------------------------------------------------------------

TEST(VexilctlWatch, RefusesWrongOptionsWithUsageStatus) {
  const std::vector<std::vector<std::string>> wrong = {
      {"--device", "127.0.0.1:9", "watch", "--interval", "0"},
      {"--device", "127.0.0.1:9", "watch", "--interval", "abc"},
      {"--device", "127.0.0.1:9", "watch", "--interval", "1e9"},
      {"--device", "127.0.0.1:9", "watch", "--duration", "-1"},
      {"--device", "127.0.0.1:9", "watch", "--log", "series.txt"},
      {"--device", "127.0.0.1:9", "watch", "--metrics", "localhost:80"},
      {"--device", "127.0.0.1:9", "watch", "--alarm-buffer", "x"},
      {"--device", "127.0.0.1:9", "watch", "--alarm-overflow", "maybe"},
      {"--device", "127.0.0.1:9", "watch", "--alarm-rate", "3000"},
      {"--device", "127.0.0.1:9", "watch", "--alarm-rate", "5000:3000"},
      {"--device", "127.0.0.1:9", "--timeout", "800", "watch", "--interval", "0.5"},
      {"--device", "127.0.0.1:9", "--device", "127.0.0.1:9", "watch"},
      {"--device", "127.0.0.1:9", "watch", "--time", "5"},
      {"--device", "127.0.0.1:9", "watch", "extra"},
  };
  for (const auto& args : wrong) {
    const auto r = runCtl(args);
    EXPECT_EQ(r.exit, 2) << args[args.size() - 1] << ": " << r.err;
    EXPECT_TRUE(r.out.empty());
  }
}

TEST(VexilctlWatch, HelpNamesEveryOptionAndTheMetrics) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"help", "watch"}, {"watch", "--help"}, {"watch", "-h"}}) {
    const auto r = runCtl(args);
    EXPECT_EQ(r.exit, 0) << r.err;
    for (const char* name : {"--interval", "--duration", "--log", "--metrics", "--alarm-silent",
                             "--alarm-crc", "--alarm-overflow", "--alarm-buffer",
                             "--alarm-channel-state", "--alarm-link", "--alarm-rate",
                             "vexil_board_up", "vexil_board_crc_errors_total"}) {
      EXPECT_TRUE(contains(r.out, name)) << name;
    }
  }
  EXPECT_TRUE(contains(runCtl({"--help"}).out, "watch"));
}

TEST(VexilctlWatch, CsvLogThroughTheCommandHasAHeaderAndARowPerBoardPerPoll) {
  Rack rack(2);
  const std::string path = ::testing::TempDir() + "watch-cli-" + std::to_string(::getpid()) + ".csv";
  std::remove(path.c_str());
  const auto r = runCtl({"--devices", rack.deviceFile(), "watch", "--interval", "0.1", "--duration",
                         "0.25", "--log", path});
  EXPECT_EQ(r.exit, 0) << r.err;
  const auto lines = linesOf(readFile(path));
  ASSERT_EQ(lines.size(), 1u + 3 * 2);
  EXPECT_EQ(lines[0], watchCsvHeader());
  EXPECT_TRUE(contains(lines[1], rack.address(0).label()));
  EXPECT_TRUE(contains(lines[2], rack.address(1).label()));
  std::remove(path.c_str());
}

TEST(VexilctlWatch, AQuietRackExitsZeroWithItsSummary) {
  Rack rack(2);
  const auto r = runCtl({"--devices", rack.deviceFile(), "watch", "--interval", "0.1", "--duration", "0.35"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Board")) << r.out;
  EXPECT_TRUE(contains(r.out, rack.address(0).label()));
  EXPECT_TRUE(contains(r.out, rack.address(1).label()));
  EXPECT_TRUE(contains(r.err, "watching 2 boards"));
}

TEST(VexilctlWatch, AnAlarmMakesExitOneAndPrintsOneLineWhenItStarts) {
  Rack rack(1);
  sim::DeviceState crcBoard = steadyBoard();
  crcBoard.crcErrorsPerMinute = 6000;
  rack.boards[0]->setState(crcBoard);
  const auto r = runCtl({"--device", rack.address(0).label(), "--json", "watch", "--interval", "0.1",
                         "--duration", "0.5", "--alarm-crc", "1"});
  EXPECT_EQ(r.exit, 1) << r.err;
  EXPECT_TRUE(contains(r.err, "crc started")) << r.err;
  const auto v = JsonReader::parse(r.out);
  ASSERT_TRUE(v) << r.out;
  EXPECT_TRUE(v->find("alarmed")->boolean);
  const auto& b = v->find("boards")->items.at(0);
  EXPECT_GT(std::stoi(b.find("crc_increments")->text), 0);
}

TEST(VexilctlWatch, ABoardThatNeverAnswersIsNeverAPass) {
  const int port = freeLoopbackPort();
  const auto r = runCtl({"--device", "127.0.0.1:" + std::to_string(port), "watch", "--interval",
                         "0.1", "--duration", "0.15"});
  EXPECT_EQ(r.exit, 1) << r.err;
  EXPECT_TRUE(contains(r.err, "never answered")) << r.err;
}

TEST(VexilctlWatch, AKilledWatchLeavesOnlyWholeLines) {
  Rack rack(8);
  const std::string path = ::testing::TempDir() + "watch-killed-" + std::to_string(::getpid()) + ".jsonl";
  std::remove(path.c_str());
  const std::string devices = rack.deviceFile();
  vexil::testing::ChildProcess child(
      {VEXILCTL_PATH, "--devices", devices, "watch", "--interval", "0.05", "--log", path});
  ASSERT_TRUE(child.started());
  std::this_thread::sleep_for(700ms);
  child.sendSignal(SIGKILL);
  ASSERT_EQ(child.wait(), 128 + SIGKILL);
  const std::string text = readFile(path);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n') << "the last line is whole";
  std::size_t lines = 0;
  for (const std::string& line : linesOf(text)) {
    ++lines;
    EXPECT_TRUE(JsonReader::parse(line)) << line;
  }
  EXPECT_GE(lines, 8u);
  std::remove(path.c_str());
}

TEST(VexilctlWatch, SigtermEndsTheWatchWithItsSummary) {
  Rack rack(1);
  const std::string device = rack.address(0).label();
  const std::string out = ::testing::TempDir() + "watch-sigterm-" + std::to_string(::getpid()) + ".txt";
  vexil::testing::ChildProcess child({VEXILCTL_PATH, "--device", device, "watch", "--interval", "0.1"},
                                     {.outPath = out});
  ASSERT_TRUE(child.started());
  if (!waitForHandler(child.pid(), SIGTERM)) {
    child.sendSignal(SIGKILL);
    child.wait();
    FAIL() << "vexilctl watch never took SIGTERM";
  }
  std::this_thread::sleep_for(400ms);  // a few rounds of polling first
  child.sendSignal(SIGTERM);
  EXPECT_EQ(child.wait(), 0) << "stopped cleanly, not killed by the signal";
  const std::string text = readFile(out);
  std::remove(out.c_str());
  EXPECT_TRUE(contains(text, device)) << text;
}

}  // namespace
}  // namespace vexil::watch
