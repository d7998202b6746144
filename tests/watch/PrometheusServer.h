// A real Prometheus server (Debian's /usr/bin/prometheus) for the tests: started on a
// free loopback port with a generated configuration and a storage folder of its own,
// asked through its HTTP API, and stopped at the end.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vexil::testing {

/// One series of a query's answer: its labels and its value (the last one, for a range).
struct PromSeries {
  std::map<std::string, std::string> labels;
  double value = 0;
  std::size_t samples = 0;  // for a range query: how many points it holds
};

/// A query's answer: ok, or the server's error text.
struct PromAnswer {
  bool ok = false;
  std::string error;
  std::vector<PromSeries> series;
};

class PrometheusServer {
 public:
  static constexpr const char* kBinary = "/usr/bin/prometheus";
  static bool available();

  /// Starts the server scraping `targets` ("127.0.0.1:PORT") every second, with the
  /// alerting rules of `rulesFile` (may be empty). False, with `error()` set, when it
  /// does not come up.
  bool start(const std::vector<std::string>& targets, const std::string& rulesFile);
  void stop();
  ~PrometheusServer() { stop(); }

  /// An instant query at this moment.
  PromAnswer query(const std::string& expr) const;
  /// A range query from `from` to now, a point a second.
  PromAnswer queryRange(const std::string& expr, std::chrono::system_clock::time_point from) const;
  const std::string& error() const { return error_; }
  std::string log() const;

 private:
  PromAnswer get(const std::string& pathAndQuery) const;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string folder_;
  std::string error_;
};

/// One HTTP/1.0 GET on loopback: the status code and the body (status 0: no answer).
std::pair<int, std::string> httpGet(int port, const std::string& pathAndQuery);
/// A TCP port on 127.0.0.1 free at this moment.
int freeTcpPort();

}  // namespace vexil::testing
