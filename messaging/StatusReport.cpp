// The identity, configuration and network lines of the status record, and the QV-Net
// ACK decoder that shares the identity texts.
#include "messaging/StatusReport.h"

#include "messaging/ReportText.h"
#include "messaging/StatusFields.h"
#include "messaging/StatusRecord.h"
#include "messaging/StatusReportLayout.h"
#include "messaging/WireLayout.h"

namespace vexil {

namespace {

using namespace status;

constexpr const char* kUnknownMessage = "Unknown message received.";
constexpr const char* kQvNetLengthLabel = "Message length: ";
constexpr const char* kPalvoxLengthLabel = "Message length (UDP): ";

// Link speed 0 reads "Link Off"; the others "Link: " and the speed.
constexpr std::uint8_t kLinkOff = 0;

std::string modelLine(const EnumField& model) {
  return "Model: " + (model.known() ? std::string(model.name) : unknownText(model.code));
}

std::string linkLine(const EnumField& link) {
  return link.code == kLinkOff ? "Link Off" : "Link: " + std::string(link.name);
}

void appendConfigurationWord(std::uint16_t word, std::vector<std::string>& lines) {
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
  const std::optional<StatusRecord> record = decodeStatusFields(r);
  if (!record) {
    update.lines = unknownMessageLines(kPalvoxLengthLabel, r.length());
    return update;
  }
  appendStatusLines(*record, address, devicePort, update);
  return update;
}

void appendStatusLines(const StatusRecord& s, const std::string& address, int devicePort,
                       PageUpdate& update) {
  auto& lines = update.lines;
  lines.push_back("Palvox ACK received (" + decimalText(static_cast<std::int64_t>(s.length)) +
                  ").");
  lines.push_back("Device IP: " + address);
  lines.push_back("Device Port: " + decimalText(devicePort));
  lines.emplace_back();
  lines.push_back("Device Version: " + s.version);
  // The serial is the signed 32-bit number the serial-number instruction sends.
  lines.push_back("Device Serial: " + decimalText(s.serial));
  lines.push_back("Device Type: " + decimalText(s.type));
  update.deviceCaption = deviceCaptionText(s.type, s.version);

  appendConfigurationWord(s.configurationWord, lines);
  lines.push_back("Selector: h" + hexText(s.selector, 4));
  lines.push_back("GPO: h" + hexText(s.gpo, 2));
  lines.push_back("External Trap State: h" + hexText(s.externalTrapState, 2));
  lines.push_back("Overflow State: h" + hexText(s.overflowState, 2));
  lines.push_back(linkLine(s.linkSpeed));
  lines.push_back(modelLine(s.model));
  lines.push_back("Ins. Packet Counter: " + decimalText(s.insPacketCounter));
  lines.push_back("CRC Error Counter: " + decimalText(s.crcErrorCounter));
  lines.emplace_back("UserData (hex):");
  const std::span<const std::uint8_t> user(s.userData);
  lines.push_back("  " + hexBytesText(user.first(kUserDataHalfLength)));
  lines.push_back("  " + hexBytesText(user.subspan(kUserDataHalfLength)));
  lines.emplace_back(kSpaceLine);
  lines.push_back("MAC Mode: " + codedText(s.macMode));
  lines.push_back("Primary MAC: " + s.primaryMac);
  lines.push_back("Secondary MAC: " + s.secondaryMac);
  lines.emplace_back(kSpaceLine);
  lines.push_back("GatewayMode: " + codedText(s.gatewayMode));
  lines.push_back("GatewayState: " + codedText(s.gatewayState));
  lines.push_back("Gateway MAC: " + s.gatewayMac);
  lines.push_back("Gateway IP: " + s.gatewayIp);
  lines.push_back("NetMask: " + s.netMask);
  lines.push_back(s.arpPeriodSeconds != 0 ? "ARP Adv. Time: " + decimalText(s.arpPeriodSeconds) + " sec"
                                          : std::string("ARP Advertisement: off"));
  appendChannelSections(s, lines);
}

}  // namespace vexil
