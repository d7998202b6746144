// What the emulated Vexil board knows about itself: the values its answers report and
// its instructions change.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vexil::sim {

struct DeviceState {
  std::uint16_t deviceType = 7163;
  std::uint32_t serial = 5000;
  std::uint8_t versionMajor = 1;
  std::uint8_t versionMinor = 5;
  std::uint8_t model = 7;                   // 0..7; 7 is the IP remultiplexer
  std::array<std::uint8_t, 15> userText{};  // the board's own 15-byte text
  std::array<std::uint8_t, 4> ipAddress{10, 123, 13, 101};
  std::array<std::uint8_t, 4> netMask{255, 255, 255, 0};
  std::array<std::uint8_t, 4> gatewayIp{10, 123, 13, 1};
  std::array<std::int32_t, 4> ncoFrequency{1000000, 1000000, 1000000, 1000000};
};

/// Fills a user text from `text`: cut to 15 bytes or filled with blanks.
std::array<std::uint8_t, 15> deviceText(const std::string& text);

}  // namespace vexil::sim
