// The emulator on 127.0.0.1, driven by a plain UDP client: scripted faults hit exactly
// the requests they name, the manufacturer set-up's two answers can be played good or
// bad, and a system reset goes unanswered.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"

using namespace vexil::sim;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Long enough for an answer on loopback under a sanitizer, short enough to wait out
// when none is due.
constexpr auto kAnswerWait = 1000ms;
constexpr auto kSilenceWait = 250ms;

Bytes palvox(const std::string& text, const Bytes& instructions) {
  std::string head = "Palvox" + text;
  head.resize(21, ' ');
  Bytes b(head.begin(), head.end());
  b.push_back(0x01);
  b.insert(b.end(), instructions.begin(), instructions.end());
  return b;
}
const Bytes kStatusQuery = palvox("Quenthaven  ACK", {0x03, 0x00, 0x01, 0x01});
const Bytes kConfiguration =
    palvox("Quenthaven  ACK", {0x12, 0x00, 0x0F, 'M', 'a', 'r', 'o', 'v',  'a',  'n',  't',
                               'i',  's',  ' ',  'L', 't', 'd', '.', 0x03, 0x00, 0x01, 0x00});
const Bytes kSystemReset = palvox(" Reset", {0x01, 0x00, 0x02, 0x01, 0x0A, 0x03, 0x00, 0x01, 0x00});

// One fault each.
Faults cutTo(std::size_t length) {
  Faults f;
  f.answerLength = length;
  return f;
}
Faults withOpcode(std::uint8_t opcode) {
  Faults f;
  f.answerOpcode = opcode;
  return f;
}
Faults silence() {
  Faults f;
  f.silent = true;
  return f;
}
Faults lateBy(std::chrono::milliseconds delay) {
  Faults f;
  f.delay = delay;
  return f;
}

std::string userTextOf(const Bytes& answer) {
  return std::string(answer.begin() + 6, answer.begin() + 21);
}
unsigned be16(const Bytes& b, std::size_t at) { return b.at(at) << 8 | b.at(at + 1); }

// The program's side: one socket on loopback that keeps what arrives.
class Client {
 public:
  Client()
      : endpoint_([this](const std::uint8_t* d, std::size_t captured, std::size_t,
                         const std::string&, std::uint16_t) {
          {
            std::lock_guard guard(lock_);
            received_.emplace_back(d, d + captured);
          }
          arrived_.notify_all();
        }) {
    EXPECT_TRUE(endpoint_.activate(0, "127.0.0.1")) << endpoint_.error();
  }

  void send(std::uint16_t port, const Bytes& frame) {
    ASSERT_TRUE(endpoint_.sendTo("127.0.0.1", port, frame)) << endpoint_.error();
  }
  /// The next datagram, or nothing if none arrives within `limit`.
  std::optional<Bytes> next(std::chrono::milliseconds limit = kAnswerWait) {
    std::unique_lock guard(lock_);
    if (!arrived_.wait_for(guard, limit, [this] { return !received_.empty(); }))
      return std::nullopt;
    Bytes b = std::move(received_.front());
    received_.pop_front();
    return b;
  }
  /// Sends and takes the answer, or nothing.
  std::optional<Bytes> ask(std::uint16_t port, const Bytes& frame,
                           std::chrono::milliseconds limit = kAnswerWait) {
    send(port, frame);
    return next(limit);
  }

 private:
  std::mutex lock_;
  std::condition_variable arrived_;
  std::deque<Bytes> received_;
  vexil::UdpEndpoint endpoint_;  // last: its listener stops before the members above go
};

class EmulatorScript : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(device_.start("127.0.0.1", 0)) << device_.error(); }
  std::uint16_t port() const { return device_.port(); }

  DeviceEmulator device_;
  Client client_;
};

TEST_F(EmulatorScript, RuleForTheSecondRequestHitsOnlyTheSecond) {
  FaultScript script;
  script.rules.push_back({{2, std::nullopt}, cutTo(20)});
  device_.setFaultScript(script);
  for (std::size_t n = 1; n <= 4; ++n) {
    const auto answer = client_.ask(port(), kStatusQuery);
    ASSERT_TRUE(answer) << "request " << n;
    EXPECT_EQ(answer->size(), n == 2 ? 20u : 662u) << "request " << n;
  }
}

