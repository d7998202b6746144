// The console a command-line tool runs in: its stop requests (the signals on Linux,
// Ctrl+C and the console's close on Windows), its arguments as UTF-8, and UTF-8 output.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace vexil::console {

/// Signal numbers the stop requests are reported as, the same on both systems: Ctrl+C
/// is SIGINT (2) on Windows as on Linux; Ctrl+Break and closing the console window
/// count as SIGTERM (15).
inline constexpr int kInterrupt = 2;
inline constexpr int kTerminate = 15;
inline constexpr int kHangUp = 1;

/// Takes the stop requests away from their default (ending the process at once) so
/// that one can be waited for and the program end in order. Made on the main thread
/// before any other thread starts (on Linux the signals are blocked in this thread and
/// so in every thread started after); one at a time per process.
class StopRequests {
 public:
  struct Options {
    bool hangUp = false;         // Linux: SIGHUP stops too
    bool restoreDefault = false;  // Linux: a stop signal the shell set to be ignored
                                  // (a background job) is taken back first
  };
  explicit StopRequests(Options options);
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;

  /// Waits up to `timeout` for a stop request: its signal number, or 0 when none came.
  int waitFor(std::chrono::milliseconds timeout);
  /// Waits for a stop request as long as it takes; its signal number.
  int wait();

 private:
  struct State;
  State* state_;
};

/// The program's arguments (without the program's name) as UTF-8: on Windows read from
/// the wide command line, since argv holds them in the ANSI code page, which cannot
/// hold every name a user types.
std::vector<std::string> arguments(int argc, char** argv);

/// Makes the console show UTF-8 output as such (Windows: code page 65001, the one it
/// had restored at exit); nothing on Linux, whose terminals take UTF-8.
void useUtf8Output();

}  // namespace vexil::console
