// Rates and indicator colours from sampled totals, the report texts, and the options
// and exit status of vexil-stream-check.
#include <gtest/gtest.h>

#include <sstream>

#include "PacketBuilder.h"
#include "stream/StreamCheck.h"
#include "stream/StreamMeter.h"
#include "stream/StreamReport.h"

using namespace vexil::stream;
using namespace vexil::stream::testing;

namespace {

StreamTotals totals(std::uint64_t datagrams, std::uint64_t packets, std::uint64_t nulls,
                    std::uint64_t ccErrors = 0) {
  StreamTotals t;
  t.datagrams = datagrams;
  t.packets = packets;
  t.nullPackets = nulls;
  t.priority1.continuityError = ccErrors;
  return t;
}

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
  for (int s = 0; s <= 30; ++s) meter.sample(totals(s, s * 7, 0), at(s * 1000));
  EXPECT_EQ(meter.history().size(), 10u);
  EXPECT_EQ(meter.history().front().at, at(21000));
}

TEST(Meter, IndicatorIsRedWhileItsCountGrewWithinTheHoldThenGreen) {
  StreamMeter meter(std::chrono::seconds(60), std::chrono::seconds(5));
  meter.sample(totals(0, 0, 0, 0), at(0));
  meter.sample(totals(1, 7, 0, 0), at(1000));
  EXPECT_FALSE(meter.red()[3]);
  meter.sample(totals(2, 14, 0, 1), at(2000));
  EXPECT_TRUE(meter.red()[3]);
  for (int s = 3; s <= 6; ++s) meter.sample(totals(s, s * 7, 0, 1), at(s * 1000));
  EXPECT_TRUE(meter.red()[3]);  // the error came 4 s ago
  for (int s = 7; s <= 8; ++s) meter.sample(totals(s, s * 7, 0, 1), at(s * 1000));
  EXPECT_FALSE(meter.red()[3]);
  EXPECT_FALSE(meter.red()[0]);
}

TEST(Report, PassNeedsPacketsAndNoContinuityOrSyncError) {
  EXPECT_FALSE(checkPassed(totals(0, 0, 0)));
  EXPECT_TRUE(checkPassed(totals(1, 7, 0)));
  EXPECT_FALSE(checkPassed(totals(1, 7, 0, 1)));
  StreamTotals sync = totals(1, 7, 0);
  sync.priority1.syncByteError = 1;
  EXPECT_FALSE(checkPassed(sync));
  StreamTotals pat = totals(1, 7, 0);
  pat.priority1.patError = 3;  // tables are reported, not judged
  EXPECT_TRUE(checkPassed(pat));
}

TEST(Report, JsonCarriesTheCountsAndThePidTable) {
  StreamAnalyser analyser;
  analyser.feed(datagram({patPacket(0), pmtPacket(0), packet(kVideoPid, 0), packet(kVideoPid, 2),
                          packet(kNullPid, 0)}),
                at(0));
  StreamSnapshot s;
  s.totals = analyser.totals();
  s.pids = analyser.pidTable();
  const std::string json = formatJson(s, 2.0);
  EXPECT_NE(json.find("\"packets\": 5,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"continuity_count_error\": 1"), std::string::npos) << json;
  EXPECT_NE(json.find("{\"pid\": 257, \"packets\": 2, \"share\": 0.40000, \"cc_errors\": 1"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"kind\": \"ES 0x02\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"pass\": false"), std::string::npos) << json;
  const std::string text = formatText(s, 2.0);
  EXPECT_NE(text.find("Continuity count error: 1  FAIL"), std::string::npos) << text;
  EXPECT_NE(text.find("Result: FAIL"), std::string::npos) << text;
}

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
  EXPECT_NE(out.str().find("Result: FAIL"), std::string::npos);
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
