// vexilctl's set-up on 32 emulated boards at once against the same 32 one after
// another, in-process, every board an emulator of its own on 127.0.0.2..127.0.0.9.
// Prints both times, their ratio, and the time per board against the floor of two
// transactions: two 5 ms completion delays plus the round trips.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "ctl/Fleet.h"
#include "messaging/TransactionEngine.h"
#include "sim/DeviceEmulator.h"

using namespace vexil;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kBoards = 32;
constexpr int kAddresses = 8;  // 127.0.0.2 .. 127.0.0.9, four boards each
constexpr int kRuns = 5;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  std::vector<std::unique_ptr<sim::DeviceEmulator>> boards;
  std::vector<ctl::DeviceTarget> targets;
  for (int i = 0; i < kBoards; ++i) {
    const std::string address = "127.0.0." + std::to_string(2 + i % kAddresses);
    boards.push_back(std::make_unique<sim::DeviceEmulator>());
    if (!boards.back()->start(address, 0)) {
      std::fprintf(stderr, "cannot start an emulator on %s: %s\n", address.c_str(),
                   boards.back()->error().c_str());
      return 1;
    }
    targets.push_back({address, boards.back()->port()});
  }
  ctl::Invocation setup;
  setup.command = ctl::Command::Setup;
  setup.commandName = "setup";
  setup.jobs = kBoards;

  auto runAll = [&](int jobs, const std::vector<ctl::DeviceTarget>& which) {
    ctl::Invocation inv = setup;
    inv.jobs = jobs;
    const Clock::time_point start = Clock::now();
    const auto results = ctl::runOnDevices(inv, which, 0);
    const double ms = msSince(start);
    if (ctl::worstExitCode(results) != ctl::kExitAcknowledged) {
      std::fprintf(stderr, "a set-up failed\n");
      std::exit(1);
    }
    return ms;
  };

  // The floor of one set-up is two completion delays plus two loopback round trips; the
  // time above it is what the tool adds (threads, engines, binding a port per request).
  std::vector<double> one, concurrent, sequential;
  const std::vector<ctl::DeviceTarget> first{targets.front()};
  runAll(1, first);  // warm-up
  for (int run = 0; run < kRuns; ++run) {
    one.push_back(runAll(1, first));
    concurrent.push_back(runAll(kBoards, targets));
    sequential.push_back(runAll(1, targets));
  }
  const double oneMs = median(one);
  const double concurrentMs = median(concurrent);
  const double sequentialMs = median(sequential);
  const double floorMs = 2.0 * std::chrono::duration<double, std::milli>(kCompletionDelay).count();

  std::printf("setup, median of %d runs, %d emulated boards on %d loopback addresses\n", kRuns,
              kBoards, kAddresses);
  std::printf("  one board alone:           %8.2f ms\n", oneMs);
  std::printf("  %d boards at once:         %8.2f ms  (%.2f x one board; target <= 2)\n", kBoards,
              concurrentMs, concurrentMs / oneMs);
  std::printf("  %d boards one after another:%7.2f ms  (%.2f ms per board)\n", kBoards,
              sequentialMs, sequentialMs / kBoards);
  std::printf("  sequential / concurrent:   %8.2f x\n", sequentialMs / concurrentMs);
  std::printf("  per board, sequential:     %8.2f ms against the floor of %.0f ms (two %lld ms "
              "completion delays) plus round trips: %.2f ms above it\n",
              sequentialMs / kBoards, floorMs,
              static_cast<long long>(kCompletionDelay.count()), sequentialMs / kBoards - floorMs);
  return 0;
}
