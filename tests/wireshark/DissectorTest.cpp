// The Wireshark dissector (tools/wireshark/vexil.lua) against real traffic: the page
// logic builds the frames, the emulator answers them on 127.0.0.1, the test writes both
// directions into a capture file and reads tshark's decode of it. Every value tshark
// shows is compared with what the frame was built from, or with the program's own
// report of the same status record. Skipped when tshark is not installed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "instructions/GeneralInstructions.h"
#include "instructions/TsRouting.h"
#include "messaging/Frames.h"
#include "messaging/StatusReport.h"
#include "sim/DeviceEmulator.h"
#include "tests/wireshark/LoopbackSession.h"
#include "tests/wireshark/PcapWriter.h"
#include "tests/wireshark/Tshark.h"

namespace {

using namespace std::chrono_literals;
using vexil::Frame;
using vexil::test::FieldRows;

constexpr std::uint16_t kDefaultPort = 56789;
constexpr auto kNoAnswerWait = 50ms;  // for frames the board does not answer
// The test's own port as the capture shows it. Its real port is any free one, and
// Wireshark gives many ports of that range to other protocols; UDP asks the dissector
// of the lower port first, so a port above every board port leaves each frame to the
// board's side, whatever port the kernel handed out.
constexpr std::uint16_t kCapturedTesterPort = 65000;

const std::vector<std::string> kFields = {
    "frame.number", "udp.length", "vexil.message", "vexil.opcode", "vexil.length",
    "vexil.ack_request", "vexil.truncated", "vexil.bad_length", "vexil.qvnet.bad_length",
    "vexil.no_extension", "vexil.qvnet.type", "vexil.qvnet.serial", "vexil.qvnet.version",
    "vexil.serial", "vexil.type", "vexil.reset.type", "vexil.reset.time",
    "vexil.set_user_text", "vexil.address_pad", "vexil.ip", "vexil.net_mask",
    "vexil.gateway_mode", "vexil.gateway_ip", "vexil.nco.channel", "vexil.nco.frequency",
    "vexil.ts.source", "vexil.ts.mode2", "vexil.ts.dv_pin", "vexil.ts.iptv",
    "vexil.ts.always_send", "vexil.ts.mode1", "vexil.ts.mode0", "vexil.ts.packet_number",
    "vexil.ts.remove_tsp_errors", "vexil.ts.remove_null", "vexil.ts.packet_204",
    "vexil.ts.qvnet_size", "vexil.ts.dest_mode", "vexil.ts.dest_ip", "vexil.ts.dest_port",
    "vexil.status.version", "vexil.status.serial", "vexil.status.type",
    "vexil.status.config_word", "vexil.status.gateway_ip", "vexil.status.net_mask",
    "vexil.status.model", "vexil.status.in.dest_port", "vexil.status.in.mode2",
    "vexil.status.ts_port_high", "vexil.status.iic_frequency", "vexil.status.nco_frequency",
    "vexil.status.ext.input_rate", "vexil.status.ext.sdram_size"};

// The frames of the session, by name: the frame number of the request in the capture
// and of its answer (0 when none came), and the bytes sent and received.
struct Exchange {
  int request = 0;
  int answer = 0;
  Frame sent;
  std::vector<std::uint8_t> received;
};

vexil::SendTsEntries qvNetSendTs() {
  vexil::SendTsEntries e;
  e.tsFormat = 0;             // QV-Net
  e.instructionType = vexil::kAlwaysSendTsIndex;
  e.dataValidPin = vexil::kDataValidPinEnabledIndex;
  e.tsSource = 1;             // source 2
  e.qvNetSize = 1428;
  e.destinationIp = {"192", "0", "2", "7"};
  e.destinationPort = "5004";
  return e;
}

vexil::SendTsEntries iptvSendTs() {
  vexil::SendTsEntries e;
  e.tsFormat = vexil::kTsFormatIptvIndex;
  e.tsSource = 3;             // source 4
  e.packetNumber = 0;         // 1 packet
  e.packetFormat = vexil::kPacketFormat204Index;
  e.removeNullPackets = true;
  e.removeTspErrors = true;
  return e;
}

Frame cut(Frame frame, std::size_t length) {
  frame.resize(length);
  return frame;
}

class VexilDissector : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tshark_ = vexil::test::findTshark();
    if (!tshark_) return;
    char folder[] = "/tmp/vexil-dissector-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    folder_ = folder;
    // A home and configuration of its own, so that no personal preference or plugin of
    // whoever runs the test changes the decode.
    ::setenv("HOME", folder, 1);
    ::setenv("WIRESHARK_CONFIG_DIR", folder, 1);

