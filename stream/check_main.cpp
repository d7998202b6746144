// vexil-stream-check: the stream check on the command line.
#include <iostream>
#include <string>
#include <vector>

#include "portable/Console.h"
#include "stream/StreamCheck.h"
#include "watch/StreamMetrics.h"

int main(int argc, char** argv) {
  constexpr std::string_view kCommand = "vexil-stream-check";
  vexil::console::useUtf8Output();
  const std::vector<std::string> args = vexil::console::arguments(argc, argv);
  std::string error;
  const auto options = vexil::stream::parseCheckOptions(args, error);
  if (!options) {
    std::cerr << kCommand << ": " << error << "\n";
    return vexil::stream::kCheckUsage;
  }
  if (options->help) {
    std::cout << vexil::stream::checkHelpText(kCommand);
    return vexil::stream::kCheckPassed;
  }
  return vexil::watch::runCheckWithMetrics(*options, std::cout, std::cerr, kCommand);
}
