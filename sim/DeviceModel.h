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

/// Not thread-safe; DeviceEmulator serialises access.
class DeviceModel {
 public:
  explicit DeviceModel(DeviceState initial = defaultDeviceState()) : state_(initial) {}

  /// Handles one datagram of any content. Returns the answer, or nothing (an empty
  /// vector) when the request asks for none. Reads never go past the datagram: a
  /// truncated instruction or one whose length runs past the end ends the parse.
  std::vector<std::uint8_t> handle(std::span<const std::uint8_t> request);

  const DeviceState& state() const { return state_; }
  DeviceState& state() { return state_; }

 private:
  void apply(std::uint8_t opcode, std::span<const std::uint8_t> data);
  std::vector<std::uint8_t> qvNetAck() const;
  std::vector<std::uint8_t> shortAnswer() const;

  DeviceState state_;
};

}  // namespace vexil::sim
