// vexil-stream-check: the stream monitor's figures on the command line.
#include <iostream>
#include <string>
#include <vector>

#include "stream/StreamCheck.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = vexil::stream::parseCheckOptions(args, error);
  if (!options) {
    std::cerr << "vexil-stream-check: " << error << "\n";
    return vexil::stream::kCheckUsage;
  }
  if (options->help) {
    std::cout << vexil::stream::checkHelpText();
    return vexil::stream::kCheckPassed;
  }
  return vexil::stream::runCheck(*options, std::cout, std::cerr);
}
