// The Query operation: frame choice, the page's waiting, failure and no-answer texts,
// the QV-Net ACK decoder, and the whole operation on the engine against the emulator.
#include <gtest/gtest.h>

#include <chrono>

#include "instructions/DeviceQuery.h"
#include "messaging/PlainEngineHost.h"
#include "sim/DeviceEmulator.h"
#include "tests/messaging/StatusReportBytes.h"

using namespace vexil;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

namespace {

constexpr const char* kLoopback = "127.0.0.1";

// MemoInfo and LabelD as the main page holds them.
struct Page {
  Lines memo{"Set IP Address and press Query!"};
  std::string caption = "Device:";
  int updates = 0;
  void apply(const PageUpdate& u) {
    if (u.clearMemo) memo.clear();
    memo.insert(memo.end(), u.lines.begin(), u.lines.end());
    if (u.deviceCaption) caption = *u.deviceCaption;
    ++updates;
  }
};

std::vector<std::uint8_t> qvNetAck(std::size_t length) {
  std::vector<std::uint8_t> b(length, 0xEE);  // the unread bytes hold anything
  if (length >= 25) {
    b[16] = 0x1B, b[17] = 0xFB, b[18] = 0x13, b[19] = 0x88, b[23] = 1, b[24] = 5;
  }
  return b;
}

TEST(ChooseQuery, IndexZeroIsQvNetEverythingElseIsStatus) {
  const QueryChoice qv = chooseQuery(0);
  EXPECT_EQ(qv.sentState, TransactionState::QueryQvNetSent);
  EXPECT_EQ(*qv.frame, QvNetQuery());
  EXPECT_EQ(qv.frame->size(), 18u);
  for (int index : {1, -1, 2, 7, -100}) {
    const QueryChoice st = chooseQuery(index);
    EXPECT_EQ(st.sentState, TransactionState::QueryStatusSent) << index;
    EXPECT_EQ(*st.frame, StatusQuery()) << index;
    EXPECT_EQ(st.frame->size(), 26u) << index;
  }
}

TEST(QueryTexts, WaitingFailureAndNoAnswer) {
  const PageUpdate sent = querySent(56789, 1234, "10.123.13.101");
  EXPECT_TRUE(sent.clearMemo);
  EXPECT_EQ(sent.lines, (Lines{"Host Comuter Port: 56789", "Device Port: 1234",
                               "Device IP: 10.123.13.101", " ",
                               "Message sent, waiting for reply..."}));
  EXPECT_FALSE(sent.deviceCaption.has_value());

  Page page;
  page.apply(querySendFailed());
  EXPECT_EQ(page.memo, (Lines{"Communication Error!", "Check your network connection!"}));
  EXPECT_EQ(page.caption, "Device:");

  Page waiting;
  waiting.caption = "Device: QV-7163  v1.05";
  waiting.apply(sent);
  waiting.apply(queryNoAnswer());
  EXPECT_EQ(waiting.memo.size(), 6u);  // appended to the waiting lines, not replacing them
  EXPECT_EQ(waiting.memo.back(), "No answer received (in 1s).");
  EXPECT_EQ(waiting.caption, "Device:");
}

TEST(QvNetAck, WorkedAnswer) {
  const auto b = qvNetAck(25);
  const PageUpdate u = decodeQvNetAck(AnswerReader(b), "10.123.13.101", 56789);
  EXPECT_TRUE(u.clearMemo);
  EXPECT_EQ(u.lines, (Lines{"QV-Net ACK received.", "Device IP: 10.123.13.101",
                            "Device Port: 56789", "", "Device Version: 1.05",
                            "Device Type: 7163", "Device Serial: 5000"}));
  EXPECT_EQ(u.deviceCaption, "Device: QV-7163  v1.05");
}

TEST(QvNetAck, OnlyTwentyFiveBytesAreAccepted) {
  for (std::size_t length : {24u, 26u, 0u, 18u, 534u}) {
    const auto b = qvNetAck(length);
    const PageUpdate u = decodeQvNetAck(AnswerReader(b), "1.2.3.4", 1);
    EXPECT_TRUE(u.clearMemo);
    EXPECT_EQ(u.lines, (Lines{"Unknown message received.",
                              "Message length: " + std::to_string(length) + " bytes"}));
    EXPECT_FALSE(u.deviceCaption.has_value()) << length;
  }
}

TEST(QvNetAck, FieldsAreUnsignedSixteenBit) {
  auto b = qvNetAck(25);
  b[16] = b[17] = b[18] = b[19] = 0xFF;
  b[23] = 255, b[24] = 100;
  const PageUpdate u = decodeQvNetAck(AnswerReader(b), "a", 2);
  EXPECT_EQ(u.lines[4], "Device Version: 255.00");
  EXPECT_EQ(u.lines[5], "Device Type: 65535");
  EXPECT_EQ(u.lines[6], "Device Serial: 65535");
  EXPECT_EQ(u.deviceCaption, "Device: QV-65535  v255.00");
}

// ---- The operation on the engine, against the emulator on loopback ---------------------

class QueryOnEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device.start(kLoopback, 0)) << device.error();
    engine.SetDevicePort(device.port());
    engine.SetHostPort(0);
  }
  bool waitForUpdates(int n, std::chrono::milliseconds limit = 3000ms) {
    return host.runUntil([&] { return page.updates >= n; }, limit);
  }

  sim::DeviceEmulator device;
  PlainEngineHost host;
  TransactionEngine engine{host};
  Page page;
  std::string address = kLoopback;
  DeviceQuery query{engine, [this] { return address; }, [this](const PageUpdate& u) { page.apply(u); }};
};

