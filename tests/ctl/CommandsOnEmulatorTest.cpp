// Every vexilctl command against the emulated board on loopback: the frame the board
// receives is the one the window's page logic builds for the same entries, and each
// kind of failure, played by the emulator's scripted faults, gives its exit status.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "CtlTestSupport.h"
#include "JsonParse.h"
#include "instructions/GeneralInstructions.h"
#include "instructions/InstructionTest.h"
#include "instructions/TsRouting.h"
#include "messaging/Frames.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"

using namespace vexil;
using namespace vexil::testing;
using Args = std::vector<std::string>;

namespace {

constexpr const char* kBoardAddress = "127.0.0.2";

Frame bytes(std::initializer_list<int> values) {
  Frame f;
  for (int v : values) f.push_back(static_cast<std::uint8_t>(v));
  return f;
}

Frame tail(const Frame& frame, std::size_t from) {
  return Frame(frame.begin() + static_cast<std::ptrdiff_t>(from), frame.end());
}

class CtlOnEmulator : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(device.start(kBoardAddress, 0)) << device.error(); }
  std::string target() const { return std::string(kBoardAddress) + ":" + std::to_string(device.port()); }
  CtlRun run(Args args) {
    args.insert(args.begin(), {"--device", target()});
    return runCtl(args);
  }
  void faults(void (*change)(sim::Faults&)) {
    sim::Faults f;
    change(f);
    device.setFaults(f);
  }

  sim::DeviceEmulator device;
};

// ---- The frames are the window's ----------------------------------------------------

struct FrameCase {
  Args args;
  Frame expected;  // what the page logic sends for the same entries
};

TEST_F(CtlOnEmulator, EveryCommandSendsThePageLogicsFrame) {
  TestEntries raw;
  raw.userText = "Quenthaven Bt.";
  raw.rows[0] = {true, "$00", "$00,$56,$78"};
  raw.rows[1] = {true, "3", "0"};
  SendTsEntries qvNet;
  qvNet.tsFormat = 0;
  qvNet.tsSource = 1;
  qvNet.dataValidPin = 1;
  qvNet.instructionType = 1;
  qvNet.destinationIp = {"239", "1", "1", "9"};
  qvNet.destinationPort = "5009";

  const std::vector<FrameCase> cases{
      {{"identify"}, QvNetQuery()},
      {{"status"}, StatusQuery()},
      {{"set", "serial", "56765"}, buildSetSerial("56765").frame},
      {{"set", "type", "7058"}, buildSetType("7058").frame},
      {{"set", "user-text", "Line 4"}, buildSetUserText("Line 4").frame},
      {{"set", "ip", "10.123.13.70"}, buildSetAddress(AddressRow::Ip, {"10", "123", "13", "70"}).frame},
      {{"set", "netmask", "255.255.0.0"},
       buildSetAddress(AddressRow::NetMask, {"255", "255", "0", "0"}).frame},
      {{"set", "gateway", "10.123.13.254"},
       buildSetAddress(AddressRow::Gateway, {"10", "123", "13", "254"}).frame},
      {{"set", "nco", "3", "62500000"}, buildSetNco(3, "62500000").frame},
      {{"reset", "pdi"}, buildReset(kPdiResetIndex, 10).frame},
      {{"reset", "sdi", "--time", "255"}, buildReset(kSdiResetIndex, 255).frame},
      {{"send-ts", "--dest", "239.1.1.9:5009", "--format", "qvnet", "--source", "2", "--dv-pin",
        "--always"},
       buildSendTs(qvNet).frame},
      {{"stop-ts", "3"}, buildDontSendTs(2)},
      {{"raw", "$00:$00,$56,$78", "3:0"}, BuildTestMessage(raw).message},
  };
  for (const FrameCase& c : cases) {
    const std::size_t before = device.requestCount();
    const CtlRun r = run(c.args);
    EXPECT_EQ(r.exit, 0) << c.args.front() << ": " << r.err;
    EXPECT_EQ(device.requestCount(), before + 1) << c.args.front();
    EXPECT_EQ(device.lastRequest(), c.expected) << c.args.front() << " " << c.args.back();
  }
}

