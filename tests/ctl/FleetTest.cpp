// Many boards at once: eight emulated boards on 127.0.0.2..127.0.0.9, one of them
// faulty, each with its own result in the order given and the worst exit status; an
// answer counts only when it comes from the board the request went to.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <thread>

#include "CtlTestSupport.h"
#include "JsonParse.h"
#include "ctl/Fleet.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"

using namespace vexil;
using namespace vexil::testing;
using Args = std::vector<std::string>;

namespace {

constexpr int kBoards = 8;

std::string boardAddress(int i) { return "127.0.0." + std::to_string(2 + i); }

class Fleet : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < kBoards; ++i) {
      boards.push_back(std::make_unique<sim::DeviceEmulator>());
      ASSERT_TRUE(boards.back()->start(boardAddress(i), 0)) << boards.back()->error();
    }
  }
  Args deviceArgs() const {
    Args args;
    for (int i = 0; i < kBoards; ++i) {
      args.push_back("--device");
      args.push_back(boardAddress(i) + ":" + std::to_string(boards[i]->port()));
    }
    return args;
  }
  std::string label(int i) const {
    return boardAddress(i) + ":" + std::to_string(boards[i]->port());
  }
  CtlRun run(const Args& command) {
    Args args = deviceArgs();
    args.insert(args.end(), command.begin(), command.end());
    return runCtl(args);
  }

  std::vector<std::unique_ptr<sim::DeviceEmulator>> boards;
};

TEST_F(Fleet, SetupOnEightBoardsWithOneFaultyGivesEachItsResultAndTheWorstStatus) {
  sim::Faults refuses;
  refuses.refusedOpcodes = {0x12};  // keeps its old user text
  boards[5]->setFaults(refuses);

  const CtlRun r = run({"--json", "setup"});
  EXPECT_EQ(r.exit, 1) << r.err;
  const auto lines = r.outLines();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kBoards));
  for (int i = 0; i < kBoards; ++i) {
    const JsonValue o = JsonReader::parse(lines[i]);
    EXPECT_EQ(o["device"].text(), label(i));  // in the order given
    EXPECT_EQ(o["exit"].number(), i == 5 ? 1 : 0) << label(i);
    EXPECT_EQ(boards[i]->requestCount(), 2u) << label(i);
    EXPECT_EQ(boards[i]->lastRequest(), manufacturerConfigFrame());
  }
  EXPECT_TRUE(contains(r.err, label(5) + ": rejected: Error: Marovantis Setup failed.")) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

TEST_F(Fleet, TextOutputPrefixesEveryLineWithItsBoard) {
  const CtlRun r = run({"set", "serial", "77"});
  EXPECT_EQ(r.exit, 0) << r.err;
  const auto lines = r.outLines();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kBoards));
  for (int i = 0; i < kBoards; ++i) EXPECT_EQ(lines[i], label(i) + ": ACK Received!");
}

TEST_F(Fleet, TheWorstStatusWinsAndEachBoardKeepsItsOwn) {
  sim::Faults silent;
  silent.silent = true;
  boards[1]->setFaults(silent);
  sim::Faults shortAnswer;
  shortAnswer.answerLength = 30;
  boards[6]->setFaults(shortAnswer);
  const CtlRun r = run({"--timeout", "200", "--json", "set", "type", "7163"});
  EXPECT_EQ(r.exit, 1);
  const auto lines = r.outLines();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kBoards));
  EXPECT_EQ(JsonReader::parse(lines[1])["result"].text(), "no-answer");
  EXPECT_EQ(JsonReader::parse(lines[6])["result"].text(), "wrong-length");
  EXPECT_EQ(JsonReader::parse(lines[0])["result"].text(), "ok");

  // One board that cannot be reached at all outweighs the unanswered ones.
  Args args = deviceArgs();
  args.insert(args.end(), {"--device", "255.255.255.255", "--timeout", "200", "identify"});
  const CtlRun worse = runCtl(args);
  EXPECT_EQ(worse.exit, 2);
  EXPECT_TRUE(contains(worse.err, "255.255.255.255:56789: send-failed")) << worse.err;
}

TEST_F(Fleet, DevicesFromAFileRunLikeDevicesOnTheCommandLine) {
  const std::string path = ::testing::TempDir() + "ctl-fleet-devices.txt";
  {
    std::ofstream f(path);
    for (int i = 0; i < kBoards; ++i) f << label(i) << "\n";
  }
  const CtlRun r = runCtl({"--devices", path, "--jobs", "3", "identify"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), kBoards * 7);
  for (int i = 0; i < kBoards; ++i) EXPECT_EQ(boards[i]->requestCount(), 1u);
  std::remove(path.c_str());
}

// A board that stays silent while another address sends ACKs to the port the request
// came from: the window would take one of them for the board's answer; here it does not
// count.
TEST(FleetSender, AnAnswerFromAnotherAddressDoesNotCount) {
  sim::DeviceEmulator silentBoard;
  ASSERT_TRUE(silentBoard.start("127.0.0.2", 0));
  sim::Faults silent;
  silent.silent = true;
  silentBoard.setFaults(silent);
  const int hostPort = freeLoopbackPort();
  ASSERT_NE(hostPort, 0);

  UdpEndpoint stray([](const std::uint8_t*, std::size_t, std::size_t, const std::string&,
                       std::uint16_t) {});
  ASSERT_TRUE(stray.activate(0, "127.0.0.3"));
  std::atomic<bool> done{false};
  std::atomic<int> sent{0};
  std::thread sender([&] {
    const std::vector<std::uint8_t> ack(41, 0x00);
    while (!done) {
      if (silentBoard.requestCount() > 0 && stray.sendTo("127.0.0.1", hostPort, ack)) ++sent;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  const CtlRun r = runCtl({"--device", "127.0.0.2:" + std::to_string(silentBoard.port()),
                           "--host-port", std::to_string(hostPort), "--timeout", "300", "set",
                           "type", "7163"});
  done = true;
  sender.join();
  EXPECT_GT(sent.load(), 3);  // the stray ACKs were on their way during the wait
  EXPECT_EQ(r.exit, 1) << r.out;
  EXPECT_TRUE(contains(r.err, "no-answer")) << r.err;
}

}  // namespace
