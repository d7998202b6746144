// vexil-fault-soak: many transactions of the engine against the in-process emulator, each
// meeting one fault chosen at random, and each outcome checked against the one that its
// fault implies. Not a test: it runs for minutes. Prints the count of transactions and
// of wrong outcomes for every fault, and each wrong outcome (the first 50 in full);
// exits 1 when any outcome was wrong.
//
// Several workers run side by side, each with its own emulator (its own loopback port)
// and its own engine, so that the one-second waits overlap. Every transaction binds a
// fresh host port (host port 0), and a worker whose request met an answer delayed past
// the time-out waits until that answer has gone before its next request: the emulator
// answers one request at a time, and the late answer must find the old port closed,
// never the next transaction.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchOptions.h"
#include "messaging/Frames.h"
#include "messaging/PlainEngineHost.h"
#include "messaging/TransactionEngine.h"
#include "sim/DeviceEmulator.h"

using namespace vexil;
using namespace std::chrono_literals;
using Clock = EngineClock;

namespace {

constexpr const char* kLoopback = "127.0.0.1";
constexpr std::size_t kReceiveLimit = 1500;
constexpr std::size_t kShortAnswer = 41;
constexpr std::size_t kQvNetAck = 25;
constexpr std::size_t kLargestOversize = 9000;
constexpr auto kLateAnswerMargin = 50ms;  // after a late answer is due, before the next request
constexpr auto kDispatchLimit = 3s;       // no dispatch at all by then is a wrong outcome
constexpr std::size_t kShownWrong = 50;

enum class Fault {
  None,            // the board as it is
  Silent,          // no answer
  DelayUnder,      // the answer 1-50 ms late, one in ten 300-800 ms late
  DelayOver,       // the answer 1100-1400 ms late: after the time-out
  WrongLength,     // the answer cut or zero-filled to another length, 0-1500
  Duplicate,       // the answer and 1-3 copies of it
  OversizeBefore,  // 1-3 datagrams of 1501-9000 bytes, then the answer
  OversizeAnswer,  // the answer zero-filled to 1501-9000 bytes
  OtherPort,       // the answer from another port of the emulator
  JunkBefore,      // 1-2 datagrams of other lengths, then the answer
  Count
};

constexpr std::array<const char*, static_cast<std::size_t>(Fault::Count)> kFaultNames{
    "none",      "silent",          "delay < 1 s",     "delay > 1 s", "wrong length",
    "duplicate", "oversize before", "oversize answer", "other port",  "junk before"};

// Per mille. The faults that end in the one-second time-out are rare, so that a large run
// spends its time on transactions rather than on waits; each still comes a thousand
// times and more in 100k transactions.
constexpr std::array<int, static_cast<std::size_t>(Fault::Count)> kWeights{100, 12,  150, 12,  150,
                                                                           140, 140, 6,   140, 150};

enum class Kind { Status, Instruction, QvNet };

struct Exchange {
  Kind kind;
  TransactionState sent;
  TransactionState answered;
  Frame frame;
  std::size_t answerLength;
  const char* magic;  // what the board's answer starts with
};

// The length of the board's answer to `frame`, as the emulator's model gives it.
std::size_t boardAnswerLength(const Frame& frame) {
  return sim::DeviceModel().handle(frame).size();
}

const std::array<Exchange, 3>& exchanges() {
  static const std::array<Exchange, 3> all{
      Exchange{Kind::Status, TransactionState::QueryStatusSent,
               TransactionState::QueryStatusAnswered, StatusQuery(),
               boardAnswerLength(StatusQuery()), "Palvox"},
      Exchange{Kind::Instruction, TransactionState::GeneralInstructionSent,
               TransactionState::GeneralInstructionAnswered,
               buildFixedFrame(makeUserText(" Set NCO 1"), wire::OpSetNCO,
                               std::array<std::uint8_t, 5>{1, 0, 0x0F, 0x42, 0x40}),
               kShortAnswer, "Palvox"},
      Exchange{Kind::QvNet, TransactionState::QueryQvNetSent, TransactionState::QueryQvNetAnswered,
               QvNetQuery(), kQvNetAck, "QV-Net"}};
  return all;
}

// Whether a datagram of `length` bytes moves the exchange's sent-state on.
bool advances(const Exchange& e, std::size_t length) {
  return e.kind != Kind::Instruction || length == kShortAnswer;
}

struct Planned {
  Fault fault;
  const Exchange* exchange;
  sim::Faults faults;
  std::chrono::milliseconds delay{0};
  std::size_t length = 0;  // WrongLength: the answer's length
};

std::size_t pick(std::mt19937_64& rng, std::size_t lo, std::size_t hi) {
  return std::uniform_int_distribution<std::size_t>(lo, hi)(rng);
}

Planned plan(std::mt19937_64& rng) {
  Planned p{};
  int roll = static_cast<int>(pick(rng, 0, 999));
  std::size_t f = 0;
  while (roll >= kWeights[f]) roll -= kWeights[f++];
  p.fault = static_cast<Fault>(f);
  const std::size_t k = pick(rng, 0, 9);
  p.exchange = &exchanges()[k < 4 ? 0 : k < 8 ? 1 : 2];
  const std::size_t expected = p.exchange->answerLength;

  switch (p.fault) {
    case Fault::None:
    case Fault::Count:
      break;
    case Fault::Silent:
      p.faults.silent = true;
      break;
    case Fault::DelayUnder:
      p.delay =
          std::chrono::milliseconds(pick(rng, 0, 9) == 0 ? pick(rng, 300, 800) : pick(rng, 1, 50));
      p.faults.delay = p.delay;
      break;
    case Fault::DelayOver:
      p.delay = std::chrono::milliseconds(pick(rng, 1100, 1400));
      p.faults.delay = p.delay;
      break;
    case Fault::WrongLength:
      // A quarter of them right beside the expected length, the rest anywhere.
      do {
        p.length =
            pick(rng, 0, 3) == 0 ? expected + pick(rng, 0, 2) - 1 : pick(rng, 0, kReceiveLimit);
      } while (p.length == expected || p.length > kReceiveLimit);
      p.faults.answerLength = p.length;
      break;
    case Fault::Duplicate:
      p.faults.duplicates = static_cast<int>(pick(rng, 1, 3));
      break;
    case Fault::OversizeBefore:
      for (std::size_t n = pick(rng, 1, 3); n > 0; --n)
        p.faults.before.push_back(pick(rng, kReceiveLimit + 1, kLargestOversize));
      break;
    case Fault::OversizeAnswer:
      p.faults.answerLength = pick(rng, kReceiveLimit + 1, kLargestOversize);
      break;
    case Fault::OtherPort:
      p.faults.fromOtherPort = true;
      break;
    case Fault::JunkBefore:
      for (std::size_t n = pick(rng, 1, 2); n > 0; --n) {
        std::size_t size;
        do size = pick(rng, 0, kReceiveLimit);
        while (size == expected || size == kShortAnswer);
        p.faults.before.push_back(size);
      }
      break;
  }
  return p;
}

struct Seen {
  bool dispatched = false;
  TransactionState state = TransactionState::Idle;
  std::size_t length = 0;
  std::vector<std::uint8_t> head;  // the answer's first bytes
  Clock::time_point at;
};

// What the fault implies, or an empty text when the outcome is the right one. `started`
// is taken just before BeginTransaction, so the send completed after it.
std::string judge(const Planned& p, const Seen& seen, bool accepted, Clock::time_point started) {
  const Exchange& e = *p.exchange;
  if (!seen.dispatched) return "no dispatch within 3 s";
  const auto elapsed = seen.at - started;
  const auto ms = [](Clock::duration d) {
    return std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(d).count() /
                          1000.0) +
           " ms";
  };

