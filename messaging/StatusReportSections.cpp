// The later sections of the status report: transport-stream input and output channels,
// TS ports and IGMP, IIC port, NCO frequencies, trap function and the IP remultiplexer
// extension, rendered from the typed record (StatusRecord.cpp reads the bytes).
#include "messaging/ReportText.h"
#include "messaging/StatusFields.h"
#include "messaging/StatusReport.h"
#include "messaging/StatusReportLayout.h"
#include "messaging/WireLayout.h"

namespace vexil {

namespace {

using namespace status;
using Lines = std::vector<std::string>;

constexpr const char* kTrapStateUnknown = "Unknown";  // trap states carry no number here
constexpr int kPercent = 100;
constexpr std::size_t kByteBits = 8;

std::string channelNumber(std::size_t index) {
  return decimalText(static_cast<std::int64_t>(index + 1));
}

void appendInputChannel(const InputChannel& c, std::size_t index, Lines& lines) {
  lines.emplace_back(kSpaceLine);
  lines.push_back("TS Input Channel " + channelNumber(index));
  lines.push_back(" Dest. MAC: " + c.destMac);
  lines.push_back(" Dest. IP: " + c.destIp);
  lines.push_back(" Dest. Port: " + decimalText(c.destPort));
  lines.push_back(" Dest. Mode: " + codedText(c.destMode));
  lines.push_back(" State: " + codedText(c.state));

  lines.push_back(" Mode[2]: h" + hexText(c.mode2, 2));
  lines.emplace_back(flagText(c.mode2 & kMode2DvPinBit, "  DV pin Enabled", "  DV pin Disabled"));
  if (c.mode2 & kMode2IptvBit) {
    lines.push_back(std::string("  IPTV Format (") +
                    flagText(c.mode1 & kMode1Packet204Bit, "204", "188") + " byte)");
    lines.push_back("   Packet Number: " +
                    decimalText((c.mode1 >> kMode1PacketNumberShift) & kMode1PacketNumberMask));
    lines.emplace_back(flagText(c.mode1 & kMode1NullRemoverBit, "   Null Packet Remover On",
                                "   Null Packet Remover Off"));
  } else {
    // In QV-Net format Mode[1] and Mode[0] together are the data size.
    const unsigned size = (static_cast<unsigned>(c.mode1) << kByteBits) | c.mode0;
    lines.push_back("  QV-Net Format (Size = " + decimalText(size) + ")");
  }
  if (c.mode2 & kMode2AlwaysSendBit) lines.emplace_back("  Always Send TS");
  lines.push_back(" Mode[1]: h" + hexText(c.mode1, 2));
  lines.push_back(" Mode[0]: h" + hexText(c.mode0, 2));
}

void appendPortsAndIgmp(const StatusRecord& s, Lines& lines) {
  lines.emplace_back(kSpaceLine);
  lines.push_back("TS Port High: " + decimalText(s.tsPortHigh));
  lines.push_back("TS Port Low: " + decimalText(s.tsPortLow));
  lines.push_back(s.igmpReportPeriod != 0
                      ? "IGMP Report Period: " + decimalText(s.igmpReportPeriod * kIgmpPeriodUnitMs) + " ms"
                      : std::string("Auto IGMP Report: off"));
  if (s.igmpSwitchPresent) {
    lines.emplace_back("IGMP Switch: present");
    lines.push_back(" IGMP Switch MAC: " + s.igmpSwitchMac);
    lines.push_back(" IGMP Switch IP: " + s.igmpSwitchIp);
  } else {
    lines.emplace_back("IGMP Switch: unknown");
  }
}

void appendOutputChannel(const OutputChannel& c, std::size_t index, Lines& lines) {
  const std::uint8_t mode = c.mode;
  lines.emplace_back(kSpaceLine);
  lines.push_back("TS Output Channel " + channelNumber(index));
  lines.push_back(" Multicast IP: " + c.multicastIp);
  lines.push_back(" Receive Port: " + decimalText(c.receivePort));
  lines.push_back(" Mode: h" + hexText(mode, 2));
  lines.emplace_back(flagText(mode & kOutEnabledBit, "  Channel Enabled", "  Channel Disabled"));
  lines.emplace_back(flagText(mode & kOutMulticastBit, "  Multicast TS", "  Simple TS"));
  // The packet size is only shown inside the manual-format line.
  if (mode & kOutAutoFormatBit) {
    lines.emplace_back("  Auto Format");
  } else {
    lines.push_back(std::string("  Manual Format (") +
                    flagText(mode & kOutPacket204Bit, "204 byte", "188 byte") + ")");
  }
  lines.emplace_back(flagText(mode & kOutDvPinBit, "  DV pin Enabled (countinuous TS clock)",
                              "  DV pin Disabled (gated TS clock)"));
  lines.emplace_back(flagText(mode & kOutNullInserterBit, "  Null Packet Inserter On",
                              "  Null Packet Inserter Off"));
  lines.emplace_back(flagText(mode & kOutErrorRemoverBit, "  TSP Error Remover On",
                              "  TSP Error Remover Off"));
  lines.emplace_back(flagText(mode & kOutNullRemoverBit, "  Null Packet Remover On",
                              "  Null Packet Remover Off"));
}

void appendIicAndNco(const StatusRecord& s, Lines& lines) {
  lines.emplace_back(kSpaceLine);
  lines.emplace_back("IIC port");
  lines.push_back(" FrqDiv: " + decimalText(s.iicDivider));
  lines.push_back(" IIC frequency: " + decimalText(kIicBaseFrequencyHz / (s.iicDivider + 1u)) +
                  " Hz");
  lines.push_back(" IIC Error: h" + hexText(s.iicError, 2));

  lines.emplace_back(kSpaceLine);
  lines.emplace_back("NCO frequency");
  for (std::size_t n = 0; n < kChannelCount; ++n) {
    lines.push_back(" Channel " + channelNumber(n) + ": " + decimalText(s.ncoHz[n]) + " Hz");
  }
}

void appendTrapFunction(const TrapFunction& t, Lines& lines) {
  lines.emplace_back(kSpaceLine);
  lines.emplace_back("Trap Function");
  lines.push_back(" Mode: h" + hexText(t.mode, 2));
  lines.emplace_back(flagText(t.mode & kTrapEnabledBit, "  Enabled", "  Disabled"));
  lines.emplace_back(flagText(t.mode & kTrapSnmpBit, "  SNMP type", "  UDP type"));
  const std::string stateName = t.state.known() ? std::string(t.state.name) : std::string(kTrapStateUnknown);
  lines.push_back(" State: " + decimalText(t.state.code) + " (" + stateName + ")");
  lines.push_back(" External Trap Mask: h" + hexText(t.externalTrapMask, 2));
  lines.push_back(" Overflow Trap Mask: h" + hexText(t.overflowTrapMask, 2));
  lines.push_back(" External Trap: h" + hexText(t.externalTrap, 2));
  lines.push_back(" Overflow Trap: h" + hexText(t.overflowTrap, 2));
  lines.push_back(" Trap MAC: " + t.mac);
  lines.push_back(" Trap IP: " + t.ip);
}

void appendExtensionChannel(const ExtensionChannel& c, std::size_t index, Lines& lines) {
  lines.push_back("Channel " + channelNumber(index));
  lines.push_back(" Input stream: " + decimalText(c.inputRatePacketsPerSecond) + " packets/sec");
  lines.emplace_back(flagText(c.overflowLed, " Overflow LED: On", " Overflow LED: Off"));
  lines.emplace_back(flagText(c.overflowSinceReset, " Overflow after reset: Yes",
                              " Overflow after reset: No"));
  lines.push_back(" SDRAM size: " + decimalText(c.sdramSizePackets) + " packets");
  lines.push_back(" SDRAM usage: " + decimalText(c.sdramUsagePackets) + " packets");
  // Usage may exceed the size; the percentage is shown as it comes, not capped.
  lines.push_back(" " + decimalText(std::uint64_t{c.sdramUsagePackets} * kPercent / c.sdramSizePackets) +
                  "% used");
  lines.emplace_back(kSpaceLine);
}

void appendExtension(const Extension& x, Lines& lines) {
  lines.emplace_back(kSpaceLine);
  lines.emplace_back("IP REMULTIPLEXER EXTENSION");
  lines.push_back(" SelfTest: h" + hexText(x.selfTest, 2));
  lines.push_back(" Ethernet Controller & PID Filter version: V" + decimalText(x.ethernetVersion));
  for (std::size_t n = 0; n < kChannelCount; ++n) {
    lines.push_back(" Channel " + channelNumber(n) + " version: V" + decimalText(x.channelVersions[n]));
  }
  lines.push_back(" PCR Corrector 1-2 version: V" + decimalText(x.pcr12Version));
  lines.push_back(" PCR Corrector 3-4 version: V" + decimalText(x.pcr34Version));
  lines.emplace_back(kSpaceLine);
  for (std::size_t n = 0; n < kChannelCount; ++n) appendExtensionChannel(x.channels[n], n, lines);
}

}  // namespace

std::string codedText(const EnumField& field) {
  return field.known() ? std::string(field.name) + " (" + decimalText(field.code) + ")"
                       : unknownText(field.code);
}

void appendChannelSections(const StatusRecord& s, Lines& lines) {
  for (std::size_t n = 0; n < kChannelCount; ++n) appendInputChannel(s.inputs[n], n, lines);
  appendPortsAndIgmp(s, lines);
  for (std::size_t n = 0; n < kChannelCount; ++n) appendOutputChannel(s.outputs[n], n, lines);
  appendIicAndNco(s, lines);
  appendTrapFunction(s.trap, lines);
  if (s.extension) appendExtension(*s.extension, lines);
}

}  // namespace vexil