    vexil::sim::DeviceEmulator board;
    ASSERT_TRUE(board.start("127.0.0.1", 0)) << board.error();
    boardPort_ = board.port();
    vexil::test::LoopbackSession session(boardPort_);
    ASSERT_TRUE(session.ok());
    const auto exchange = [&](const std::string& name, const Frame& frame,
                              std::chrono::milliseconds wait = 1s) {
      Exchange e;
      e.sent = frame;
      e.request = static_cast<int>(session.captured().size()) + 1;
      e.received = session.exchange(frame, wait);
      if (!e.received.empty()) e.answer = e.request + 1;
      exchanges_[name] = e;
    };

    exchange("qvnet", vexil::QvNetQuery());
    exchange("serial", vexil::buildSetSerial("56765").frame);
    exchange("type", vexil::buildSetType("7058").frame);
    exchange("reset", vexil::buildReset(vexil::kSdiResetIndex, 255).frame);
    exchange("usertext", vexil::buildSetUserText("Bench 7").frame);
    exchange("ip", vexil::buildSetAddress(vexil::AddressRow::Ip, {"192", "0", "2", "70"}).frame);
    exchange("netmask",
             vexil::buildSetAddress(vexil::AddressRow::NetMask, {"255", "255", "254", "0"}).frame);
    exchange("gateway",
             vexil::buildSetAddress(vexil::AddressRow::Gateway, {"192", "0", "2", "1"}).frame);
    exchange("nco", vexil::buildSetNco(3, "62500000").frame);
    exchange("sendts-qvnet", vexil::buildSendTs(qvNetSendTs()).frame);
    exchange("sendts-iptv", vexil::buildSendTs(iptvSendTs()).frame);
    exchange("dontsendts", vexil::buildDontSendTs(2));
    exchange("status", vexil::StatusQuery());

    // Frames cut short or of the wrong shape.
    const Frame sendTs = vexil::buildSendTs(qvNetSendTs()).frame;
    exchange("sendts-cut", cut(sendTs, 40), kNoAnswerWait);
    exchange("header-cut", cut(sendTs, 12), kNoAnswerWait);
    exchange("qvnet-cut", cut(vexil::QvNetQuery(), 14), kNoAnswerWait);
    Frame shortSerial = vexil::BuildHeader(vexil::makeUserText(" Set Serial"));
    const std::uint8_t threeBytes[] = {0x00, 0xDD, 0xBD};
    ASSERT_EQ(vexil::AppendInstruction(shortSerial, vexil::wire::OpSetSerial, threeBytes),
              vexil::AppendResult::Appended);
    vexil::AppendAckRequestTrailer(shortSerial);
    exchange("serial-3-bytes", shortSerial);

    // Status records cut by the board: one long enough for the report but without the
    // extension block, one too short for either.
    vexil::sim::Faults faults;
    faults.answerLength = 600;
    board.setFaults(faults);
    exchange("status-600", vexil::StatusQuery());
    faults.answerLength = 300;
    board.setFaults(faults);
    exchange("status-300", vexil::StatusQuery());
    board.stop();

    captured_ = session.captured();
    const std::uint16_t testerPort = captured_.front().sourcePort;
    for (auto& d : captured_) {
      if (d.sourcePort == testerPort) d.sourcePort = kCapturedTesterPort;
      if (d.destinationPort == testerPort) d.destinationPort = kCapturedTesterPort;
    }
    capture_ = folder_ + "/session.pcap";
    ASSERT_TRUE(vexil::test::writeFile(capture_, vexil::test::pcapFile(captured_)));
    const auto output = tshark({"-o", "vexil.udp_port:" + std::to_string(boardPort_), "-r",
                                capture_, "-T", "fields", "-E", "occurrence=a"},
                               kFields);
    ASSERT_TRUE(output.has_value()) << "tshark failed on " << capture_;
    rows_ = vexil::test::parseFieldRows(*output, kFields);
    ASSERT_EQ(rows_.size(), captured_.size());