  const bool timesOut =
      p.fault == Fault::Silent || p.fault == Fault::DelayOver || p.fault == Fault::OversizeAnswer;
  if (timesOut) {
    // Nothing may be accepted: the dispatch comes by the time-out in the sent-state.
    if (seen.state != e.sent)
      return std::string("state ") + stateName(seen.state) + ", expected " + stateName(e.sent);
    if (accepted) return "a datagram was accepted";
    if (elapsed < kAnswerTimeout) return "time-out outcome after only " + ms(elapsed);
    return {};
  }

  // Every other fault ends with an accepted datagram and the 5 ms completion delay.
  if (!accepted) return "no datagram accepted (outcome after " + ms(elapsed) + ")";
  if (elapsed >= kAnswerTimeout) return "outcome only after " + ms(elapsed);
  if (elapsed < p.delay) return "outcome after " + ms(elapsed) + ", before the delayed answer";

  const std::size_t length = p.fault == Fault::WrongLength ? p.length : e.answerLength;
  const TransactionState state = advances(e, length) ? e.answered : e.sent;
  if (seen.state != state)
    return std::string("state ") + stateName(seen.state) + ", expected " + stateName(state);
  if (seen.length != length)
    return "answer of " + std::to_string(seen.length) + " bytes, expected " +
           std::to_string(length);
  if (p.fault != Fault::WrongLength || length >= std::strlen(e.magic)) {
    const std::string head(
        seen.head.begin(),
        seen.head.begin() + std::min<std::size_t>(seen.head.size(), std::strlen(e.magic)));
    if (head != e.magic) return "the answer does not start with " + std::string(e.magic);
  }
  return {};
}

// When things happened, from just before the send: for reading a wrong outcome.
std::string timeline(const Planned& p, const Seen& seen,
                     const std::optional<Clock::time_point>& acceptedAt,
                     Clock::time_point started) {
  const auto ms = [&](Clock::time_point t) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms",
                  std::chrono::duration<double, std::milli>(t - started).count());
    return std::string(text);
  };
  std::string text = " [answer delay " + std::to_string(p.delay.count()) + " ms";
  if (acceptedAt) text += ", first datagram accepted " + ms(*acceptedAt);
  if (seen.dispatched) text += ", outcome " + ms(seen.at);
  return text + "]";
}

struct Tally {
  std::array<std::size_t, static_cast<std::size_t>(Fault::Count)> count{};
  std::array<std::size_t, static_cast<std::size_t>(Fault::Count)> wrong{};
};

