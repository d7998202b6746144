// Rates and indicator colours from sampled totals, the verdict, the report texts, and
// the options and exit status of the stream check.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "MiniJson.h"
#include "PacketBuilder.h"
#include "stream/StreamCheck.h"
#include "stream/StreamMeter.h"
#include "stream/StreamReport.h"

using namespace vexil::stream;
using namespace vexil::stream::testing;

namespace {

constexpr std::size_t kCc = indexOf(Indicator::ContinuityCountError);

StreamTotals totals(std::uint64_t datagrams, std::uint64_t packets, std::uint64_t nulls, std::uint64_t ccErrors = 0) {
  StreamTotals t;
  t.datagrams = datagrams;
  t.packets = packets;
  t.nullPackets = nulls;
  t.noStream = packets == 0;
  t.indicators[kCc] = ccErrors;
  t.applicable.fill(true);
  return t;
}

/// A snapshot of a clean run: packets, nothing fired, nothing dropped.
StreamSnapshot cleanSnapshot() {
  StreamSnapshot s;
  s.totals = totals(100, 700, 70);
  s.totals.packetSize = kPacketSize;
  s.pids = {PidCounts{kVideoPid, PidKind::Elementary, kVideoType, 630, 0, 0, 0, true, true},
            PidCounts{kNullPid, PidKind::Null, 0, 70, 0, 0, 0, false, false}};
  return s;
}

std::vector<std::string> linesWith(const std::string& text, std::string_view what) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.find(what) != std::string::npos) out.push_back(line);
  return out;
}

bool saysOk(const std::string& line) {
  std::istringstream in(line);
  for (std::string word; in >> word;)
    if (word == "ok" || word == "OK") return true;
  return false;
}

// ---- Meter --------------------------------------------------------------------------

TEST(Meter, RatesBetweenTheLastTwoSamples) {
  StreamMeter meter;
  meter.sample(totals(0, 0, 0), at(0));
  meter.sample(totals(1000, 7000, 700), at(2000));
  EXPECT_DOUBLE_EQ(meter.rates().datagramsPerSecond, 500);
  EXPECT_DOUBLE_EQ(meter.rates().packetsPerSecond, 3500);
  EXPECT_DOUBLE_EQ(meter.rates().bitsPerSecond, 3500.0 * 188 * 8);
  EXPECT_DOUBLE_EQ(meter.rates().packetsPerDatagram, 7);
  EXPECT_DOUBLE_EQ(meter.rates().nullShare, 0.1);
  ASSERT_EQ(meter.history().size(), 1u);
}

TEST(Meter, HistoryKeepsOnlyItsLength) {
  StreamMeter meter(std::chrono::seconds(10), std::chrono::seconds(5));
  for (int s = 0; s <= 30; ++s) meter.sample(totals(s, s * 7u, 0), at(s * 1000));
  EXPECT_EQ(meter.history().size(), 10u);
  EXPECT_EQ(meter.history().front().at, at(21000));
}

TEST(Meter, IndicatorIsRedWhileItsCountGrewWithinTheHoldThenGreen) {
  StreamMeter meter(std::chrono::seconds(60), std::chrono::seconds(5));
  meter.sample(totals(0, 0, 0, 0), at(0));
  meter.sample(totals(1, 7, 0, 0), at(1000));
  EXPECT_FALSE(meter.red()[kCc]);
  meter.sample(totals(2, 14, 0, 1), at(2000));
  EXPECT_TRUE(meter.red()[kCc]);
  for (int s = 3; s <= 6; ++s) meter.sample(totals(s, s * 7u, 0, 1), at(s * 1000));
  EXPECT_TRUE(meter.red()[kCc]);  // the error came 4 s ago
  for (int s = 7; s <= 8; ++s) meter.sample(totals(s, s * 7u, 0, 1), at(s * 1000));
  EXPECT_FALSE(meter.red()[kCc]);
  EXPECT_FALSE(meter.red()[indexOf(Indicator::TsSyncLoss)]);
}

TEST(Meter, SyncLossIsRedWhileTheSyncIsLost) {
  StreamMeter meter(std::chrono::seconds(60), std::chrono::seconds(5));
  StreamTotals t = totals(1, 7, 0);
  t.indicators[indexOf(Indicator::TsSyncLoss)] = 1;
  t.syncLost = true;
  for (int s = 0; s <= 20; ++s) meter.sample(t, at(s * 1000));
  EXPECT_TRUE(meter.red()[indexOf(Indicator::TsSyncLoss)]);
  t.syncLost = false;
  meter.sample(t, at(21000));
  EXPECT_FALSE(meter.red()[indexOf(Indicator::TsSyncLoss)]);
}