    // VEXIL_KEEP_CAPTURE=file keeps the session, moved to the board's default port, for
    // looking at it in Wireshark (the README's picture is made from it).
    if (const char* keep = std::getenv("VEXIL_KEEP_CAPTURE")) {
      ASSERT_TRUE(vexil::test::writeFile(keep, vexil::test::pcapFile(onDefaultPort())));
    }
  }

  // The session as it would look with the board on port 56789.
  static std::vector<vexil::test::CapturedDatagram> onDefaultPort() {
    auto moved = captured_;
    for (auto& d : moved) {
      if (d.sourcePort == boardPort_) d.sourcePort = kDefaultPort;
      if (d.destinationPort == boardPort_) d.destinationPort = kDefaultPort;
    }
    return moved;
  }

  static void TearDownTestSuite() {
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

  void SetUp() override {
    if (!tshark_) GTEST_SKIP() << "tshark is not installed";
  }

  // tshark with the dissector loaded, `arguments` and one -e per field.
  static std::optional<std::string> tshark(std::vector<std::string> arguments,
                                           const std::vector<std::string>& fields = {}) {
    arguments.insert(arguments.begin(), {"-n", "-X", "lua_script:" VEXIL_DISSECTOR});
    for (const auto& field : fields) {
      arguments.push_back("-e");
      arguments.push_back(field);
    }
    return vexil::test::runProgram(*tshark_, arguments);
  }

  // The text tshark printed for `field` in the packet numbered `frame`.
  static std::string field(int frame, const std::string& name) {
    EXPECT_GE(frame, 1);
    if (frame < 1 || frame > static_cast<int>(rows_.size())) return "<no packet>";
    return rows_[frame - 1].at(name);
  }
  static std::string request(const std::string& exchange, const std::string& name) {
    return field(exchanges_.at(exchange).request, name);
  }
  static std::string answer(const std::string& exchange, const std::string& name) {
    return field(exchanges_.at(exchange).answer, name);
  }

  static inline std::optional<std::string> tshark_;
  static inline std::string folder_;
  static inline std::string capture_;
  static inline std::uint16_t boardPort_ = 0;
  static inline std::map<std::string, Exchange> exchanges_;
  static inline std::vector<vexil::test::CapturedDatagram> captured_;
  static inline FieldRows rows_;
};

// The values after `prefix` of every report line that starts with it (and ends with
// `suffix`, which is cut off), joined by ',' as tshark joins repeated fields.
std::string reportValues(const std::vector<std::string>& lines, const std::string& prefix,
                         const std::string& suffix = "") {
  std::string values;
  for (const auto& line : lines) {
    if (line.rfind(prefix, 0) != 0 || line.size() < prefix.size() + suffix.size()) continue;
    if (line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0) continue;
    if (!values.empty()) values += ',';
    values += line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
  }
  return values;
}

// The frequencies of the " Channel n: f Hz" lines of the NCO section.
std::string ncoReportValues(const std::vector<std::string>& lines) {
  std::string values;
  for (const auto& line : lines) {
    const std::size_t colon = line.find(": ");
    if (line.rfind(" Channel ", 0) != 0 || colon == std::string::npos ||
        !line.ends_with(" Hz")) {
      continue;
    }
    if (!values.empty()) values += ',';
    values += line.substr(colon + 2, line.size() - colon - 2 - 3);
  }
  return values;
}

// A byte as tshark shows a hexadecimal field: "0x05".
std::string hexByte(std::uint8_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  return std::string("0x") + kDigits[value >> 4] + kDigits[value & 0x0F];
}

std::string trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// ---- QV-Net ---------------------------------------------------------------------------

TEST_F(VexilDissector, QvNetQueryAndItsAckAreNamedAndTheAckDecodedAsTheProgramDoes) {
  EXPECT_EQ(request("qvnet", "vexil.message"), "QV-Net query");
  EXPECT_EQ(answer("qvnet", "vexil.message"), "QV-Net ACK");
  const auto& ack = exchanges_.at("qvnet").received;
  const auto report = vexil::decodeQvNetAck(vexil::AnswerReader(ack), "127.0.0.1", boardPort_);
  EXPECT_EQ(answer("qvnet", "vexil.qvnet.type"), reportValues(report.lines, "Device Type: "));
  EXPECT_EQ(answer("qvnet", "vexil.qvnet.serial"), reportValues(report.lines, "Device Serial: "));
  EXPECT_EQ(answer("qvnet", "vexil.qvnet.version"),
            reportValues(report.lines, "Device Version: "));
  EXPECT_EQ(answer("qvnet", "vexil.qvnet.type"), "7163");
  EXPECT_EQ(answer("qvnet", "vexil.qvnet.version"), "1.05");
}

// ---- Instructions of the General page -------------------------------------------------