struct Shared {
  std::atomic<std::size_t> next{0};
  std::size_t total = 0;
  std::uint64_t seed = 1;
  std::mutex lock;  // guards the two below
  Tally tally;
  std::vector<std::string> wrong;
};

void worker(Shared& shared, int id) {
  sim::DeviceEmulator device;
  if (!device.start(kLoopback, 0)) {
    std::fprintf(stderr, "worker %d: emulator: %s\n", id, device.error().c_str());
    std::exit(2);
  }
  PlainEngineHost host;
  TransactionEngine engine(host);
  engine.SetHostPort(0);  // a fresh port at every activation
  engine.SetDevicePort(device.port());

  // One routine for every state; the state itself is read from the engine after the
  // dispatch, when it no longer changes.
  Seen seen;
  for (std::size_t s = 0; s < kTransactionStateCount; ++s) {
    engine.setOutcome(static_cast<TransactionState>(s), [&seen](const Answer& answer) {
      seen.dispatched = true;
      seen.at = Clock::now();
      seen.length = answer.length();
      const auto bytes = answer.bytes();
      seen.head.assign(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 8));
    });
  }
  std::mt19937_64 rng(shared.seed * 1000003u + static_cast<std::uint64_t>(id));
  Tally mine;
  std::vector<std::string> wrong;

  for (;;) {
    const std::size_t number = shared.next.fetch_add(1);
    if (number >= shared.total) break;
    const Planned p = plan(rng);
    device.setFaults(p.faults);
    seen = Seen{};
    const Clock::time_point started = Clock::now();
    if (!engine.BeginTransaction(p.exchange->sent, p.exchange->frame, kLoopback)) {
      wrong.push_back("#" + std::to_string(number) + ": send failed: " + engine.lastError());
      ++mine.count[static_cast<std::size_t>(p.fault)];
      ++mine.wrong[static_cast<std::size_t>(p.fault)];
      continue;
    }
    host.runUntil([&] { return seen.dispatched; }, kDispatchLimit);
    if (seen.dispatched) seen.state = engine.state();
    const auto acceptedAt = engine.answerAcceptedAt();
    std::string problem = judge(p, seen, acceptedAt.has_value(), started);
    if (!problem.empty()) problem += timeline(p, seen, acceptedAt, started);

    const auto f = static_cast<std::size_t>(p.fault);
    ++mine.count[f];
    if (!problem.empty()) {
      ++mine.wrong[f];
      wrong.push_back("#" + std::to_string(number) + " " + kFaultNames[f] + " (" +
                      stateName(p.exchange->sent) + "): " + problem);
    }
    if (p.fault == Fault::DelayOver)
      std::this_thread::sleep_until(started + p.delay + kLateAnswerMargin);
  }

  std::lock_guard guard(shared.lock);
  for (std::size_t f = 0; f < mine.count.size(); ++f) {
    shared.tally.count[f] += mine.count[f];
    shared.tally.wrong[f] += mine.wrong[f];
  }
  shared.wrong.insert(shared.wrong.end(), wrong.begin(), wrong.end());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
    std::puts(
        "Usage: vexil-fault-soak [--transactions N] [--workers W] [--seed S]\n"
        "Runs N transactions (default 10000) on W engines (default 16), each against\n"
        "its own emulator on 127.0.0.1, with a random fault per transaction, and\n"
        "checks every outcome. Exits 1 when any outcome was wrong.");
    return 0;
  }
  Shared shared;
  shared.total = static_cast<std::size_t>(vexil::bench::optionValue(argc, argv, "--transactions", 10000));
  shared.seed = static_cast<std::uint64_t>(vexil::bench::optionValue(argc, argv, "--seed", 1));
  const int workers = static_cast<int>(vexil::bench::optionValue(argc, argv, "--workers", 16));

  const Clock::time_point start = Clock::now();
  std::vector<std::thread> threads;
  for (int id = 0; id < workers; ++id) threads.emplace_back(worker, std::ref(shared), id);
  for (std::thread& t : threads) t.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  std::size_t total = 0, wrongTotal = 0;
  std::printf("%-16s %10s %8s\n", "fault", "count", "wrong");
  for (std::size_t f = 0; f < shared.tally.count.size(); ++f) {
    std::printf("%-16s %10zu %8zu\n", kFaultNames[f], shared.tally.count[f], shared.tally.wrong[f]);
    total += shared.tally.count[f];
    wrongTotal += shared.tally.wrong[f];
  }
  std::printf("%-16s %10zu %8zu\n", "all", total, wrongTotal);
  std::printf("%zu transactions on %d engines in %.1f s (%.0f /s), seed %llu\n", total, workers,
              seconds, total / seconds, static_cast<unsigned long long>(shared.seed));
  for (std::size_t i = 0; i < shared.wrong.size() && i < kShownWrong; ++i)
    std::printf("WRONG %s\n", shared.wrong[i].c_str());
  if (shared.wrong.size() > kShownWrong)
    std::printf("... and %zu more wrong outcomes\n", shared.wrong.size() - kShownWrong);
  return wrongTotal == 0 ? 0 : 1;
}