TEST_F(EmulatorScript, UnansweredRequestsCountToo) {
  FaultScript script;
  script.rules.push_back({{2, std::nullopt}, withOpcode(0x00)});
  device_.setFaultScript(script);
  // A header alone asks for no answer, but it is request 1.
  client_.send(port(), palvox("Quenthaven  ACK", {}));
  ASSERT_TRUE(device_.waitForRequests(1, kAnswerWait));
  const auto second = client_.ask(port(), kStatusQuery);
  ASSERT_TRUE(second);
  EXPECT_EQ((*second)[22], 0x00);
  EXPECT_EQ(client_.ask(port(), kStatusQuery).value_or(Bytes(23))[22], 0xF0);
}

TEST_F(EmulatorScript, GoodStatusThenConfigurationAnswerWithTheWrongOpcode) {
  FaultScript script;
  script.rules.push_back({{std::nullopt, 0x12}, withOpcode(0x00)});
  device_.setFaultScript(script);
  const auto status = client_.ask(port(), kStatusQuery);
  ASSERT_TRUE(status);
  EXPECT_GE(status->size(), 500u);
  EXPECT_EQ((*status)[22], 0xF0);
  EXPECT_EQ(be16(*status, 31), 7163u);
  const auto configured = client_.ask(port(), kConfiguration);
  ASSERT_TRUE(configured);
  EXPECT_EQ((*configured)[22], 0x00);
  EXPECT_EQ(userTextOf(*configured), "Marovantis Ltd.") << "carried out all the same";
}

TEST_F(EmulatorScript, BoardThatKeepsItsOldUserTextStillAcknowledges) {
  Faults keeps;
  keeps.refusedOpcodes = {0x12};
  device_.setFaults(keeps);
  const auto configured = client_.ask(port(), kConfiguration);
  ASSERT_TRUE(configured);
  EXPECT_EQ(configured->size(), 41u);
  EXPECT_EQ((*configured)[22], 0xF0);
  EXPECT_EQ(userTextOf(*configured), "Vexil Emulator ");
  EXPECT_EQ(userTextOf(client_.ask(port(), kStatusQuery).value_or(Bytes(41))), "Vexil Emulator ");
}

TEST_F(EmulatorScript, SilentFirstRequestThenAnswers) {
  FaultScript script;
  script.rules.push_back({{1, std::nullopt}, silence()});
  device_.setFaultScript(script);
  EXPECT_FALSE(client_.ask(port(), kStatusQuery, kSilenceWait));
  const auto second = client_.ask(port(), kConfiguration);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->size(), 41u);
}

TEST_F(EmulatorScript, DelayAppliesOnlyToTheSelectedOpcode) {
  FaultScript script;
  script.rules.push_back({{std::nullopt, 0x12}, lateBy(300ms)});
  device_.setFaultScript(script);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(client_.ask(port(), kConfiguration));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);
  EXPECT_FALSE(client_.next(0ms)) << "exactly one answer";
}

TEST_F(EmulatorScript, OtherwiseFaultsStillApplyBesideRules) {
  FaultScript script;
  script.otherwise.answerLength = 499;
  script.otherwise.duplicates = 1;
  script.rules.push_back({{std::nullopt, 0x12}, Faults{}});
  device_.setFaultScript(script);
  EXPECT_EQ(client_.ask(port(), kStatusQuery).value_or(Bytes{}).size(), 499u);
  EXPECT_EQ(client_.next().value_or(Bytes{}).size(), 499u) << "the duplicate";
  EXPECT_EQ(client_.ask(port(), kConfiguration).value_or(Bytes{}).size(), 41u);
  EXPECT_FALSE(client_.next(kSilenceWait)) << "no duplicate for the rule's request";
}

TEST_F(EmulatorScript, SetFaultsDropsTheRules) {
  FaultScript script;
  script.rules.push_back({{std::nullopt, 0x03}, silence()});
  device_.setFaultScript(script);
  EXPECT_FALSE(client_.ask(port(), kStatusQuery, kSilenceWait));
  device_.setFaults(Faults{});
  EXPECT_TRUE(client_.ask(port(), kStatusQuery));
}

TEST_F(EmulatorScript, SystemResetIsNotAnsweredAndRestartsTheBoard) {
  DeviceState s = device_.state();
  s.clock = frozenClock(60000ms);
  s.insPacketCounter = 0;
  s.insPacketsPerSecond = 1;
  device_.setState(s);
  EXPECT_EQ(be16(client_.ask(port(), kStatusQuery).value_or(Bytes(662)), 405), 60u);
  EXPECT_FALSE(client_.ask(port(), kSystemReset, kSilenceWait));
  EXPECT_EQ(device_.requestCount(), 2u);
  const auto after = client_.ask(port(), kStatusQuery);
  ASSERT_TRUE(after);
  EXPECT_EQ(be16(*after, 405), 0u);
}

}  // namespace
