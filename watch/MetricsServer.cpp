#include "watch/MetricsServer.h"

#include <prometheus/exposer.h>
#include <prometheus/registry.h>

#include <exception>

namespace vexil::watch {
namespace {

// Two serving threads: a scrape never waits behind another.
constexpr std::size_t kServingThreads = 2;

}  // namespace

const char* metricsUnavailableReason() { return nullptr; }

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
