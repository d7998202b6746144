// The /metrics endpoint of the board watch and the stream check, in the Prometheus text
// format, served by the Prometheus C++ client's own HTTP server. It binds to loopback
// unless told an address: metrics name boards and streams, and a lab opens them to
// its Prometheus server on purpose.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace prometheus {
class Collectable;
class Exposer;
class Registry;
}  // namespace prometheus

namespace vexil::watch {

inline constexpr char kDefaultMetricsAddress[] = "127.0.0.1";

/// Where to serve: "ADDR:PORT", or "PORT" alone for loopback. PORT 0 takes a free one.
struct MetricsAddress {
  std::string address = kDefaultMetricsAddress;
  int port = 0;
};

/// Reads a --metrics value; nothing, with `error` set, when it is not ADDR:PORT with a
/// dotted IPv4 address and a port 0..65535.
std::optional<MetricsAddress> parseMetricsAddress(const std::string& text, std::string& error);

/// Why this build serves no metrics (the Windows build has no Prometheus client), for
/// the message that refuses --metrics; nullptr when it serves them.
const char* metricsUnavailableReason();

class MetricsServer {
 public:
  MetricsServer();
  ~MetricsServer();
  MetricsServer(const MetricsServer&) = delete;
  MetricsServer& operator=(const MetricsServer&) = delete;

  /// Starts serving the registry at http://ADDR:PORT/metrics. False, with `error` set,
  /// when the address cannot be bound.
  bool start(const MetricsAddress& where, std::string& error);
  /// The port served (useful with port 0); 0 when not serving.
  std::uint16_t port() const;
  prometheus::Registry& registry() { return *registry_; }
  /// Serves `metrics` beside the registry's, for as long as the server lives.
  void add(std::shared_ptr<prometheus::Collectable> metrics);

 private:
  std::shared_ptr<prometheus::Registry> registry_;
  std::vector<std::shared_ptr<prometheus::Collectable>> kept_;
  std::unique_ptr<prometheus::Exposer> exposer_;  // last: it stops serving first
};

}  // namespace vexil::watch
