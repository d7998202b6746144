// The Instruction Test page on the engine, against the emulated board on loopback: the
// memo at every step of a send, the answer shown, and the messages that never go out.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "instructions/InstructionTest.h"
#include "tests/instructions/ExpectedBytes.h"
#include "tests/instructions/PagesOnEngine.h"

using namespace vexil;
using namespace vexil::testing;
using namespace std::chrono_literals;

namespace {

// ---- Instruction Test page ---------------------------------------------------------------

class TestPageOnEngine : public PagesOnEngine {
 protected:
  bool memoUpdates(int count, std::chrono::milliseconds limit = 3000ms) {
    return host.runUntil([&] { return memo.updates >= count; }, limit);
  }
  static TestEntries ackRequestRow(const char* datum) {
    TestEntries e;
    e.userText = "Quenthaven Bt.";
    e.rows[0] = {true, "$03", datum};
    return e;
  }

  Memo memo;
  InstructionTest page{engine, [this] { return address; },
                       [this](const PageUpdate& u) { memo.apply(u); }};
};

const std::string kHeaderFirst = "$50 $61 $6C $76 $6F $78 $51 $75 $65 $6E $74 ";
const std::string kHeaderSecond = "$68 $61 $76 $65 $6E $20 $42 $74 $2E $20 $01 ";

TEST_F(TestPageOnEngine, SendShowsEveryStepAndTheAnswer) {
  int hostPort = freeLoopbackPort();
  if (hostPort == device.port()) hostPort = freeLoopbackPort();
  ASSERT_NE(hostPort, 0);
  ASSERT_NE(hostPort, device.port());
  engine.SetHostPort(hostPort);

  page.send(ackRequestRow("0"));
  const Lines sent{"Step 1. - Processing Message",
                   " Header: " + kHeaderFirst,
                   "         " + kHeaderSecond,
                   " IT1:    $03 $00 $01 $00 ",
                   " ",
                   "Step 2. - Sending Message",
                   " Message sent sucessfuly.",
                   " Destination IP: 127.0.0.1",
                   " Destination port: " + std::to_string(device.port()),
                   " ",
                   "Step 3. - Waiting for answer"};
  EXPECT_EQ(memo.lines, sent);
  ASSERT_TRUE(device.waitForRequests(1, 2000ms));
  EXPECT_EQ(device.lastRequest(), join({header("Quenthaven Bt. "), {0x03, 0x00, 0x01, 0x00}}));

  const int before = memo.updates;
  ASSERT_TRUE(memoUpdates(before + 1));
  ASSERT_EQ(memo.lines.size(), sent.size() + 2);
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), memo.lines.begin()));
  EXPECT_EQ(memo.lines[sent.size()], " Answer received (41 bytes).");
  const std::string& body = memo.lines.back();
  EXPECT_EQ(body.rfind(" Palvox body: $", 0), 0u) << body;
  EXPECT_EQ(body.size(), std::string(" Palvox body:").size() + 19 * 4) << body;
}

TEST_F(TestPageOnEngine, LongAnswerShowsItsWholeBody) {
  page.send(ackRequestRow("1"));  // asks for the full status record
  const int before = memo.updates;
  ASSERT_TRUE(memoUpdates(before + 1));
  ASSERT_GE(memo.lines.size(), 2u);
  const std::string& size = memo.lines[memo.lines.size() - 2];
  ASSERT_EQ(size.rfind(" Answer received (", 0), 0u) << size;
  const std::size_t n = std::stoul(size.substr(std::string(" Answer received (").size()));
  ASSERT_GE(n, 534u);
  EXPECT_EQ(size, " Answer received (" + std::to_string(n) + " bytes).");
  const std::string& body = memo.lines.back();
  EXPECT_EQ(body.rfind(" Palvox body: $F0", 0), 0u);
  EXPECT_EQ(body.size(), std::string(" Palvox body:").size() + (n - 22) * 4);
}