TEST_F(CtlOnEmulator, FramesMatchTheBytesTheWindowIsKnownToSend) {
  run({"set", "serial", "$DDBD"});
  EXPECT_EQ(tail(device.lastRequest(), 21),
            bytes({0x01, 0x10, 0x00, 0x04, 0x00, 0x00, 0xDD, 0xBD, 0x03, 0x00, 0x01, 0x00}));
  run({"stop-ts", "3"});
  EXPECT_EQ(tail(device.lastRequest(), 21),
            bytes({0x01, 0x31, 0x00, 0x01, 0x03, 0x03, 0x00, 0x01, 0x00}));
  run({"send-ts", "--dest", "10.123.13.201:56789"});
  const Frame firstStart = device.lastRequest();
  ASSERT_EQ(firstStart.size(), 58u);
  EXPECT_EQ(tail(firstStart, 21), bytes({0x01, 0x30, 0x00, 0x1D, 0x01, 0x02, 0xE0, 0x00, 0x02,
                                         0,    0,    0,    0,    0,    0,    0,    0,    0,
                                         0,    0,    0,    0,    0,    0,    0,    0,    0,
                                         0x0A, 0x7B, 0x0D, 0xC9, 0xDD, 0xD5, 0x03, 0x00, 0x01,
                                         0x00}));
}

TEST_F(CtlOnEmulator, SetupSendsTheStatusQueryThenTheConfiguration) {
  const CtlRun r = run({"setup"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(device.requestCount(), 2u);
  EXPECT_EQ(device.lastRequest(), manufacturerConfigFrame());
  EXPECT_EQ(r.outLines(), (std::vector<std::string>{"Target Device: QV-7163 Version 1.05",
                                                    "User Text: Marovantis Ltd.",
                                                    "Manufacturer Setup succeeded."}));
}

TEST_F(CtlOnEmulator, SystemResetIsSentWithoutWaitingAndSucceeds) {
  const CtlRun r = run({"reset", "system"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out, "Reset sent.\n");
  // Sent without waiting: the board may not have read it yet when vexilctl returns.
  ASSERT_TRUE(device.waitForRequests(1, std::chrono::milliseconds(2000)));
  EXPECT_EQ(device.lastRequest(), buildReset(kSystemResetIndex, 10).frame);
}

// ---- Output ---------------------------------------------------------------------

TEST_F(CtlOnEmulator, StatusPrintsTheWindowsReportLines) {
  const CtlRun r = run({"status"});
  ASSERT_EQ(r.exit, 0) << r.err;
  const auto lines = r.outLines();
  ASSERT_GT(lines.size(), 100u);
  EXPECT_EQ(lines[0], "Palvox ACK received (662).");
  EXPECT_EQ(lines[1], "Device IP: 127.0.0.2");
  EXPECT_EQ(lines[2], "Device Port: " + std::to_string(device.port()));
  EXPECT_EQ(lines[5], "Device Serial: 5000");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "IP REMULTIPLEXER EXTENSION"), lines.end());
}

TEST_F(CtlOnEmulator, RawPrintsTheDumpAndTheAnswersBody) {
  const CtlRun r = run({"raw", "3:0"});
  ASSERT_EQ(r.exit, 0) << r.err;
  const auto lines = r.outLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].rfind("Header: $50 $61 $6C $76 $6F $78 ", 0), 0u);
  EXPECT_EQ(lines[2], "IT1:    $03 $00 $01 $00 ");
  EXPECT_EQ(lines[3], " Answer received (41 bytes).");
  EXPECT_EQ(lines[4].rfind(" Palvox body: $F0", 0), 0u);
}

// ---- Exit statuses for each kind of failure ---------------------------------------

