// The production log of `setup --log`: its CSV and JSON Lines forms, one whole line per
// board from many threads, and the lines of finished boards surviving a SIGKILL of
// vexilctl in the middle of a run.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "JsonParse.h"
#include "ctl/ProductionLog.h"
#include "sim/DeviceEmulator.h"

extern char** environ;

using namespace vexil;
using namespace vexil::ctl;
using namespace vexil::testing;
using namespace std::chrono_literals;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string freshPath(const char* name) {
  const std::string path = ::testing::TempDir() + name;
  std::remove(path.c_str());
  return path;
}

LogRecord board(std::int32_t serial) {
  return {"2024-05-01T12:00:00.000Z", "127.0.0.2:56790", BoardIdentity{7163, "1.05", serial},
          "ok", ""};
}

// ---- Line forms ---------------------------------------------------------------------

TEST(LogLines, CsvHasSevenFieldsAndQuotesOnlyWhereNeeded) {
  EXPECT_EQ(csvLogHeader(), "time,address,type,version,serial,result,failure\n");
  EXPECT_EQ(csvLogLine(board(5000)),
            "2024-05-01T12:00:00.000Z,127.0.0.2:56790,7163,1.05,5000,ok,\n");
  LogRecord failed{"t", "a", std::nullopt, "rejected", "Error: \"x\", y"};
  EXPECT_EQ(csvLogLine(failed), "t,a,,,,rejected,\"Error: \"\"x\"\", y\"\n");
  LogRecord latin{"t", "a", std::nullopt, "rejected", "Caf\xE9"};
  EXPECT_EQ(csvLogLine(latin), "t,a,,,,rejected,Caf\xC3\xA9\n");
}

TEST(LogLines, JsonLineParsesAndNamesAnUnreadBoardNull) {
  const JsonValue ok = JsonReader::parse(jsonLogLine(board(-2)));
  EXPECT_EQ(ok["type"].number(), 7163);
  EXPECT_EQ(ok["serial"].number(), -2);
  EXPECT_EQ(ok["version"].text(), "1.05");
  EXPECT_EQ(ok["failure"].text(), "");
  const JsonValue none =
      JsonReader::parse(jsonLogLine({"t", "a", std::nullopt, "no-answer", "Error: \\ \"q\""}));
  EXPECT_TRUE(none["type"].isNull());
  EXPECT_TRUE(none["serial"].isNull());
  EXPECT_EQ(none["failure"].text(), "Error: \\ \"q\"");
  EXPECT_EQ(jsonLogLine(board(1)).back(), '\n');
}

TEST(LogLines, TimeIsUtcWithMilliseconds) {
  using std::chrono::system_clock;
  EXPECT_EQ(utcTimeText(system_clock::time_point{}), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(utcTimeText(system_clock::time_point{std::chrono::milliseconds(1714564800123)}),
            "2024-05-01T12:00:00.123Z");
}

TEST(LogLines, RecordOfAResultKeepsTheFailureTextOnlyOnFailure) {
  DeviceResult r;
  r.target = {"127.0.0.4", 56790};
  r.kind = ResultKind::Ok;
  r.message = "Manufacturer Setup succeeded.";
  EXPECT_EQ(logRecordOf(r, {}).failure, "");
  r.kind = ResultKind::Rejected;
  r.message = "Error: Device type must be QV-7163.";
  const LogRecord rec = logRecordOf(r, {});
  EXPECT_EQ(rec.failure, r.message);
  EXPECT_EQ(rec.address, "127.0.0.4:56790");
  EXPECT_EQ(rec.result, "rejected");
}

// ---- The file -------------------------------------------------------------------------

TEST(LogFile, CsvHeaderOnlyInANewFileAndLinesAppended) {
  const std::string path = freshPath("ctl-log.csv");
  std::string error;
  {
    ProductionLog log;
    ASSERT_TRUE(log.open({path, LogFormat::Csv}, error)) << error;
    ASSERT_TRUE(log.append(board(1), error)) << error;
  }
  {
    ProductionLog log;
    ASSERT_TRUE(log.open({path, LogFormat::Csv}, error)) << error;
    ASSERT_TRUE(log.append(board(2), error)) << error;
  }
  const auto l = lines(readFile(path));
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[0] + "\n", csvLogHeader());
  EXPECT_EQ(l[2] + "\n", csvLogLine(board(2)));
}

