// vexilctl's command line: every value is checked before anything is sent, at the edges
// of each field, and what passes reaches the page logic as typed, so the frame is the
// window's.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ctl/CommandLine.h"
#include "ctl/Help.h"
#include "instructions/GeneralInstructions.h"
#include "instructions/TsRouting.h"

using namespace vexil;
using namespace vexil::ctl;
using Args = std::vector<std::string>;

namespace {

Args withDevice(Args args) {
  args.insert(args.begin(), {"--device", "127.0.0.2"});
  return args;
}

Invocation accepted(const Args& args) {
  ParsedCommandLine p = parseCommandLine(withDevice(args));
  EXPECT_TRUE(p.invocation.has_value()) << p.error;
  return p.invocation.value_or(Invocation{});
}

std::string refusal(const Args& args) {
  ParsedCommandLine p = parseCommandLine(withDevice(args));
  EXPECT_FALSE(p.invocation.has_value()) << "accepted: " << args.back();
  return p.error;
}

// ---- Values at the edges of their fields -----------------------------------------

struct EdgeCase {
  Args args;
  bool ok;
  const char* named;  // a text the refusal must contain
};

class ValueEdges : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(ValueEdges, AcceptedOrRefusedNamingTheValue) {
  const EdgeCase& c = GetParam();
  if (c.ok) {
    accepted(c.args);
  } else {
    EXPECT_NE(refusal(c.args).find(c.named), std::string::npos) << refusal(c.args);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Set, ValueEdges,
    ::testing::Values(
        EdgeCase{{"set", "serial", "4294967295"}, true, ""},
        EdgeCase{{"set", "serial", "4294967296"}, false, "4294967296"},
        EdgeCase{{"set", "serial", "-2147483648"}, true, ""},
        EdgeCase{{"set", "serial", "abc"}, false, "'abc'"},
        EdgeCase{{"set", "serial", ""}, false, "serial"},
        EdgeCase{{"set", "serial", "$FFFFFFFF"}, true, ""},
        EdgeCase{{"set", "serial", "56765 "}, false, "56765 "},
        EdgeCase{{"set", "type", "65535"}, true, ""},
        EdgeCase{{"set", "type", "65536"}, false, "65536"},
        EdgeCase{{"set", "type", "-1"}, false, "-1"},
        EdgeCase{{"set", "type", "0"}, true, ""},
        EdgeCase{{"set", "ip", "255.255.255.255"}, true, ""},
        EdgeCase{{"set", "ip", "10.123.13.256"}, false, "'256'"},
        EdgeCase{{"set", "ip", "10.123.x.7"}, false, "'x'"},
        EdgeCase{{"set", "netmask", "255.0.0"}, false, "255.0.0"},
        EdgeCase{{"set", "gateway", "10.123.13.1.5"}, false, "10.123.13.1.5"},
        EdgeCase{{"set", "gateway", "10..13.1"}, false, "part 2"},
        EdgeCase{{"set", "nco", "1", "62500000"}, true, ""},
        EdgeCase{{"set", "nco", "0", "120"}, false, "channel"},
        EdgeCase{{"set", "nco", "5", "120"}, false, "channel"},
        EdgeCase{{"set", "nco", "4", "abc"}, false, "'abc'"},
        EdgeCase{{"set", "user-text", "Marovantis Ltd."}, true, ""},
        EdgeCase{{"set", "user-text", "Marovantis Ltd.!"}, false, "16 characters"},
        EdgeCase{{"set", "user-text", ""}, true, ""},
        EdgeCase{{"set", "user-text", "M\xC3\xBCnchen"}, true, ""},
        EdgeCase{{"set", "user-text", "\xE2\x82\xAC 5"}, false, "Latin-1"},
        EdgeCase{{"set", "user-text", "\xFF"}, false, "UTF-8"},
        EdgeCase{{"set", "volume", "3"}, false, "volume"}));

INSTANTIATE_TEST_SUITE_P(
    ResetAndRouting, ValueEdges,
    ::testing::Values(
        EdgeCase{{"reset", "sdi", "--time", "1"}, true, ""},
        EdgeCase{{"reset", "sdi", "--time", "255"}, true, ""},
        EdgeCase{{"reset", "sdi", "--time", "0"}, false, "'0'"},
        EdgeCase{{"reset", "pdi", "--time", "256"}, false, "'256'"},
        EdgeCase{{"reset", "warm"}, false, "warm"},
        EdgeCase{{"stop-ts", "1"}, true, ""},
        EdgeCase{{"stop-ts", "4"}, true, ""},
        EdgeCase{{"stop-ts", "0"}, false, "'0'"},
        EdgeCase{{"stop-ts", "5"}, false, "'5'"},
        EdgeCase{{"send-ts", "--dest", "10.1.2.3:65535"}, true, ""},
        EdgeCase{{"send-ts", "--dest", "10.1.2.3:65536"}, false, "65536"},
        EdgeCase{{"send-ts", "--dest", "10.1.2.300:5"}, false, "'300'"},
        EdgeCase{{"send-ts", "--dest", "10.1.2.3"}, false, "PORT"},
        EdgeCase{{"send-ts"}, false, "--dest"},
        EdgeCase{{"send-ts", "--dest", "1.2.3.4:5", "--format", "qvnet", "--size", "256"}, true, ""},
        EdgeCase{{"send-ts", "--dest", "1.2.3.4:5", "--format", "qvnet", "--size", "255"}, false, "'255'"},
        EdgeCase{{"send-ts", "--dest", "1.2.3.4:5", "--format", "qvnet", "--size", "1429"}, false, "'1429'"},
        EdgeCase{{"send-ts", "--dest", "1.2.3.4:5", "--size", "1000"}, false, "qvnet only"},
        EdgeCase{{"send-ts", "--dest", "1.2.3.4:5", "--format", "qvnet", "--remove-null"}, false, "iptv only"},
        EdgeCase{{"send-ts", "--dest", "1.2.3.4:5", "--packets", "7"}, true, ""},
        EdgeCase{{"send-ts", "--dest", "1.2.3.4:5", "--packets", "8"}, false, "'8'"},
        EdgeCase{{"send-ts", "--dest", "1.2.3.4:5", "--packets", "0"}, false, "'0'"},
        EdgeCase{{"send-ts", "--dest", "1.2.3.4:5", "--packet-format", "190"}, false, "190"},
        EdgeCase{{"send-ts", "--dest", "1.2.3.4:5", "--format", "mpeg"}, false, "mpeg"},
        EdgeCase{{"send-ts", "--dest", "1.2.3.4:5", "--source", "5"}, false, "'5'"},
        EdgeCase{{"setup", "--log-format", "jsonl"}, false, "--log"},
        EdgeCase{{"setup", "--time", "5"}, false, "--time"}));

INSTANTIATE_TEST_SUITE_P(
    InstructionTestRows, ValueEdges,
    ::testing::Values(
        EdgeCase{{"raw"}, true, ""},
        EdgeCase{{"raw", "3:0"}, true, ""},
        EdgeCase{{"raw", "$ff:$ff,255,0"}, true, ""},
        EdgeCase{{"raw", "256:0"}, false, "'256'"},
        EdgeCase{{"raw", "999:0"}, false, "one byte"},
        EdgeCase{{"raw", "0x10:0"}, false, "'0x10'"},
        EdgeCase{{"raw", "FF:0"}, false, "not a number"},
        EdgeCase{{"raw", ":1"}, false, "opcode is empty"},
        EdgeCase{{"raw", "3:"}, false, "no data"},
        EdgeCase{{"raw", "3:1,,2"}, false, "item 2 is empty"},
        EdgeCase{{"raw", "3:1,2,"}, false, "item 3 is empty"},
        EdgeCase{{"raw", "3:1, 2"}, false, "' 2'"},
        EdgeCase{{"raw", "3:-1"}, false, "'-1'"},
        EdgeCase{{"raw", "3:12$4"}, false, "'12$4'"},
        EdgeCase{{"raw", "3"}, false, "OPCODE:DATA-LIST"},
        EdgeCase{{"raw", "1:0", "2:0", "3:0", "4:0", "5:0", "6:0"}, false, "at most 5"},
        EdgeCase{{"raw", "--text", "123456789012345"}, true, ""},
        EdgeCase{{"raw", "--text", "1234567890123456"}, false, "16 characters"}));

// ---- What passes reaches the page logic as typed ----------------------------------

TEST(CommandLineFrames, SetCommandsBuildTheWindowsFrameFromTheTextAsTyped) {
  EXPECT_EQ(accepted({"set", "serial", "$DDBD"}).general.frame, buildSetSerial("56765").frame);
  EXPECT_EQ(accepted({"set", "serial", "-1"}).general.frame, buildSetSerial("4294967295").frame);
  EXPECT_EQ(accepted({"set", "type", "7058"}).general.frame, buildSetType("7058").frame);
  EXPECT_EQ(accepted({"set", "ip", "10.123.13.70"}).general.frame,
            buildSetAddress(AddressRow::Ip, {"10", "123", "13", "70"}).frame);
  EXPECT_EQ(accepted({"set", "gateway", "$0A.123.13.1"}).general.frame,
            buildSetAddress(AddressRow::Gateway, {"10", "123", "13", "1"}).frame);
  EXPECT_EQ(accepted({"set", "nco", "2", "62500000"}).general.frame,
            buildSetNco(2, "62500000").frame);
  EXPECT_EQ(accepted({"set", "user-text", "M\xC3\xBCnchen"}).general.frame,
            buildSetUserText("M\xFCnchen").frame);
}

TEST(CommandLineFrames, ResetTakesTheKindAndTheWindowsDefaultTime) {
  const Invocation system = accepted({"reset", "system"});
  EXPECT_EQ(system.general.frame, buildReset(kSystemResetIndex, kResetTimeDefaultMs).frame);
  EXPECT_TRUE(system.general.systemReset);
  const Invocation sdi = accepted({"reset", "sdi", "--time=255"});
  EXPECT_EQ(sdi.general.frame, buildReset(kSdiResetIndex, 255).frame);
  EXPECT_FALSE(sdi.general.systemReset);
}

TEST(CommandLineFrames, SendTsOptionsSetEveryControlOfThePage) {
  const Invocation qv = accepted({"send-ts", "--dest", "10.123.13.201:56789", "--format", "qvnet",
                                  "--size", "1428", "--source", "2", "--dv-pin", "--always"});
  SendTsEntries e;
  e.tsFormat = 0;
  e.qvNetSize = 1428;
  e.tsSource = 1;
  e.dataValidPin = kDataValidPinEnabledIndex;
  e.instructionType = kAlwaysSendTsIndex;
  EXPECT_EQ(buildSendTs(qv.sendTs).frame, buildSendTs(e).frame);
  const ModeBytes qvMode = composeModeBytes(qv.sendTs);
  EXPECT_EQ(qvMode.mode2, 0x05);
  EXPECT_EQ(qvMode.mode1, 0x05);
  EXPECT_EQ(qvMode.mode0, 0x94);

  const Invocation iptv = accepted({"send-ts", "--dest", "1.2.3.4:5", "--packets", "1",
                                    "--packet-format", "204", "--remove-null",
                                    "--remove-tsp-errors"});
  const ModeBytes m = composeModeBytes(iptv.sendTs);
  EXPECT_EQ(m.mode2, 0x02);
  EXPECT_EQ(m.mode1, 0x27);
  EXPECT_EQ(m.mode0, 0x00);
}

TEST(CommandLineFrames, SendTsWithOnlyADestinationIsTheWindowsFirstStartFrame) {
  const Invocation inv = accepted({"send-ts", "--dest", "10.123.13.201:56789"});
  EXPECT_EQ(buildSendTs(inv.sendTs).frame, buildSendTs(SendTsEntries{}).frame);
}

TEST(CommandLineFrames, RawRowsFillThePagesRowsInOrder) {
  const Invocation inv = accepted({"raw", "--text", "hello", "$00:$00,$56,$78", "2:0,5,6,7"});
  EXPECT_EQ(inv.test.userText, "hello");
  EXPECT_TRUE(inv.test.rows[0].ticked);
  EXPECT_EQ(inv.test.rows[0].opcode, "$00");
  EXPECT_EQ(inv.test.rows[0].data, "$00,$56,$78");
  EXPECT_TRUE(inv.test.rows[1].ticked);
  EXPECT_FALSE(inv.test.rows[2].ticked);
  const TestMessage m = BuildTestMessage(inv.test);
  EXPECT_EQ(m.records[0], (Frame{0x00, 0x00, 0x03, 0x00, 0x56, 0x78}));
  EXPECT_EQ(m.records[1], (Frame{0x02, 0x00, 0x04, 0x00, 0x05, 0x06, 0x07}));
}

// ---- Global options and devices ----------------------------------------------------

TEST(CommandLineGlobals, DevicesPortsAndOptionsAnywhereOnTheLine) {
  ParsedCommandLine p = parseCommandLine(
      {"status", "--device", "127.0.0.2:56790", "--json", "--device=127.0.0.3", "--timeout",
       "250", "--jobs", "4"});
  ASSERT_TRUE(p.invocation) << p.error;
  const Invocation& inv = *p.invocation;
  ASSERT_EQ(inv.devices.size(), 2u);
  EXPECT_EQ(inv.devices[0], (DeviceTarget{"127.0.0.2", 56790}));
  EXPECT_EQ(inv.devices[1], (DeviceTarget{"127.0.0.3", 56789}));
  EXPECT_TRUE(inv.json);
  EXPECT_EQ(inv.timeout.count(), 250);
  EXPECT_EQ(inv.jobs, 4);
  EXPECT_EQ(inv.command, Command::Status);
}

TEST(CommandLineGlobals, BadGlobalValuesAreUsageErrors) {
  for (const Args& args : std::vector<Args>{
           {"--device", "localhost", "status"},
           {"--device", "127.0.0.2:0", "status"},
           {"--device", "127.0.0.2:65536", "status"},
           {"--device", "127.0.0.2", "--timeout", "0", "status"},
           {"--device", "127.0.0.2", "--timeout", "60001", "status"},
           {"--device", "127.0.0.2", "--host-port", "65536", "status"},
           {"--device", "127.0.0.2", "--jobs", "0", "status"},
           {"--device", "127.0.0.2", "--colour", "status"},
           {"--device", "127.0.0.2", "--json=yes", "status"},
           {"--device"},
           {"--device", "127.0.0.2"},
           {"--device", "127.0.0.2", "status", "now"},
           {"--device", "127.0.0.2", "reboot"},
       }) {
    EXPECT_FALSE(parseCommandLine(args).invocation.has_value()) << args.back();
  }
}

TEST(CommandLineGlobals, OneHostPortCannotServeSeveralDevices) {
  EXPECT_FALSE(parseCommandLine({"--device", "127.0.0.2", "--device", "127.0.0.3",
                                 "--host-port", "50000", "status"})
                   .invocation);
  EXPECT_TRUE(parseCommandLine({"--device", "127.0.0.2", "--device", "127.0.0.3",
                                "--host-port", "0", "status"})
                  .invocation);
  EXPECT_TRUE(parseCommandLine({"--device", "127.0.0.2", "--host-port", "50000", "status"})
                  .invocation);
}

TEST(CommandLineGlobals, DeviceFileListsOneAddressALineWithComments) {
  const std::string path = ::testing::TempDir() + "vexilctl-devices.txt";
  {
    std::ofstream f(path);
    f << "# line A\n127.0.0.2:56790\n\n  127.0.0.3  \r\n";
  }
  ParsedCommandLine p = parseCommandLine({"--devices", path, "identify"});
  ASSERT_TRUE(p.invocation) << p.error;
  ASSERT_EQ(p.invocation->devices.size(), 2u);
  EXPECT_EQ(p.invocation->devices[1], (DeviceTarget{"127.0.0.3", 56789}));

  { std::ofstream f(path); f << "# nothing\n"; }
  EXPECT_FALSE(parseCommandLine({"--devices", path, "identify"}).invocation);
  { std::ofstream f(path); f << "127.0.0.2\nbad-host\n"; }
  EXPECT_NE(parseCommandLine({"--devices", path, "identify"}).error.find("bad-host"),
            std::string::npos);
  std::remove(path.c_str());
  EXPECT_FALSE(parseCommandLine({"--devices", path, "identify"}).invocation);
}

TEST(CommandLineGlobals, DoubleDashEndsTheOptions) {
  const Invocation inv = accepted({"set", "user-text", "--", "--fast"});
  EXPECT_EQ(inv.general.frame, buildSetUserText("--fast").frame);
}

TEST(CommandLineHelp, EveryCommandHasItsHelpAndTheProgramsStatesTheRefusals) {
  for (const char* command :
       {"identify", "status", "set", "reset", "send-ts", "stop-ts", "raw", "setup", "watch", "log"}) {
    ParsedCommandLine p = parseCommandLine({command, "--help"});
    ASSERT_TRUE(p.invocation) << command;
    EXPECT_TRUE(p.invocation->help);
    EXPECT_EQ(p.invocation->helpTopic, command);
    EXPECT_TRUE(helpText(command).has_value()) << command;
  }
  EXPECT_FALSE(helpText("reboot").has_value());
  const std::string program = helpText("").value();
  EXPECT_NE(program.find("nobody"), std::string::npos);
  EXPECT_NE(program.find("exit status 2"), std::string::npos);
  ParsedCommandLine h = parseCommandLine({"help", "raw"});
  ASSERT_TRUE(h.invocation);
  EXPECT_EQ(h.invocation->helpTopic, "raw");
}

// ---- Production records ---------------------------------------------------------------

TEST(CommandLineRecords, SetupTakesAFileOrADatabaseWithItsOwnOptions) {
  if (!VEXIL_WITH_POSTGRES) GTEST_SKIP() << "built without libpq: every postgresql:// log is refused as a whole";
  Invocation file = accepted({"setup", "--log", "p.jsonl", "--log-format", "jsonl"});
  ASSERT_TRUE(file.log);
  EXPECT_FALSE(file.database);
  EXPECT_EQ(file.log->format, LogFormat::JsonLines);

  const std::string uri = "postgresql://station@127.0.0.1:5432/production?sslmode=require";
  Invocation db = accepted({"setup", "--log", uri, "--station", "Line 2 ü", "--operator", "anna",
                            "--journal", "j.jsonl"});
  ASSERT_TRUE(db.database);
  EXPECT_FALSE(db.log);
  EXPECT_EQ(db.database->uri, uri);  // passed through as given, sslmode and all
  EXPECT_EQ(db.database->station, "Line 2 ü");
  EXPECT_EQ(db.database->operatorName, "anna");
  EXPECT_EQ(db.database->journal, "j.jsonl");
  EXPECT_EQ(accepted({"setup", "--log-db", "postgres://h/db"}).database->uri, "postgres://h/db");
  EXPECT_EQ(accepted({"setup", "--log-db", "postgres://h/db"}).database->station, "")
      << "the host's name is taken when the record is made";
}

TEST(CommandLineRecords, OptionsThatDoNotFitTheLogAreRefused) {
  if (!VEXIL_WITH_POSTGRES) GTEST_SKIP() << "built without libpq: every postgresql:// log is refused as a whole";
  const std::string uri = "postgresql://h/db";
  EXPECT_NE(refusal({"setup", "--log", uri, "--log-format", "csv"}).find("file log"), std::string::npos);
  EXPECT_NE(refusal({"setup", "--log", "f.csv", "--station", "s"}).find("database log"), std::string::npos);
  EXPECT_NE(refusal({"setup", "--journal", "j"}).find("database log"), std::string::npos);
  EXPECT_NE(refusal({"setup", "--log", uri, "--log-db", uri}).find("not both"), std::string::npos);
  EXPECT_NE(refusal({"setup", "--log", ""}).find("--log needs"), std::string::npos);
  // A URI libpq cannot read is a usage error, not a server that is away; its password
  // is not shown.
  const std::string bad = refusal({"setup", "--log", "postgresql://u:Secr3t@h/db?colour=blue"});
  EXPECT_NE(bad.find("cannot be read"), std::string::npos) << bad;
  EXPECT_NE(bad.find("colour"), std::string::npos) << bad;
  EXPECT_EQ(bad.find("Secr3t"), std::string::npos) << bad;
  EXPECT_NE(refusal({"log", "flush", "--log-db", "postgresql://h/db?sslmode"}).find("cannot be read"), std::string::npos);
  // Names: 1 to 64 characters of text, no control characters.
  EXPECT_TRUE(accepted({"setup", "--log", uri, "--station", std::string(64, 's')}).database);
  EXPECT_NE(refusal({"setup", "--log", uri, "--station", std::string(65, 's')}).find("1 to 64"), std::string::npos);
  EXPECT_NE(refusal({"setup", "--log", uri, "--station", ""}).find("1 to 64"), std::string::npos);
  EXPECT_NE(refusal({"setup", "--log", uri, "--operator", "a\tb"}).find("control"), std::string::npos);
  EXPECT_NE(refusal({"setup", "--log", uri, "--operator", "a\xC2\x85" "b"}).find("control"), std::string::npos);
  EXPECT_NE(refusal({"setup", "--log", uri, "--operator", "\xFF"}).find("UTF-8"), std::string::npos);
}

TEST(CommandLineRecords, LogCommandsNeedTheirLogAndCheckTheirFilters) {
  if (!VEXIL_WITH_POSTGRES) GTEST_SKIP() << "built without libpq: every postgresql:// log is refused as a whole";
  const std::string uri = "postgresql://h/db";
  EXPECT_EQ(accepted({"log", "flush", "--log", uri}).logCommand.action, LogAction::Flush);
  EXPECT_NE(refusal({"log", "flush"}).find("needs the database"), std::string::npos);
  EXPECT_NE(refusal({"log", "flush", "--log", "f.csv"}).find("needs the database"), std::string::npos);
  const Invocation status = accepted({"log", "status"});
  EXPECT_FALSE(status.logCommand.database);
  EXPECT_FALSE(status.logCommand.journal);
  EXPECT_EQ(accepted({"log", "status", "--journal", "j"}).logCommand.journal, "j");
  EXPECT_NE(refusal({"log", "status", "--log", "f.csv"}).find("database"), std::string::npos);

  const Invocation q = accepted({"log", "query", "--log", uri, "--serial", "-2147483648", "--since",
                                 "2026-12-09T10:00+01:00", "--station", "s", "--result", "no-answer"});
  EXPECT_EQ(q.logCommand.filter.serial, INT32_MIN);
  EXPECT_EQ(q.logCommand.filter.sinceMs, records::parseUtcTime("2026-12-09T09:00Z"));
  EXPECT_EQ(q.logCommand.filter.result, "no-answer");
  EXPECT_EQ(accepted({"log", "query", "--log", "p.csv"}).logCommand.file, "p.csv");
  EXPECT_NE(refusal({"log", "query", "--log", "p.csv", "--station", "s"}).find("no station"), std::string::npos);
  EXPECT_NE(refusal({"log", "query"}).find("needs --log"), std::string::npos);
  EXPECT_NE(refusal({"log", "query", "--log", uri, "--serial", "2147483648"}).find("serial"), std::string::npos);
  EXPECT_NE(refusal({"log", "query", "--log", uri, "--since", "2026-02-30"}).find("--since"), std::string::npos);
  EXPECT_NE(refusal({"log", "query", "--log", uri, "--result", "fine"}).find("not one of"), std::string::npos);
  EXPECT_NE(refusal({"log", "query", "--log", uri, "--operator", "a"}).find("does not apply"), std::string::npos);
  EXPECT_NE(refusal({"log", "truncate"}).find("unknown log command"), std::string::npos);
  EXPECT_NE(refusal({"log"}).find("usage"), std::string::npos);
}

}  // namespace
