// An emulator with no stream to send sleeps: its threads do not wake while nothing
// happens, so a machine can hold racks of them. Measured with the threads' own
// context-switch counts, which every wake-up raises.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"

namespace vexil::sim {
namespace {

using namespace std::chrono_literals;

// The ids of this process's threads now.
std::set<long> threadIds() {
  std::set<long> ids;
  DIR* tasks = ::opendir("/proc/self/task");
  if (!tasks) return ids;
  while (const dirent* e = ::readdir(tasks))
    if (e->d_name[0] != '.') ids.insert(std::stol(e->d_name));
  ::closedir(tasks);
  return ids;
}

// Context switches of the threads of this process that were not there before
// (`before`) and carry the program's names ("vexil-..."): the emulator's, not the
// test's nor a sanitizer's own background thread.
long newThreadsSwitches(const std::set<long>& before) {
  long total = 0;
  for (const long id : threadIds()) {
    if (before.count(id)) continue;
    std::ifstream comm("/proc/self/task/" + std::to_string(id) + "/comm");
    std::string name;
    std::getline(comm, name);
    if (name.rfind("vexil-", 0) != 0) continue;
    std::ifstream status("/proc/self/task/" + std::to_string(id) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
          line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
        total += std::stol(line.substr(line.find(':') + 1));
      }
    }
  }
  return total;
}

// The board as it comes, with its one sending input stopped.
DeviceState quietBoard() {
  DeviceState s = defaultDeviceState();
  for (InputChannel& in : s.inputs) in.state = 0;
  return s;
}

TEST(IdleEmulator, SleepsWhileNothingStreams) {
  const std::set<long> others = threadIds();
  DeviceEmulator board(quietBoard());
  ASSERT_TRUE(board.start("127.0.0.1", 0)) << board.error();
  std::this_thread::sleep_for(100ms);  // past start-up
  const long before = newThreadsSwitches(others);
  std::this_thread::sleep_for(1s);
  const long after = newThreadsSwitches(others);
  // A sender pacing in 1 ms steps would wake about 1,000 times in this second.
  EXPECT_LE(after - before, 2) << "idle emulator threads woke " << (after - before) << " times";
}

TEST(IdleEmulator, WakesForARouteThatStartsAndSleepsAgainWhenItStops) {
  const std::set<long> others = threadIds();
  DeviceEmulator board(quietBoard());
  ASSERT_TRUE(board.start("127.0.0.1", 0)) << board.error();
  DeviceState sending = board.state();
  sending.inputs[0].state = 1;  // Sending TS, to the default destination
  sending.inputs[0].destIp = {127, 0, 0, 1};
  sending.inputs[0].destPort = static_cast<std::uint16_t>(freeLoopbackPort());
  sending.inputs[0].mode2 = 0x02;           // IPTV format
  sending.inputs[0].mode1 = 7u << 5;        // seven packets a datagram
  board.setState(sending);
  std::this_thread::sleep_for(300ms);
  const long busyBefore = newThreadsSwitches(others);
  std::this_thread::sleep_for(300ms);
  EXPECT_GT(newThreadsSwitches(others) - busyBefore, 50) << "a sending emulator paces its stream";

  DeviceState idle = board.state();
  idle.inputs[0].state = 0;
  board.setState(idle);
  std::this_thread::sleep_for(100ms);
  const long before = newThreadsSwitches(others);
  std::this_thread::sleep_for(500ms);
  EXPECT_LE(newThreadsSwitches(others) - before, 2);
}

}  // namespace
}  // namespace vexil::sim
