// The transaction engine against the device emulator on loopback: outcomes, timing
// (with generous tolerances), failed sends and the hand-off rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "messaging/DatagramSocket.h"
#include "messaging/PlainEngineHost.h"
#include "messaging/TransactionEngine.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"

using namespace vexil;
using namespace std::chrono_literals;
using S = TransactionState;

namespace {

constexpr const char* kLoopback = "127.0.0.1";

struct Dispatch {
  TransactionState state;
  EngineClock::time_point at;
  std::size_t lastLength;
};

// A UDP socket of the test's own, for holding a port or sending stray datagrams.
class TestSocket {
 public:
  std::uint16_t bindAnyPort() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    std::string error;
    return socket_.open(a, {}, error) ? socket_.localPort() : 0;
  }
  void sendTo(std::uint16_t port, std::size_t size) {
    if (!socket_.isOpen()) bindAnyPort();
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, kLoopback, &to.sin_addr);
    const std::vector<std::uint8_t> data(size, 0x11);
    socket_.sendTo(data.data(), data.size(), to);
  }

 private:
  DatagramSocket socket_;
};

// A port that was free a moment ago.
std::uint16_t freePort() {
  TestSocket s;
  return s.bindAnyPort();
}

Frame setSerialFrame() {
  const std::uint8_t serial[] = {0x00, 0x00, 0xDD, 0xBD};
  return buildFixedFrame(makeUserText(" Set Serial"), wire::OpSetSerial, serial);
}

Frame frameWithoutAckRequest() {
  const std::uint8_t data[] = {0x00, 0x0A};
  Frame f = BuildHeader(makeUserText(" Reset"));
  (void)AppendInstruction(f, wire::OpReset, data);
  return f;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device.start(kLoopback, 0)) << device.error();
    engine.SetDevicePort(device.port());
    engine.SetHostPort(0);  // a free port at each activation
    for (std::size_t i = 0; i < kTransactionStateCount; ++i) {
      const auto state = static_cast<TransactionState>(i);
      engine.setOutcome(state, [this, state](const Answer&) {
        dispatches.push_back({state, EngineClock::now(), engine.lastLength()});
      });
    }
  }

  bool begin(TransactionState sent, const Frame& frame, const std::string& address = kLoopback) {
    // Taken before the call: the engine starts its time-out inside it, so a time taken
    // after it (late under a sanitizer on a busy machine) made a punctual time-out look
    // early.
    sentAt = EngineClock::now();
    return engine.BeginTransaction(sent, frame, address);
  }
  bool waitForDispatches(std::size_t n, std::chrono::milliseconds limit = 3000ms) {
    return host.runUntil([&] { return dispatches.size() >= n; }, limit);
  }
  static double ms(EngineClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
  }
  double msSinceSend(const Dispatch& d) const { return ms(d.at - sentAt); }
  // From the acceptance of the datagram that ended the wait to the dispatch.
  double msSinceAnswer(const Dispatch& d) const {
    return engine.answerAcceptedAt() ? ms(d.at - *engine.answerAcceptedAt()) : -1.0;
  }

  sim::DeviceEmulator device;
  PlainEngineHost host;
  TransactionEngine engine{host};
  std::vector<Dispatch> dispatches;
  EngineClock::time_point sentAt;
};

// ---- Outcomes of one transaction ------------------------------------------------

TEST_F(EngineTest, StatusAnswerIsDispatchedAboutFiveMsAfterIt) {
  ASSERT_TRUE(begin(S::QueryStatusSent, StatusQuery()));
  ASSERT_TRUE(waitForDispatches(1));
  EXPECT_EQ(dispatches[0].state, S::QueryStatusAnswered);
  EXPECT_GE(dispatches[0].lastLength, wire::kStatusMinLength);
  EXPECT_EQ(engine.lastAnswer().reader().u8(wire::kAnswerOpcodeOffset), wire::OpAck);
  EXPECT_GE(msSinceSend(dispatches[0]), 5.0);
  EXPECT_LT(msSinceSend(dispatches[0]), 500.0);
  EXPECT_FALSE(engine.endpointActive());
}

