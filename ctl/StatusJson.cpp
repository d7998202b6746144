#include "ctl/StatusJson.h"

#include <vector>

#include "ctl/Json.h"
#include "messaging/ReportText.h"
#include "messaging/StatusFields.h"
#include "messaging/StatusRecord.h"
#include "messaging/StatusReportLayout.h"
#include "messaging/WireLayout.h"

namespace vexil::ctl {
namespace {

using namespace status;

constexpr int kIgmpUnitMs = kIgmpPeriodUnitMs;

std::int64_t channelNumber(std::size_t index) { return static_cast<std::int64_t>(index) + 1; }

// An enumeration: its code, and its name or null when the code has none.
std::string coded(const EnumField& f) {
  return JsonObject()
      .number("code", f.code)
      .raw("name", f.known() ? jsonText(f.name) : std::string("null"))
      .str();
}

std::string inputChannel(const InputChannel& c, std::size_t index) {
  return JsonObject()
      .number("channel", channelNumber(index))
      .text("dest_mac", c.destMac)
      .text("dest_ip", c.destIp)
      .number("dest_port", c.destPort)
      .raw("dest_mode", coded(c.destMode))
      .raw("state", coded(c.state))
      .number("mode2", c.mode2)
      .number("mode1", c.mode1)
      .number("mode0", c.mode0)
      .str();
}

std::string outputChannel(const OutputChannel& c, std::size_t index) {
  return JsonObject()
      .number("channel", channelNumber(index))
      .text("multicast_ip", c.multicastIp)
      .number("receive_port", c.receivePort)
      .number("mode", c.mode)
      .str();
}

std::string trapFunction(const TrapFunction& t) {
  return JsonObject()
      .number("mode", t.mode)
      .raw("state", coded(t.state))
      .number("external_trap_mask", t.externalTrapMask)
      .number("overflow_trap_mask", t.overflowTrapMask)
      .number("external_trap", t.externalTrap)
      .number("overflow_trap", t.overflowTrap)
      .text("mac", t.mac)
      .text("ip", t.ip)
      .str();
}

std::string extensionChannel(const ExtensionChannel& c, std::size_t index) {
  return JsonObject()
      .number("channel", channelNumber(index))
      .number("input_rate_packets_per_second", c.inputRatePacketsPerSecond)
      .boolean("overflow_led", c.overflowLed)
      .boolean("overflow_since_reset", c.overflowSinceReset)
      .number("sdram_size_packets", c.sdramSizePackets)
      .number("sdram_usage_packets", c.sdramUsagePackets)
      .str();
}

std::string extension(const Extension& x) {
  std::vector<std::string> versions;
  std::vector<std::string> channels;
  for (std::size_t n = 0; n < kChannelCount; ++n) {
    versions.push_back(std::to_string(x.channelVersions[n]));
    channels.push_back(extensionChannel(x.channels[n], n));
  }
  return JsonObject()
      .number("self_test", x.selfTest)
      .number("ethernet_version", x.ethernetVersion)
      .raw("channel_versions", jsonArray(versions))
      .number("pcr12_version", x.pcr12Version)
      .number("pcr34_version", x.pcr34Version)
      .raw("channels", jsonArray(channels))
      .str();
}

}  // namespace

std::string statusRecordJson(const AnswerReader& r) {
  const std::optional<StatusRecord> record = decodeStatusFields(r);
  return record ? statusRecordJson(*record) : std::string("null");
}

std::string statusRecordJson(const StatusRecord& s) {
  std::vector<std::string> inputs;
  std::vector<std::string> outputs;
  std::vector<std::string> nco;
  for (std::size_t n = 0; n < kChannelCount; ++n) {
    inputs.push_back(inputChannel(s.inputs[n], n));
    outputs.push_back(outputChannel(s.outputs[n], n));
    // Shown signed, as the serial: the same 32 bits the NCO instruction sends.
    nco.push_back(std::to_string(s.ncoHz[n]));
  }
  JsonObject o;
  o.number("length", static_cast<std::int64_t>(s.length))
      .text("version", s.version)
      .number("version_major", s.versionMajor)
      .number("version_minor", s.versionMinor)
      .number("serial", s.serial)
      .number("type", s.type)
      .number("configuration_word", s.configurationWord)
      .number("selector", s.selector)
      .number("gpo", s.gpo)
      .number("external_trap_state", s.externalTrapState)
      .number("overflow_state", s.overflowState)
      .raw("link_speed", coded(s.linkSpeed))
      .raw("model", coded(s.model))
      .raw("mac_mode", coded(s.macMode))
      .text("primary_mac", s.primaryMac)
      .text("secondary_mac", s.secondaryMac)
      .raw("gateway_mode", coded(s.gatewayMode))
      .raw("gateway_state", coded(s.gatewayState))
      .text("gateway_mac", s.gatewayMac)
      .text("gateway_ip", s.gatewayIp)
      .text("net_mask", s.netMask)
      .number("arp_period_seconds", s.arpPeriodSeconds)
      .raw("ts_inputs", jsonArray(inputs))
      .number("ts_port_high", s.tsPortHigh)
      .number("ts_port_low", s.tsPortLow)
      .number("igmp_report_period_ms", s.igmpReportPeriod * kIgmpUnitMs)
      .boolean("igmp_switch_present", s.igmpSwitchPresent)
      .text("igmp_switch_mac", s.igmpSwitchMac)
      .text("igmp_switch_ip", s.igmpSwitchIp)
      .raw("ts_outputs", jsonArray(outputs))
      .number("iic_divider", s.iicDivider)
      .number("iic_error", s.iicError)
      .raw("nco_hz", jsonArray(nco))
      .number("ins_packet_counter", s.insPacketCounter)
      .raw("trap", trapFunction(s.trap))
      .number("crc_error_counter", s.crcErrorCounter)
      .text("user_data", hexBytesText(std::span(s.userData)));
  if (s.extension) o.raw("extension", extension(*s.extension));
  return o.str();
}

std::string qvNetAckJson(const AnswerReader& a) {
  return JsonObject()
      .number("length", static_cast<std::int64_t>(a.length()))
      .text("version", versionText(a.u8(wire::kQvNetAckVersionMajorOffset),
                                   a.u8(wire::kQvNetAckVersionMinorOffset)))
      .number("version_major", a.u8(wire::kQvNetAckVersionMajorOffset))
      .number("version_minor", a.u8(wire::kQvNetAckVersionMinorOffset))
      .number("type", a.u16(wire::kQvNetAckTypeOffset))
      .number("serial", a.u16(wire::kQvNetAckSerialOffset))
      .str();
}

}  // namespace vexil::ctl
