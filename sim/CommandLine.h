// The options of vexil-sim, read into what the emulator needs: where it listens, the
// board it plays and the faults it shows.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "messaging/WireLayout.h"
#include "sim/BoardDynamics.h"
#include "sim/DeviceModel.h"
#include "sim/Faults.h"
#include "sim/StreamFaults.h"

namespace vexil::sim {

/// Everything vexil-sim is told on its command line.
struct SimOptions {
  std::string bindAddress = "127.0.0.1";
  int port = wire::kDefaultPort;  // 0 picks a free port
  DeviceState state = defaultDeviceState();
  FaultScript faults;
  StreamFaults streamFaults;  // the --ts-* faults of the transport streams
  DynamicsScript dynamics;    // --dynamics and the scripted moments
  bool help = false;
  bool version = false;  // "--version" alone: print the program's version
};

/// Reads the arguments that follow the program name, in order: a later option wins over
/// an earlier one of the same name, and every --on adds a rule after those before it.
/// Nothing when an argument is wrong, with `error` saying which one and why.
std::optional<SimOptions> parseSimOptions(std::span<const std::string> args, std::string& error);

/// One --on value, "SELECTOR:FAULT[,FAULT...]". SELECTOR is "any", a request number N
/// (from 1), "op=B" (requests carrying opcode B), or "N+op=B" (both).
std::optional<FaultRule> parseFaultRule(std::string_view text, std::string& error);

/// Adds one fault, "NAME" or "NAME=VALUE" (the names of --help), to `faults`. False,
/// with `error` set, for an unknown name or a bad value.
bool addFault(Faults& faults, std::string_view fault, std::string& error);

/// The --help text.
std::string_view simHelpText();

/// What vexil-sim prints once it listens: the address and port it holds, and that the
/// program beside it needs another host port, or this port as its device port.
std::string portNotice(const std::string& bindAddress, std::uint16_t port);

}  // namespace vexil::sim
