#include "tests/watch/PrometheusServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/stream/MiniJson.h"

namespace vexil::testing {
namespace {

using stream::testing::JsonReader;
using stream::testing::JsonValue;

constexpr auto kReadyWait = std::chrono::seconds(30);
constexpr auto kStopWait = std::chrono::seconds(10);

std::string urlEncoded(const std::string& text) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

double numberOf(const JsonValue& v) {
  // Prometheus writes sample values as strings: "1", "NaN", "+Inf".
  return std::strtod(v.text.c_str(), nullptr);
}

}  // namespace

std::pair<int, std::string> httpGet(int port, const std::string& pathAndQuery) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const std::string request = "GET " + pathAndQuery + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0) {
      char buffer[16384];
      for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        reply.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  const std::size_t space = reply.find(' ');
  const std::size_t body = reply.find("\r\n\r\n");
  if (space == std::string::npos || body == std::string::npos) return {0, {}};
  return {std::atoi(reply.c_str() + space + 1), reply.substr(body + 4)};
}

int freeTcpPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0) {
    port = ntohs(a.sin_port);
  }
  ::close(fd);
  return port;
}

bool PrometheusServer::available() { return ::access(kBinary, X_OK) == 0; }

bool PrometheusServer::start(const std::vector<std::string>& targets, const std::string& rulesFile) {
  char pattern[] = "/tmp/vexil-prometheus-XXXXXX";
  if (!::mkdtemp(pattern)) {
    error_ = "cannot make a folder for the server";
    return false;
  }
  folder_ = pattern;
  std::ofstream config(folder_ + "/prometheus.yml");
  config << "global:\n  scrape_interval: 1s\n  scrape_timeout: 900ms\n  evaluation_interval: 1s\n";
  if (!rulesFile.empty()) config << "rule_files:\n  - '" << rulesFile << "'\n";
  config << "scrape_configs:\n  - job_name: vexil\n    static_configs:\n      - targets: [";
  for (std::size_t i = 0; i < targets.size(); ++i) config << (i ? ", '" : "'") << targets[i] << "'";
  config << "]\n";
  config.close();

  port_ = freeTcpPort();
  const std::string configArg = "--config.file=" + folder_ + "/prometheus.yml";
  const std::string storageArg = "--storage.tsdb.path=" + folder_ + "/data";
  const std::string listenArg = "--web.listen-address=127.0.0.1:" + std::to_string(port_);
  const std::string logPath = folder_ + "/server.log";
  pid_ = ::fork();
  if (pid_ == 0) {
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(log, 1);
    ::dup2(log, 2);
    ::execl(kBinary, kBinary, configArg.c_str(), storageArg.c_str(), listenArg.c_str(),
            "--log.level=warn", "--web.enable-lifecycle", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto until = std::chrono::steady_clock::now() + kReadyWait;
  while (std::chrono::steady_clock::now() < until) {
    if (httpGet(port_, "/-/ready").first == 200) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "prometheus ended at start: " + log();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  error_ = "prometheus not ready within 30 s: " + log();
  return false;
}

void PrometheusServer::stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    const auto until = std::chrono::steady_clock::now() + kStopWait;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > until) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    pid_ = -1;
  }
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    folder_.clear();
  }
}

std::string PrometheusServer::log() const {
  std::ifstream in(folder_ + "/server.log");
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

PromAnswer PrometheusServer::get(const std::string& pathAndQuery) const {
  PromAnswer answer;
  const auto [status, body] = httpGet(port_, pathAndQuery);
  const auto json = JsonReader::parse(body);
  if (!json) {
    answer.error = "HTTP " + std::to_string(status) + ", not JSON: " + body.substr(0, 200);
    return answer;
  }
  const JsonValue* state = json->find("status");
  if (!state || state->text != "success") {
    const JsonValue* why = json->find("error");
    answer.error = why ? why->text : "status " + std::to_string(status);
    return answer;
  }
  answer.ok = true;
  const JsonValue* data = json->find("data");
  const JsonValue* result = data ? data->find("result") : nullptr;
  if (!result) return answer;
  for (const JsonValue& item : result->items) {
    PromSeries s;
    if (const JsonValue* metric = item.find("metric"))
      for (std::size_t i = 0; i < metric->keys.size(); ++i) s.labels[metric->keys[i]] = metric->values[i].text;
    if (const JsonValue* value = item.find("value"); value && value->items.size() == 2) {
      s.value = numberOf(value->items[1]);
      s.samples = 1;
    } else if (const JsonValue* values = item.find("values"); values && !values->items.empty()) {
      s.value = numberOf(values->items.back().items.at(1));
      s.samples = values->items.size();
    }
    answer.series.push_back(std::move(s));
  }
  return answer;
}

PromAnswer PrometheusServer::query(const std::string& expr) const {
  return get("/api/v1/query?query=" + urlEncoded(expr));
}

PromAnswer PrometheusServer::queryRange(const std::string& expr,
                                        std::chrono::system_clock::time_point from) const {
  const auto seconds = [](std::chrono::system_clock::time_point t) {
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count());
  };
  return get("/api/v1/query_range?query=" + urlEncoded(expr) + "&start=" + seconds(from) +
             "&end=" + seconds(std::chrono::system_clock::now()) + "&step=1");
}

}  // namespace vexil::testing