TEST_F(VexilDissector, GeneralInstructionsShowTheValuesTheyWereBuiltFrom) {
  EXPECT_EQ(request("serial", "vexil.opcode"), "0x10,0x03");
  EXPECT_EQ(request("serial", "vexil.serial"), "56765");
  EXPECT_EQ(request("type", "vexil.type"), "7058");
  EXPECT_EQ(request("reset", "vexil.opcode"), "0x01,0x03");
  EXPECT_EQ(request("reset", "vexil.reset.type"), "2");
  EXPECT_EQ(request("reset", "vexil.reset.time"), "255");
  EXPECT_EQ(trimmed(request("usertext", "vexil.set_user_text")), "Bench 7");
  EXPECT_EQ(request("ip", "vexil.ip"), "192.0.2.70");
  EXPECT_EQ(request("ip", "vexil.address_pad"), std::string(24, '0'));
  EXPECT_EQ(request("netmask", "vexil.net_mask"), "255.255.254.0");
  EXPECT_EQ(request("gateway", "vexil.gateway_mode"), "1");
  EXPECT_EQ(request("gateway", "vexil.gateway_ip"), "192.0.2.1");
  EXPECT_EQ(request("nco", "vexil.nco.channel"), "3");
  EXPECT_EQ(request("nco", "vexil.nco.frequency"), "62500000");
}

TEST_F(VexilDissector, EveryInstructionFrameEndsWithTheRequestForTheShortAnswer) {
  for (const char* name : {"serial", "type", "reset", "usertext", "ip", "netmask", "gateway",
                           "nco", "sendts-qvnet", "sendts-iptv", "dontsendts"}) {
    SCOPED_TRACE(name);
    const Exchange& e = exchanges_.at(name);
    EXPECT_EQ(request(name, "vexil.message"), "Palvox request");
    EXPECT_EQ(request(name, "vexil.ack_request"), "0x00");
    EXPECT_EQ(request(name, "vexil.truncated"), "");
    EXPECT_EQ(request(name, "vexil.bad_length"), "");
    // The length field of the page's own instruction, then the trailer's.
    const int dataLength = (e.sent[23] << 8) | e.sent[24];
    EXPECT_EQ(request(name, "vexil.length"), std::to_string(dataLength) + ",1");
    ASSERT_NE(e.answer, 0);
    EXPECT_EQ(answer(name, "vexil.message"), "Palvox short answer (ACK)");
    EXPECT_EQ(answer(name, "vexil.opcode"), "0xf0");
  }
  EXPECT_EQ(request("status", "vexil.ack_request"), "0x01");
}

// ---- Send TS and Don't Send TS ------------------------------------------------------

TEST_F(VexilDissector, SendTsInQvNetFormatShowsTheModeBitsAndTheDataSize) {
  const vexil::ModeBytes mode = vexil::composeModeBytes(qvNetSendTs());
  EXPECT_EQ(request("sendts-qvnet", "vexil.opcode"), "0x30,0x03");
  EXPECT_EQ(request("sendts-qvnet", "vexil.ts.source"), "2");
  EXPECT_EQ(request("sendts-qvnet", "vexil.ts.mode2"), hexByte(mode.mode2));
  EXPECT_EQ(request("sendts-qvnet", "vexil.ts.mode2"), "0x05");
  EXPECT_EQ(request("sendts-qvnet", "vexil.ts.dv_pin"), "1");
  EXPECT_EQ(request("sendts-qvnet", "vexil.ts.iptv"), "0");
  EXPECT_EQ(request("sendts-qvnet", "vexil.ts.always_send"), "1");
  EXPECT_EQ(request("sendts-qvnet", "vexil.ts.qvnet_size"),
            std::to_string(mode.mode1 * 256 + mode.mode0));
  EXPECT_EQ(request("sendts-qvnet", "vexil.ts.qvnet_size"), "1428");
  EXPECT_EQ(request("sendts-qvnet", "vexil.ts.packet_number"), "");
  EXPECT_EQ(request("sendts-qvnet", "vexil.ts.dest_mode"), "2");
  EXPECT_EQ(request("sendts-qvnet", "vexil.ts.dest_ip"), "192.0.2.7");
  EXPECT_EQ(request("sendts-qvnet", "vexil.ts.dest_port"), "5004");
}

