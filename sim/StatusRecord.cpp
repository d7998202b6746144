#include "sim/StatusRecord.h"

#include <algorithm>
#include <cstring>

namespace vexil::sim {
namespace {

// ---- Envelope -------------------------------------------------------------------------
constexpr char kMagic[] = "Palvox";
constexpr std::size_t kMagicOffset = 0;
constexpr std::size_t kMagicLength = 6;
constexpr std::size_t kUserTextOffset = 6;
constexpr std::size_t kFlagsOffset = 21;
constexpr std::uint8_t kFlags = 0x01;
constexpr std::size_t kRecordOpcodeOffset = 22;
constexpr std::size_t kRecordLengthOffset = 23;  // data bytes after the record header
constexpr std::size_t kRecordDataOffset = 25;
constexpr std::uint8_t kAckOpcode = 0xF0;

// ---- Identity, configuration, network ---------------------------------------------
constexpr std::size_t kVersionMajorOffset = 25;
constexpr std::size_t kVersionMinorOffset = 26;
constexpr std::size_t kSerialOffset = 27;
constexpr std::size_t kTypeOffset = 31;
constexpr std::size_t kConfigWordOffset = 33;
constexpr std::size_t kSelectorOffset = 35;
constexpr std::size_t kGpoOffset = 37;
constexpr std::size_t kExternalTrapStateOffset = 38;
constexpr std::size_t kOverflowStateOffset = 39;
constexpr std::size_t kLinkModelOffset = 40;
constexpr int kLinkShift = 6;
constexpr std::uint8_t kLinkMask = 0x03;
constexpr std::uint8_t kModelMask = 0x07;
constexpr std::uint8_t kExtendedModel = 7;
constexpr std::size_t kMacModeOffset = 41;
constexpr std::size_t kPrimaryMacOffset = 42;
constexpr std::size_t kSecondaryMacOffset = 65;
constexpr std::size_t kGatewayModeOffset = 89;
constexpr std::size_t kGatewayStateOffset = 90;
constexpr std::size_t kGatewayMacOffset = 91;
constexpr std::size_t kGatewayIpFieldOffset = 97;
constexpr std::size_t kNetMaskFieldOffset = 113;
constexpr std::size_t kArpPeriodOffset = 129;
// A 16-byte address field carries the IPv4 address in its last four bytes.
constexpr std::size_t kIpInAddressField = 12;

// ---- Transport-stream inputs, ports, IGMP, outputs ---------------------------------
constexpr std::size_t kInputBlockOffset = 131;
constexpr std::size_t kInputBlockSize = 32;
constexpr std::size_t kInDestMac = 0;
constexpr std::size_t kInDestIpField = 6;
constexpr std::size_t kInDestPort = 22;
constexpr std::size_t kInDestMode = 24;
constexpr std::size_t kInState = 25;
constexpr std::size_t kInMode2 = 26;
constexpr std::size_t kInMode1 = 27;
constexpr std::size_t kInMode0 = 28;
constexpr std::size_t kTsPortHighOffset = 259;
constexpr std::size_t kTsPortLowOffset = 261;
constexpr std::size_t kIgmpPeriodOffset = 263;
constexpr std::size_t kIgmpSwitchOffset = 264;
constexpr std::uint8_t kIgmpSwitchPresent = 0x01;
constexpr std::size_t kIgmpSwitchMacOffset = 265;
constexpr std::size_t kIgmpSwitchIpFieldOffset = 271;
constexpr std::size_t kOutputBlockOffset = 287;
constexpr std::size_t kOutputBlockSize = 24;
constexpr std::size_t kOutIpField = 0;
constexpr std::size_t kOutPort = 16;
constexpr std::size_t kOutMode = 18;

// ---- Peripherals, counters, trap, user data ----------------------------------------
constexpr std::size_t kIicDividerOffset = 385;
constexpr std::size_t kIicErrorOffset = 386;
constexpr std::size_t kNcoOffset = 389;
constexpr std::size_t kNcoSize = 4;
constexpr std::size_t kInsPacketCounterOffset = 405;
constexpr std::size_t kTrapMacOffset = 407;
constexpr std::size_t kTrapIpFieldOffset = 413;
constexpr std::size_t kTrapModeOffset = 431;
constexpr std::size_t kTrapStateOffset = 432;
constexpr std::size_t kExternalTrapMaskOffset = 433;
constexpr std::size_t kOverflowTrapMaskOffset = 434;
constexpr std::size_t kExternalTrapOffset = 435;
constexpr std::size_t kOverflowTrapOffset = 436;
constexpr std::size_t kCrcErrorCounterOffset = 439;
constexpr std::size_t kUserDataOffset = 441;  // 32 bytes, both halves back to back

// ---- IP remultiplexer extension ---------------------------------------------------
constexpr std::size_t kSelfTestOffset = 535;
constexpr std::size_t kEthernetVersionOffset = 536;
constexpr std::size_t kChannelVersionOffset = 537;
constexpr std::size_t kPcr12VersionOffset = 541;
constexpr std::size_t kPcr34VersionOffset = 542;
constexpr std::size_t kRemuxBlockOffset = 543;
constexpr std::size_t kRemuxBlockSize = 9;
constexpr std::size_t kRemuxRateHigh = 0;   // bits 3-0 hold rate bits 19-16
constexpr std::size_t kRemuxRateLow = 1;
constexpr std::size_t kRemuxFlags = 3;      // bit 0 usage bit 16, bit 1 LED, bit 2 since reset
constexpr std::size_t kRemuxUsageLow = 4;
constexpr std::size_t kRemuxSizeHigh = 6;   // bit 0 holds bit 16 of size - 1
constexpr std::size_t kRemuxSizeLow = 7;
constexpr std::uint8_t kFlagOverflowLed = 0x02;
constexpr std::uint8_t kFlagOverflowSinceReset = 0x04;
constexpr int kHighPartShift = 16;
constexpr std::uint32_t kRateHighMask = 0x0F;
constexpr std::uint32_t kBit16 = 0x01;
constexpr std::uint32_t kLow16Mask = 0xFFFF;
constexpr std::uint32_t kMaxRate = 0xFFFFF;        // 20 bits
constexpr std::uint32_t kMaxUsage = 0x1FFFF;       // 17 bits
constexpr std::uint32_t kMaxBufferSize = 0x20000;  // 17 bits of size - 1, plus one

// The record is built at its largest and then cut or zero-filled to the answer length.
constexpr std::size_t kLargestRecord = kExtendedStatusRecordLength;
constexpr std::uint64_t kCounterModulus = 0x10000;
constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::int64_t kMsPerMinute = 60000;

// Time before power-on does not exist; a clock that says otherwise reads as 0.
std::uint64_t elapsedMs(std::chrono::milliseconds uptime) {
  return static_cast<std::uint64_t>(std::max<std::int64_t>(uptime.count(), 0));
}

class RecordWriter {
 public:
  explicit RecordWriter(std::vector<std::uint8_t>& bytes) : b_(bytes) {}
  void u8(std::size_t at, std::uint8_t v) { b_[at] = v; }
  void u16(std::size_t at, std::uint32_t v) {
    b_[at] = static_cast<std::uint8_t>(v >> 8);
    b_[at + 1] = static_cast<std::uint8_t>(v);
  }
  void u32(std::size_t at, std::uint32_t v) {
    u16(at, v >> kHighPartShift);
    u16(at + 2, v & kLow16Mask);
  }
  template <std::size_t N>
  void bytes(std::size_t at, const std::array<std::uint8_t, N>& v) {
    std::copy(v.begin(), v.end(), b_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  /// A 16-byte address field: twelve zero bytes, then the address.
  void addressField(std::size_t at, const IPv4& ip) { bytes(at + kIpInAddressField, ip); }

 private:
  std::vector<std::uint8_t>& b_;
};

void writeIdentity(RecordWriter& w, const DeviceState& s) {
  w.u8(kVersionMajorOffset, s.versionMajor);
  w.u8(kVersionMinorOffset, s.versionMinor);
  w.u32(kSerialOffset, s.serial);
  w.u16(kTypeOffset, s.deviceType);
  w.u16(kConfigWordOffset, s.configWord);
  w.u16(kSelectorOffset, s.selector);
  w.u8(kGpoOffset, s.gpo);
  w.u8(kExternalTrapStateOffset, s.externalTrapState);
  w.u8(kOverflowStateOffset, s.overflowState);
  w.u8(kLinkModelOffset, static_cast<std::uint8_t>(((s.linkSpeed & kLinkMask) << kLinkShift) |
                                                   (s.model & kModelMask)));
}

void writeNetwork(RecordWriter& w, const DeviceState& s) {
  w.u8(kMacModeOffset, s.macMode);
  w.bytes(kPrimaryMacOffset, s.primaryMac);
  w.bytes(kSecondaryMacOffset, s.secondaryMac);
  w.u8(kGatewayModeOffset, s.gatewayMode);
  w.u8(kGatewayStateOffset, s.gatewayState);
  w.bytes(kGatewayMacOffset, s.gatewayMac);
  w.addressField(kGatewayIpFieldOffset, s.gatewayIp);
  w.addressField(kNetMaskFieldOffset, s.netMask);
  w.u8(kArpPeriodOffset, s.arpPeriod);
}

void writeStreams(RecordWriter& w, const DeviceState& s) {
  for (std::size_t n = 0; n < s.inputs.size(); ++n) {
    const InputChannel& in = s.inputs[n];
    const std::size_t at = kInputBlockOffset + kInputBlockSize * n;
    w.bytes(at + kInDestMac, in.destMac);
    w.addressField(at + kInDestIpField, in.destIp);
    w.u16(at + kInDestPort, in.destPort);
    w.u8(at + kInDestMode, in.destMode);
    w.u8(at + kInState, in.state);
    w.u8(at + kInMode2, in.mode2);
    w.u8(at + kInMode1, in.mode1);
    w.u8(at + kInMode0, in.mode0);
  }
  w.u16(kTsPortHighOffset, s.tsPortHigh);
  w.u16(kTsPortLowOffset, s.tsPortLow);
  w.u8(kIgmpPeriodOffset, s.igmpPeriod);
  // A board that has found no IGMP switch leaves its address fields empty.
  if (s.igmpSwitchPresent) {
    w.u8(kIgmpSwitchOffset, kIgmpSwitchPresent);
    w.bytes(kIgmpSwitchMacOffset, s.igmpSwitchMac);
    w.addressField(kIgmpSwitchIpFieldOffset, s.igmpSwitchIp);
  }
  for (std::size_t n = 0; n < s.outputs.size(); ++n) {
    const OutputChannel& out = s.outputs[n];
    const std::size_t at = kOutputBlockOffset + kOutputBlockSize * n;
    w.addressField(at + kOutIpField, out.multicastIp);
    w.u16(at + kOutPort, out.receivePort);
    w.u8(at + kOutMode, out.mode);
  }
}

void writePeripherals(RecordWriter& w, const DeviceState& s, std::chrono::milliseconds t) {
  w.u8(kIicDividerOffset, s.iicDivider);
  w.u8(kIicErrorOffset, s.iicError);
  for (std::size_t n = 0; n < s.ncoFrequency.size(); ++n)
    w.u32(kNcoOffset + kNcoSize * n, static_cast<std::uint32_t>(s.ncoFrequency[n]));
  w.u16(kInsPacketCounterOffset, insPacketCount(s, t));
  w.bytes(kTrapMacOffset, s.trap.mac);
  w.addressField(kTrapIpFieldOffset, s.trap.ip);
  w.u8(kTrapModeOffset, s.trap.mode);
  w.u8(kTrapStateOffset, s.trap.state);
  w.u8(kExternalTrapMaskOffset, s.trap.externalMask);
  w.u8(kOverflowTrapMaskOffset, s.trap.overflowMask);
  w.u8(kExternalTrapOffset, s.trap.external);
  w.u8(kOverflowTrapOffset, s.trap.overflow);
  w.u16(kCrcErrorCounterOffset, crcErrorCount(s, t));
  w.bytes(kUserDataOffset, s.userData);
}

void writeRemux(RecordWriter& w, const RemuxExtension& x, std::chrono::milliseconds t) {
  w.u8(kSelfTestOffset, x.selfTest);
  w.u8(kEthernetVersionOffset, x.ethernetVersion);
  w.bytes(kChannelVersionOffset, x.channelVersion);
  w.u8(kPcr12VersionOffset, x.pcr12Version);
  w.u8(kPcr34VersionOffset, x.pcr34Version);
  for (std::size_t n = 0; n < x.channels.size(); ++n) {
    const RemuxChannel& c = x.channels[n];
    const std::size_t at = kRemuxBlockOffset + kRemuxBlockSize * n;
    const std::uint32_t rate = swingingValue(c.rate, c.rateSwing, kMaxRate, t);
    const std::uint32_t usage = swingingValue(c.usage, c.usageSwing, kMaxUsage, t);
    const std::uint32_t sizeLessOne = std::clamp<std::uint32_t>(c.bufferSize, 1, kMaxBufferSize) - 1;
    std::uint8_t flags = static_cast<std::uint8_t>((usage >> kHighPartShift) & kBit16);
    if (c.overflowLed) flags |= kFlagOverflowLed;
    if (c.overflowSinceReset) flags |= kFlagOverflowSinceReset;
    w.u8(at + kRemuxRateHigh, static_cast<std::uint8_t>((rate >> kHighPartShift) & kRateHighMask));
    w.u16(at + kRemuxRateLow, rate & kLow16Mask);
    w.u8(at + kRemuxFlags, flags);
    w.u16(at + kRemuxUsageLow, usage & kLow16Mask);
    w.u8(at + kRemuxSizeHigh, static_cast<std::uint8_t>((sizeLessOne >> kHighPartShift) & kBit16));
    w.u16(at + kRemuxSizeLow, sizeLessOne & kLow16Mask);
  }
}

}  // namespace

std::uint16_t insPacketCount(const DeviceState& state, std::chrono::milliseconds uptime) {
  const std::uint64_t inserted =
      std::uint64_t{state.insPacketsPerSecond} * elapsedMs(uptime) /
      kMsPerSecond;
  return static_cast<std::uint16_t>((state.insPacketCounter + inserted) % kCounterModulus);
}

std::uint16_t crcErrorCount(const DeviceState& state, std::chrono::milliseconds uptime) {
  const std::uint64_t errors =
      std::uint64_t{state.crcErrorsPerMinute} * elapsedMs(uptime) /
      kMsPerMinute;
  return static_cast<std::uint16_t>((state.crcErrorCounter + errors) % kCounterModulus);
}

std::uint32_t swingingValue(std::uint32_t nominal, std::uint32_t swing, std::uint32_t ceiling,
                            std::chrono::milliseconds uptime) {
  const std::int64_t period = kSwingPeriod.count();
  const std::int64_t quarter = period / 4;
  const auto q = static_cast<std::int64_t>(elapsedMs(uptime) % static_cast<std::uint64_t>(period));
  const std::int64_t s = swing;
  // Triangle: 0 -> +swing over the first quarter, down to -swing at three quarters,
  // back to 0 at the end of the period.
  std::int64_t offset;
  if (q < quarter) {
    offset = s * q / quarter;
  } else if (q < 3 * quarter) {
    offset = s * (2 * quarter - q) / quarter;
  } else {
    offset = s * (q - period) / quarter;
  }
  return static_cast<std::uint32_t>(
      std::clamp<std::int64_t>(std::int64_t{nominal} + offset, 0, ceiling));
}

std::vector<std::uint8_t> buildStatusRecord(const DeviceState& state,
                                            std::chrono::milliseconds uptime) {
  const std::uint8_t model = state.model & kModelMask;
  const std::size_t length = state.statusLength.value_or(
      model == kExtendedModel ? kExtendedStatusRecordLength : kStatusRecordLength);
  std::vector<std::uint8_t> b(std::max(length, kLargestRecord), 0);
  RecordWriter w(b);
  std::memcpy(&b[kMagicOffset], kMagic, kMagicLength);
  w.bytes(kUserTextOffset, state.userText);
  w.u8(kFlagsOffset, kFlags);
  w.u8(kRecordOpcodeOffset, kAckOpcode);
  const std::size_t dataLength = length > kRecordDataOffset ? length - kRecordDataOffset : 0;
  w.u16(kRecordLengthOffset, static_cast<std::uint32_t>(dataLength) & kLow16Mask);
  writeIdentity(w, state);
  writeNetwork(w, state);
  writeStreams(w, state);
  writePeripherals(w, state, uptime);
  if (model == kExtendedModel) writeRemux(w, state.remux, uptime);
  b.resize(length);
  return b;
}

std::vector<std::uint8_t> buildStatusRecord(const DeviceState& state) {
  return buildStatusRecord(state, state.uptime());
}

}  // namespace vexil::sim
