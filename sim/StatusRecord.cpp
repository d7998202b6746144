#include "StatusRecord.h"

#include <cstring>

namespace vexil::sim {
namespace {

// Offsets of the status data in the answer.
constexpr std::size_t kMagicOffset = 0;
constexpr std::size_t kUserTextOffset = 6;
constexpr std::size_t kFlagsOffset = 21;
constexpr std::size_t kRecordOpcodeOffset = 22;
constexpr std::size_t kRecordLengthOffset = 23;
constexpr std::size_t kVersionMajorOffset = 25;
constexpr std::size_t kVersionMinorOffset = 26;
constexpr std::size_t kSerialOffset = 27;
constexpr std::size_t kTypeOffset = 31;
constexpr std::size_t kLinkModelOffset = 40;
constexpr std::uint8_t kAckOpcode = 0xF0;
constexpr std::uint8_t kModelMask = 0x07;
constexpr std::uint8_t kLink100Mbps = 2 << 6;
constexpr std::uint8_t kExtendedModel = 7;

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v >> 8);
  b[at + 1] = static_cast<std::uint8_t>(v);
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

}  // namespace

std::vector<std::uint8_t> buildStatusRecord(const DeviceState& state) {
  const std::uint8_t model = state.model & kModelMask;
  const std::size_t length =
      model == kExtendedModel ? kExtendedStatusRecordLength : kStatusRecordLength;
  std::vector<std::uint8_t> b(length, 0);
  std::memcpy(&b[kMagicOffset], "Palvox", 6);
  std::memcpy(&b[kUserTextOffset], state.userText.data(), state.userText.size());
  b[kFlagsOffset] = 0x01;
  b[kRecordOpcodeOffset] = kAckOpcode;
  put16(b, kRecordLengthOffset, static_cast<std::uint16_t>(length - kVersionMajorOffset));
  b[kVersionMajorOffset] = state.versionMajor;
  b[kVersionMinorOffset] = state.versionMinor;
  put32(b, kSerialOffset, state.serial);
  put16(b, kTypeOffset, state.deviceType);
  b[kLinkModelOffset] = static_cast<std::uint8_t>(kLink100Mbps | model);
  return b;
}

}  // namespace vexil::sim