TEST(LogFile, AFileThatCannotBeOpenedIsRefused) {
  ProductionLog log;
  std::string error;
  EXPECT_FALSE(log.open({::testing::TempDir(), LogFormat::Csv}, error));
  EXPECT_NE(error.find("cannot open the log"), std::string::npos);
}

TEST(LogFile, LinesFromManyThreadsAndTwoOpenFilesNeverInterleave) {
  const std::string path = freshPath("ctl-log.jsonl");
  std::string error;
  ProductionLog first;
  ProductionLog second;
  ASSERT_TRUE(first.open({path, LogFormat::JsonLines}, error));
  ASSERT_TRUE(second.open({path, LogFormat::JsonLines}, error));
  constexpr int kThreads = 8;
  constexpr int kLinesEach = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::string e;
      ProductionLog& log = t % 2 ? first : second;
      LogRecord r = board(t);
      r.failure = std::string(static_cast<std::size_t>(100 + t * 50), 'x');  // lines of many sizes
      for (int i = 0; i < kLinesEach; ++i) ASSERT_TRUE(log.append(r, e)) << e;
    });
  }
  for (auto& t : threads) t.join();
  const auto l = lines(readFile(path));
  ASSERT_EQ(l.size(), static_cast<std::size_t>(kThreads * kLinesEach));
  for (const std::string& line : l) {
    const JsonValue o = JsonReader::parse(line);
    const auto t = static_cast<std::size_t>(o["serial"].number());
    EXPECT_EQ(o["failure"].text().size(), 100 + t * 50);
  }
}

// ---- vexilctl killed in the middle of a run ---------------------------------------------

TEST(LogKill, FinishedBoardsAreInTheLogWholeAfterASigkill) {
  constexpr int kFast = 4;
  std::vector<std::unique_ptr<sim::DeviceEmulator>> boards;
  std::vector<std::string> args{VEXILCTL_PATH, "--timeout", "5000"};
  for (int i = 0; i <= kFast; ++i) {
    boards.push_back(std::make_unique<sim::DeviceEmulator>());
    const std::string address = "127.0.0." + std::to_string(2 + i);
    ASSERT_TRUE(boards.back()->start(address, 0));
    args.insert(args.end(), {"--device", address + ":" + std::to_string(boards.back()->port())});
  }
  sim::Faults slow;  // the last board answers each request after 3 s
  slow.delay = 3000ms;
  boards.back()->setFaults(slow);
  const std::string path = freshPath("ctl-killed.jsonl");
  args.insert(args.end(), {"setup", "--log", path, "--log-format", "jsonl"});

  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);

  // Wait until the fast boards are logged, then kill while the slow one is still waiting.
  const auto giveUp = std::chrono::steady_clock::now() + 20s;
  while (lines(readFile(path)).size() < static_cast<std::size_t>(kFast) &&
         std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status)) << "vexilctl finished before the kill";

  const std::string text = readFile(path);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  const auto l = lines(text);
  ASSERT_EQ(l.size(), static_cast<std::size_t>(kFast));
  for (const std::string& line : l) {
    const JsonValue o = JsonReader::parse(line);
    EXPECT_EQ(o["result"].text(), "ok");
    EXPECT_EQ(o["type"].number(), 7163);
    EXPECT_EQ(o["serial"].number(), 5000);
    EXPECT_NE(o["address"].text().rfind("127.0.0.6:", 0), 0u);  // the slow board never finished
  }
}

}  // namespace
