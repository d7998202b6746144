#include "sim/DeviceState.h"

#include <cstring>

namespace vexil::sim {

std::array<std::uint8_t, 15> deviceText(const std::string& text) {
  std::array<std::uint8_t, 15> out;
  out.fill(' ');
  std::memcpy(out.data(), text.data(), text.size() < out.size() ? text.size() : out.size());
  return out;
}

}  // namespace vexil::sim