TEST_F(EngineTest, FortyOneByteAnswerIsTheAck) {
  ASSERT_TRUE(begin(S::GeneralInstructionSent, setSerialFrame()));
  ASSERT_TRUE(waitForDispatches(1));
  EXPECT_EQ(dispatches[0].state, S::GeneralInstructionAnswered);
  EXPECT_EQ(dispatches[0].lastLength, 41u);
  EXPECT_GE(msSinceAnswer(dispatches[0]), 5.0);
  EXPECT_LT(msSinceAnswer(dispatches[0]), 200.0);
  EXPECT_EQ(device.state().serial, 56765u);
}

TEST_F(EngineTest, WrongLengthInstructionAnswerEndsTheWaitWithoutAck) {
  for (std::size_t length : {40u, 42u}) {
    dispatches.clear();
    sim::Faults f;
    f.answerLength = length;
    device.setFaults(f);
    ASSERT_TRUE(begin(S::TsInstructionSent, setSerialFrame()));
    ASSERT_TRUE(waitForDispatches(1));
    EXPECT_EQ(dispatches[0].state, S::TsInstructionSent) << length;
    EXPECT_EQ(dispatches[0].lastLength, length);
    EXPECT_GE(msSinceAnswer(dispatches[0]), 5.0) << length;
    EXPECT_LT(msSinceSend(dispatches[0]), 500.0) << "the early dispatch, not the time-out";
  }
}

TEST_F(EngineTest, SilenceTimesOutAfterOneSecondNeverBefore) {
  sim::Faults f;
  f.silent = true;
  device.setFaults(f);
  ASSERT_TRUE(begin(S::QueryQvNetSent, QvNetQuery()));
  ASSERT_TRUE(waitForDispatches(1));
  EXPECT_EQ(dispatches[0].state, S::QueryQvNetSent);
  EXPECT_GE(msSinceSend(dispatches[0]), 1000.0);
  EXPECT_LT(msSinceSend(dispatches[0]), 1500.0);
  host.runFor(100ms);
  EXPECT_EQ(dispatches.size(), 1u) << "dispatched at most once";
}

TEST_F(EngineTest, QvNetAnswerOfTwentyFiveBytes) {
  ASSERT_TRUE(begin(S::QueryQvNetSent, QvNetQuery()));
  ASSERT_TRUE(waitForDispatches(1));
  EXPECT_EQ(dispatches[0].state, S::QueryQvNetAnswered);
  EXPECT_EQ(dispatches[0].lastLength, wire::kQvNetAckLength);
}

// ---- Datagram sizes ------------------------------------------------------------

TEST_F(EngineTest, DatagramOfExactly1500BytesIsAccepted) {
  sim::Faults f;
  f.answerLength = 1500;
  device.setFaults(f);
  ASSERT_TRUE(begin(S::QueryStatusSent, StatusQuery()));
  ASSERT_TRUE(waitForDispatches(1));
  EXPECT_EQ(dispatches[0].state, S::QueryStatusAnswered);
  EXPECT_EQ(dispatches[0].lastLength, 1500u);
}

TEST_F(EngineTest, OversizeDatagramsChangeNothing) {
  for (std::size_t size : {1501u, 60000u}) {
    dispatches.clear();
    sim::Faults f;
    f.answerLength = size;
    device.setFaults(f);
    ASSERT_TRUE(begin(S::QueryStatusSent, StatusQuery()));
    ASSERT_TRUE(waitForDispatches(1));
    EXPECT_EQ(dispatches[0].state, S::QueryStatusSent) << size;
    EXPECT_EQ(dispatches[0].lastLength, 0u) << size;
    EXPECT_GE(msSinceSend(dispatches[0]), 1000.0) << size;
    EXPECT_EQ(engine.lastAnswer().length(), 0u) << "buffer untouched";
  }
}