TEST_F(QueryOnEngine, QvNetQueryShowsTheIdentity) {
  query.query(0);
  ASSERT_EQ(page.updates, 1);  // the waiting lines come before any answer
  ASSERT_TRUE(device.waitForRequests(1, 2000ms));
  EXPECT_EQ(device.lastRequest(), QvNetQuery());
  EXPECT_EQ(page.memo.back(), "Message sent, waiting for reply...");
  ASSERT_TRUE(waitForUpdates(2));
  EXPECT_EQ(page.memo.front(), "QV-Net ACK received.");
  EXPECT_EQ(page.memo[2], "Device Port: " + std::to_string(device.port()));
  EXPECT_EQ(page.caption, "Device: QV-7163  v1.05");
}

TEST_F(QueryOnEngine, StatusQueryForEveryOtherIndex) {
  std::size_t requests = 0;
  for (int index : {1, -1}) {
    page = Page{};
    query.query(index);
    ASSERT_TRUE(device.waitForRequests(++requests, 2000ms));
    EXPECT_EQ(device.lastRequest(), StatusQuery());
    ASSERT_TRUE(waitForUpdates(2)) << index;
    EXPECT_EQ(page.memo.front(), "Palvox ACK received (662).");
    EXPECT_EQ(page.caption, "Device: QV-7163  v1.05");
  }
}

TEST_F(QueryOnEngine, SilenceResetsTheCaption) {
  page.caption = "Device: QV-1  v1.00";
  sim::Faults silent;
  silent.silent = true;
  device.setFaults(silent);
  const auto start = EngineClock::now();
  query.query(1);
  ASSERT_TRUE(waitForUpdates(2, 5000ms));
  EXPECT_GE(EngineClock::now() - start, 900ms);
  EXPECT_EQ(page.memo, (Lines{"Host Comuter Port: 0",
                              "Device Port: " + std::to_string(device.port()),
                              "Device IP: 127.0.0.1", " ", "Message sent, waiting for reply...",
                              "No answer received (in 1s)."}));
  EXPECT_EQ(page.caption, "Device:");
}

TEST_F(QueryOnEngine, SendFailureShowsTwoLinesAndNothingFollows) {
  address = "not an address";
  page.caption = "Device: QV-5  v2.00";
  query.query(1);
  EXPECT_EQ(page.memo, (Lines{"Communication Error!", "Check your network connection!"}));
  EXPECT_EQ(engine.state(), TransactionState::QueryStatusSent);
  host.runFor(1500ms);
  EXPECT_EQ(page.updates, 1);
  EXPECT_EQ(page.caption, "Device: QV-5  v2.00");
}

TEST_F(QueryOnEngine, WrongLengthsAreReportedAndLeaveTheCaption) {
  page.caption = "Device: QV-9  v9.09";
  sim::Faults f;
  f.answerLength = 533;
  device.setFaults(f);
  query.query(1);
  ASSERT_TRUE(waitForUpdates(2));
  EXPECT_EQ(page.memo, (Lines{"Unknown message received.", "Message length (UDP): 533 bytes"}));
  f.answerLength = 26;
  device.setFaults(f);
  query.query(0);
  ASSERT_TRUE(waitForUpdates(4));
  EXPECT_EQ(page.memo, (Lines{"Unknown message received.", "Message length: 26 bytes"}));
  EXPECT_EQ(page.caption, "Device: QV-9  v9.09");
}

TEST_F(QueryOnEngine, ShortAnswerAfterALongOneIsNotReadBeyondItsLength) {
  query.query(1);  // a full 662-byte record fills the buffer
  ASSERT_TRUE(waitForUpdates(2));
  sim::Faults f;
  f.answerLength = 100;  // the next one is cut: the old record still lies beyond it
  device.setFaults(f);
  query.query(1);
  ASSERT_TRUE(waitForUpdates(4));
  EXPECT_EQ(page.memo, (Lines{"Unknown message received.", "Message length (UDP): 100 bytes"}));
}

TEST(QueryLifetime, AnAnswerAfterTheOperationIsGoneReachesNobody) {
  sim::DeviceEmulator device;
  ASSERT_TRUE(device.start(kLoopback, 0)) << device.error();
  PlainEngineHost host;
  TransactionEngine engine(host);
  engine.SetDevicePort(device.port());
  engine.SetHostPort(0);
  int shown = 0;
  {
    DeviceQuery query(engine, [] { return std::string(kLoopback); },
                      [&](const PageUpdate&) { ++shown; });
    query.query(1);
  }
  ASSERT_TRUE(device.waitForRequests(1, 2000ms));
  host.runFor(300ms);  // the answer is dispatched to an empty routine
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(engine.state(), TransactionState::QueryStatusAnswered);
}

}  // namespace
