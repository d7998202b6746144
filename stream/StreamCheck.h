// The stream check of the command line: listen on a UDP port (or join a multicast
// group) for a number of seconds, or read a recorded file, and report the stream's
// figures; the exit status says whether it was clean.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "stream/StreamReport.h"

namespace vexil::stream {

/// Exit statuses of the check.
inline constexpr int kCheckPassed = 0;   // packets arrived, no indicator fired, nothing dropped
inline constexpr int kCheckFailed = 1;   // nothing arrived, an indicator fired, a drop, a bad recording
inline constexpr int kCheckUsage = 2;    // the command line was wrong, or the file is missing

struct CheckOptions {
  std::string address = "127.0.0.1";  // local address, or a multicast group to join
  int port = -1;                       // live: required; capture file: selects the stream
  std::string source;                  // multicast: source-specific join
  std::string interface;               // multicast: interface address
  double seconds = 0;                  // live: required
  std::string file;                    // non-empty: analyse this file instead of listening
  double bitrate = 0;                  // .ts file: bits per second (0: from the PCRs)
  bool json = false;
  std::string recordPath;              // empty: no recording
  std::string metrics;                 // non-empty: serve Prometheus metrics here (ADDR:PORT)
  bool help = false;
};

/// Reads the arguments after the command's name. Nothing, with `error` set, when one is
/// unknown, lacks its value, is out of range, or the options do not make a run.
std::optional<CheckOptions> parseCheckOptions(std::span<const std::string> args,
                                              std::string& error);

/// The help text, naming the command as `command` (as it was called).
std::string checkHelpText(std::string_view command);

/// Runs the check as `options` say, writes the report to `out` (and problems, each
/// starting with `command` and ": ", to `err`) and returns the exit status.
/// Sees the analyser's figures while the check runs: every second while listening, and
/// once at the end (of a file, once).
using SnapshotObserver = std::function<void(const StreamSnapshot&)>;

int runCheck(const CheckOptions& options, std::ostream& out, std::ostream& err,
             std::string_view command = "vexil-stream-check",
             const SnapshotObserver& observer = {});

}  // namespace vexil::stream
