// The later sections of the status report: transport-stream input and output channels,
// TS ports and IGMP, IIC port, NCO frequencies, trap function and the IP remultiplexer
// extension. Every read goes through the AnswerReader, which never looks beyond the
// datagram; the extension is only read when the datagram holds it.
#include "messaging/ReportText.h"
#include "messaging/StatusFields.h"
#include "messaging/StatusReport.h"
#include "messaging/StatusReportLayout.h"
#include "messaging/WireLayout.h"

namespace vexil {

namespace {

using namespace status;
using Lines = std::vector<std::string>;

constexpr std::string_view kDestModeNames[] = {"Me (0)", "Broadcast (1)", "IP (2)",
                                               "Manual (3)"};
constexpr std::string_view kChannelStateNames[] = {"Stopped (0)", "Sending TS (1)",
                                                   "Searching MAC (2)",
                                                   "Searching Gateway (3)"};
constexpr std::string_view kTrapStateNames[] = {"Off", "Sending", "Searching MAC",
                                                "Searching Gateway"};
constexpr const char* kTrapStateUnknown = "Unknown";  // trap states carry no number here
constexpr int kPercent = 100;
constexpr std::size_t kByteBits = 8;

std::string channelNumber(std::size_t index) {
  return decimalText(static_cast<std::int64_t>(index + 1));
}

void appendInputChannel(const AnswerReader& r, std::size_t index, Lines& lines) {
  const std::size_t block = kInputBlocks + kInputBlockLength * index;
  lines.emplace_back(kSpaceLine);
  lines.push_back("TS Input Channel " + channelNumber(index));
  lines.push_back(" Dest. MAC: " + macText(r, block + kInDestMac));
  lines.push_back(" Dest. IP: " + ipText(r, block + kInDestIpField + kAddressFieldIp));
  lines.push_back(" Dest. Port: " + decimalText(r.u16(block + kInDestPort)));
  lines.push_back(" Dest. Mode: " + enumText(r.u8(block + kInDestMode), kDestModeNames));
  lines.push_back(" State: " + enumText(r.u8(block + kInState), kChannelStateNames));

  const std::uint8_t mode2 = r.u8(block + kInMode2);
  const std::uint8_t mode1 = r.u8(block + kInMode1);
  const std::uint8_t mode0 = r.u8(block + kInMode0);
  lines.push_back(" Mode[2]: h" + hexText(mode2, 2));
  lines.emplace_back(flagText(mode2 & kMode2DvPinBit, "  DV pin Enabled", "  DV pin Disabled"));
  if (mode2 & kMode2IptvBit) {
    lines.push_back(std::string("  IPTV Format (") +
                    flagText(mode1 & kMode1Packet204Bit, "204", "188") + " byte)");
    lines.push_back("   Packet Number: " +
                    decimalText((mode1 >> kMode1PacketNumberShift) & kMode1PacketNumberMask));
    lines.emplace_back(flagText(mode1 & kMode1NullRemoverBit, "   Null Packet Remover On",
                            "   Null Packet Remover Off"));
  } else {
    // In QV-Net format Mode[1] and Mode[0] together are the data size.
    const unsigned size = (static_cast<unsigned>(mode1) << kByteBits) | mode0;
    lines.push_back("  QV-Net Format (Size = " + decimalText(size) + ")");
  }
  if (mode2 & kMode2AlwaysSendBit) lines.emplace_back("  Always Send TS");
  lines.push_back(" Mode[1]: h" + hexText(mode1, 2));
  lines.push_back(" Mode[0]: h" + hexText(mode0, 2));
}

void appendPortsAndIgmp(const AnswerReader& r, Lines& lines) {
  lines.emplace_back(kSpaceLine);
  lines.push_back("TS Port High: " + decimalText(r.u16(kTsPortHigh)));
  lines.push_back("TS Port Low: " + decimalText(r.u16(kTsPortLow)));
  const std::uint8_t period = r.u8(kIgmpPeriod);
  lines.push_back(period != 0
                      ? "IGMP Report Period: " + decimalText(period * kIgmpPeriodUnitMs) + " ms"
                      : std::string("Auto IGMP Report: off"));
  if (r.u8(kIgmpSwitch) != 0) {
    lines.emplace_back("IGMP Switch: present");
    lines.push_back(" IGMP Switch MAC: " + macText(r, kIgmpSwitchMac));
    lines.push_back(" IGMP Switch IP: " + ipText(r, kIgmpSwitchIpField + kAddressFieldIp));
  } else {
    lines.emplace_back("IGMP Switch: unknown");
  }
}

void appendOutputChannel(const AnswerReader& r, std::size_t index, Lines& lines) {
  const std::size_t block = kOutputBlocks + kOutputBlockLength * index;
  const std::uint8_t mode = r.u8(block + kOutMode);
  lines.emplace_back(kSpaceLine);
  lines.push_back("TS Output Channel " + channelNumber(index));
  lines.push_back(" Multicast IP: " + ipText(r, block + kOutIpField + kAddressFieldIp));
  lines.push_back(" Receive Port: " + decimalText(r.u16(block + kOutPort)));
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

void appendIicAndNco(const AnswerReader& r, Lines& lines) {
  const std::uint8_t divider = r.u8(kIicDivider);
  lines.emplace_back(kSpaceLine);
  lines.emplace_back("IIC port");
  lines.push_back(" FrqDiv: " + decimalText(divider));
  lines.push_back(" IIC frequency: " + decimalText(kIicBaseFrequencyHz / (divider + 1u)) +
                  " Hz");
  lines.push_back(" IIC Error: h" + hexText(r.u8(kIicError), 2));

  lines.emplace_back(kSpaceLine);
  lines.emplace_back("NCO frequency");
  for (std::size_t n = 0; n < kChannelCount; ++n) {
    const auto hz = static_cast<std::int32_t>(r.u32(kNcoFrequencies + kNcoStride * n));
    lines.push_back(" Channel " + channelNumber(n) + ": " + decimalText(hz) + " Hz");
  }
}

void appendTrapFunction(const AnswerReader& r, Lines& lines) {
  const std::uint8_t mode = r.u8(kTrapMode);
  const std::uint8_t state = r.u8(kTrapState);
  lines.emplace_back(kSpaceLine);
  lines.emplace_back("Trap Function");
  lines.push_back(" Mode: h" + hexText(mode, 2));
  lines.emplace_back(flagText(mode & kTrapEnabledBit, "  Enabled", "  Disabled"));
  lines.emplace_back(flagText(mode & kTrapSnmpBit, "  SNMP type", "  UDP type"));
  const std::string stateName = state < std::size(kTrapStateNames)
                                    ? std::string(kTrapStateNames[state])
                                    : std::string(kTrapStateUnknown);
  lines.push_back(" State: " + decimalText(state) + " (" + stateName + ")");
  lines.push_back(" External Trap Mask: h" + hexText(r.u8(kExternalTrapMask), 2));
  lines.push_back(" Overflow Trap Mask: h" + hexText(r.u8(kOverflowTrapMask), 2));
  lines.push_back(" External Trap: h" + hexText(r.u8(kExternalTrap), 2));
  lines.push_back(" Overflow Trap: h" + hexText(r.u8(kOverflowTrap), 2));
  lines.push_back(" Trap MAC: " + macText(r, kTrapMac));
  lines.push_back(" Trap IP: " + ipText(r, kTrapIpField + kAddressFieldIp));
}

void appendExtensionChannel(const AnswerReader& r, std::size_t index, Lines& lines) {
  const std::size_t block = extensionBlock(index);
  const std::uint8_t flags = r.u8(block + kExtFlags);
  const std::uint32_t rate = extensionRate(r, block);
  const std::uint32_t usage = extensionUsage(r, block);
  const std::uint32_t size = extensionSize(r, block);
  lines.push_back("Channel " + channelNumber(index));
  lines.push_back(" Input stream: " + decimalText(rate) + " packets/sec");
  lines.emplace_back(flagText(flags & kExtOverflowLedBit, " Overflow LED: On",
                          " Overflow LED: Off"));
  lines.emplace_back(flagText(flags & kExtOverflowSinceResetBit, " Overflow after reset: Yes",
                          " Overflow after reset: No"));
  lines.push_back(" SDRAM size: " + decimalText(size) + " packets");
  lines.push_back(" SDRAM usage: " + decimalText(usage) + " packets");
  // Usage may exceed the size; the percentage is shown as it comes, not capped.
  lines.push_back(" " + decimalText(std::uint64_t{usage} * kPercent / size) + "% used");
  lines.emplace_back(kSpaceLine);
}

void appendExtension(const AnswerReader& r, Lines& lines) {
  lines.emplace_back(kSpaceLine);
  lines.emplace_back("IP REMULTIPLEXER EXTENSION");
  lines.push_back(" SelfTest: h" + hexText(r.u8(kExtSelfTest), 2));
  lines.push_back(" Ethernet Controller & PID Filter version: V" +
                  decimalText(r.u8(kExtEthernetVersion)));
  for (std::size_t n = 0; n < kChannelCount; ++n) {
    lines.push_back(" Channel " + channelNumber(n) + " version: V" +
                    decimalText(r.u8(kExtChannelVersions + n)));
  }
  lines.push_back(" PCR Corrector 1-2 version: V" + decimalText(r.u8(kExtPcr12Version)));
  lines.push_back(" PCR Corrector 3-4 version: V" + decimalText(r.u8(kExtPcr34Version)));
  lines.emplace_back(kSpaceLine);
  for (std::size_t n = 0; n < kChannelCount; ++n) appendExtensionChannel(r, n, lines);
}

}  // namespace

void appendChannelSections(const AnswerReader& r, std::uint8_t model, Lines& lines) {
  for (std::size_t n = 0; n < kChannelCount; ++n) appendInputChannel(r, n, lines);
  appendPortsAndIgmp(r, lines);
  for (std::size_t n = 0; n < kChannelCount; ++n) appendOutputChannel(r, n, lines);
  appendIicAndNco(r, lines);
  appendTrapFunction(r, lines);
  if (hasExtension(model, r.length())) appendExtension(r, lines);
}

}  // namespace vexil