TEST_F(TestPageOnEngine, HeaderAloneGetsNoAnswerAfterOneSecond) {
  TestEntries e;
  e.userText = "Quenthaven Bt.";
  const auto start = EngineClock::now();
  page.send(e);
  ASSERT_TRUE(device.waitForRequests(1, 2000ms));
  EXPECT_EQ(device.lastRequest(), header("Quenthaven Bt. "));
  const int before = memo.updates;
  ASSERT_TRUE(memoUpdates(before + 1, 5000ms));
  EXPECT_GE(msSince(start), 950.0);
  EXPECT_EQ(memo.lines.back(), " No answer received (in 1s).");
  EXPECT_EQ(memo.lines[memo.lines.size() - 2], "Step 3. - Waiting for answer");
}

TEST_F(TestPageOnEngine, FailedSendSaysSoAndNothingFollows) {
  holdHostPort();
  page.send(ackRequestRow("0"));
  EXPECT_EQ(memo.lines, (Lines{"Step 1. - Processing Message", " Header: " + kHeaderFirst,
                               "         " + kHeaderSecond, " IT1:    $03 $00 $01 $00 ", " ",
                               "Step 2. - Sending Message", " ", "Communication Error !",
                               "Message cannot be sent."}));
  const int after = memo.updates;
  host.runFor(1300ms);
  EXPECT_EQ(memo.updates, after);
  EXPECT_EQ(device.requestCount(), 0u);
}

TEST_F(TestPageOnEngine, ViewMessageSendsNothing) {
  page.view(ackRequestRow("0"));
  EXPECT_EQ(memo.lines, (Lines{"Step 1. - Message bytes:", "Header: " + kHeaderFirst,
                               "        " + kHeaderSecond, "IT1:    $03 $00 $01 $00 "}));
  EXPECT_EQ(engine.state(), TransactionState::Idle);
  EXPECT_FALSE(engine.endpointActive());
  host.runFor(100ms);
  EXPECT_EQ(device.requestCount(), 0u);
}

// ---- Messages that must never go out ----------------------------------------------------

std::string items(std::size_t count) {
  std::string s = "1";
  s.reserve(count * 2);
  for (std::size_t i = 1; i < count; ++i) s += ",1";
  return s;
}

// Whether a line other than a dump line holds `number` as a number of its own.
bool anyLineNames(const Lines& lines, const std::string& number) {
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  for (const std::string& line : lines) {
    if (line.find('$') != std::string::npos) continue;  // a dump line
    for (std::size_t at = line.find(number); at != std::string::npos;
         at = line.find(number, at + 1)) {
      const std::size_t end = at + number.size();
      if ((at == 0 || !isDigit(line[at - 1])) && (end == line.size() || !isDigit(line[end])))
        return true;
    }
  }
  return false;
}

class TooLongOnEngine : public TestPageOnEngine {
 protected:
  void expectNotSent(const TestEntries& e, const std::string& reason) {
    page.send(e);
    host.runFor(300ms);
    EXPECT_EQ(device.requestCount(), 0u);
    EXPECT_EQ(engine.state(), TransactionState::Idle);
    EXPECT_FALSE(engine.endpointActive());
    EXPECT_FALSE(memo.holds("Communication Error !"));
    EXPECT_FALSE(memo.holds(" Message sent sucessfuly."));
    EXPECT_TRUE(anyLineNames(memo.lines, reason)) << "no line says why (" << reason << ")";
  }
};

TEST_F(TooLongOnEngine, RowBeyondTheLengthFieldIsNotSent) {
  TestEntries e;
  e.userText = "x";
  e.rows[3] = {true, "1", items(65536)};
  expectNotSent(e, "4");  // row 4, a number that no step title holds
}

TEST_F(TooLongOnEngine, MessageLargerThanADatagramIsNotSent) {
  TestEntries e;
  e.userText = "x";
  e.rows[0] = {true, "1", items(65508 - 22 - 3)};
  expectNotSent(e, "65508");
}

TEST_F(TooLongOnEngine, LargestDatagramIsSent) {
  TestEntries e;
  e.userText = "x";
  e.rows[0] = {true, "1", items(65507 - 22 - 3)};
  page.send(e);
  EXPECT_TRUE(memo.holds(" Message sent sucessfuly."));
  ASSERT_TRUE(device.waitForRequests(1, 2000ms));
  EXPECT_EQ(device.lastRequest().size(), 65507u);
}

}  // namespace
