#include "ctl/Fleet.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace vexil::ctl {

// Why one engine and one endpoint per device rather than one shared endpoint that sorts
// answers by sender: the engine, its one-transaction state machine and its timing are
// the window's own, unchanged, and each device's transactions keep exactly the window's
// rules (the 41-byte test, the 5 ms completion delay, an answer overwriting the buffer).
// A shared endpoint would need a second dispatcher beside the engine, the very thing
// that must not diverge. Ports cost nothing here: each endpoint binds a free port of its
// own, and the board answers the port the request came from, so the kernel already tells
// the answers apart; the engine's sender filter then drops anything from another address.
// A thread per device is cheap at production-line sizes (tens of boards), and the jobs
// limit caps it for larger lists.
std::vector<DeviceResult> runOnDevices(const Invocation& invocation,
                                       const std::vector<DeviceTarget>& devices, int hostPort,
                                       const DeviceFinished& finished) {
  std::vector<DeviceResult> results(devices.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < devices.size(); i = next++) {
      results[i] = runOnDevice(invocation, devices[i], hostPort);
      if (finished) finished(results[i]);
    }
  };
  const std::size_t workers =
      std::min(devices.size(), static_cast<std::size_t>(std::max(invocation.jobs, 1)));
  if (workers <= 1) {
    work();
    return results;
  }
  std::vector<std::thread> threads;
  threads.reserve(workers);
  for (std::size_t w = 0; w < workers; ++w) threads.emplace_back(work);
  for (std::thread& t : threads) t.join();
  return results;
}

int worstExitCode(const std::vector<DeviceResult>& results) {
  int worst = kExitAcknowledged;
  for (const DeviceResult& r : results) worst = std::max(worst, r.exitCode());
  return worst;
}

}  // namespace vexil::ctl