TEST_F(EngineTest, OversizeDatagramBeforeTheRealAnswerIsIgnored) {
  sim::Faults f;
  f.before = {1501};
  device.setFaults(f);
  ASSERT_TRUE(begin(S::QueryStatusSent, StatusQuery()));
  ASSERT_TRUE(waitForDispatches(1));
  EXPECT_EQ(dispatches[0].state, S::QueryStatusAnswered);
  EXPECT_GE(dispatches[0].lastLength, wire::kStatusMinLength);
  EXPECT_LT(msSinceSend(dispatches[0]), 500.0);
}

// ---- Several datagrams in one transaction --------------------------------------

TEST_F(EngineTest, ThirtyThenFortyOneBytesReachesTheAckFiveMsAfterTheFirst) {
  sim::Faults f;
  f.before = {30};
  device.setFaults(f);
  ASSERT_TRUE(begin(S::GeneralInstructionSent, setSerialFrame()));
  ASSERT_TRUE(waitForDispatches(1));
  EXPECT_EQ(dispatches[0].state, S::GeneralInstructionAnswered);
  EXPECT_EQ(dispatches[0].lastLength, 41u);
  // The wait was ended by the first, 30-byte datagram: 5 ms after it.
  EXPECT_GE(msSinceAnswer(dispatches[0]), 5.0);
  EXPECT_LT(msSinceAnswer(dispatches[0]), 200.0);
}

TEST_F(EngineTest, LaterDatagramOverwritesTheBufferButTheStateStaysAnswered) {
  sim::Faults f;
  f.after = {30};
  device.setFaults(f);
  ASSERT_TRUE(begin(S::QueryQvNetSent, QvNetQuery()));
  ASSERT_TRUE(waitForDispatches(1));
  EXPECT_EQ(dispatches[0].state, S::QueryQvNetAnswered);
  EXPECT_EQ(dispatches[0].lastLength, 30u) << "the 30-byte datagram came within 5 ms";
}

TEST_F(EngineTest, DuplicateAnswersGiveOneDispatch) {
  sim::Faults f;
  f.duplicates = 3;
  device.setFaults(f);
  ASSERT_TRUE(begin(S::QueryStatusSent, StatusQuery()));
  ASSERT_TRUE(waitForDispatches(1));
  host.runFor(200ms);
  EXPECT_EQ(dispatches.size(), 1u);
}

TEST_F(EngineTest, AnswerFromAnotherPortIsTaken) {
  sim::Faults f;
  f.fromOtherPort = true;
  device.setFaults(f);
  ASSERT_TRUE(begin(S::QueryQvNetSent, QvNetQuery()));
  ASSERT_TRUE(waitForDispatches(1));
  EXPECT_EQ(dispatches[0].state, S::QueryQvNetAnswered);
}

// ---- Transactions that overlap ---------------------------------------------------

TEST_F(EngineTest, TwoQueriesWithinASecondGiveOneDispatchAfterTheSecond) {
  sim::Faults f;
  f.silent = true;
  device.setFaults(f);
  ASSERT_TRUE(begin(S::QueryStatusSent, StatusQuery()));
  host.runFor(300ms);
  ASSERT_TRUE(begin(S::QueryQvNetSent, QvNetQuery()));
  ASSERT_TRUE(waitForDispatches(1));
  host.runFor(300ms);
  ASSERT_EQ(dispatches.size(), 1u);
  EXPECT_EQ(dispatches[0].state, S::QueryQvNetSent);
  EXPECT_GE(msSinceSend(dispatches[0]), 1000.0);
}

TEST_F(EngineTest, AnswerToTheFirstQueryCountsForTheSecond) {
  sim::Faults f;
  f.delay = 300ms;
  device.setFaults(f);
  ASSERT_TRUE(begin(S::QueryStatusSent, StatusQuery()));
  host.runFor(100ms);
  ASSERT_TRUE(begin(S::QueryQvNetSent, QvNetQuery()));
  ASSERT_TRUE(waitForDispatches(1));
  EXPECT_EQ(dispatches[0].state, S::QueryQvNetAnswered);
  EXPECT_GE(dispatches[0].lastLength, wire::kStatusMinLength) << "the status answer arrived first";
  EXPECT_LT(msSinceSend(dispatches[0]), 900.0);
}

