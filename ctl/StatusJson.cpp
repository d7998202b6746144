#include "ctl/StatusJson.h"

#include <vector>

#include "ctl/Json.h"
#include "messaging/ReportText.h"
#include "messaging/StatusFields.h"
#include "messaging/StatusReportLayout.h"
#include "messaging/WireLayout.h"

namespace vexil::ctl {
namespace {

using namespace status;

std::int64_t channelNumber(std::size_t index) { return static_cast<std::int64_t>(index) + 1; }

std::string addressFieldIp(const AnswerReader& r, std::size_t field) {
  return ipText(r, field + kAddressFieldIp);
}

std::string inputChannel(const AnswerReader& r, std::size_t index) {
  const std::size_t block = kInputBlocks + kInputBlockLength * index;
  return JsonObject()
      .number("channel", channelNumber(index))
      .text("destMac", macText(r, block + kInDestMac))
      .text("destIp", addressFieldIp(r, block + kInDestIpField))
      .number("destPort", r.u16(block + kInDestPort))
      .number("destMode", r.u8(block + kInDestMode))
      .number("state", r.u8(block + kInState))
      .number("mode2", r.u8(block + kInMode2))
      .number("mode1", r.u8(block + kInMode1))
      .number("mode0", r.u8(block + kInMode0))
      .str();
}

std::string outputChannel(const AnswerReader& r, std::size_t index) {
  const std::size_t block = kOutputBlocks + kOutputBlockLength * index;
  return JsonObject()
      .number("channel", channelNumber(index))
      .text("multicastIp", addressFieldIp(r, block + kOutIpField))
      .number("receivePort", r.u16(block + kOutPort))
      .number("mode", r.u8(block + kOutMode))
      .str();
}

std::string trapFunction(const AnswerReader& r) {
  return JsonObject()
      .number("mode", r.u8(kTrapMode))
      .number("state", r.u8(kTrapState))
      .number("externalTrapMask", r.u8(kExternalTrapMask))
      .number("overflowTrapMask", r.u8(kOverflowTrapMask))
      .number("externalTrap", r.u8(kExternalTrap))
      .number("overflowTrap", r.u8(kOverflowTrap))
      .text("mac", macText(r, kTrapMac))
      .text("ip", addressFieldIp(r, kTrapIpField))
      .str();
}

std::string extensionChannel(const AnswerReader& r, std::size_t index) {
  const std::size_t block = extensionBlock(index);
  const std::uint8_t flags = r.u8(block + kExtFlags);
  return JsonObject()
      .number("channel", channelNumber(index))
      .number("inputRate", extensionRate(r, block))
      .boolean("overflowLed", (flags & kExtOverflowLedBit) != 0)
      .boolean("overflowSinceReset", (flags & kExtOverflowSinceResetBit) != 0)
      .number("sdramSize", extensionSize(r, block))
      .number("sdramUsage", extensionUsage(r, block))
      .str();
}

std::string extension(const AnswerReader& r) {
  std::vector<std::string> versions;
  std::vector<std::string> channels;
  for (std::size_t n = 0; n < kChannelCount; ++n) {
    versions.push_back(std::to_string(r.u8(kExtChannelVersions + n)));
    channels.push_back(extensionChannel(r, n));
  }
  return JsonObject()
      .number("selfTest", r.u8(kExtSelfTest))
      .number("ethernetVersion", r.u8(kExtEthernetVersion))
      .raw("channelVersions", jsonArray(versions))
      .number("pcr12Version", r.u8(kExtPcr12Version))
      .number("pcr34Version", r.u8(kExtPcr34Version))
      .raw("channels", jsonArray(channels))
      .str();
}

}  // namespace

std::string statusRecordJson(const AnswerReader& r) {
  std::vector<std::string> inputs;
  std::vector<std::string> outputs;
  std::vector<std::string> nco;
  for (std::size_t n = 0; n < kChannelCount; ++n) {
    inputs.push_back(inputChannel(r, n));
    outputs.push_back(outputChannel(r, n));
    // Shown signed, as the serial: the same 32 bits the NCO instruction sends.
    nco.push_back(std::to_string(static_cast<std::int32_t>(r.u32(kNcoFrequencies + kNcoStride * n))));
  }
  const std::uint8_t model = recordModel(r);
  JsonObject o;
  o.number("length", static_cast<std::int64_t>(r.length()))
      .text("version", versionText(r.u8(kVersionMajor), r.u8(kVersionMinor)))
      .number("versionMajor", r.u8(kVersionMajor))
      .number("versionMinor", r.u8(kVersionMinor))
      .number("serial", static_cast<std::int32_t>(r.u32(kSerial)))
      .number("type", r.u16(kType))
      .number("configurationWord", r.u16(kConfigWord))
      .number("selector", r.u16(kSelector))
      .number("gpo", r.u8(kGpo))
      .number("externalTrapState", r.u8(kExternalTrapState))
      .number("overflowState", r.u8(kOverflowState))
      .number("linkSpeed", recordLinkSpeed(r))
      .number("model", model)
      .number("macMode", r.u8(kMacMode))
      .text("primaryMac", macText(r, kPrimaryMac))
      .text("secondaryMac", macText(r, kSecondaryMac))
      .number("gatewayMode", r.u8(kGatewayMode))
      .number("gatewayState", r.u8(kGatewayState))
      .text("gatewayMac", macText(r, kGatewayMac))
      .text("gatewayIp", addressFieldIp(r, kGatewayIpField))
      .text("netMask", addressFieldIp(r, kNetMaskField))
      .number("arpPeriod", r.u8(kArpPeriod))
      .raw("tsInputs", jsonArray(inputs))
      .number("tsPortHigh", r.u16(kTsPortHigh))
      .number("tsPortLow", r.u16(kTsPortLow))
      .number("igmpReportPeriod", r.u8(kIgmpPeriod))
      .number("igmpSwitch", r.u8(kIgmpSwitch))
      .text("igmpSwitchMac", macText(r, kIgmpSwitchMac))
      .text("igmpSwitchIp", addressFieldIp(r, kIgmpSwitchIpField))
      .raw("tsOutputs", jsonArray(outputs))
      .number("iicDivider", r.u8(kIicDivider))
      .number("iicError", r.u8(kIicError))
      .raw("ncoHz", jsonArray(nco))
      .number("insPacketCounter", r.u16(kInsPacketCounter))
      .raw("trap", trapFunction(r))
      .number("crcErrorCounter", r.u16(kCrcErrorCounter))
      .text("userData", hexBytesText(r, kUserDataFirst, kUserDataHalfLength) +
                               hexBytesText(r, kUserDataSecond, kUserDataHalfLength));
  if (hasExtension(model, r.length())) o.raw("extension", extension(r));
  return o.str();
}

std::string qvNetAckJson(const AnswerReader& a) {
  return JsonObject()
      .number("length", static_cast<std::int64_t>(a.length()))
      .text("version", versionText(a.u8(wire::kQvNetAckVersionMajorOffset),
                                   a.u8(wire::kQvNetAckVersionMinorOffset)))
      .number("versionMajor", a.u8(wire::kQvNetAckVersionMajorOffset))
      .number("versionMinor", a.u8(wire::kQvNetAckVersionMinorOffset))
      .number("type", a.u16(wire::kQvNetAckTypeOffset))
      .number("serial", a.u16(wire::kQvNetAckSerialOffset))
      .str();
}

}  // namespace vexil::ctl
