// Reading a --metrics value: plain text, so that a build without the Prometheus client
// still reads (and refuses) the option the same way.
#include "watch/MetricsServer.h"

#include "messaging/UdpEndpoint.h"

namespace vexil::watch {
namespace {

constexpr int kPortMax = 0xFFFF;

std::optional<int> portOf(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > kPortMax) return std::nullopt;
  return value;
}

}  // namespace

std::optional<MetricsAddress> parseMetricsAddress(const std::string& text, std::string& error) {
  MetricsAddress where;
  const std::size_t colon = text.rfind(':');
  const std::string portText = colon == std::string::npos ? text : text.substr(colon + 1);
  if (colon != std::string::npos) where.address = text.substr(0, colon);
  std::uint32_t ignored = 0;
  if (!resolveIPv4(where.address, ignored)) {
    error = "--metrics '" + text + "': the address must be dotted IPv4, as 127.0.0.1:9464";
    return std::nullopt;
  }
  const auto port = portOf(portText);
  if (!port) {
    error = "--metrics '" + text + "': the port must be 0 to 65535";
    return std::nullopt;
  }
  where.port = *port;
  return where;
}

}  // namespace vexil::watch