TEST_F(EngineTest, LeftoverCompletionRequestCannotCutTheNextWaitShort) {
  sim::Faults f;
  f.silent = true;
  device.setFaults(f);
  ASSERT_TRUE(begin(S::QueryStatusSent, StatusQuery()));
  // A datagram accepted for the first transaction; its hand-off is still queued when
  // the second transaction begins.
  const std::vector<std::uint8_t> stray(30, 0x22);
  engine.receiveDatagram(stray.data(), stray.size(), stray.size());
  ASSERT_TRUE(begin(S::QueryQvNetSent, QvNetQuery()));
  ASSERT_TRUE(waitForDispatches(1));
  EXPECT_EQ(dispatches[0].state, S::QueryQvNetSent);
  EXPECT_GE(msSinceSend(dispatches[0]), 1000.0);
}

TEST_F(EngineTest, BusyInterfaceThreadStillLeavesFiveMsAfterTakingTheRequestUp) {
  sim::Faults f;
  f.silent = true;
  device.setFaults(f);
  ASSERT_TRUE(begin(S::GeneralInstructionSent, setSerialFrame()));
  const std::vector<std::uint8_t> wrongLength(30, 0x22);
  engine.receiveDatagram(wrongLength.data(), wrongLength.size(), wrongLength.size());
  std::this_thread::sleep_for(20ms);  // the interface thread is busy elsewhere
  const EngineClock::time_point takenUp = EngineClock::now();
  ASSERT_TRUE(waitForDispatches(1));
  EXPECT_EQ(dispatches[0].state, S::GeneralInstructionSent);
  EXPECT_GE(ms(dispatches[0].at - takenUp), 5.0);
}

TEST_F(EngineTest, TransactionBegunInsideAnOutcomeGetsItsOwnTimeout) {
  EngineClock::time_point secondSent;
  engine.setOutcome(S::QueryStatusAnswered, [&](const Answer&) {
    dispatches.push_back({S::QueryStatusAnswered, EngineClock::now(), engine.lastLength()});
    sim::Faults silent;
    silent.silent = true;
    device.setFaults(silent);
    EXPECT_TRUE(engine.BeginTransaction(S::ManufacturerConfigSent, manufacturerConfigFrame(),
                                        kLoopback));
    secondSent = EngineClock::now();
    EXPECT_TRUE(engine.endpointActive());
  });
  ASSERT_TRUE(begin(S::QueryStatusSent, StatusQuery()));
  ASSERT_TRUE(waitForDispatches(2));
  EXPECT_EQ(dispatches[1].state, S::ManufacturerConfigSent);
  EXPECT_GE(ms(dispatches[1].at - secondSent), 1000.0);
  EXPECT_LT(ms(dispatches[1].at - secondSent), 1500.0);
}

TEST_F(EngineTest, DatagramBetweenTransactionsIsNeverSeen) {
  const std::uint16_t port = freePort();
  engine.SetHostPort(port);
  ASSERT_TRUE(begin(S::QueryQvNetSent, QvNetQuery()));
  ASSERT_TRUE(waitForDispatches(1));
  ASSERT_EQ(dispatches[0].lastLength, 25u);

  TestSocket stray;
  stray.sendTo(port, 77);  // nobody is bound to the port now
  host.runFor(50ms);

  sim::Faults f;
  f.silent = true;
  device.setFaults(f);
  ASSERT_TRUE(begin(S::QueryStatusSent, StatusQuery()));
  ASSERT_TRUE(waitForDispatches(2));
  EXPECT_EQ(dispatches[1].state, S::QueryStatusSent);
  EXPECT_EQ(dispatches[1].lastLength, 25u) << "the stray datagram was never read";
}

