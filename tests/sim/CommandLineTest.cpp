// The options of vexil-sim: the board it plays, the faults for every request, the
// per-request rules of --on, and the arguments it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/CommandLine.h"

using namespace vexil::sim;
using namespace std::chrono_literals;
using Args = std::vector<std::string>;

namespace {

SimOptions parsed(const Args& args) {
  std::string error;
  const auto o = parseSimOptions(args, error);
  EXPECT_TRUE(o.has_value()) << error;
  return o.value_or(SimOptions{});
}

std::string refusal(const Args& args) {
  std::string error;
  EXPECT_FALSE(parseSimOptions(args, error).has_value());
  return error;
}

TEST(SimOptions, NoArgumentsIsTheGoodBoardOnTheDefaultPort) {
  const SimOptions o = parsed({});
  EXPECT_EQ(o.bindAddress, "127.0.0.1");
  EXPECT_EQ(o.port, 56789);
  EXPECT_EQ(o.state.deviceType, 7163);
  EXPECT_FALSE(o.help);
  EXPECT_FALSE(o.faults.otherwise.silent);
  EXPECT_FALSE(o.faults.otherwise.answerLength);
  EXPECT_TRUE(o.faults.rules.empty());
}

TEST(SimOptions, BoardOptionsAndTheirLimits) {
  const SimOptions o = parsed({"--bind", "127.0.0.2", "--port", "0", "--type", "7058", "--serial",
                               "$FFFFFFFE", "--version", "2.7", "--model", "3", "--user-text",
                               "Fifteen chars!!", "--status-length", "499"});
  EXPECT_EQ(o.bindAddress, "127.0.0.2");
  EXPECT_EQ(o.port, 0);
  EXPECT_EQ(o.state.deviceType, 7058);
  EXPECT_EQ(o.state.serial, 0xFFFFFFFEu);
  EXPECT_EQ(o.state.versionMajor, 2);
  EXPECT_EQ(o.state.versionMinor, 7);
  EXPECT_EQ(o.state.model, 3);
  EXPECT_EQ(std::string(o.state.userText.begin(), o.state.userText.end()), "Fifteen chars!!");
  EXPECT_EQ(o.state.statusLength, 499u);

  EXPECT_EQ(parsed({"--port", "65535", "--type", "65535", "--model", "7"}).port, 65535);
  EXPECT_EQ(parsed({"--port", "1", "--port", "56790"}).port, 56790) << "the later one wins";
  EXPECT_EQ(parsed({"--version", "1"}).state.versionMinor, 0);
}

TEST(SimOptions, UserTextTypedInUtf8IsKeptInLatin1AsTheBoardKeepsIt) {
  for (const auto& [typed, kept] :
       {std::pair<std::string, std::string>{"Caf\xC3\xA9 S\xC3\xBC" "d", "Caf\xE9 S\xFC" "d"},
        {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9",
         std::string(15, '\xE9')},                         // 15 characters in 30 bytes
        {"\xC2\xA0\xC2\xBF\xC3\xBF", "\xA0\xBF\xFF"},      // the edges of the range
        {"Caf\xE9", "Caf\xE9"},                            // already Latin-1: as given
        {"\xE2\x82\xAC 5", "\xE2\x82\xAC 5"}}) {          // beyond Latin-1: byte for byte
    const SimOptions o = parsed({"--user-text", typed});
    const std::string text(o.state.userText.begin(), o.state.userText.end());
    EXPECT_EQ(text.substr(0, kept.size()), kept) << typed;
  }
}

TEST(SimOptions, VersionAloneAsksForTheProgramsVersion) {
  EXPECT_TRUE(parsed({"--version"}).version);
  const SimOptions before = parsed({"--version", "--port", "1"});
  EXPECT_TRUE(before.version);
  EXPECT_EQ(before.port, 1);
  const SimOptions firmware = parsed({"--firmware", "2.7"});
  EXPECT_FALSE(firmware.version);
  EXPECT_EQ(firmware.state.versionMajor, 2);
  EXPECT_EQ(firmware.state.versionMinor, 7);
  EXPECT_FALSE(parsed({"--version", "2.7"}).version) << "with a value it sets the firmware";
}

TEST(SimOptions, HelpIsAskedForWithEitherName) {
  EXPECT_TRUE(parsed({"--help"}).help);
  EXPECT_TRUE(parsed({"-h"}).help);
  const std::string_view help = simHelpText();
  for (const char* option : {"--bind", "--port", "--type", "--serial", "--version", "--firmware", "--model",
                             "--user-text", "--status-length", "--silent", "--answer-length",
                             "--delay", "--answer-opcode", "--refuse-user-text", "--refuse ",
                             "--duplicates", "--before", "--after", "--other-port", "--on"})
    EXPECT_NE(help.find(option), std::string_view::npos) << option << " is not documented";
}

TEST(SimOptions, FaultsForEveryRequest) {
  const SimOptions o =
      parsed({"--silent", "--answer-length", "20", "--delay", "1500", "--answer-opcode", "0x00",
              "--refuse-user-text", "--refuse", "$30", "--duplicates", "2", "--before", "10",
              "--before", "11", "--after", "5", "--other-port"});
  const Faults& f = o.faults.otherwise;
  EXPECT_TRUE(f.silent);
  EXPECT_EQ(f.answerLength, 20u);
  EXPECT_EQ(f.delay, 1500ms);
  EXPECT_EQ(f.answerOpcode, 0x00);
  EXPECT_EQ(f.refusedOpcodes, (std::vector<std::uint8_t>{0x12, 0x30}));
  EXPECT_EQ(f.duplicates, 2);
  EXPECT_EQ(f.before, (std::vector<std::size_t>{10, 11}));
  EXPECT_EQ(f.after, (std::vector<std::size_t>{5}));
  EXPECT_TRUE(f.fromOtherPort);
  EXPECT_TRUE(o.faults.rules.empty());
}

TEST(SimOptions, RulesKeepTheirOrderAndSelectors) {
  const SimOptions o = parsed({"--on", "2:length=20", "--on", "op=0x12:opcode=0,refuse-user-text",
                               "--on", "3+op=$12:silent", "--on", "any:ok", "--on",
                               "op=18+4:delay=250,duplicates=1,before=7,after=8,other-port"});
  ASSERT_EQ(o.faults.rules.size(), 5u);
  const auto& r = o.faults.rules;
  EXPECT_EQ(r[0].when.number, 2u);
  EXPECT_FALSE(r[0].when.opcode);
  EXPECT_EQ(r[0].faults.answerLength, 20u);

  EXPECT_FALSE(r[1].when.number);
  EXPECT_EQ(r[1].when.opcode, 0x12);
  EXPECT_EQ(r[1].faults.answerOpcode, 0x00);
  EXPECT_EQ(r[1].faults.refusedOpcodes, (std::vector<std::uint8_t>{0x12}));

  EXPECT_EQ(r[2].when.number, 3u);
  EXPECT_EQ(r[2].when.opcode, 0x12);
  EXPECT_TRUE(r[2].faults.silent);

  EXPECT_FALSE(r[3].when.number);
  EXPECT_FALSE(r[3].when.opcode);
  EXPECT_FALSE(r[3].faults.silent);
  EXPECT_FALSE(r[3].faults.answerLength);

  EXPECT_EQ(r[4].when.number, 4u);
  EXPECT_EQ(r[4].when.opcode, 18);
  EXPECT_EQ(r[4].faults.delay, 250ms);
  EXPECT_EQ(r[4].faults.duplicates, 1);
  EXPECT_EQ(r[4].faults.before, (std::vector<std::size_t>{7}));
  EXPECT_EQ(r[4].faults.after, (std::vector<std::size_t>{8}));
  EXPECT_TRUE(r[4].faults.fromOtherPort);
  EXPECT_FALSE(o.faults.otherwise.silent) << "rules leave the faults for every request alone";
}

TEST(SimOptions, FaultValuesAtTheirBounds) {
  Faults f;
  std::string error;
  EXPECT_TRUE(addFault(f, "length=0", error));
  EXPECT_EQ(f.answerLength, 0u);
  EXPECT_TRUE(addFault(f, "length=65507", error));
  EXPECT_FALSE(addFault(f, "length=65508", error));
  EXPECT_TRUE(addFault(f, "opcode=255", error));
  EXPECT_FALSE(addFault(f, "opcode=256", error));
  EXPECT_FALSE(addFault(f, "delay=-1", error));
  EXPECT_TRUE(addFault(f, "delay=0", error));
  EXPECT_FALSE(addFault(f, "duplicates=1001", error));
  EXPECT_EQ(f.answerLength, 65507u) << "a refused fault changes nothing";
}

TEST(SimOptions, RefusedArgumentsSayWhich) {
  struct Case {
    Args args;
    std::string mentions;
  };
  const Case cases[] = {
      {{"--port", "65536"}, "--port"},
      {{"--port", "-1"}, "--port"},
      {{"--type", "65536"}, "--type"},
      {{"--model", "8"}, "--model"},
      {{"--version", "1.256"}, "--version"},
      {{"--version", "x.1"}, "--version"},
      {{"--user-text", "sixteen chars..."}, "--user-text"},
      {{"--user-text", "Fünfzehn Zeichen"}, "--user-text"},
      {{"--bind", "10.123.13.101"}, "loopback"},
      {{"--bind", "0.0.0.0"}, "loopback"},
      {{"--bind", "localhost"}, "loopback"},
      {{"--answer-length", "65508"}, "--answer-length"},
      {{"--answer-opcode", "0x100"}, "--answer-opcode"},
      {{"--delay", "soon"}, "--delay"},
      {{"--port"}, "needs a value"},
      {{"--on"}, "needs a value"},
      {{"--loud"}, "unknown option --loud"},
      {{"56790"}, "unknown option 56790"},
  };
  for (const Case& c : cases) {
    const std::string error = refusal(c.args);
    EXPECT_NE(error.find(c.mentions), std::string::npos) << c.args[0] << ": " << error;
  }
}

TEST(SimOptions, MalformedRulesAreRefused) {
  for (const char* rule : {"2",
                           "2:",
                           ":silent",
                           "0:silent",
                           "-1:silent",
                           "x:silent",
                           "op=256:silent",
                           "op=:silent",
                           "op=0x12+op=0x13:silent",
                           "2+3:silent",
                           "2+:silent",
                           "any+2:silent",
                           "2:bogus",
                           "2:length",
                           "2:length=",
                           "2:length=-1",
                           "2:silent=1",
                           "2:ok=0",
                           "2:silent,,delay=5",
                           "2:length=70000",
                           "2;silent"}) {
    std::string error;
    EXPECT_FALSE(parseFaultRule(rule, error).has_value()) << rule;
    EXPECT_FALSE(error.empty()) << rule;
    EXPECT_NE(refusal({"--on", rule}).find("--on"), std::string::npos) << rule;
  }
}

TEST(PortNotice, TellsWhichPortAndWarnsOfTheProgramsDefault) {
  const std::string beside = portNotice("127.0.0.1", 56790);
  EXPECT_NE(beside.find("56790"), std::string::npos);
  EXPECT_NE(beside.find("127.0.0.1"), std::string::npos);
  EXPECT_NE(beside.find("Host Computer Port"), std::string::npos);
  EXPECT_EQ(beside.find("collide"), std::string::npos);

  const std::string clash = portNotice("127.0.0.1", 56789);
  EXPECT_NE(clash.find("collide"), std::string::npos);
  EXPECT_NE(clash.find("--port 56790"), std::string::npos);
}

}  // namespace