struct FailureCase {
  const char* name;
  Args args;
  void (*faults)(sim::Faults&);
  int exit;
  const char* result;  // the result kind named on stderr
  const char* text;    // part of the message
};

class CtlFailures : public CtlOnEmulator, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CtlFailures, ExitStatusAndMessage) {
  const FailureCase& c = GetParam();
  faults(c.faults);
  const CtlRun r = run(c.args);
  EXPECT_EQ(r.exit, c.exit) << r.err;
  EXPECT_TRUE(contains(r.err, c.result)) << r.err;
  EXPECT_TRUE(contains(r.err, c.text)) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CtlFailures,
    ::testing::Values(
        FailureCase{"SetWithoutAnswer", {"--timeout", "150", "set", "serial", "1"},
                    [](sim::Faults& f) { f.silent = true; }, 1, "no-answer", "No ACK Received!"},
        FailureCase{"SetAnsweredBy40Bytes", {"set", "type", "7163"},
                    [](sim::Faults& f) { f.answerLength = 40; }, 1, "wrong-length", "40 bytes"},
        FailureCase{"SetAnsweredBy42Bytes", {"set", "type", "7163"},
                    [](sim::Faults& f) { f.answerLength = 42; }, 1, "wrong-length", "42 bytes"},
        FailureCase{"SendTsAnsweredShort", {"send-ts", "--dest", "1.2.3.4:5"},
                    [](sim::Faults& f) { f.answerLength = 26; }, 1, "wrong-length", "26 bytes"},
        FailureCase{"StopTsWithoutAnswer", {"--timeout", "150", "stop-ts", "1"},
                    [](sim::Faults& f) { f.silent = true; }, 1, "no-answer", "150 ms"},
        FailureCase{"StatusOf533Bytes", {"status"},
                    [](sim::Faults& f) { f.answerLength = 533; }, 1, "rejected",
                    "Message length (UDP): 533 bytes"},
        FailureCase{"StatusWithoutTheAckMarker", {"status"},
                    [](sim::Faults& f) { f.answerOpcode = 0x00; }, 1, "rejected",
                    "Unknown message received."},
        FailureCase{"IdentityOf24Bytes", {"identify"},
                    [](sim::Faults& f) { f.answerLength = 24; }, 1, "rejected",
                    "Message length: 24 bytes"},
        FailureCase{"IdentityWithoutAnswer", {"--timeout", "150", "identify"},
                    [](sim::Faults& f) { f.silent = true; }, 1, "no-answer", "150 ms"},
        FailureCase{"RawWithoutAnswer", {"--timeout", "150", "raw", "3:0"},
                    [](sim::Faults& f) { f.silent = true; }, 1, "no-answer", "No answer"},
        FailureCase{"SetupWithoutAnswer", {"--timeout", "150", "setup"},
                    [](sim::Faults& f) { f.silent = true; }, 1, "no-answer",
                    "Error: No ACK answer received (in 1s)."},
        FailureCase{"SetupOfAShortStatus", {"setup"},
                    [](sim::Faults& f) { f.answerLength = 499; }, 1, "rejected",
                    "Error: Unknown message received."},
        FailureCase{"SetupOfABoardThatKeepsItsText", {"setup"},
                    [](sim::Faults& f) { f.refusedOpcodes = {0x12}; }, 1, "rejected",
                    "Error: Marovantis Setup failed."}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST_F(CtlOnEmulator, SetupOfAnotherTypeStopsAfterTheQuery) {
  sim::DeviceState other = device.state();
  other.deviceType = 7058;
  device.setState(other);
  const CtlRun r = run({"setup"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_TRUE(contains(r.err, "Error: Device type must be QV-7163.")) << r.err;
  EXPECT_EQ(device.requestCount(), 1u);
}

TEST_F(CtlOnEmulator, SetupWhoseConfigurationGoesUnansweredFailsInStepTwo) {
  sim::FaultScript script;
  sim::FaultRule rule;
  rule.when.opcode = 0x12;
  rule.faults.silent = true;
  script.rules.push_back(rule);
  device.setFaultScript(script);
  const CtlRun r = run({"--timeout", "150", "setup"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_TRUE(contains(r.err, "no-answer")) << r.err;
  EXPECT_EQ(device.requestCount(), 2u);
  EXPECT_TRUE(contains(r.out, "Target Device: QV-7163 Version 1.05")) << r.out;
}

TEST_F(CtlOnEmulator, ARequestThatCannotBeSentIsExitTwo) {
  UdpEndpoint holder([](const std::uint8_t*, std::size_t, std::size_t, const std::string&,
                        std::uint16_t) {});
  ASSERT_TRUE(holder.activate(0));
  const CtlRun r = run({"--host-port", std::to_string(holder.localPort()), "set", "serial", "1"});
  EXPECT_EQ(r.exit, 2);
  EXPECT_TRUE(contains(r.err, "send-failed")) << r.err;
  EXPECT_TRUE(contains(r.err, "Communication Error!")) << r.err;
  EXPECT_EQ(device.requestCount(), 0u);
}

TEST_F(CtlOnEmulator, ARefusedValueIsExitTwoAndNothingIsSent) {
  for (const Args& args : std::vector<Args>{{"set", "serial", "abc"},
                                            {"set", "type", "70000"},
                                            {"set", "ip", "10.123.x.7"},
                                            {"set", "nco", "2", "abc"},
                                            {"send-ts", "--dest", "10.1.2.3:5", "--packets", "9"},
                                            {"raw", "0x10:1"}}) {
    const CtlRun r = run(args);
    EXPECT_EQ(r.exit, 2) << args.back();
    const std::string named = args.back().substr(0, args.back().find(':'));
    EXPECT_TRUE(contains(r.err, "'" + named + "'")) << r.err;
  }
  EXPECT_EQ(device.requestCount(), 0u);
}

// ---- JSON, checked by parsing it --------------------------------------------------

TEST_F(CtlOnEmulator, StatusJsonHoldsEveryFieldAndAgreesWithTheLines) {
  const CtlRun r = run({"--json", "status"});
  ASSERT_EQ(r.exit, 0) << r.err;
  const auto lines = r.outLines();
  ASSERT_EQ(lines.size(), 1u);
  const JsonValue o = JsonReader::parse(lines[0]);
  EXPECT_EQ(o["device"].text(), target());
  EXPECT_EQ(o["command"].text(), "status");
  EXPECT_EQ(o["exit"].number(), 0);
  EXPECT_EQ(o["result"].text(), "ok");
  const JsonValue& rep = o["report"];
  EXPECT_EQ(rep["length"].number(), 662);
  EXPECT_EQ(rep["type"].number(), 7163);
  EXPECT_EQ(rep["serial"].number(), 5000);
  EXPECT_EQ(rep["version"].text(), "1.05");
  EXPECT_EQ(rep["model"]["code"].number(), 7);
  EXPECT_EQ(rep["model"]["name"].text(), "IP Remultiplexer");
  EXPECT_EQ(rep["link_speed"]["code"].number(), 2);
  EXPECT_EQ(rep["link_speed"]["name"].text(), "100 Mbps");
  EXPECT_EQ(rep["configuration_word"].number(), 0x0200);
  EXPECT_EQ(rep["gateway_ip"].text(), "10.123.13.1");
  EXPECT_EQ(rep["net_mask"].text(), "255.255.255.0");
  EXPECT_EQ(rep["primary_mac"].text(), "00:50:C2:3A:10:01");
  EXPECT_EQ(rep["arp_period_seconds"].number(), 30);
  EXPECT_EQ(rep["igmp_report_period_ms"].number(), 25 * 400);
  ASSERT_EQ(rep["ts_inputs"].array().size(), 4u);
  EXPECT_EQ(rep["ts_inputs"][0]["dest_ip"].text(), "239.1.1.1");
  EXPECT_EQ(rep["ts_inputs"][0]["dest_port"].number(), 5001);
  EXPECT_EQ(rep["ts_inputs"][1]["mode0"].number(), 0x94);
  EXPECT_EQ(rep["ts_inputs"][0]["state"]["name"].text(), "Sending TS");
  EXPECT_EQ(rep["ts_inputs"][1]["dest_mode"]["name"].text(), "Manual");
  ASSERT_EQ(rep["ts_outputs"].array().size(), 4u);
  EXPECT_EQ(rep["ts_outputs"][0]["receive_port"].number(), 6001);
  EXPECT_EQ(rep["nco_hz"][3].number(), 1000000);
  EXPECT_EQ(rep["iic_divider"].number(), 61);
  EXPECT_EQ(rep["user_data"].text().size(), 64u);
  EXPECT_TRUE(rep["trap"].has("ip"));

  // The extension's composed numbers are the ones the report's lines show.
  ASSERT_TRUE(rep.has("extension"));
  const JsonValue& ext = rep["extension"];
  ASSERT_EQ(ext["channels"].array().size(), 4u);
  const JsonArray& shown = o["lines"].array();
  auto shows = [&](const std::string& line) {
    return std::any_of(shown.begin(), shown.end(),
                       [&](const JsonValue& v) { return v.text() == line; });
  };
  for (const JsonValue& ch : ext["channels"].array()) {
    EXPECT_TRUE(shows(" Input stream: " + std::to_string(static_cast<long>(ch["input_rate_packets_per_second"].number())) +
                      " packets/sec"));
    EXPECT_TRUE(shows(" SDRAM size: " + std::to_string(static_cast<long>(ch["sdram_size_packets"].number())) +
                      " packets"));
    EXPECT_TRUE(shows(" SDRAM usage: " +
                      std::to_string(static_cast<long>(ch["sdram_usage_packets"].number())) + " packets"));
  }
  EXPECT_TRUE(shows("Device Serial: 5000"));
}

TEST_F(CtlOnEmulator, StatusJsonOfAModelWithoutTheExtensionLeavesItOut) {
  sim::DeviceState plain = device.state();
  plain.model = 0;
  device.setState(plain);
  const CtlRun r = run({"--json", "status"});
  ASSERT_EQ(r.exit, 0) << r.err;
  const JsonValue o = JsonReader::parse(r.outLines().at(0));
  EXPECT_EQ(o["report"]["length"].number(), 534);
  EXPECT_EQ(o["report"]["model"]["code"].number(), 0);
  EXPECT_FALSE(o["report"].has("extension"));
}

TEST_F(CtlOnEmulator, JsonOfOtherCommandsAndOfFailures) {
  const JsonValue id = JsonReader::parse(run({"--json", "identify"}).outLines().at(0));
  EXPECT_EQ(id["identity"]["type"].number(), 7163);
  EXPECT_EQ(id["identity"]["version"].text(), "1.05");

  const JsonValue raw = JsonReader::parse(run({"--json", "raw", "3:0"}).outLines().at(0));
  EXPECT_EQ(raw["answer_length"].number(), 41);
  EXPECT_EQ(raw["request"].text().substr(0, 12), "50616C766F78");

  sim::DeviceState named = device.state();
  named.userText = sim::deviceText("Caf\xE9 \"A\"\\1");  // Latin-1, a quote, a backslash
  device.setState(named);
  const JsonValue setup = JsonReader::parse(run({"--json", "setup"}).outLines().at(0));
  EXPECT_EQ(setup["serial"].number(), 5000);
  EXPECT_EQ(setup["user_text"].text(), "Marovantis Ltd.");
  EXPECT_FALSE(setup.has("targetDevice")) << "values, not the page's labels";

  faults([](sim::Faults& f) { f.answerLength = 40; });
  const CtlRun failed = run({"--json", "set", "type", "1"});
  EXPECT_EQ(failed.exit, 1);
  const JsonValue f = JsonReader::parse(failed.outLines().at(0));
  EXPECT_EQ(f["exit"].number(), 1);
  EXPECT_EQ(f["result"].text(), "wrong-length");
}

TEST_F(CtlOnEmulator, DeviceTextsOutsideAsciiBecomeUtf8InJson) {
  // The board reports its user text in the header of every answer; the instruction
  // test shows the answer as hex, but the set-up's text line carries it as it is.
  sim::FaultScript script;
  sim::FaultRule rule;
  rule.when.opcode = 0x12;
  rule.faults.refusedOpcodes = {0x12};
  script.rules.push_back(rule);
  device.setFaultScript(script);
  sim::DeviceState named = device.state();
  named.userText = sim::deviceText("Caf\xE9 \"A\"\\1");
  device.setState(named);
  const CtlRun r = run({"--json", "setup"});
  EXPECT_EQ(r.exit, 1);
  const JsonValue o = JsonReader::parse(r.outLines().at(0));
  EXPECT_EQ(o["user_text"].text().substr(0, 11), "Caf\xC3\xA9 \"A\"\\1");
}

// ---- The board named by the settings file -----------------------------------------

TEST_F(CtlOnEmulator, WithoutADeviceTheSettingsFileNamesTheBoardAndPorts) {
  const std::string path = ::testing::TempDir() + "ctl-settings.ini";
  {
    std::ofstream f(path);
    f << "[Settings]\nMyPort=0\nDevicePort=" << device.port()
      << "\n[Main]\nIPBase=127.0.0.\nIPExt=2\n";
  }
  const CtlRun r = runCtl({"identify"}, {path});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Device IP: 127.0.0.2")) << r.out;
  EXPECT_TRUE(contains(r.out, "Device Port: " + std::to_string(device.port())));

  {
    std::ofstream f(path);
    f << "[Settings]\nMyPort=0\n[Main]\nIPBase=no-address.\nIPExt=2\n";
  }
  const CtlRun bad = runCtl({"identify"}, {path});
  EXPECT_EQ(bad.exit, 2);
  EXPECT_TRUE(contains(bad.err, "send-failed")) << bad.err;
  std::remove(path.c_str());
}

}  // namespace

namespace {

// ---- stream-check: Send TS through vexilctl, then check what arrives ---------------

TEST_F(CtlOnEmulator, StreamCheckSeesTheStreamThatSendTsStarted) {
  const int port = freeLoopbackPort();
  ASSERT_NE(port, 0);
  const std::string dest = "127.0.0.1:" + std::to_string(port);
  ASSERT_EQ(run({"send-ts", "--dest", dest, "--source", "1"}).exit, 0);
  const CtlRun check =
      runCtl({"stream-check", "--port", std::to_string(port), "--seconds", "1", "--json"});
  EXPECT_EQ(check.exit, 0) << check.out << check.err;
  EXPECT_TRUE(contains(check.out, "\"packets\"")) << check.out;
  ASSERT_EQ(run({"stop-ts", "1"}).exit, 0);
}

TEST(CtlStreamCheck, UsageErrorsExitTwoAndNothingArrivingExitsOne) {
  EXPECT_EQ(runCtl({"stream-check", "--seconds", "1"}).exit, 2) << "no port";
  EXPECT_EQ(runCtl({"stream-check", "--port", "5", "--seconds", "1", "--bogus"}).exit, 2);
  const CtlRun help = runCtl({"stream-check", "--help"});
  EXPECT_EQ(help.exit, 0);
  EXPECT_TRUE(contains(help.out, "--seconds"));
  const int port = freeLoopbackPort();
  EXPECT_EQ(runCtl({"stream-check", "--port", std::to_string(port), "--seconds", "0.3"}).exit, 1)
      << "nothing arrived";
}

}  // namespace