TEST(Meter, PatIsRedWhileNoStreamArrives) {
  StreamMeter meter(std::chrono::seconds(60), std::chrono::seconds(5));
  StreamTotals t = totals(1, 7, 0);
  for (int s = 0; s <= 10; ++s) meter.sample(t, at(s * 1000));
  EXPECT_FALSE(meter.red()[indexOf(Indicator::PatError)]);
  t.noStream = true;
  meter.sample(t, at(11000));
  EXPECT_TRUE(meter.red()[indexOf(Indicator::PatError)]);
}

// ---- Verdict ------------------------------------------------------------------------

TEST(Verdict, ACleanRunPasses) {
  EXPECT_TRUE(checkPassed(cleanSnapshot()));
  EXPECT_TRUE(failureReasons(cleanSnapshot()).empty());
}

TEST(Verdict, NoPacketsFail) {
  StreamSnapshot s;
  EXPECT_FALSE(checkPassed(s));
  EXPECT_FALSE(failureReasons(s).empty());
}

TEST(Verdict, EveryIndicatorThatFiredFails) {
  for (const IndicatorInfo& i : kIndicators) {
    StreamSnapshot s = cleanSnapshot();
    s.totals.indicators[indexOf(i.id)] = 1;
    EXPECT_FALSE(checkPassed(s)) << i.key;
  }
}

TEST(Verdict, SocketDropsFail) {
  StreamSnapshot s = cleanSnapshot();
  s.socketDrops = 1;
  EXPECT_FALSE(checkPassed(s));
}

TEST(Verdict, AFailedRecordingFails) {
  StreamSnapshot s = cleanSnapshot();
  s.recordedPackets = 10;
  s.recordError = "No space left on device";
  EXPECT_FALSE(checkPassed(s));
}

TEST(Verdict, EachReasonIsGiven) {
  StreamSnapshot s = cleanSnapshot();
  s.socketDrops = 3;
  s.recordError = "No space left on device";
  s.totals.indicators[kCc] = 2;
  EXPECT_GE(failureReasons(s).size(), 3u);
}

// ---- JSON -------------------------------------------------------------------------

TEST(Json, CarriesTheCountsThePidTableAndTheVerdict) {
  StreamAnalyser analyser;
  analyser.feed(datagram({patPacket(0), pmtPacket(0), packet(kVideoPid, 0), packet(kVideoPid, 2), packet(kNullPid, 0)}),
                at(0));
  StreamSnapshot s;
  s.totals = analyser.totals();
  s.pids = analyser.pidTable();
  const std::string json = formatJson(s, 2.0);
  const auto root = JsonReader::parse(json);
  ASSERT_TRUE(root) << json;
  ASSERT_EQ(root->kind, JsonValue::Kind::Object);
  ASSERT_TRUE(root->find("packets"));
  EXPECT_EQ(root->find("packets")->text, "5");

  const JsonValue* indicators = root->find("indicators");
  ASSERT_TRUE(indicators && indicators->kind == JsonValue::Kind::Object) << json;
  EXPECT_EQ(indicators->keys.size(), kIndicatorCount);
  for (const IndicatorInfo& i : kIndicators) {
    const JsonValue* v = indicators->find(i.key);
    ASSERT_TRUE(v) << i.key;
    EXPECT_TRUE(v->isInteger()) << i.key;
    EXPECT_EQ(v->text, std::to_string(s.totals.count(i.id))) << i.key;
  }
  EXPECT_EQ(indicators->find("continuity_count_error")->text, "1");

  const JsonValue* pids = root->find("pids");
  ASSERT_TRUE(pids && pids->kind == JsonValue::Kind::Array);
  ASSERT_EQ(pids->items.size(), s.pids.size());
  bool video = false;
  for (const JsonValue& p : pids->items) {
    ASSERT_TRUE(p.find("pid") && p.find("packets") && p.find("cc_errors")) << json;
    if (p.find("pid")->text == "257") {
      video = true;
      EXPECT_EQ(p.find("packets")->text, "2");
      EXPECT_EQ(p.find("cc_errors")->text, "1");
    }
  }
  EXPECT_TRUE(video) << json;
  ASSERT_TRUE(root->find("verdict"));
  EXPECT_EQ(root->find("verdict")->text, "fail");
}

TEST(Json, VerdictAndNotApplicableFollowTheSnapshot) {
  StreamSnapshot s = cleanSnapshot();
  s.totals.applicable[indexOf(Indicator::PtsError)] = false;
  s.totals.applicable[indexOf(Indicator::CatError)] = false;
  const auto root = JsonReader::parse(formatJson(s, 1.0));
  ASSERT_TRUE(root);
  EXPECT_EQ(root->find("verdict")->text, "pass");
  const JsonValue* na = root->find("not_applicable");
  ASSERT_TRUE(na && na->kind == JsonValue::Kind::Array);
  std::vector<std::string> keys;
  for (const JsonValue& k : na->items) keys.push_back(k.text);
  EXPECT_EQ(keys, (std::vector<std::string>{"pts_error", "cat_error"}));
}

