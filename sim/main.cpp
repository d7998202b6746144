// vexil-sim: the emulated Vexil board on a UDP port, in the foreground until
// interrupted.
#include <iostream>
#include <string>
#include <vector>

#include "portable/Console.h"
#include "sim/CommandLine.h"
#include "sim/DeviceEmulator.h"
#include "sim/StreamOptions.h"

int main(int argc, char** argv) {
  vexil::console::useUtf8Output();
  const std::vector<std::string> args = vexil::console::arguments(argc, argv);
  std::string error;
  const auto options = vexil::sim::parseSimOptions(args, error);
  if (!options) {
    std::cerr << "vexil-sim: " << error << "\n";
    return 2;
  }
  if (options->help) {
    std::cout << vexil::sim::simHelpText() << vexil::sim::streamHelpText()
              << vexil::sim::dynamicsHelpText();
    return 0;
  }
  if (options->version) {
    std::cout << "vexil-sim " VEXIL_VERSION "\n";
    return 0;
  }

  // Take the stop requests (SIGINT and SIGTERM; Ctrl+C on Windows) before any thread
  // starts, then wait for one here, even when a shell started us in the background.
  vexil::console::StopRequests stopRequests({.hangUp = false, .restoreDefault = true});

  const vexil::sim::DeviceState& state = options->state;
  vexil::sim::DeviceEmulator emulator(state);
  emulator.setFaultScript(options->faults);
  emulator.setDynamics(options->dynamics);
  emulator.streamer().setFaults(options->streamFaults);
  emulator.streamer().setLog([](const std::string& line) { std::cerr << "vexil-sim: " << line << std::endl; });
  if (!emulator.start(options->bindAddress, options->port)) {
    std::cerr << "vexil-sim: cannot listen on " << options->bindAddress << ":" << options->port
              << ": " << emulator.error() << "\n";
    return 1;
  }
  std::cout << "vexil-sim: Vexil board emulator listening on " << options->bindAddress << ":"
            << emulator.port() << " (UDP), type " << state.deviceType << ", serial " << state.serial
            << ", model " << int(state.model) << ", " << options->faults.rules.size()
            << " fault rule(s). Ctrl+C stops it.\n"
            << vexil::sim::portNotice(options->bindAddress, emulator.port()) << std::flush;
  stopRequests.wait();
  emulator.stop();
  std::cout << "vexil-sim: stopped after " << emulator.requestCount() << " requests." << std::endl;
  return 0;
}
