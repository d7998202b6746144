#include "sim/DeviceState.h"

#include <algorithm>
#include <cstring>

namespace vexil::sim {

std::array<std::uint8_t, 15> deviceText(const std::string& text) {
  std::array<std::uint8_t, 15> out;
  out.fill(' ');
  std::memcpy(out.data(), text.data(), text.size() < out.size() ? text.size() : out.size());
  return out;
}

std::chrono::milliseconds DeviceState::uptime() const {
  const std::chrono::milliseconds now = clock ? clock() : std::chrono::milliseconds{0};
  return std::max(now - startedAt, std::chrono::milliseconds{0});
}

}  // namespace vexil::sim