TEST(Json, TextsThatNeedEscapingStayValid) {
  StreamSnapshot s = cleanSnapshot();
  s.recordError = "cannot write \"out\\file.ts\":\n\tdisk full";
  EXPECT_TRUE(JsonReader::parse(formatJson(s, 1.0))) << formatJson(s, 1.0);
}

// ---- Text and JSON agree with the verdict, whatever the counts ------------------------

TEST(Reports, NeverSayOkForAnIndicatorThatFiredNorPassBesideAFail) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 500; ++round) {
    StreamSnapshot s = cleanSnapshot();
    for (const IndicatorInfo& i : kIndicators) {
      const bool applicable = random() % 4 != 0;
      s.totals.applicable[indexOf(i.id)] = applicable;
      s.totals.indicators[indexOf(i.id)] = applicable && random() % 5 == 0 ? random() % 1000 + 1 : 0;
    }
    if (random() % 6 == 0) s.socketDrops = random() % 10 + 1;
    if (random() % 8 == 0) s.recordError = "write failed";
    if (random() % 10 == 0) s.totals = totals(0, 0, 0);
    const bool passed = checkPassed(s);
    const std::string text = formatText(s, 10.0);
    for (const IndicatorInfo& i : kIndicators) {
      const auto lines = linesWith(text, i.name);
      ASSERT_FALSE(lines.empty()) << i.name << "\n" << text;
      // Fired, or not applicable: never shown as fine.
      const bool quiet = s.totals.count(i.id) == 0 && s.totals.isApplicable(i.id);
      if (!quiet) {
        for (const std::string& line : lines) EXPECT_FALSE(saysOk(line)) << line;
      }
    }
    const bool anyFail = text.find("FAIL") != std::string::npos;
    const bool saysPass = text.find("PASS") != std::string::npos;
    EXPECT_FALSE(anyFail && saysPass) << text;
    EXPECT_EQ(saysPass, passed) << text;
    const auto root = JsonReader::parse(formatJson(s, 10.0));
    ASSERT_TRUE(root);
    EXPECT_EQ(root->find("verdict")->text, passed ? "pass" : "fail");
    if (::testing::Test::HasFailure()) break;
  }
}

// ---- The check's command line ---------------------------------------------------------

struct BadArgs {
  const char* name;
  std::vector<std::string> args;
};

class CheckUsage : public ::testing::TestWithParam<BadArgs> {};

TEST_P(CheckUsage, IsRefused) {
  std::string error;
  EXPECT_FALSE(parseCheckOptions(GetParam().args, error));
  EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Options, CheckUsage,
    ::testing::Values(BadArgs{"NoPort", {"--seconds", "1"}}, BadArgs{"NoSeconds", {"--port", "5000"}},
                      BadArgs{"PortZero", {"--port", "0", "--seconds", "1"}},
                      BadArgs{"PortTooHigh", {"--port", "65536", "--seconds", "1"}},
                      BadArgs{"SecondsZero", {"--port", "5000", "--seconds", "0"}},
                      BadArgs{"SecondsText", {"--port", "5000", "--seconds", "x"}},
                      BadArgs{"MissingValue", {"--port", "5000", "--seconds"}},
                      BadArgs{"Unknown", {"--port", "5000", "--seconds", "1", "--fast"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckOptions, AllOptionsAreRead) {
  std::string error;
  const std::vector<std::string> args{"--port", "5000", "--address", "127.0.0.2", "--seconds",
                                      "0.5",    "--json", "--record", "out.ts"};
  const auto o = parseCheckOptions(args, error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->port, 5000);
  EXPECT_EQ(o->address, "127.0.0.2");
  EXPECT_DOUBLE_EQ(o->seconds, 0.5);
  EXPECT_TRUE(o->json);
  EXPECT_EQ(o->recordPath, "out.ts");
}

TEST(CheckRun, NothingArrivingFails) {
  CheckOptions o;
  o.port = 0;  // a free port nobody sends to
  o.seconds = 0.2;
  std::ostringstream out, err;
  EXPECT_EQ(runCheck(o, out, err), kCheckFailed);
  EXPECT_NE(out.str().find("FAIL"), std::string::npos);
  EXPECT_EQ(out.str().find("PASS"), std::string::npos);
}

TEST(CheckRun, AnAddressThatCannotBeBoundIsAUsageError) {
  CheckOptions o;
  o.address = "not-an-address";
  o.port = 5000;
  o.seconds = 0.1;
  std::ostringstream out, err;
  EXPECT_EQ(runCheck(o, out, err), kCheckUsage);
  EXPECT_FALSE(err.str().empty());
}

}  // namespace