TEST_F(EngineTest, SetHostPortDuringAWaitClosesTheEndpoint) {
  sim::Faults f;
  f.delay = 200ms;
  device.setFaults(f);
  ASSERT_TRUE(begin(S::QueryStatusSent, StatusQuery()));
  host.runFor(20ms);
  engine.SetHostPort(0);
  EXPECT_FALSE(engine.endpointActive());
  ASSERT_TRUE(waitForDispatches(1));
  EXPECT_EQ(dispatches[0].state, S::QueryStatusSent);
  EXPECT_GE(msSinceSend(dispatches[0]), 1000.0);
}

// ---- Failed sends and SendOnly ---------------------------------------------------

TEST_F(EngineTest, FailedSendsReturnFalseAndCancelThePendingDispatch) {
  TestSocket holder;
  const std::uint16_t held = holder.bindAnyPort();
  ASSERT_NE(held, 0);
  struct Case { const char* why; int hostPort; const char* address; };
  const Case cases[] = {
      {"host port held by another socket", held, kLoopback},
      {"unresolvable address", 0, "ab.cd.ef.9"},
      {"broadcast address", 0, "255.255.255.255"},
      {"empty address", 0, ""},
  };
  sim::Faults f;
  f.silent = true;
  device.setFaults(f);
  for (const Case& c : cases) {
    dispatches.clear();
    engine.SetHostPort(0);
    ASSERT_TRUE(begin(S::QueryStatusSent, StatusQuery()));  // a dispatch is now pending
    host.runFor(10ms);
    engine.SetHostPort(c.hostPort);
    EXPECT_FALSE(begin(S::GeneralInstructionSent, setSerialFrame(), c.address)) << c.why;
    EXPECT_FALSE(engine.endpointActive()) << c.why;
    EXPECT_EQ(engine.state(), S::GeneralInstructionSent) << c.why;
    EXPECT_FALSE(engine.lastError().empty()) << c.why;
    host.runFor(1200ms);
    EXPECT_TRUE(dispatches.empty()) << c.why << ": no outcome may follow";
  }
}

TEST_F(EngineTest, SendOnlySendsAndClosesWithoutAnOutcome) {
  const std::size_t before = device.requestCount();
  EXPECT_TRUE(engine.SendOnly(S::GeneralInstructionSent, frameWithoutAckRequest(), kLoopback));
  EXPECT_FALSE(engine.endpointActive());
  EXPECT_TRUE(device.waitForRequests(before + 1, 1000ms));
  host.runFor(1200ms);
  EXPECT_TRUE(dispatches.empty());
  EXPECT_FALSE(engine.SendOnly(S::GeneralInstructionSent, frameWithoutAckRequest(), "ab.cd.ef.9"));
}

TEST_F(EngineTest, DeviceReceivesTheFrameFromTheHostPort) {
  const std::uint16_t port = freePort();
  engine.SetHostPort(port);
  ASSERT_TRUE(begin(S::QueryStatusSent, StatusQuery()));
  EXPECT_EQ(engine.boundPort(), port);
  ASSERT_TRUE(waitForDispatches(1));
  EXPECT_EQ(device.lastRequest(), StatusQuery());
}

