// The identity, configuration and network lines of the status record, and the QV-Net
// ACK decoder that shares the identity texts.
#include "messaging/StatusReport.h"

#include "messaging/ReportText.h"
#include "messaging/StatusFields.h"
#include "messaging/StatusReportLayout.h"
#include "messaging/WireLayout.h"

namespace vexil {

namespace {

using namespace status;

constexpr const char* kUnknownMessage = "Unknown message received.";
constexpr const char* kQvNetLengthLabel = "Message length: ";
constexpr const char* kPalvoxLengthLabel = "Message length (UDP): ";

constexpr std::string_view kLinkNames[] = {"Link Off", "Link: 10 Mbps", "Link: 100 Mbps",
                                           "Link: 1000 Mbps"};
constexpr std::string_view kMacModeNames[] = {"QV Auto (0)", "Manual (1)", "Auto (2)"};
constexpr std::string_view kGatewayModeNames[] = {"No gateway (0)", "Manual IP (1)",
                                                  "Auto (2)"};
constexpr std::string_view kGatewayStateNames[] = {"No gateway (0)", "Known gateway (1)",
                                                   "Searching MAC (2)", "Searching IP (3)"};

std::string modelLine(std::uint8_t model) {
  switch (model) {
    case 0: return "Model: 4I (4In + 1Out)";
    case 1: return "Model: 4O (4Out)";
    case 2: return "Model: 2D (2In + 2Out)";
    case 3: return "Model: 2L (2In + 2Out with loopback)";
    case kModelIpRemultiplexer: return "Model: IP Remultiplexer";
    default: return "Model: " + unknownText(model);
  }
}

void appendConfigurationWord(const AnswerReader& r, std::vector<std::string>& lines) {
  const std::uint16_t word = r.u16(kConfigWord);
  lines.push_back("Configuration Word: h" + hexText(word, 4));
  lines.emplace_back(flagText(word & kConfigLockedBit, " Device Locked", " Device Unlocked"));
  lines.emplace_back(flagText(word & kConfigReplaceCompatBit,
                              " QV-Net Replace compatibility on",
                              " QV-Net Replace compatibility off"));
  lines.emplace_back(flagText(word & kConfigOtherCompatBit, " QV-Net Other compatibility on",
                              " QV-Net Other compatibility off"));
  lines.emplace_back(flagText(word & kConfigIrqPalvoxBit, " SDI IRQ Type is Palvox",
                              " SDI IRQ Type is QV-Net"));
}

}  // namespace

std::vector<std::string> unknownMessageLines(const char* lengthLabel, std::size_t length) {
  return {kUnknownMessage, lengthLabel + decimalText(static_cast<std::int64_t>(length)) +
                               " bytes"};
}

std::string deviceCaptionText(std::uint16_t type, const std::string& version) {
  return "Device: QV-" + decimalText(type) + "  v" + version;
}

PageUpdate decodeQvNetAck(const AnswerReader& datagram, const std::string& address,
                          int devicePort) {
  PageUpdate update;
  update.clearMemo = true;
  if (datagram.length() != wire::kQvNetAckLength) {
    update.lines = unknownMessageLines(kQvNetLengthLabel, datagram.length());
    return update;
  }
  const std::string version = versionText(datagram.u8(wire::kQvNetAckVersionMajorOffset),
                                          datagram.u8(wire::kQvNetAckVersionMinorOffset));
  const std::uint16_t type = datagram.u16(wire::kQvNetAckTypeOffset);
  auto& lines = update.lines;
  lines.emplace_back("QV-Net ACK received.");
  lines.push_back("Device IP: " + address);
  lines.push_back("Device Port: " + decimalText(devicePort));
  lines.emplace_back();
  lines.push_back("Device Version: " + version);
  lines.push_back("Device Type: " + decimalText(type));
  update.deviceCaption = deviceCaptionText(type, version);
  lines.push_back("Device Serial: " + decimalText(datagram.u16(wire::kQvNetAckSerialOffset)));
  return update;
}

PageUpdate decodeStatusRecord(const AnswerReader& r, const std::string& address,
                              int devicePort) {
  PageUpdate update;
  update.clearMemo = true;
  const std::size_t length = r.length();
  if (length < wire::kStatusMinLength || r.u8(wire::kAnswerOpcodeOffset) != wire::OpAck) {
    update.lines = unknownMessageLines(kPalvoxLengthLabel, length);
    return update;
  }

  auto& lines = update.lines;
  const std::string version = versionText(r.u8(kVersionMajor), r.u8(kVersionMinor));
  const std::uint16_t type = r.u16(kType);
  lines.push_back("Palvox ACK received (" + decimalText(static_cast<std::int64_t>(length)) +
                  ").");
  lines.push_back("Device IP: " + address);
  lines.push_back("Device Port: " + decimalText(devicePort));
  lines.emplace_back();
  lines.push_back("Device Version: " + version);
  // The serial is the signed 32-bit number the serial-number instruction sends.
  lines.push_back("Device Serial: " +
                  decimalText(static_cast<std::int32_t>(r.u32(kSerial))));
  lines.push_back("Device Type: " + decimalText(type));
  update.deviceCaption = deviceCaptionText(type, version);

  appendConfigurationWord(r, lines);
  lines.push_back("Selector: h" + hexText(r.u16(kSelector), 4));
  lines.push_back("GPO: h" + hexText(r.u8(kGpo), 2));
  lines.push_back("External Trap State: h" + hexText(r.u8(kExternalTrapState), 2));
  lines.push_back("Overflow State: h" + hexText(r.u8(kOverflowState), 2));
  lines.emplace_back(kLinkNames[recordLinkSpeed(r)]);
  const std::uint8_t model = recordModel(r);
  lines.push_back(modelLine(model));
  lines.push_back("Ins. Packet Counter: " + decimalText(r.u16(kInsPacketCounter)));
  lines.push_back("CRC Error Counter: " + decimalText(r.u16(kCrcErrorCounter)));
  lines.emplace_back("UserData (hex):");
  lines.push_back("  " + hexBytesText(r, kUserDataFirst, kUserDataHalfLength));
  lines.push_back("  " + hexBytesText(r, kUserDataSecond, kUserDataHalfLength));
  lines.emplace_back(kSpaceLine);
  lines.push_back("MAC Mode: " + enumText(r.u8(kMacMode), kMacModeNames));
  lines.push_back("Primary MAC: " + macText(r, kPrimaryMac));
  lines.push_back("Secondary MAC: " + macText(r, kSecondaryMac));
  lines.emplace_back(kSpaceLine);
  lines.push_back("GatewayMode: " + enumText(r.u8(kGatewayMode), kGatewayModeNames));
  lines.push_back("GatewayState: " + enumText(r.u8(kGatewayState), kGatewayStateNames));
  lines.push_back("Gateway MAC: " + macText(r, kGatewayMac));
  lines.push_back("Gateway IP: " + ipText(r, kGatewayIpField + kAddressFieldIp));
  lines.push_back("NetMask: " + ipText(r, kNetMaskField + kAddressFieldIp));
  const std::uint8_t arp = r.u8(kArpPeriod);
  lines.push_back(arp != 0 ? "ARP Adv. Time: " + decimalText(arp) + " sec"
                           : std::string("ARP Advertisement: off"));

  appendChannelSections(r, model, lines);
  return update;
}

}  // namespace vexil
