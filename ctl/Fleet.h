// One command on many devices at once.
#pragma once

#include <functional>
#include <vector>

#include "ctl/DeviceRun.h"

namespace vexil::ctl {

/// Called on a worker thread as soon as one device has finished; must be thread-safe.
using DeviceFinished = std::function<void(const DeviceResult&)>;

/// Runs `invocation`'s command on every device in `devices` concurrently, at most
/// `invocation.jobs` at a time, each on a thread, an engine and a UDP endpoint of its own
/// (bound to `hostPort`, 0 for any free port). Returns the results in the order of
/// `devices`, once all have finished.
std::vector<DeviceResult> runOnDevices(const Invocation& invocation,
                                       const std::vector<DeviceTarget>& devices, int hostPort,
                                       const DeviceFinished& finished = {});

/// The worst exit status of `results`: 2 before 1 before 0.
int worstExitCode(const std::vector<DeviceResult>& results);

}  // namespace vexil::ctl
