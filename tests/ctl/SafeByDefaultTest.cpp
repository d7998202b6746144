// vexilctl never acts on a value nobody typed: run as the real executable, in a folder
// of its own, against a loopback listener that counts what reaches it. A board nobody
// named, values outside the ranges the window states, control characters and the same
// board twice are refused with exit 2 and nothing sent; the usual conventions hold
// (--version, -V, -h, global options before stream-check); a board that does not answer
// is reported once, on stderr; two runs creating one CSV log write one header.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "messaging/UdpEndpoint.h"
#include "tests/support/ChildProcess.h"

namespace vexil::testing {
namespace {

using namespace std::chrono_literals;

struct CtlResult {
  int exit = -1;
  std::string out;
  std::string err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A folder of its own, with no settings file unless a test writes one.
class Folder {
 public:
  Folder() {
    char pattern[] = "/tmp/vexilctl-safe-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~Folder() { std::filesystem::remove_all(path_); }
  const std::string& path() const { return path_; }
  void write(const std::string& name, const std::string& text) const { std::ofstream(path_ + "/" + name) << text; }

  CtlResult vexilctl(const std::vector<std::string>& args) const {
    const std::string out = path_ + "/.out", err = path_ + "/.err";
    std::vector<std::string> argv{VEXILCTL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess child(argv, {.folder = path_, .outPath = out, .errPath = err});
    const int exit = child.wait();
    return {exit, slurp(out), slurp(err)};
  }

 private:
  std::string path_;
};

// Counts every datagram that reaches it; answers nothing.
class Listener {
 public:
  Listener()
      : endpoint_([this](const std::uint8_t*, std::size_t, std::size_t, const std::string&, std::uint16_t) {
          ++received_;
        }) {
    EXPECT_TRUE(endpoint_.activate(0, "127.0.0.1"));
  }
  std::string device() const { return "127.0.0.1:" + std::to_string(endpoint_.localPort()); }
  int port() const { return endpoint_.localPort(); }
  int received() const { return received_.load(); }

 private:
  std::atomic<int> received_{0};
  UdpEndpoint endpoint_;
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(NoBoardNoSend, WithoutADeviceOrASettingsFileNothingIsSent) {
  Folder folder;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"status"}, {"set", "serial", "1"}, {"setup"}, {"watch", "--duration", "1"}}) {
    const CtlResult r = folder.vexilctl(args);
    EXPECT_EQ(r.exit, 2) << args[0];
    EXPECT_TRUE(contains(r.err, "no board named")) << r.err;
    EXPECT_TRUE(contains(r.err, "--device")) << "says how to name a board";
    EXPECT_TRUE(r.out.empty());
  }
}

TEST(NoBoardNoSend, ASettingsFileStillNamesItsBoard) {
  Folder folder;
  Listener board;
  folder.write("VexilDevP.ini", "[Settings]\nMyPort=0\nDevicePort=" + std::to_string(board.port()) +
                                    "\n[Main]\nIPBase=127.0.0.\nIPExt=1\n");
  const CtlResult r = folder.vexilctl({"--timeout", "50", "status"});
  EXPECT_EQ(r.exit, 1) << r.err;  // sent, and not answered
  EXPECT_EQ(board.received(), 1);
}

TEST(RefusedValues, OutsideTheWindowsRangesNothingIsSent) {
  Folder folder;
  Listener board;
  folder.write("twice.txt", board.device() + "\n# a comment\n" + board.device() + "\n");
  const std::vector<std::vector<std::string>> refused = {
      {"--device", board.device(), "set", "nco", "1", "119"},
      {"--device", board.device(), "set", "nco", "4", "62500001"},
      {"--device", board.device(), "send-ts", "--dest", "127.0.0.1:0"},
      {"--device", board.device(), "set", "user-text", "line\x01"},
      {"--device", board.device(), "set", "user-text", "del\x7F"},
      {"--device", board.device(), "set", "user-text", "c1\xC2\x85"},  // U+0085
      {"--device", board.device(), "raw", "--text", "tab\there", "3:0"},
      {"--device", board.device(), "--device", board.device(), "status"},
      {"--devices", folder.path() + "/twice.txt", "status"},
  };
  for (const auto& args : refused) {
    const CtlResult r = folder.vexilctl(args);
    EXPECT_EQ(r.exit, 2) << args[2] << " " << args.back() << ": " << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_EQ(board.received(), 0) << "a refused value is never sent";
  const CtlResult twice = folder.vexilctl({"--devices", folder.path() + "/twice.txt", "status"});
  EXPECT_TRUE(contains(twice.err, "twice.txt line 1")) << twice.err;
  EXPECT_TRUE(contains(twice.err, "twice.txt line 3")) << twice.err;
  // The ends of the NCO range are the window's own, and go out.
  EXPECT_EQ(folder.vexilctl({"--device", board.device(), "--timeout", "20", "set", "nco", "1", "120"}).exit, 1);
  EXPECT_EQ(folder.vexilctl({"--device", board.device(), "--timeout", "20", "set", "nco", "1", "62500000"}).exit, 1);
  EXPECT_EQ(board.received(), 2);
}

TEST(Conventions, VersionHelpAndGlobalOptionsBeforeStreamCheck) {
  Folder folder;
  for (const char* flag : {"--version", "-V"}) {
    const CtlResult r = folder.vexilctl({flag});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "vexilctl 1.00\n");
  }
  const CtlResult help = folder.vexilctl({"-h"});
  EXPECT_EQ(help.exit, 0);
  EXPECT_TRUE(contains(help.out, "Usage: vexilctl"));
  const CtlResult checkHelp = folder.vexilctl({"--device", "127.0.0.1:9", "stream-check", "--help"});
  EXPECT_EQ(checkHelp.exit, 0);
  EXPECT_TRUE(contains(checkHelp.out, "vexilctl stream-check"));
  EXPECT_FALSE(contains(checkHelp.out, "vexil-stream-check"));
  Listener quiet;  // a stream port nothing is sent to
  const CtlResult check = folder.vexilctl({"--device", "127.0.0.1:9", "--timeout", "10", "stream-check", "--port",
                                     std::to_string(quiet.port() + 1), "--seconds", "0.2"});
  EXPECT_EQ(check.exit, 1) << "no stream arrived: " << check.err;
  EXPECT_FALSE(contains(check.err, "unknown option")) << check.err;
}

TEST(Conventions, ABoardThatDoesNotAnswerIsReportedOnceOnStderr) {
  Folder folder;
  Listener board;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"status"}, {"identify"}, {"set", "serial", "1"}, {"stop-ts", "1"}}) {
    std::vector<std::string> full = {"--device", board.device(), "--timeout", "50"};
    full.insert(full.end(), args.begin(), args.end());
    const CtlResult r = folder.vexilctl(full);
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.out.empty()) << args[0] << ": results alone on stdout, and there are none: " << r.out;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(contains(r.err, "50 ms")) << "the wait it really was: " << r.err;
  }
}

TEST(ProductionLog, TwoRunsCreatingOneNewCsvLogWriteOneHeader) {
  Folder folder;
  Listener board;
  const std::string log = folder.path() + "/production.csv";
  // The log is new and empty while both runs open it: the test holds the file's lock
  // until both have started, so each finds it empty unless the first to take the lock
  // writes the header before the second looks.
  const int held = ::open(log.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  std::vector<std::thread> runs;
  for (int i = 0; i < 2; ++i) {
    runs.emplace_back([&] { folder.vexilctl({"--device", board.device(), "--timeout", "20", "setup", "--log", log}); });
  }
  std::this_thread::sleep_for(500ms);
  // Neither run decides on the header while another holds the file: nothing written yet.
  EXPECT_EQ(slurp(log), "") << "a run wrote to the log without taking its lock";
  ::flock(held, LOCK_UN);
  ::close(held);
  for (std::thread& t : runs) t.join();
  const std::string text = slurp(log);
  std::size_t headers = 0;
  for (std::size_t at = 0; (at = text.find("time,address", at)) != std::string::npos; ++at) ++headers;
  EXPECT_EQ(headers, 1u) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << "a header and two lines: " << text;
}

}  // namespace
}  // namespace vexil::testing
