// vexil-flood-bench: the answer-to-outcome time of status queries while oversize
// datagrams (1501-9000 bytes, which the engine must discard) pour into the host port
// during the wait, beside the same figure without them. The emulator on 127.0.0.1
// delays each answer by 5 ms so that it lands in the middle of the flood; a second
// thread sends the flood from its own socket from the moment the request is out until
// the dispatch. Runs until 100k oversize datagrams (--flood N) have been sent during
// waits. Prints p50/p99/max of answer accepted -> outcome and of request sent ->
// outcome, how many transactions lost their answer (time-outs), and how many datagrams
// the kernel dropped meanwhile because a receive buffer was full.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchOptions.h"
#include "messaging/PlainEngineHost.h"
#include "messaging/TransactionEngine.h"
#include "sim/DeviceEmulator.h"

using namespace vexil;
using namespace std::chrono_literals;
using Clock = EngineClock;

namespace {

constexpr const char* kLoopback = "127.0.0.1";
constexpr auto kAnswerDelay = 5ms;
constexpr std::size_t kSmallestOversize = 1501;
constexpr std::size_t kLargestOversize = 9000;
// About 15 000 datagrams a second, so that some hundred arrive in each wait: before the
// answer, with it and during the 5 ms after it.
constexpr int kBurst = 2;          // datagrams sent back to back ...
constexpr auto kBurstGap = 100us;  // ... then this pause
constexpr int kMostTransactions = 20000;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Summary {
  double p50 = 0, p99 = 0, max = 0;
};

Summary summarise(std::vector<double> v) {
  if (v.empty()) return {};
  std::sort(v.begin(), v.end());
  const auto at = [&](double q) {
    return v[std::min(v.size() - 1, static_cast<std::size_t>(q * (v.size() - 1) + 0.5))];
  };
  return {at(0.50), at(0.99), v.back()};
}

// Sends oversize datagrams to the port it is given, for as long as it is given one.
class Flooder {
 public:
  Flooder() : fd_(socket(AF_INET, SOCK_DGRAM, 0)), thread_([this] { run(); }) {}
  ~Flooder() {
    {
      std::lock_guard guard(lock_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
    close(fd_);
  }
  void start(std::uint16_t port) {
    {
      std::lock_guard guard(lock_);
      port_ = port;
    }
    changed_.notify_all();
  }
  /// Stops the flood; returns how many datagrams went out since start().
  std::size_t stop() {
    std::unique_lock guard(lock_);
    port_ = 0;
    idle_.wait(guard, [this] { return !sending_; });
    const std::size_t n = sent_;
    sent_ = 0;
    return n;
  }

 private:
  void run() {
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::size_t> size(kSmallestOversize, kLargestOversize);
    std::vector<std::uint8_t> payload(kLargestOversize, 0x5A);
    for (;;) {
      sockaddr_in to{};
      {
        std::unique_lock guard(lock_);
        sending_ = false;
        idle_.notify_all();
        changed_.wait(guard, [this] { return quit_ || port_ != 0; });
        if (quit_) return;
        sending_ = true;
        to.sin_family = AF_INET;
        to.sin_port = htons(port_);
        inet_pton(AF_INET, kLoopback, &to.sin_addr);
      }
      for (;;) {
        for (int i = 0; i < kBurst; ++i) {
          if (sendto(fd_, payload.data(), size(rng), 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof to) > 0)
            sent_.fetch_add(1);
        }
        std::this_thread::sleep_for(kBurstGap);
        std::lock_guard guard(lock_);
        if (port_ == 0 || quit_) break;
      }
    }
  }

  int fd_;
  std::mutex lock_;
  std::condition_variable changed_, idle_;
  std::uint16_t port_ = 0;
  bool quit_ = false;
  bool sending_ = false;
  std::atomic<std::size_t> sent_{0};
  std::thread thread_;
};

struct Run {
  std::vector<double> acceptedToOutcome;
  std::vector<double> sentToOutcome;
  std::size_t timeouts = 0;
  std::size_t flood = 0;  // oversize datagrams sent during the waits
};

// Transactions until `floodTarget` oversize datagrams have been sent during the waits,
// or `transactions` of them when there is no flood.
Run measure(sim::DeviceEmulator& device, Flooder* flooder, std::size_t floodTarget,
            int transactions) {
  PlainEngineHost host;
  TransactionEngine engine(host);
  engine.SetHostPort(0);
  engine.SetDevicePort(device.port());
  bool done = false;
  Clock::time_point outcomeAt;
  const auto record = [&](const Answer&) {
    outcomeAt = Clock::now();
    done = true;
  };
  engine.setOutcome(TransactionState::QueryStatusAnswered, record);
  engine.setOutcome(TransactionState::QueryStatusSent, record);

  Run run;
  for (int i = 0; i < kMostTransactions; ++i) {
    if (flooder ? run.flood >= floodTarget : i >= transactions) break;
    done = false;
    const Clock::time_point sentAt = Clock::now();
    if (!engine.BeginTransaction(TransactionState::QueryStatusSent, StatusQuery(), kLoopback)) {
      std::fprintf(stderr, "send failed: %s\n", engine.lastError().c_str());
      std::exit(1);
    }
    if (flooder) flooder->start(engine.boundPort());
    host.runUntil([&] { return done; }, 3s);
    if (flooder) run.flood += flooder->stop();
    if (!done || !engine.answerAcceptedAt() ||
        engine.state() != TransactionState::QueryStatusAnswered) {
      ++run.timeouts;
      continue;
    }
    run.acceptedToOutcome.push_back(ms(outcomeAt - *engine.answerAcceptedAt()));
    run.sentToOutcome.push_back(ms(outcomeAt - sentAt));
  }
  return run;
}

void print(const char* what, const Run& run) {
  const Summary a = summarise(run.acceptedToOutcome);
  const Summary s = summarise(run.sentToOutcome);
  std::printf("%s: %zu transactions, %zu oversize datagrams during the waits, %zu time-outs\n",
              what, run.acceptedToOutcome.size() + run.timeouts, run.flood, run.timeouts);
  std::printf("  answer accepted -> outcome   p50 %7.3f ms   p99 %7.3f ms   max %7.3f ms\n", a.p50,
              a.p99, a.max);
  std::printf("  request sent    -> outcome   p50 %7.3f ms   p99 %7.3f ms   max %7.3f ms\n", s.p50,
              s.p99, s.max);
}

// The kernel's count of UDP datagrams dropped for a full receive buffer, all sockets
// together (Linux), or -1 when it cannot be read.
long long receiveBufferDrops() {
  std::ifstream snmp("/proc/net/snmp");
  std::string names, values;
  while (std::getline(snmp, names) && std::getline(snmp, values)) {
    if (names.rfind("Udp:", 0) != 0) continue;
    std::istringstream n(names), v(values);
    std::string name, value;
    while (n >> name && v >> value)
      if (name == "RcvbufErrors") return std::stoll(value);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
    std::puts(
        "Usage: vexil-flood-bench [--flood N] [--quiet-transactions N]\n"
        "Answer-to-outcome times of status queries on 127.0.0.1 while N oversize\n"
        "datagrams (default 100000) arrive during the waits, and without them.");
    return 0;
  }
  const auto floodTarget = static_cast<std::size_t>(vexil::bench::optionValue(argc, argv, "--flood", 100000));
  const int quiet = static_cast<int>(vexil::bench::optionValue(argc, argv, "--quiet-transactions", 1000));

  sim::DeviceEmulator device;
  if (!device.start(kLoopback, 0)) {
    std::fprintf(stderr, "emulator: %s\n", device.error().c_str());
    return 1;
  }
  sim::Faults late;
  late.delay = kAnswerDelay;
  device.setFaults(late);

  print("without flood", measure(device, nullptr, 0, quiet));
  Flooder flooder;
  const long long dropsBefore = receiveBufferDrops();
  const Run flooded = measure(device, &flooder, floodTarget, 0);
  const long long dropsAfter = receiveBufferDrops();
  print("with flood", flooded);
  if (dropsBefore >= 0 && dropsAfter >= 0)
    std::printf("  datagrams dropped for a full receive buffer meanwhile (all UDP sockets): %lld\n",
                dropsAfter - dropsBefore);
  return 0;
}
