// The whole of vexilctl behind its main(): read the command line, find the boards, run
// the command on all of them, print the results and the log. In a library, so the tests
// run it in-process against emulators.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vexil::ctl {

/// What vexilctl takes from its surroundings.
struct Environment {
  /// The settings file that names the board when no --device is given.
  std::string settingsPath = "VexilDevP.ini";
};

/// Runs vexilctl with `args` (without the program name): results to `out`, messages to
/// `err`. Returns the exit status: 0, 1 or 2 (see --help).
int runVexilctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                const Environment& environment = {});

}  // namespace vexil::ctl
