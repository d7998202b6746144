#include "sim/DeviceModel.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "sim/StatusRecord.h"

namespace vexil::sim {
namespace {

// Request layout as the board reads it.
constexpr std::string_view kPalvoxMagic = "Palvox";
constexpr std::string_view kQvNetMagic = "QV-Net";
constexpr std::size_t kQvNetQueryLength = 18;
constexpr std::size_t kHeaderLength = 22;
constexpr std::size_t kUserTextOffset = 6;
constexpr std::size_t kUserTextLength = 15;
constexpr std::size_t kInstructionHeader = 3;

// Opcodes the board carries out.
constexpr std::uint8_t kOpAckRequest = 0x03;
constexpr std::uint8_t kOpSetSerial = 0x10;
constexpr std::uint8_t kOpSetType = 0x11;
constexpr std::uint8_t kOpSetUserText = 0x12;
constexpr std::uint8_t kOpSetGatewayIP = 0x20;
constexpr std::uint8_t kOpSetNetMask = 0x21;
constexpr std::uint8_t kOpSetIP = 0x24;
constexpr std::uint8_t kOpSetNCO = 0x40;
constexpr std::uint8_t kOpAck = 0xF0;
constexpr std::uint8_t kFullStatus = 0x01;

// Data lengths; an address field is 16 bytes (17 for the gateway) with the IPv4
// address in its last four.
constexpr std::size_t kSerialLength = 4;
constexpr std::size_t kTypeLength = 2;
constexpr std::size_t kAddressFieldLength = 16;
constexpr std::size_t kGatewayFieldLength = 17;
constexpr std::size_t kNcoLength = 5;
constexpr int kNcoChannels = 4;

// QV-Net ACK: 25 bytes, type at 16, serial (low 16 bits) at 18, version at 23 and 24.
constexpr std::size_t kQvNetAckLength = 25;
constexpr std::size_t kQvNetAckTypeOffset = 16;
constexpr std::size_t kQvNetAckSerialOffset = 18;
constexpr std::size_t kQvNetAckMajorOffset = 23;
constexpr std::size_t kQvNetAckMinorOffset = 24;

// Short answer: header, `OpAck` record of 16 data bytes: version, serial, type.
constexpr std::size_t kShortAnswerLength = 41;
constexpr std::size_t kShortRecordLength = kShortAnswerLength - kHeaderLength - kInstructionHeader;

std::uint32_t be(std::span<const std::uint8_t> d, std::size_t at, std::size_t width) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < width; ++i) v = (v << 8) | d[at + i];
  return v;
}

void put(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i)
    b[at + i] = static_cast<std::uint8_t>(v >> (8 * (width - 1 - i)));
}

std::array<std::uint8_t, 4> lastFour(std::span<const std::uint8_t> field) {
  std::array<std::uint8_t, 4> a{};
  std::copy(field.end() - 4, field.end(), a.begin());
  return a;
}

}  // namespace

DeviceState defaultDeviceState() {
  DeviceState s;
  s.userText = deviceText("Vexil Emulator");
  return s;
}

std::vector<std::uint8_t> DeviceModel::handle(std::span<const std::uint8_t> request) {
  const auto startsWith = [&](std::string_view magic) {
    return request.size() >= magic.size() &&
           std::memcmp(request.data(), magic.data(), magic.size()) == 0;
  };
  if (request.size() == kQvNetQueryLength && startsWith(kQvNetMagic)) return qvNetAck();
  if (request.size() < kHeaderLength || !startsWith(kPalvoxMagic)) return {};

  std::optional<std::uint8_t> ackRequest;
  std::size_t at = kHeaderLength;
  while (request.size() - at >= kInstructionHeader) {
    const std::uint8_t opcode = request[at];
    const std::size_t length = be(request, at + 1, 2);
    const std::size_t dataAt = at + kInstructionHeader;
    if (length > request.size() - dataAt) break;  // runs past the datagram
    const auto data = request.subspan(dataAt, length);
    if (opcode == kOpAckRequest && !data.empty()) ackRequest = data[0];
    apply(opcode, data);
    at = dataAt + length;
  }
  if (!ackRequest) return {};
  return *ackRequest == kFullStatus ? buildStatusRecord(state_) : shortAnswer();
}

void DeviceModel::apply(std::uint8_t opcode, std::span<const std::uint8_t> data) {
  switch (opcode) {
    case kOpSetSerial:
      if (data.size() == kSerialLength) state_.serial = be(data, 0, kSerialLength);
      break;
    case kOpSetType:
      if (data.size() == kTypeLength) state_.deviceType = static_cast<std::uint16_t>(be(data, 0, 2));
      break;
    case kOpSetUserText:
      if (data.size() == kUserTextLength)
        std::copy(data.begin(), data.end(), state_.userText.begin());
      break;
    case kOpSetIP:
      if (data.size() == kAddressFieldLength) state_.ipAddress = lastFour(data);
      break;
    case kOpSetNetMask:
      if (data.size() == kAddressFieldLength) state_.netMask = lastFour(data);
      break;
    case kOpSetGatewayIP:
      if (data.size() == kGatewayFieldLength) state_.gatewayIp = lastFour(data);
      break;
    case kOpSetNCO:
      if (data.size() == kNcoLength && data[0] >= 1 && data[0] <= kNcoChannels)
        state_.ncoFrequency[data[0] - 1] = static_cast<std::int32_t>(be(data, 1, 4));
      break;
    default:
      break;  // other instructions are acknowledged without a change of state
  }
}

std::vector<std::uint8_t> DeviceModel::qvNetAck() const {
  std::vector<std::uint8_t> b(kQvNetAckLength, 0);
  std::memcpy(b.data(), "QV-Net\0\1     ACK", 16);
  put(b, kQvNetAckTypeOffset, state_.deviceType, 2);
  put(b, kQvNetAckSerialOffset, state_.serial & 0xFFFF, 2);
  b[kQvNetAckMajorOffset] = state_.versionMajor;
  b[kQvNetAckMinorOffset] = state_.versionMinor;
  return b;
}

std::vector<std::uint8_t> DeviceModel::shortAnswer() const {
  std::vector<std::uint8_t> b(kShortAnswerLength, 0);
  std::memcpy(b.data(), kPalvoxMagic.data(), kPalvoxMagic.size());
  std::copy(state_.userText.begin(), state_.userText.end(), b.begin() + kUserTextOffset);
  b[kHeaderLength - 1] = 0x01;
  std::size_t at = kHeaderLength;
  b[at] = kOpAck;
  put(b, at + 1, kShortRecordLength, 2);
  at += kInstructionHeader;
  b[at] = state_.versionMajor;
  b[at + 1] = state_.versionMinor;
  put(b, at + 2, state_.serial, 4);
  put(b, at + 6, state_.deviceType, 2);
  return b;
}

}  // namespace vexil::sim