TEST_F(VexilDissector, SendTsInIptvFormatShowsThePacketOptionsAndNoDataSize) {
  EXPECT_EQ(vexil::composeModeBytes(iptvSendTs()).mode1, 0x27);
  EXPECT_EQ(request("sendts-iptv", "vexil.ts.source"), "4");
  EXPECT_EQ(request("sendts-iptv", "vexil.ts.mode2"), "0x02");
  EXPECT_EQ(request("sendts-iptv", "vexil.ts.iptv"), "1");
  EXPECT_EQ(request("sendts-iptv", "vexil.ts.always_send"), "0");
  EXPECT_EQ(request("sendts-iptv", "vexil.ts.mode1"), "0x27");
  EXPECT_EQ(request("sendts-iptv", "vexil.ts.mode0"), "0x00");
  EXPECT_EQ(request("sendts-iptv", "vexil.ts.packet_number"), "1");
  EXPECT_EQ(request("sendts-iptv", "vexil.ts.remove_tsp_errors"), "1");
  EXPECT_EQ(request("sendts-iptv", "vexil.ts.remove_null"), "1");
  EXPECT_EQ(request("sendts-iptv", "vexil.ts.packet_204"), "1");
  EXPECT_EQ(request("sendts-iptv", "vexil.ts.qvnet_size"), "");
  // The destination boxes kept their defaults.
  EXPECT_EQ(request("sendts-iptv", "vexil.ts.dest_ip"), "10.123.13.201");
  EXPECT_EQ(request("sendts-iptv", "vexil.ts.dest_port"), "56789");
}

TEST_F(VexilDissector, DontSendTsNamesOnlyItsSource) {
  EXPECT_EQ(request("dontsendts", "vexil.opcode"), "0x31,0x03");
  EXPECT_EQ(request("dontsendts", "vexil.ts.source"), "3");
  EXPECT_EQ(request("dontsendts", "vexil.ts.dest_ip"), "");
}

// ---- Status record --------------------------------------------------------------------

TEST_F(VexilDissector, StatusRecordFieldsAgreeWithTheProgramsReportOfTheSameBytes) {
  const auto& record = exchanges_.at("status").received;
  ASSERT_GE(record.size(), 662u);
  const auto lines = vexil::decodeStatusRecord(vexil::AnswerReader(record), "127.0.0.1",
                                               boardPort_).lines;
  EXPECT_EQ(answer("status", "vexil.message"), "Palvox status record");
  EXPECT_EQ(answer("status", "vexil.status.version"), reportValues(lines, "Device Version: "));
  EXPECT_EQ(answer("status", "vexil.status.serial"), reportValues(lines, "Device Serial: "));
  EXPECT_EQ(answer("status", "vexil.status.type"), reportValues(lines, "Device Type: "));
  EXPECT_EQ(answer("status", "vexil.status.config_word"),
            "0x" + reportValues(lines, "Configuration Word: h"));
  EXPECT_EQ(answer("status", "vexil.status.gateway_ip"), reportValues(lines, "Gateway IP: "));
  EXPECT_EQ(answer("status", "vexil.status.net_mask"), reportValues(lines, "NetMask: "));
  EXPECT_EQ(answer("status", "vexil.status.in.dest_port"), reportValues(lines, " Dest. Port: "));
  EXPECT_EQ(answer("status", "vexil.status.ts_port_high"), reportValues(lines, "TS Port High: "));
  EXPECT_EQ(answer("status", "vexil.status.iic_frequency"),
            reportValues(lines, " IIC frequency: ", " Hz"));
  EXPECT_EQ(answer("status", "vexil.status.nco_frequency"), ncoReportValues(lines));
  EXPECT_EQ(answer("status", "vexil.status.ext.input_rate"),
            reportValues(lines, " Input stream: ", " packets/sec"));
  EXPECT_EQ(answer("status", "vexil.status.ext.sdram_size"),
            reportValues(lines, " SDRAM size: ", " packets"));
}

TEST_F(VexilDissector, StatusRecordShowsWhatTheEarlierInstructionsSet) {
  EXPECT_EQ(answer("status", "vexil.status.serial"), "56765");
  EXPECT_EQ(answer("status", "vexil.status.type"), "7058");
  EXPECT_EQ(answer("status", "vexil.status.gateway_ip"), "192.0.2.1");
  EXPECT_EQ(answer("status", "vexil.status.net_mask"), "255.255.254.0");
  const std::string ncos = answer("status", "vexil.status.nco_frequency");
  EXPECT_NE(ncos.find(",62500000,"), std::string::npos) << ncos;  // channel 3 of 4
  EXPECT_EQ(answer("status", "vexil.status.model"), "7");
}

