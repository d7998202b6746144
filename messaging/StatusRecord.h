// The status answer decoded once into named, typed fields. The report's lines, the JSON
// of vexilctl, the board watch and its metrics all render this record, so every field is
// read out of the datagram in one place (StatusRecord.cpp, through StatusFields.h and
// StatusReportLayout.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "messaging/AnswerReader.h"
#include "messaging/StatusReportLayout.h"

namespace vexil::status {

/// An enumerated field: the code the record holds and its name. A code without a name
/// has an empty `name`; renderers then show the code ("Unknown (9)" in the report).
struct EnumField {
  std::uint8_t code = 0;
  std::string_view name;
  bool known() const { return !name.empty(); }
  bool operator==(const EnumField& other) const { return code == other.code; }
};

/// Channel state codes of the input blocks.
inline constexpr std::uint8_t kChannelStopped = 0;
inline constexpr std::uint8_t kChannelSendingTs = 1;

struct InputChannel {
  std::string destMac;         // "00-11-22-33-44-55", as the report shows it
  std::string destIp;          // dotted
  std::uint16_t destPort = 0;
  EnumField destMode;          // Me, Broadcast, IP, Manual
  EnumField state;             // Stopped, Sending TS, Searching MAC, Searching Gateway
  std::uint8_t mode2 = 0;
  std::uint8_t mode1 = 0;
  std::uint8_t mode0 = 0;
};

struct OutputChannel {
  std::string multicastIp;
  std::uint16_t receivePort = 0;
  std::uint8_t mode = 0;       // bit field: enabled, multicast, auto format, ...
};

struct TrapFunction {
  std::uint8_t mode = 0;       // bit 7 enabled, bit 6 SNMP
  EnumField state;             // Off, Sending, Searching MAC, Searching Gateway
  std::uint8_t externalTrapMask = 0;
  std::uint8_t overflowTrapMask = 0;
  std::uint8_t externalTrap = 0;
  std::uint8_t overflowTrap = 0;
  std::string mac;
  std::string ip;
};

/// One channel of the IP remultiplexer extension.
struct ExtensionChannel {
  std::uint32_t inputRatePacketsPerSecond = 0;  // 20 bits
  bool overflowLed = false;
  bool overflowSinceReset = false;
  std::uint32_t sdramSizePackets = 1;           // 1 .. 131072, never 0
  std::uint32_t sdramUsagePackets = 0;          // 17 bits; may exceed the size
  /// Usage over size, not capped at 1.
  double usageRatio() const {
    return static_cast<double>(sdramUsagePackets) / static_cast<double>(sdramSizePackets);
  }
};

/// The IP remultiplexer extension: model 7 and a datagram of at least 662 bytes.
struct Extension {
  std::uint8_t selfTest = 0;
  std::uint8_t ethernetVersion = 0;
  std::array<std::uint8_t, kChannelCount> channelVersions{};
  std::uint8_t pcr12Version = 0;
  std::uint8_t pcr34Version = 0;
  std::array<ExtensionChannel, kChannelCount> channels{};
};

struct StatusRecord {
  std::size_t length = 0;      // bytes of the datagram
  std::uint8_t versionMajor = 0;
  std::uint8_t versionMinor = 0;
  std::string version;         // "1.05", as the report shows it
  std::int32_t serial = 0;     // the signed 32 bits the serial-number instruction sends
  std::uint16_t type = 0;
  std::uint16_t configurationWord = 0;
  std::uint16_t selector = 0;
  std::uint8_t gpo = 0;
  std::uint8_t externalTrapState = 0;
  std::uint8_t overflowState = 0;
  EnumField linkSpeed;         // Off, 10 Mbps, 100 Mbps, 1000 Mbps
  EnumField model;             // 4I, 4O, 2D, 2L, IP Remultiplexer
  EnumField macMode;
  std::string primaryMac;
  std::string secondaryMac;
  EnumField gatewayMode;
  EnumField gatewayState;
  std::string gatewayMac;
  std::string gatewayIp;
  std::string netMask;
  std::uint8_t arpPeriodSeconds = 0;   // 0: off
  std::array<InputChannel, kChannelCount> inputs{};
  std::uint16_t tsPortHigh = 0;
  std::uint16_t tsPortLow = 0;
  std::uint8_t igmpReportPeriod = 0;   // units of 400 ms, 0: off
  bool igmpSwitchPresent = false;
  std::string igmpSwitchMac;
  std::string igmpSwitchIp;
  std::array<OutputChannel, kChannelCount> outputs{};
  std::uint8_t iicDivider = 0;
  std::uint8_t iicError = 0;
  std::array<std::int32_t, kChannelCount> ncoHz{};
  std::uint16_t insPacketCounter = 0;
  TrapFunction trap;
  std::uint16_t crcErrorCounter = 0;
  std::array<std::uint8_t, 2 * kUserDataHalfLength> userData{};
  std::optional<Extension> extension;
};

/// True when `datagram` is a status answer the report accepts: at least 534 bytes with
/// OpAck at offset 22.
bool isStatusAnswer(const AnswerReader& datagram);

/// The record of an accepted status answer; nothing for any other datagram. Nothing is
/// read at or beyond the datagram's length.
std::optional<StatusRecord> decodeStatusFields(const AnswerReader& datagram);

}  // namespace vexil::status
