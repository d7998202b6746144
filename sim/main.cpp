// vexil-sim: the emulated Vexil board on a UDP port, in the foreground until
// interrupted.
#include <csignal>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "messaging/IntegerText.h"
#include "messaging/WireLayout.h"
#include "sim/DeviceEmulator.h"

namespace {

constexpr int kDefaultPort = vexil::wire::kDefaultPort;

void printHelp() {
  std::cout <<
      "Usage: vexil-sim [options]\n"
      "Emulates a Vexil board: answers the QV-Net identity query, the Palvox status\n"
      "query and Palvox instructions on one UDP port, until interrupted (Ctrl+C).\n"
      "\n"
      "Options:\n"
      "  --bind ADDRESS      IPv4 address to listen on (default 127.0.0.1)\n"
      "  --port N            UDP port to listen on (default 56789; 0 picks a free one)\n"
      "  --type N            device type (default 7163)\n"
      "  --serial N          serial number, a signed 32-bit number or $hex (default 5000)\n"
      "  --firmware M.N      firmware version, major.minor (default 1.5, shown as 1.05)\n"
      "  --model N           model 0..7 (default 7, the IP remultiplexer)\n"
      "  --user-text TEXT    the board's 15-character user text (default \"Vexil Emulator\")\n"
      "  --help              show this text\n"
      "  --version           show the program's version\n";
}

// "--version" alone asks for the program's version; followed by a value it is the
// older spelling of --firmware.
bool asksForVersion(int argc, char** argv, int i) {
  return std::strcmp(argv[i], "--version") == 0 && (i + 1 >= argc || argv[i + 1][0] == '-');
}

std::optional<long long> number(const std::string& text, long long lo, long long hi) {
  const auto v = vexil::parseIntegerText(text);
  if (!v || *v < lo || *v > hi) return std::nullopt;
  return *v;
}

}  // namespace

int main(int argc, char** argv) {
  std::string bind = "127.0.0.1";
  int port = kDefaultPort;
  vexil::sim::DeviceState state = vexil::sim::defaultDeviceState();

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      printHelp();
      return 0;
    }
    if (asksForVersion(argc, argv, i)) {
      std::cout << "vexil-sim " VEXIL_VERSION "\n";
      return 0;
    }
    if (i + 1 >= argc) {
      std::cerr << "vexil-sim: " << arg << " needs a value (see --help)\n";
      return 2;
    }
    const std::string value = argv[++i];
    bool ok = true;
    if (arg == "--bind") {
      bind = value;
    } else if (arg == "--port") {
      const auto v = number(value, 0, 65535);
      ok = v.has_value();
      if (ok) port = static_cast<int>(*v);
    } else if (arg == "--type") {
      const auto v = number(value, 0, 65535);
      ok = v.has_value();
      if (ok) state.deviceType = static_cast<std::uint16_t>(*v);
    } else if (arg == "--serial") {
      const auto v = number(value, INT32_MIN, INT32_MAX);  // any 32-bit pattern, e.g. $FFFFFFFE
      ok = v.has_value();
      if (ok) state.serial = static_cast<std::uint32_t>(*v);
    } else if (arg == "--firmware" || arg == "--version") {
      const auto dot = value.find('.');
      const auto major = number(value.substr(0, dot), 0, 255);
      const auto minor = dot == std::string::npos ? std::optional<long long>(0)
                                                  : number(value.substr(dot + 1), 0, 255);
      ok = major && minor;
      if (ok) {
        state.versionMajor = static_cast<std::uint8_t>(*major);
        state.versionMinor = static_cast<std::uint8_t>(*minor);
      }
    } else if (arg == "--model") {
      const auto v = number(value, 0, 7);
      ok = v.has_value();
      if (ok) state.model = static_cast<std::uint8_t>(*v);
    } else if (arg == "--user-text") {
      ok = value.size() <= 15;
      if (ok) state.userText = vexil::sim::deviceText(value);
    } else {
      std::cerr << "vexil-sim: unknown option " << arg << " (see --help)\n";
      return 2;
    }
    if (!ok) {
      std::cerr << "vexil-sim: invalid value for " << arg << ": " << value << "\n";
      return 2;
    }
  }

  // Block the stop signals before any thread starts, then wait for one here.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  vexil::sim::DeviceEmulator emulator(state);
  if (!emulator.start(bind, port)) {
    std::cerr << "vexil-sim: cannot listen on " << bind << ":" << port << ": "
              << emulator.error() << "\n";
    return 1;
  }
  std::cout << "vexil-sim: Vexil board emulator listening on " << bind << ":"
            << emulator.port() << " (UDP), type " << state.deviceType << ", serial "
            << state.serial << ", model " << int(state.model) << ". Ctrl+C stops it."
            << std::endl;
  int signal = 0;
  sigwait(&stopSignals, &signal);
  emulator.stop();
  std::cout << "vexil-sim: stopped after " << emulator.requestCount() << " requests."
            << std::endl;
  return 0;
}
