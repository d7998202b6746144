// A real Prometheus server scrapes vexilctl watch over emulated boards, each told to do
// something else, and vexilctl stream-check over a stream with transport errors; its
// query API must give back what the emulators were told. Then every expression of the
// shipped Grafana dashboard and alerting rules is evaluated on that server over the
// run: each must parse and return something.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "messaging/UdpEndpoint.h"
#include "tests/stream/MiniJson.h"
#include "tests/watch/PrometheusServer.h"
#include "tests/support/ChildProcess.h"

namespace vexil::testing {
namespace {

using namespace std::chrono_literals;
using stream::testing::JsonReader;
using stream::testing::JsonValue;

// A program run for the test, its output dropped, stopped (SIGTERM) when the test ends.
using Child = ::vexil::testing::ChildProcess;

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every PromQL expression of the dashboard: its panels' targets, and the selectors its
// variables list labels of, with Grafana's variables put in as Grafana would.
std::vector<std::string> dashboardExpressions(const std::string& path) {
  const auto dash = JsonReader::parse(readFile(path));
  EXPECT_TRUE(dash) << path << " is not JSON";
  std::vector<std::string> exprs;
  if (!dash) return exprs;
  const auto grafana = [](std::string e) {
    e = std::regex_replace(e, std::regex(R"(\$__rate_interval)"), "5s");
    e = std::regex_replace(e, std::regex(R"(\$(board|channel))"), ".*");
    return e;
  };
  for (const JsonValue& panel : dash->find("panels")->items) {
    if (const JsonValue* targets = panel.find("targets"))
      for (const JsonValue& t : targets->items) exprs.push_back(grafana(t.find("expr")->text));
  }
  const std::regex labelValues(R"(label_values\((.*),\s*\w+\))");
  for (const JsonValue& v : dash->find("templating")->find("list")->items) {
    const JsonValue* q = v.find("query");
    if (!q || q->kind != JsonValue::Kind::Object) continue;
    std::smatch m;
    const std::string text = q->find("query")->text;
    if (std::regex_match(text, m, labelValues)) exprs.push_back(grafana(m[1]));
  }
  return exprs;
}

// Every rule's expression of the alerting rules (one "expr:" line each).
std::vector<std::string> ruleExpressions(const std::string& path) {
  std::vector<std::string> exprs;
  std::istringstream in(readFile(path));
  for (std::string line; std::getline(in, line);) {
    const std::size_t at = line.find("expr: ");
    if (at != std::string::npos && line.find_first_not_of(' ') == at) exprs.push_back(line.substr(at + 6));
  }
  return exprs;
}

const PromSeries* seriesOf(const PromAnswer& a, const std::string& board) {
  for (const PromSeries& s : a.series)
    if (s.labels.count("board") && s.labels.at("board") == board) return &s;
  return nullptr;
}

TEST(PrometheusScrape, TheServerSeesWhatTheEmulatorsWereToldAndEveryShippedExpressionWorks) {
  if (!PrometheusServer::available()) GTEST_SKIP() << "no " << PrometheusServer::kBinary;
  const int pa = freeLoopbackPort(), pb = freeLoopbackPort(), pc = freeLoopbackPort(),
            pd = freeLoopbackPort(), streamPort = freeLoopbackPort();
  const std::string a = "127.0.0.1:" + std::to_string(pa), b = "127.0.0.1:" + std::to_string(pb),
                    c = "127.0.0.1:" + std::to_string(pc);
  const auto sim = [](int port, std::vector<std::string> more) {
    std::vector<std::string> args = {VEXIL_SIM_PATH, "--port", std::to_string(port)};
    args.insert(args.end(), more.begin(), more.end());
    return std::make_unique<Child>(args);
  };
  // The server is up and scraping before the boards' clocks start, so a slow start of
  // the server (a loaded machine, a sanitizer build) cannot miss the first events.
  const int watchMetrics = freeTcpPort();
  const int streamMetrics = freeTcpPort();
  PrometheusServer server;
  ASSERT_TRUE(server.start({"127.0.0.1:" + std::to_string(watchMetrics), "127.0.0.1:" + std::to_string(streamMetrics)},
                           VEXIL_SOURCE_DIR "/packaging/prometheus/vexil-alerts.yml"))
      << server.error();

  // A wanders and overflows; B's CRC counter runs at 20 a second, its first input sends
  // with no input rate until it stops, its link changes and it is reset; C goes silent;
  // D sends a stream with a transport error in every 50th packet.
  auto boardA = sim(pa, {"--dynamics", "--crc-rate", "0", "--overflow-at", "7"});
  auto boardB = sim(pb, {"--crc-rate", "20", "--ts-rate", "1=0", "--stop-channel-at", "9:1",
                         "--link-at", "6:3", "--reset-at", "10"});
  auto boardC = sim(pc, {"--crc-rate", "0", "--silent-at", "3", "--silent-for", "100"});
  auto boardD = sim(pd, {"--ts-tei", "50"});
  const auto started = std::chrono::system_clock::now();
  std::this_thread::sleep_for(200ms);

  const std::string devices = ::testing::TempDir() + "prometheus-boards-" + std::to_string(::getpid());
  std::ofstream(devices) << a << "\n" << b << "\n" << c << "\n";
  Child watch({VEXILCTL_PATH, "--devices", devices, "watch", "--interval", "0.5", "--duration", "18",
               "--metrics", "127.0.0.1:" + std::to_string(watchMetrics)});
  Child check({VEXILCTL_PATH, "stream-check", "--port", std::to_string(streamPort), "--seconds", "18",
               "--metrics", "127.0.0.1:" + std::to_string(streamMetrics)});

  const std::string d = "127.0.0.1:" + std::to_string(pd);
  Child route({VEXILCTL_PATH, "--device", d, "send-ts", "--dest", "127.0.0.1:" + std::to_string(streamPort),
               "--source", "1"});
  EXPECT_EQ(route.wait(), 0);
  std::this_thread::sleep_until(started + 9s);
  Child unroute({VEXILCTL_PATH, "--device", d, "stop-ts", "1"});
  EXPECT_EQ(unroute.wait(), 0);
  std::this_thread::sleep_until(started + 15s);

  // Board up: A and B answer, C has been silent since 3 s.
  const PromAnswer up = server.query("vexil_board_up");
  ASSERT_TRUE(up.ok) << up.error;
  ASSERT_EQ(up.series.size(), 3u) << server.log();
  EXPECT_EQ(seriesOf(up, a)->value, 1);
  EXPECT_EQ(seriesOf(up, b)->value, 1);
  EXPECT_EQ(seriesOf(up, c)->value, 0);
  const PromAnswer answered = server.query("vexil_board_answers_total");
  ASSERT_NE(seriesOf(answered, c), nullptr);
  EXPECT_GE(seriesOf(answered, c)->value, 4) << "C answered the polls of its first 3 s";
  EXPECT_LE(seriesOf(answered, c)->value, 8);
  const PromAnswer silent = server.query("vexil_watch_alarm_active{alarm=\"silent\"} == 1");
  ASSERT_EQ(silent.series.size(), 1u);
  EXPECT_EQ(silent.series[0].labels.at("board"), c);

  // Buffer usage: A's wandering channel fills 20 to 50 % of its buffer.
  const PromAnswer usage = server.query("vexil_channel_buffer_usage_ratio{channel=\"1\"}");
  ASSERT_NE(seriesOf(usage, a), nullptr);
  EXPECT_GE(seriesOf(usage, a)->value, 0.2);
  EXPECT_LE(seriesOf(usage, a)->value, 0.5);
  EXPECT_TRUE(std::isnan(seriesOf(usage, c)->value)) << "a silent board shows NaN, not its last value";
  const PromAnswer overflowed = server.query("vexil_channel_overflow_since_reset == 1");
  ASSERT_EQ(overflowed.series.size(), 1u);
  EXPECT_EQ(overflowed.series[0].labels.at("board"), a);
  EXPECT_EQ(overflowed.series[0].labels.at("channel"), "1");

  // CRC increments: B counts 20 a second, also after its reset; the others none.
  const PromAnswer crc = server.query("rate(vexil_board_crc_errors_total[4s])");
  ASSERT_NE(seriesOf(crc, b), nullptr);
  EXPECT_NEAR(seriesOf(crc, b)->value, 20, 5);
  EXPECT_EQ(seriesOf(crc, a)->value, 0);
  const PromAnswer resets = server.query("vexil_board_resets_total");
  EXPECT_EQ(seriesOf(resets, b)->value, 1) << "the reset at 10 s, not 65,000 errors";
  EXPECT_EQ(seriesOf(resets, a)->value, 0);
  const PromAnswer link = server.query("vexil_board_link_speed_bits_per_second");
  EXPECT_EQ(seriesOf(link, b)->value, 1e9);
  EXPECT_EQ(seriesOf(link, a)->value, 1e8);

  // The stream check: transport errors counted; the stream stopped at 9 s.
  const PromAnswer tei = server.query("vexil_stream_indicator_errors_total{indicator=\"transport_error\"}");
  ASSERT_EQ(tei.series.size(), 1u);
  EXPECT_GT(tei.series[0].value, 0);
  EXPECT_EQ(tei.series[0].labels.at("priority"), "2");
  const PromAnswer streamUp = server.query("vexil_stream_up");
  ASSERT_EQ(streamUp.series.size(), 1u);
  EXPECT_EQ(streamUp.series[0].value, 0);

  // Every expression of the dashboard and the rules, over the run.
  const auto exprs = dashboardExpressions(VEXIL_SOURCE_DIR "/packaging/grafana/vexil-board-watch.json");
  const auto rules = ruleExpressions(VEXIL_SOURCE_DIR "/packaging/prometheus/vexil-alerts.yml");
  EXPECT_GE(exprs.size(), 15u);
  EXPECT_GE(rules.size(), 10u);
  for (const auto* list : {&exprs, &rules}) {
    for (const std::string& e : *list) {
      const PromAnswer r = server.queryRange(e, started);
      EXPECT_TRUE(r.ok) << e << ": " << r.error;
      EXPECT_FALSE(r.series.empty()) << e << " returned nothing over the run";
    }
  }
  std::remove(devices.c_str());
}

}  // namespace
}  // namespace vexil::testing
