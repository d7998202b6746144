// vexil-bench: the transaction engine against the device emulator on loopback.
// Prints the answer-to-outcome and send-to-time-out latencies (p50/p99/max) and the
// rate of back-to-back status queries beside a bare socket loop that waits the same
// 5 ms after each answer, which is the most any engine could achieve.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchOptions.h"
#include "messaging/PlainEngineHost.h"
#include "messaging/TransactionEngine.h"
#include "sim/DeviceEmulator.h"

using namespace vexil;
using Clock = EngineClock;

namespace {

constexpr const char* kLoopback = "127.0.0.1";

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Summary {
  double p50, p99, max;
};

Summary summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const auto at = [&](double q) {
    return v[std::min(v.size() - 1, static_cast<std::size_t>(q * (v.size() - 1) + 0.5))];
  };
  return {at(0.50), at(0.99), v.back()};
}

void print(const char* what, const Summary& s, std::size_t n) {
  std::printf("%-34s n=%-5zu p50 %8.3f ms   p99 %8.3f ms   max %8.3f ms\n", what, n, s.p50,
              s.p99, s.max);
}

// Answer-to-outcome: from the listener's acceptance of the answer to the outcome.
std::vector<double> answerToOutcome(sim::DeviceEmulator& device, int count) {
  PlainEngineHost host;
  TransactionEngine engine(host);
  engine.SetHostPort(0);
  engine.SetDevicePort(device.port());
  std::vector<double> samples;
  bool done = false;
  Clock::time_point outcomeAt;
  engine.setOutcome(TransactionState::QueryStatusAnswered, [&](const Answer&) {
    outcomeAt = Clock::now();
    done = true;
  });
  for (int i = 0; i < count; ++i) {
    done = false;
    if (!engine.BeginTransaction(TransactionState::QueryStatusSent, StatusQuery(), kLoopback)) {
      std::fprintf(stderr, "send failed: %s\n", engine.lastError().c_str());
      std::exit(1);
    }
    if (!host.runUntil([&] { return done; }, std::chrono::seconds(2)) || !engine.answerAcceptedAt()) {
      std::fprintf(stderr, "no answer in transaction %d\n", i);
      std::exit(1);
    }
    samples.push_back(ms(outcomeAt - *engine.answerAcceptedAt()));
  }
  return samples;
}

// Send-to-time-out: a silent device; from the end of the send to the outcome.
std::vector<double> sendToTimeout(sim::DeviceEmulator& device, int count) {
  sim::Faults silent;
  silent.silent = true;
  device.setFaults(silent);
  PlainEngineHost host;
  TransactionEngine engine(host);
  engine.SetHostPort(0);
  engine.SetDevicePort(device.port());
  std::vector<double> samples;
  bool done = false;
  Clock::time_point outcomeAt;
  engine.setOutcome(TransactionState::QueryStatusSent, [&](const Answer&) {
    outcomeAt = Clock::now();
    done = true;
  });
  for (int i = 0; i < count; ++i) {
    done = false;
    engine.BeginTransaction(TransactionState::QueryStatusSent, StatusQuery(), kLoopback);
    const Clock::time_point sentAt = Clock::now();
    host.runUntil([&] { return done; }, std::chrono::seconds(3));
    samples.push_back(ms(outcomeAt - sentAt));
  }
  device.setFaults({});
  return samples;
}

// Back-to-back status queries through the engine: the next begins from the outcome.
double engineRate(sim::DeviceEmulator& device, int count) {
  PlainEngineHost host;
  TransactionEngine engine(host);
  engine.SetHostPort(0);
  engine.SetDevicePort(device.port());
  int completed = 0;
  engine.setOutcome(TransactionState::QueryStatusAnswered, [&](const Answer&) {
    if (++completed < count)
      engine.BeginTransaction(TransactionState::QueryStatusSent, StatusQuery(), kLoopback);
  });
  const Clock::time_point start = Clock::now();
  engine.BeginTransaction(TransactionState::QueryStatusSent, StatusQuery(), kLoopback);
  host.runUntil([&] { return completed >= count; }, std::chrono::seconds(60));
  return completed / std::chrono::duration<double>(Clock::now() - start).count();
}

// The same exchange on a bare blocking socket, waiting 5 ms after each answer.
double bareRate(sim::DeviceEmulator& device, int count) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(device.port());
  inet_pton(AF_INET, kLoopback, &to.sin_addr);
  timeval wait{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  std::vector<std::uint8_t> buffer(65536);
  const Frame& query = StatusQuery();
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < count; ++i) {
    sendto(fd, query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (recv(fd, buffer.data(), buffer.size(), 0) <= 0) break;
    std::this_thread::sleep_until(Clock::now() + kCompletionDelay);
  }
  const double rate = count / std::chrono::duration<double>(Clock::now() - start).count();
  close(fd);
  return rate;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
    std::puts("Usage: vexil-bench [--answers N] [--timeouts N] [--rate N]\n"
              "Measures the transaction engine against the emulator on 127.0.0.1.");
    return 0;
  }
  const int answers = static_cast<int>(vexil::bench::optionValue(argc, argv, "--answers", 500));
  const int timeouts = static_cast<int>(vexil::bench::optionValue(argc, argv, "--timeouts", 10));
  const int rateCount = static_cast<int>(vexil::bench::optionValue(argc, argv, "--rate", 300));

  sim::DeviceEmulator device;
  if (!device.start(kLoopback, 0)) {
    std::fprintf(stderr, "emulator: %s\n", device.error().c_str());
    return 1;
  }
  const auto a = answerToOutcome(device, answers);
  print("answer -> outcome", summarise(a), a.size());
  const auto t = sendToTimeout(device, timeouts);
  print("send -> time-out outcome", summarise(t), t.size());
  std::printf("%-34s %.1f ms (never before 1000 ms)\n", "earliest time-out outcome",
              *std::min_element(t.begin(), t.end()));
  const double bare = bareRate(device, rateCount);
  const double engine = engineRate(device, rateCount);
  std::printf("%-34s %8.1f /s\n", "bare socket loop (+5 ms)", bare);
  std::printf("%-34s %8.1f /s  (%.1f %% of the bare loop)\n", "engine back-to-back queries", engine,
              100.0 * engine / bare);
  return 0;
}
