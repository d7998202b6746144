#include "watch/MetricsServer.h"

#include <prometheus/exposer.h>
#include <prometheus/registry.h>

#include <exception>

#include "messaging/UdpEndpoint.h"

namespace vexil::watch {
namespace {

constexpr int kPortMax = 0xFFFF;
// Two serving threads: a scrape never waits behind another.
constexpr std::size_t kServingThreads = 2;

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

MetricsServer::MetricsServer() : registry_(std::make_shared<prometheus::Registry>()) {}

MetricsServer::~MetricsServer() = default;

bool MetricsServer::start(const MetricsAddress& where, std::string& error) {
  try {
    exposer_ = std::make_unique<prometheus::Exposer>(
        where.address + ":" + std::to_string(where.port), kServingThreads);
  } catch (const std::exception& e) {
    error = "cannot serve metrics on " + where.address + ":" + std::to_string(where.port) +
            ": " + e.what();
    return false;
  }
  exposer_->RegisterCollectable(registry_);
  return true;
}

void MetricsServer::add(std::shared_ptr<prometheus::Collectable> metrics) {
  kept_.push_back(metrics);
  if (exposer_) exposer_->RegisterCollectable(metrics);
}

std::uint16_t MetricsServer::port() const {
  if (!exposer_) return 0;
  const std::vector<int> ports = exposer_->GetListeningPorts();
  return ports.empty() ? 0 : static_cast<std::uint16_t>(ports.front());
}

}  // namespace vexil::watch
