// The stream check's metrics: counters that follow the analyser's totals (also across
// a reset), per-PID series, and /metrics served over HTTP while vexilctl stream-check
// listens.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <sstream>
#include <thread>

#include "tests/ctl/CtlTestSupport.h"
#include "watch/StreamMetrics.h"

namespace vexil::watch {
namespace {

using namespace std::chrono_literals;
using stream::Indicator;
using stream::indexOf;
using vexil::testing::contains;

std::string text(prometheus::Registry& r) {
  return prometheus::TextSerializer().Serialize(r.Collect());
}

stream::StreamSnapshot snapshot(std::uint64_t cc, std::uint64_t packets) {
  stream::StreamSnapshot s;
  s.totals.packets = packets;
  s.totals.noStream = false;
  s.totals.indicators[indexOf(Indicator::ContinuityCountError)] = cc;
  s.totals.applicable[indexOf(Indicator::ContinuityCountError)] = true;
  stream::PidCounts pid;
  pid.pid = 256;
  pid.packets = packets;
  pid.continuityErrors = cc;
  s.pids.push_back(pid);
  return s;
}

TEST(StreamMetrics, CountersFollowTheTotalsAndSurviveAReset) {
  prometheus::Registry r;
  StreamMetrics m(r);
  m.update(snapshot(3, 1000));
  m.update(snapshot(5, 1500));
  std::string t = text(r);
  EXPECT_TRUE(contains(t, "vexil_stream_indicator_errors_total{indicator=\"continuity_count_error\",priority=\"1\"} 5")) << t;
  EXPECT_TRUE(contains(t, "vexil_stream_indicator_errors_total{indicator=\"crc_error\",priority=\"2\"} 0"));
  EXPECT_TRUE(contains(t, "vexil_stream_indicator_applicable{indicator=\"continuity_count_error\",priority=\"1\"} 1"));
  EXPECT_TRUE(contains(t, "vexil_stream_indicator_applicable{indicator=\"pcr_accuracy_error\",priority=\"2\"} 0"));
  EXPECT_TRUE(contains(t, "vexil_stream_pid_packets_total{pid=\"256\"} 1500"));
  EXPECT_TRUE(contains(t, "vexil_stream_pid_continuity_errors_total{pid=\"256\"} 5"));
  EXPECT_TRUE(contains(t, "vexil_stream_up 1"));
  // The analyser was reset (Listen, Reset) and counted 2 more: the counter never falls.
  m.update(snapshot(2, 100));
  t = text(r);
  EXPECT_TRUE(contains(t, "vexil_stream_indicator_errors_total{indicator=\"continuity_count_error\",priority=\"1\"} 7")) << t;
  EXPECT_TRUE(contains(t, "vexil_stream_packets_total 1600"));
}

int freeTcpPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

std::string httpGet(int port, const std::string& path) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string body;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const std::string request = "GET " + path + " HTTP/1.0\r\n\r\n";
    if (::send(fd, request.data(), request.size(), 0) > 0) {
      char buffer[8192];
      for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) body.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return body;
}

TEST(StreamCheckMetrics, ServedWhileListeningAndSilenceShowsAsNoStream) {
  const int port = freeTcpPort();
  const int streamPort = freeTcpPort();  // any free number serves as the UDP port too
  vexil::testing::CtlRun run;
  std::thread check([&] {
    run = vexil::testing::runCtl({"stream-check", "--port", std::to_string(streamPort), "--seconds",
                                  "2.5", "--metrics", "127.0.0.1:" + std::to_string(port)});
  });
  std::string page;
  for (int i = 0; i < 40 && !contains(page, "vexil_stream_up"); ++i) {
    std::this_thread::sleep_for(100ms);
    page = httpGet(port, "/metrics");
  }
  std::this_thread::sleep_for(1200ms);  // past a sample taken after the first second
  page = httpGet(port, "/metrics");
  check.join();
  EXPECT_TRUE(contains(page, "200 OK")) << page;
  EXPECT_TRUE(contains(page, "vexil_stream_up 0")) << page;
  EXPECT_TRUE(contains(page, "vexil_stream_packets_total 0"));
  EXPECT_EQ(run.exit, 1) << "nothing arrived: the check fails";
  EXPECT_TRUE(contains(run.err, "metrics at http://127.0.0.1:" + std::to_string(port))) << run.err;
}

TEST(StreamCheckMetrics, AWrongOrTakenAddressIsAUsageError) {
  auto r = vexil::testing::runCtl({"stream-check", "--port", "5000", "--seconds", "1", "--metrics", "nowhere:1"});
  EXPECT_EQ(r.exit, 2) << r.err;
  const int taken = freeTcpPort();
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(taken));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(fd, 1), 0);
  r = vexil::testing::runCtl({"stream-check", "--port", "5000", "--seconds", "1", "--metrics",
                              "127.0.0.1:" + std::to_string(taken)});
  ::close(fd);
  EXPECT_EQ(r.exit, 2) << r.err;
  EXPECT_TRUE(contains(r.err, "cannot serve metrics")) << r.err;
}

}  // namespace
}  // namespace vexil::watch
