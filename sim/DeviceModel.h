// The board's answering logic, without sockets: takes one request datagram, carries
// out its instructions and gives the answer the board would send.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sim/DeviceState.h"

namespace vexil::sim {

/// The board's defaults as the emulator starts: type 7163, serial 5000, version 1.05,
/// model 7, user text "Vexil Emulator ".
DeviceState defaultDeviceState();

/// One instruction of a Palvox request; `data` points into the request.
struct Instruction {
  std::uint8_t opcode = 0;
  std::span<const std::uint8_t> data;
};

/// The instructions of a Palvox request, in order, as the board reads them. Reading
/// ends at a truncated instruction header or at one whose length runs past the
/// datagram, and never goes past its end. Empty for anything not starting with
/// "Palvox" or shorter than the 22-byte header.
std::vector<Instruction> palvoxInstructions(std::span<const std::uint8_t> request);

/// Not thread-safe; DeviceEmulator serialises access.
///
/// What a system reset (reset type 1) does: the board sends no answer to the frame
/// that carries it, even when that frame asks for one, and drops the instructions
/// after it in the same frame. It starts again: its uptime, the counters and the
/// rates that run from it begin anew, every TS input stops sending (state 0) and the
/// "overflow since reset" flags of the remultiplexer clear. It keeps its
/// configuration: identity, user text, addresses and gateway, the destinations and
/// mode bytes of the TS inputs, the outputs, the NCO frequencies and the trap set-up.
/// A PDI reset (type 0), an SDI reset (type 2) and any other type change nothing
/// visible and are acknowledged like every other instruction.
class DeviceModel {
 public:
  explicit DeviceModel(DeviceState initial = defaultDeviceState()) : state_(initial) {}

  /// Handles one datagram of any content. Returns the answer, or nothing (an empty
  /// vector) when the request asks for none or restarts the board. Instructions whose
  /// opcode is in `refusedOpcodes` are read and acknowledged but not carried out.
  std::vector<std::uint8_t> handle(std::span<const std::uint8_t> request,
                                   std::span<const std::uint8_t> refusedOpcodes = {});

  /// The system reset described above, as if the board had received one now.
  void restart();

  const DeviceState& state() const { return state_; }
  DeviceState& state() { return state_; }

 private:
  enum class Effect { Carried, Restarted };
  Effect apply(const Instruction& instruction);
  void sendTs(std::span<const std::uint8_t> data);
  std::vector<std::uint8_t> qvNetAck() const;
  std::vector<std::uint8_t> shortAnswer() const;

  DeviceState state_;
};

}  // namespace vexil::sim
