// vexil-stream-check: listen on a UDP port for a number of seconds and report the
// stream's figures; the exit status says whether it was clean.
#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace vexil::stream {

/// Exit statuses of the check.
inline constexpr int kCheckPassed = 0;   // packets arrived, no continuity or sync error
inline constexpr int kCheckFailed = 1;   // nothing arrived, or an error was seen
inline constexpr int kCheckUsage = 2;    // the command line was wrong

struct CheckOptions {
  std::string address = "127.0.0.1";
  int port = -1;
  double seconds = 0;
  bool json = false;
  std::string recordPath;  // empty: no recording
  bool help = false;
};

/// Reads the arguments after the program name. Nothing, with `error` set, when one is
/// unknown, lacks its value, is out of range, or --port or --seconds is missing.
std::optional<CheckOptions> parseCheckOptions(std::span<const std::string> args,
                                              std::string& error);

std::string_view checkHelpText();

/// Listens as `options` say, writes the report to `out` (and problems to `err`) and
/// returns the exit status.
int runCheck(const CheckOptions& options, std::ostream& out, std::ostream& err);

}  // namespace vexil::stream
