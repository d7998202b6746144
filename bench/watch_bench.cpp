// vexil-watch-bench: vexilctl watch over many emulated boards, measured from outside
// the watch. The emulators run in this process; the watch runs as its own process, so
// its CPU time (utime + stime from /proc) and resident memory are its own. While it
// runs, /metrics is scraped over HTTP and each scrape timed from here.
//
//   vexil-watch-bench --boards 256 --seconds 60 --interval-ms 1000 --scrapes 20
//                     [--metrics-port P] [--vexilctl PATH]
//
// Prints the watch's CPU as a share of one core, its RSS at the start and the end, the
// scrape times, the pace the watch reports (late rounds, worst round) and the machine's
// load average, so a figure is never read without the conditions it was taken under.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchOptions.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long utime = 0;
  unsigned long stime = 0;
  // Fields after the command: state(3) ... utime is field 14, stime 15.
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoul(field);
    if (i == 15) stime = std::stoul(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long rssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

// One HTTP GET of /metrics on loopback; the time to the last byte, or a negative time.
double scrapeMs(int port, std::size_t& bytes) {
  const auto start = Clock::now();
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    ::close(fd);
    return -1;
  }
  const std::string request = "GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  if (::send(fd, request.data(), request.size(), 0) < 0) {
    ::close(fd);
    return -1;
  }
  char buffer[65536];
  bytes = 0;
  for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) bytes += static_cast<std::size_t>(n);
  ::close(fd);
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const long boards = vexil::bench::optionValue(argc, argv, "--boards", 256);
  const long seconds = vexil::bench::optionValue(argc, argv, "--seconds", 60);
  const long intervalMs = vexil::bench::optionValue(argc, argv, "--interval-ms", 1000);
  const long scrapes = vexil::bench::optionValue(argc, argv, "--scrapes", 20);
  const long rssEvery = vexil::bench::optionValue(argc, argv, "--rss-every", 60);
  std::string vexilctl = "vexilctl";
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--vexilctl") vexilctl = argv[i + 1];

  std::vector<std::unique_ptr<vexil::sim::DeviceEmulator>> rack;
  const std::string devices = "/tmp/vexil-watch-bench-" + std::to_string(::getpid()) + ".txt";
  {
    std::ofstream list(devices);
    // Boards that answer but send no stream: the watch is measured, not 256 senders.
    vexil::sim::DeviceState quiet = vexil::sim::defaultDeviceState();
    for (vexil::sim::InputChannel& in : quiet.inputs) in.state = 0;
    for (long i = 0; i < boards; ++i) {
      rack.push_back(std::make_unique<vexil::sim::DeviceEmulator>(quiet));
      if (!rack.back()->start("127.0.0.1", 0)) {
        std::fprintf(stderr, "emulator %ld: %s\n", i, rack.back()->error().c_str());
        return 2;
      }
      list << "127.0.0.1:" << rack.back()->port() << "\n";
    }
  }
  // A fixed port lets a Prometheus server scrape the same watch side by side.
  const long chosenPort = vexil::bench::optionValue(argc, argv, "--metrics-port", 0);
  const int metricsPort = chosenPort > 0 ? static_cast<int>(chosenPort) : vexil::freeLoopbackPort();
  const std::string metrics = "127.0.0.1:" + std::to_string(metricsPort);
  const std::string interval = std::to_string(intervalMs / 1000.0);
  const std::string duration = std::to_string(seconds);
  int out[2];
  if (::pipe(out) != 0) return 2;
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    ::execlp(vexilctl.c_str(), vexilctl.c_str(), "--devices", devices.c_str(), "--json", "watch",
             "--interval", interval.c_str(), "--duration", duration.c_str(), "--metrics",
             metrics.c_str(), "--alarm-crc", "0", static_cast<char*>(nullptr));
    std::perror("exec vexilctl");
    ::_exit(127);
  }
  ::close(out[1]);
  std::printf("watch of %ld boards every %ld ms for %ld s; load average at start %s\n", boards,
              intervalMs, seconds, loadAverage().c_str());

  // The first seconds are start-up: the CPU share is taken from then on.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const auto measuredFrom = Clock::now();
  const double cpuFrom = cpuSeconds(child);
  const long rssStart = rssKiB(child);
  std::vector<double> times;
  std::size_t bytes = 0;
  long rssLast = rssStart;
  std::vector<long> rssSeries;
  const auto end = Clock::now() + std::chrono::seconds(seconds - 3);
  const auto scrapeGap = std::chrono::milliseconds(std::max<long>(100, (seconds - 4) * 1000 / std::max<long>(scrapes, 1)));
  auto nextScrape = Clock::now();
  auto nextRss = Clock::now() + std::chrono::seconds(rssEvery);
  double cpuTo = cpuFrom;
  auto measuredTo = measuredFrom;
  while (Clock::now() < end) {
    if (Clock::now() >= nextScrape && static_cast<long>(times.size()) < scrapes) {
      const double ms = scrapeMs(metricsPort, bytes);
      if (ms >= 0) times.push_back(ms);
      nextScrape += scrapeGap;
    }
    if (Clock::now() >= nextRss) {
      rssSeries.push_back(rssKiB(child));
      nextRss += std::chrono::seconds(rssEvery);
    }
    cpuTo = cpuSeconds(child);
    measuredTo = Clock::now();
    rssLast = rssKiB(child);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::string summary;
  char buffer[65536];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) summary.append(buffer, static_cast<std::size_t>(n));
  int status = 0;
  ::waitpid(child, &status, 0);
  const double wall = std::chrono::duration<double>(measuredTo - measuredFrom).count();
  std::printf("watch CPU: %.2f %% of one core over %.1f s\n", 100.0 * (cpuTo - cpuFrom) / wall, wall);
  std::printf("watch RSS: %ld KiB after start-up, %ld KiB at the end\n", rssStart, rssLast);
  if (!rssSeries.empty()) {
    std::printf("watch RSS every %ld s:", rssEvery);
    for (long r : rssSeries) std::printf(" %ld", r);
    std::printf(" KiB\n");
  }
  if (!times.empty()) {
    std::sort(times.begin(), times.end());
    std::printf("scrape of /metrics (%zu bytes): median %.2f ms, worst %.2f ms over %zu scrapes\n", bytes,
                times[times.size() / 2], times.back(), times.size());
  } else {
    std::printf("scrape of /metrics: no scrape succeeded\n");
  }
  std::printf("watch exit status %d; load average at end %s\n",
              WIFEXITED(status) ? WEXITSTATUS(status) : -1, loadAverage().c_str());
  // The pace as the watch reports it: rounds, late rounds, worst round.
  for (const char* key : {"\"rounds\"", "\"late_rounds\"", "\"worst_round_ms\"", "\"worst_start_delay_ms\""}) {
    const std::size_t at = summary.rfind(key);
    if (at == std::string::npos) continue;
    const std::size_t from = at + std::string(key).size() + 1;
    std::printf("%s %s\n", key, summary.substr(from, summary.find_first_of(",}", from) - from).c_str());
  }
  std::remove(devices.c_str());
  return WIFEXITED(status) && WEXITSTATUS(status) <= 1 ? 0 : 1;
}