TEST_F(VexilDissector, RemultiplexerRecordWithoutTheExtensionBlockIsDecodedAndNoted) {
  EXPECT_EQ(answer("status-600", "udp.length"), std::to_string(8 + 600));
  EXPECT_EQ(answer("status-600", "vexil.message"), "Palvox status record");
  EXPECT_EQ(answer("status-600", "vexil.status.serial"), "56765");
  EXPECT_EQ(answer("status-600", "vexil.no_extension"), "1");
  EXPECT_EQ(answer("status-600", "vexil.status.ext.input_rate"), "");
  EXPECT_EQ(answer("status", "vexil.no_extension"), "");
}

// ---- Malformed frames -----------------------------------------------------------------

TEST_F(VexilDissector, CutInstructionIsMarkedTruncatedAndItsPayloadNotDecoded) {
  EXPECT_EQ(request("sendts-cut", "vexil.truncated"), "1");
  EXPECT_EQ(request("sendts-cut", "vexil.opcode"), "0x30");
  EXPECT_EQ(request("sendts-cut", "vexil.ts.source"), "");
  EXPECT_EQ(request("sendts-cut", "vexil.ts.dest_ip"), "");
  EXPECT_EQ(request("sendts-cut", "vexil.ack_request"), "");
  EXPECT_EQ(exchanges_.at("sendts-cut").answer, 0);  // the board ignores it too
}

TEST_F(VexilDissector, CutHeadersAndQvNetFramesOfOtherLengthsAreMalformed) {
  EXPECT_EQ(request("header-cut", "vexil.truncated"), "1");
  EXPECT_EQ(request("header-cut", "vexil.message"), "Palvox frame, header truncated");
  EXPECT_EQ(request("header-cut", "vexil.opcode"), "");
  EXPECT_EQ(request("qvnet-cut", "vexil.qvnet.bad_length"), "1");
  EXPECT_EQ(request("qvnet-cut", "vexil.qvnet.type"), "");
}

TEST_F(VexilDissector, InstructionOfTheWrongLengthIsFlaggedAndNotDecoded) {
  EXPECT_EQ(request("serial-3-bytes", "vexil.bad_length"), "1");
  EXPECT_EQ(request("serial-3-bytes", "vexil.serial"), "");
  // The next instruction still starts right after the three bytes.
  EXPECT_EQ(request("serial-3-bytes", "vexil.ack_request"), "0x00");
}

TEST_F(VexilDissector, StatusAnswerTooShortForTheReportIsAnAnswerWhoseRecordIsTruncated) {
  EXPECT_EQ(answer("status-300", "udp.length"), std::to_string(8 + 300));
  EXPECT_EQ(answer("status-300", "vexil.message"), "Palvox answer");
  EXPECT_EQ(answer("status-300", "vexil.truncated"), "1");
  EXPECT_EQ(answer("status-300", "vexil.status.serial"), "");
}

// ---- Port registration ----------------------------------------------------------------

TEST_F(VexilDissector, DecodesOnPort56789WithoutPreferenceAndNotOnOtherPorts) {
  const std::string movedCapture = folder_ + "/default-port.pcap";
  ASSERT_TRUE(vexil::test::writeFile(movedCapture, vexil::test::pcapFile(onDefaultPort())));
  const auto onDefault = tshark({"-r", movedCapture, "-T", "fields"}, {"vexil.message"});
  ASSERT_TRUE(onDefault.has_value());
  EXPECT_EQ(vexil::test::parseFieldRows(*onDefault, {"vexil.message"}).front().at("vexil.message"),
            "QV-Net query");

  const auto elsewhere = tshark({"-r", capture_, "-T", "fields"}, {"vexil.message"});
  ASSERT_TRUE(elsewhere.has_value());
  for (const auto& row : vexil::test::parseFieldRows(*elsewhere, {"vexil.message"})) {
    EXPECT_EQ(row.at("vexil.message"), "");
  }
}

TEST_F(VexilDissector, FullDecodeOfTheSessionRaisesNoScriptError) {
  const auto text = tshark({"-o", "vexil.udp_port:" + std::to_string(boardPort_), "-r",
                            capture_, "-V"});
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->find("Lua Error"), std::string::npos);
  EXPECT_NE(text->find("Instruction: Send TS"), std::string::npos);
  EXPECT_NE(text->find("IP REMULTIPLEXER EXTENSION"), std::string::npos);
}

}  // namespace
