// Byte layout of the status record, the Palvox answer to the full status query. Every
// offset is absolute, from the first byte of the datagram; every multi-byte number is
// big-endian. The envelope constants (answer opcode offset, minimum lengths) are in
// WireLayout.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexil::status {

// ---- Identity and configuration -----------------------------------------------------
inline constexpr std::size_t kVersionMajor = 25;
inline constexpr std::size_t kVersionMinor = 26;
inline constexpr std::size_t kSerial = 27;            // 32 bits, shown signed
inline constexpr std::size_t kType = 31;              // u16
inline constexpr std::size_t kConfigWord = 33;        // u16
inline constexpr std::size_t kSelector = 35;          // u16
inline constexpr std::size_t kGpo = 37;
inline constexpr std::size_t kExternalTrapState = 38;
inline constexpr std::size_t kOverflowState = 39;
inline constexpr std::size_t kLinkAndModel = 40;      // bits 7-6 link, bits 2-0 model
inline constexpr std::size_t kMacMode = 41;
inline constexpr std::size_t kPrimaryMac = 42;
inline constexpr std::size_t kSecondaryMac = 65;
inline constexpr std::size_t kGatewayMode = 89;
inline constexpr std::size_t kGatewayState = 90;
inline constexpr std::size_t kGatewayMac = 91;
inline constexpr std::size_t kGatewayIpField = 97;
inline constexpr std::size_t kNetMaskField = 113;
inline constexpr std::size_t kArpPeriod = 129;        // seconds, 0 = off

// Configuration word bits (bit 0 is the least significant bit of the 16-bit word).
inline constexpr std::uint16_t kConfigLockedBit = 1u << 8;
inline constexpr std::uint16_t kConfigReplaceCompatBit = 1u << 0;
inline constexpr std::uint16_t kConfigOtherCompatBit = 1u << 1;
inline constexpr std::uint16_t kConfigIrqPalvoxBit = 1u << 9;

// Byte 40.
inline constexpr int kLinkSpeedShift = 6;             // bits 7-6
inline constexpr std::uint8_t kLinkSpeedMask = 0x03;
inline constexpr std::uint8_t kModelMask = 0x07;      // bits 2-0
inline constexpr std::uint8_t kModelIpRemultiplexer = 7;

// An address field: 16 bytes whose last four hold the IPv4 address; the first twelve
// are never shown.
inline constexpr std::size_t kAddressFieldLength = 16;
inline constexpr std::size_t kAddressFieldIp = 12;

// ---- Transport-stream input channels ------------------------------------------------
inline constexpr std::size_t kChannelCount = 4;
inline constexpr std::size_t kInputBlocks = 131;
inline constexpr std::size_t kInputBlockLength = 32;
// Offsets inside one input block.
inline constexpr std::size_t kInDestMac = 0;
inline constexpr std::size_t kInDestIpField = 6;
inline constexpr std::size_t kInDestPort = 22;        // u16
inline constexpr std::size_t kInDestMode = 24;
inline constexpr std::size_t kInState = 25;
inline constexpr std::size_t kInMode2 = 26;
inline constexpr std::size_t kInMode1 = 27;
inline constexpr std::size_t kInMode0 = 28;
// Mode[2] bits.
inline constexpr std::uint8_t kMode2DvPinBit = 0x01;
inline constexpr std::uint8_t kMode2IptvBit = 0x02;
inline constexpr std::uint8_t kMode2AlwaysSendBit = 0x04;
// Mode[1] bits in IPTV format.
inline constexpr std::uint8_t kMode1Packet204Bit = 0x01;
inline constexpr std::uint8_t kMode1NullRemoverBit = 0x02;
inline constexpr int kMode1PacketNumberShift = 5;     // bits 7-5
inline constexpr std::uint8_t kMode1PacketNumberMask = 0x07;

// ---- Ports and IGMP -----------------------------------------------------------------
inline constexpr std::size_t kTsPortHigh = 259;       // u16
inline constexpr std::size_t kTsPortLow = 261;        // u16
inline constexpr std::size_t kIgmpPeriod = 263;       // units of 400 ms, 0 = off
inline constexpr std::size_t kIgmpSwitch = 264;       // non-zero: present
inline constexpr std::size_t kIgmpSwitchMac = 265;
inline constexpr std::size_t kIgmpSwitchIpField = 271;
inline constexpr int kIgmpPeriodUnitMs = 400;