TEST_F(EngineTest, OutcomeKeepsItsAnswerWhileItsOwnTransactionReceives) {
  // The routine begins the next transaction, whose answers the listener writes into the
  // receive buffer while the routine still reads its own answer.
  std::size_t seenLength = 0;
  std::uint8_t seenOpcode = 0;
  std::vector<std::uint8_t> before;
  bool unchanged = false;
  engine.setOutcome(S::QueryStatusAnswered, [&](const Answer& answer) {
    dispatches.push_back({S::QueryStatusAnswered, EngineClock::now(), answer.length()});
    before.assign(answer.bytes().begin(), answer.bytes().end());
    sim::Faults f;
    f.duplicates = 5;
    device.setFaults(f);
    ASSERT_TRUE(engine.BeginTransaction(S::ManufacturerConfigSent, manufacturerConfigFrame(),
                                        kLoopback));
    // Wait, on this thread, until the configuration's answers have landed.
    const auto until = EngineClock::now() + 2s;
    while (engine.lastLength() != wire::kShortAnswerLength && EngineClock::now() < until) {
      std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(10ms);  // further duplicates arrive meanwhile
    seenLength = answer.length();
    seenOpcode = answer.reader().u8(wire::kAnswerOpcodeOffset);
    unchanged = std::equal(before.begin(), before.end(), answer.bytes().begin(),
                           answer.bytes().end());
  });
  ASSERT_TRUE(begin(S::QueryStatusSent, StatusQuery()));
  ASSERT_TRUE(waitForDispatches(2));
  EXPECT_EQ(engine.lastLength(), wire::kShortAnswerLength) << "the new answer has arrived";
  EXPECT_GE(seenLength, wire::kStatusMinLength);
  EXPECT_EQ(seenOpcode, wire::OpAck);
  EXPECT_TRUE(unchanged);
  EXPECT_EQ(dispatches[1].state, S::ManufacturerConfigAnswered);
  EXPECT_EQ(dispatches[1].lastLength, wire::kShortAnswerLength);
}

TEST(EngineSelf, ItsOwnRequestIsNeverItsAnswer) {
  // Device address this machine, device port equal to the host port, nothing else on
  // the port: the request comes back to the endpoint that sent it.
  PlainEngineHost host;
  TransactionEngine engine(host);
  const int port = freeLoopbackPort();
  engine.SetHostPort(port);
  engine.SetDevicePort(port);
  std::vector<TransactionState> outcomes;
  engine.setOutcome(S::QueryStatusSent, [&](const Answer&) { outcomes.push_back(S::QueryStatusSent); });
  engine.setOutcome(S::QueryStatusAnswered,
                    [&](const Answer&) { outcomes.push_back(S::QueryStatusAnswered); });
  for (const char* self : {"127.0.0.1", "127.0.0.5"}) {
    outcomes.clear();
    ASSERT_TRUE(engine.BeginTransaction(S::QueryStatusSent, StatusQuery(), self));
    ASSERT_TRUE(host.runUntil([&] { return !outcomes.empty(); }, 3000ms));
    EXPECT_EQ(outcomes.front(), S::QueryStatusSent) << self;
    EXPECT_EQ(engine.lastLength(), 0u) << self;
  }
}

TEST(EngineSelf, AnotherSocketOnTheSameMachineIsStillAnAnswer) {
  sim::DeviceEmulator device;
  ASSERT_TRUE(device.start("127.0.0.2", 0));
  PlainEngineHost host;
  TransactionEngine engine(host);
  engine.SetHostPort(0);
  engine.SetDevicePort(device.port());
  bool answered = false;
  engine.setOutcome(S::QueryStatusAnswered, [&](const Answer&) { answered = true; });
  ASSERT_TRUE(engine.BeginTransaction(S::QueryStatusSent, StatusQuery(), "127.0.0.2"));
  EXPECT_TRUE(host.runUntil([&] { return answered; }, 3000ms));
}

TEST(EngineLifecycle, StartsIdleWithAZeroBuffer) {
  PlainEngineHost host;
  TransactionEngine engine(host);
  EXPECT_EQ(engine.state(), S::Idle);
  EXPECT_EQ(engine.lastLength(), 0u);
  EXPECT_EQ(engine.hostPort(), 56789);
  EXPECT_EQ(engine.devicePort(), 56789);
  EXPECT_EQ(engine.lastAnswer().length(), 0u);
}

TEST(EngineLifecycle, DestroyedWhileWaitingWithAnswersInFlight) {
  sim::DeviceEmulator device;
  ASSERT_TRUE(device.start(kLoopback, 0));
  sim::Faults f;
  f.duplicates = 20;
  device.setFaults(f);
  for (int i = 0; i < 20; ++i) {
    PlainEngineHost host;
    auto engine = std::make_unique<TransactionEngine>(host);
    engine->SetHostPort(0);
    engine->SetDevicePort(device.port());
    ASSERT_TRUE(engine->BeginTransaction(S::QueryStatusSent, StatusQuery(), kLoopback));
    engine.reset();  // listener stopped before the buffer goes
    host.runFor(2ms);  // hand-offs left in the queue reach nobody
  }
}

}  // namespace
