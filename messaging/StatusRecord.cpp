// The status answer read once into its typed record.
#include "messaging/StatusRecord.h"

#include "messaging/ReportText.h"
#include "messaging/StatusFields.h"
#include "messaging/WireLayout.h"

namespace vexil::status {
namespace {

// The names of the enumerated fields, by code. The report's lines add their own
// decorations ("Link: 100 Mbps", "Me (0)") around these.
constexpr std::string_view kLinkSpeedNames[] = {"Off", "10 Mbps", "100 Mbps", "1000 Mbps"};
constexpr std::string_view kMacModeNames[] = {"QV Auto", "Manual", "Auto"};
constexpr std::string_view kGatewayModeNames[] = {"No gateway", "Manual IP", "Auto"};
constexpr std::string_view kGatewayStateNames[] = {"No gateway", "Known gateway",
                                                   "Searching MAC", "Searching IP"};
constexpr std::string_view kDestModeNames[] = {"Me", "Broadcast", "IP", "Manual"};
constexpr std::string_view kChannelStateNames[] = {"Stopped", "Sending TS", "Searching MAC",
                                                   "Searching Gateway"};
constexpr std::string_view kTrapStateNames[] = {"Off", "Sending", "Searching MAC",
                                                "Searching Gateway"};

template <std::size_t N>
EnumField named(std::uint8_t code, const std::string_view (&names)[N]) {
  return {code, code < N ? names[code] : std::string_view()};
}

EnumField modelField(std::uint8_t code) {
  switch (code) {
    case 0: return {code, "4I (4In + 1Out)"};
    case 1: return {code, "4O (4Out)"};
    case 2: return {code, "2D (2In + 2Out)"};
    case 3: return {code, "2L (2In + 2Out with loopback)"};
    case kModelIpRemultiplexer: return {code, "IP Remultiplexer"};
    default: return {code, {}};
  }
}

std::string addressFieldIp(const AnswerReader& r, std::size_t field) {
  return ipText(r, field + kAddressFieldIp);
}

InputChannel inputChannel(const AnswerReader& r, std::size_t index) {
  const std::size_t block = kInputBlocks + kInputBlockLength * index;
  InputChannel c;
  c.destMac = macText(r, block + kInDestMac);
  c.destIp = addressFieldIp(r, block + kInDestIpField);
  c.destPort = r.u16(block + kInDestPort);
  c.destMode = named(r.u8(block + kInDestMode), kDestModeNames);
  c.state = named(r.u8(block + kInState), kChannelStateNames);
  c.mode2 = r.u8(block + kInMode2);
  c.mode1 = r.u8(block + kInMode1);
  c.mode0 = r.u8(block + kInMode0);
  return c;
}

OutputChannel outputChannel(const AnswerReader& r, std::size_t index) {
  const std::size_t block = kOutputBlocks + kOutputBlockLength * index;
  return {addressFieldIp(r, block + kOutIpField), r.u16(block + kOutPort), r.u8(block + kOutMode)};
}

Extension extension(const AnswerReader& r) {
  Extension x;
  x.selfTest = r.u8(kExtSelfTest);
  x.ethernetVersion = r.u8(kExtEthernetVersion);
  for (std::size_t n = 0; n < kChannelCount; ++n) {
    x.channelVersions[n] = r.u8(kExtChannelVersions + n);
    const std::size_t block = extensionBlock(n);
    const std::uint8_t flags = r.u8(block + kExtFlags);
    ExtensionChannel& c = x.channels[n];
    c.inputRatePacketsPerSecond = extensionRate(r, block);
    c.overflowLed = (flags & kExtOverflowLedBit) != 0;
    c.overflowSinceReset = (flags & kExtOverflowSinceResetBit) != 0;
    c.sdramSizePackets = extensionSize(r, block);
    c.sdramUsagePackets = extensionUsage(r, block);
  }
  x.pcr12Version = r.u8(kExtPcr12Version);
  x.pcr34Version = r.u8(kExtPcr34Version);
  return x;
}

}  // namespace

bool isStatusAnswer(const AnswerReader& r) {
  return r.length() >= wire::kStatusMinLength && r.u8(wire::kAnswerOpcodeOffset) == wire::OpAck;
}

std::optional<StatusRecord> decodeStatusFields(const AnswerReader& r) {
  if (!isStatusAnswer(r)) return std::nullopt;
  StatusRecord s;
  s.length = r.length();
  s.versionMajor = r.u8(kVersionMajor);
  s.versionMinor = r.u8(kVersionMinor);
  s.version = versionText(s.versionMajor, s.versionMinor);
  s.serial = static_cast<std::int32_t>(r.u32(kSerial));
  s.type = r.u16(kType);
  s.configurationWord = r.u16(kConfigWord);
  s.selector = r.u16(kSelector);
  s.gpo = r.u8(kGpo);
  s.externalTrapState = r.u8(kExternalTrapState);
  s.overflowState = r.u8(kOverflowState);
  s.linkSpeed = named(recordLinkSpeed(r), kLinkSpeedNames);
  s.model = modelField(recordModel(r));
  s.macMode = named(r.u8(kMacMode), kMacModeNames);
  s.primaryMac = macText(r, kPrimaryMac);
  s.secondaryMac = macText(r, kSecondaryMac);
  s.gatewayMode = named(r.u8(kGatewayMode), kGatewayModeNames);
  s.gatewayState = named(r.u8(kGatewayState), kGatewayStateNames);
  s.gatewayMac = macText(r, kGatewayMac);
  s.gatewayIp = addressFieldIp(r, kGatewayIpField);
  s.netMask = addressFieldIp(r, kNetMaskField);
  s.arpPeriodSeconds = r.u8(kArpPeriod);
  for (std::size_t n = 0; n < kChannelCount; ++n) {
    s.inputs[n] = inputChannel(r, n);
    s.outputs[n] = outputChannel(r, n);
    s.ncoHz[n] = static_cast<std::int32_t>(r.u32(kNcoFrequencies + kNcoStride * n));
  }
  s.tsPortHigh = r.u16(kTsPortHigh);
  s.tsPortLow = r.u16(kTsPortLow);
  s.igmpReportPeriod = r.u8(kIgmpPeriod);
  s.igmpSwitchPresent = r.u8(kIgmpSwitch) != 0;
  s.igmpSwitchMac = macText(r, kIgmpSwitchMac);
  s.igmpSwitchIp = addressFieldIp(r, kIgmpSwitchIpField);
  s.iicDivider = r.u8(kIicDivider);
  s.iicError = r.u8(kIicError);
  s.insPacketCounter = r.u16(kInsPacketCounter);
  s.trap.mode = r.u8(kTrapMode);
  s.trap.state = named(r.u8(kTrapState), kTrapStateNames);
  s.trap.externalTrapMask = r.u8(kExternalTrapMask);
  s.trap.overflowTrapMask = r.u8(kOverflowTrapMask);
  s.trap.externalTrap = r.u8(kExternalTrap);
  s.trap.overflowTrap = r.u8(kOverflowTrap);
  s.trap.mac = macText(r, kTrapMac);
  s.trap.ip = addressFieldIp(r, kTrapIpField);
  s.crcErrorCounter = r.u16(kCrcErrorCounter);
  for (std::size_t i = 0; i < kUserDataHalfLength; ++i) {
    s.userData[i] = r.u8(kUserDataFirst + i);
    s.userData[kUserDataHalfLength + i] = r.u8(kUserDataSecond + i);
  }
  if (hasExtension(recordModel(r), r.length())) s.extension = extension(r);
  return s;
}

}  // namespace vexil::status