// ---- Transport-stream output channels -----------------------------------------------
inline constexpr std::size_t kOutputBlocks = 287;
inline constexpr std::size_t kOutputBlockLength = 24;
inline constexpr std::size_t kOutIpField = 0;
inline constexpr std::size_t kOutPort = 16;           // u16
inline constexpr std::size_t kOutMode = 18;
// Output mode bits.
inline constexpr std::uint8_t kOutEnabledBit = 0x80;
inline constexpr std::uint8_t kOutMulticastBit = 0x40;
inline constexpr std::uint8_t kOutAutoFormatBit = 0x20;
inline constexpr std::uint8_t kOutPacket204Bit = 0x10;
inline constexpr std::uint8_t kOutDvPinBit = 0x08;
inline constexpr std::uint8_t kOutNullInserterBit = 0x04;
inline constexpr std::uint8_t kOutErrorRemoverBit = 0x02;
inline constexpr std::uint8_t kOutNullRemoverBit = 0x01;

// ---- Peripherals, counters, trap function, user data --------------------------------
inline constexpr std::size_t kIicDivider = 385;
inline constexpr std::size_t kIicError = 386;
inline constexpr std::uint32_t kIicBaseFrequencyHz = 6250000;
inline constexpr std::size_t kNcoFrequencies = 389;   // 4 x 32 bits, shown signed
inline constexpr std::size_t kNcoStride = 4;
inline constexpr std::size_t kInsPacketCounter = 405; // u16
inline constexpr std::size_t kTrapMac = 407;
inline constexpr std::size_t kTrapIpField = 413;
inline constexpr std::size_t kTrapMode = 431;
inline constexpr std::size_t kTrapState = 432;
inline constexpr std::size_t kExternalTrapMask = 433;
inline constexpr std::size_t kOverflowTrapMask = 434;
inline constexpr std::size_t kExternalTrap = 435;
inline constexpr std::size_t kOverflowTrap = 436;
inline constexpr std::uint8_t kTrapEnabledBit = 0x80;
inline constexpr std::uint8_t kTrapSnmpBit = 0x40;
inline constexpr std::size_t kCrcErrorCounter = 439;  // u16
inline constexpr std::size_t kUserDataFirst = 441;
inline constexpr std::size_t kUserDataSecond = 457;
inline constexpr std::size_t kUserDataHalfLength = 16;

// ---- IP remultiplexer extension (model 7, datagram of at least 662 bytes) -----------
inline constexpr std::size_t kExtSelfTest = 535;
inline constexpr std::size_t kExtEthernetVersion = 536;
inline constexpr std::size_t kExtChannelVersions = 537;  // 4 x 1 byte
inline constexpr std::size_t kExtPcr12Version = 541;
inline constexpr std::size_t kExtPcr34Version = 542;
inline constexpr std::size_t kExtBlocks = 543;
inline constexpr std::size_t kExtBlockLength = 9;
// Offsets inside one extension block.
inline constexpr std::size_t kExtRateHigh = 0;        // bits 3-0: rate bits 19-16
inline constexpr std::size_t kExtRateLow = 1;         // u16: rate bits 15-0
inline constexpr std::size_t kExtFlags = 3;
inline constexpr std::size_t kExtUsageLow = 4;        // u16: usage bits 15-0
inline constexpr std::size_t kExtSizeHigh = 6;        // bit 0: bit 16 of (size - 1)
inline constexpr std::size_t kExtSizeLow = 7;         // u16: bits 15-0 of (size - 1)
inline constexpr std::uint8_t kExtRateHighMask = 0x0F;
inline constexpr std::uint8_t kExtUsageHighBit = 0x01;
inline constexpr std::uint8_t kExtOverflowLedBit = 0x02;
inline constexpr std::uint8_t kExtOverflowSinceResetBit = 0x04;
inline constexpr std::uint8_t kExtSizeHighBit = 0x01;
inline constexpr int kExtHighShift = 16;              // the high parts are bits 16 and up

}  // namespace vexil::status
