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
constexpr std::uint8_t kOpReset = 0x01;
constexpr std::uint8_t kOpAckRequest = 0x03;
constexpr std::uint8_t kOpSetSerial = 0x10;
constexpr std::uint8_t kOpSetType = 0x11;
constexpr std::uint8_t kOpSetUserText = 0x12;
constexpr std::uint8_t kOpSetGatewayIP = 0x20;
constexpr std::uint8_t kOpSetNetMask = 0x21;
constexpr std::uint8_t kOpSetIP = 0x24;
constexpr std::uint8_t kOpSendTS = 0x30;
constexpr std::uint8_t kOpDontSendTS = 0x31;
constexpr std::uint8_t kOpSetNCO = 0x40;
constexpr std::uint8_t kOpAck = 0xF0;
constexpr std::uint8_t kFullStatus = 0x01;

// Data lengths; an address field is 16 bytes with the IPv4 address in its last four.
constexpr std::size_t kSerialLength = 4;
constexpr std::size_t kTypeLength = 2;
constexpr std::size_t kAddressFieldLength = 16;
constexpr std::size_t kNcoLength = 5;
constexpr int kNcoChannels = 4;

// Set GatewayIP: the gateway mode, then the address field.
constexpr std::size_t kGatewayLength = 17;
constexpr std::size_t kGatewayModeAt = 0;

// Reset: the reset type, then the reset time in ms (accepted, not waited out).
constexpr std::size_t kResetLength = 2;
constexpr std::size_t kResetTypeAt = 0;
constexpr std::uint8_t kSystemReset = 1;

// Send TS: which input, its three mode bytes, then where it goes.
constexpr std::size_t kSendTsLength = 29;
constexpr std::size_t kTsSourceAt = 0;
constexpr std::size_t kTsMode2At = 1;
constexpr std::size_t kTsMode1At = 2;
constexpr std::size_t kTsMode0At = 3;
constexpr std::size_t kTsDestModeAt = 4;
constexpr std::size_t kTsDestMacAt = 5;
constexpr std::size_t kTsDestIpFieldAt = 11;
constexpr std::size_t kTsDestPortAt = 27;
constexpr std::size_t kMacLength = 6;
constexpr std::size_t kPortLength = 2;
// Don't Send TS: the input alone.
constexpr std::size_t kDontSendTsLength = 1;
constexpr std::uint8_t kFirstTsSource = 1;
constexpr std::uint8_t kLastTsSource = 4;
constexpr std::uint8_t kInputStopped = 0;
constexpr std::uint8_t kInputSending = 1;

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

IPv4 lastFour(std::span<const std::uint8_t> field) {
  IPv4 a{};
  std::copy(field.end() - 4, field.end(), a.begin());
  return a;
}

bool startsWith(std::span<const std::uint8_t> datagram, std::string_view magic) {
  return datagram.size() >= magic.size() &&
         std::memcmp(datagram.data(), magic.data(), magic.size()) == 0;
}

bool isTsSource(std::uint8_t source) { return source >= kFirstTsSource && source <= kLastTsSource; }

}  // namespace

DeviceState defaultDeviceState() {
  DeviceState s;
  s.userText = deviceText("Vexil Emulator");
  return s;
}

std::vector<Instruction> palvoxInstructions(std::span<const std::uint8_t> request) {
  std::vector<Instruction> out;
  if (request.size() < kHeaderLength || !startsWith(request, kPalvoxMagic)) return out;
  std::size_t at = kHeaderLength;
  while (request.size() - at >= kInstructionHeader) {
    const std::size_t length = be(request, at + 1, 2);
    const std::size_t dataAt = at + kInstructionHeader;
    if (length > request.size() - dataAt) break;  // runs past the datagram
    out.push_back({request[at], request.subspan(dataAt, length)});
    at = dataAt + length;
  }
  return out;
}

std::vector<std::uint8_t> DeviceModel::handle(std::span<const std::uint8_t> request,
                                              std::span<const std::uint8_t> refusedOpcodes) {
  if (request.size() == kQvNetQueryLength && startsWith(request, kQvNetMagic)) return qvNetAck();

  std::optional<std::uint8_t> ackRequest;
  for (const Instruction& in : palvoxInstructions(request)) {
    if (in.opcode == kOpAckRequest && !in.data.empty()) ackRequest = in.data[0];
    const bool refused =
        std::find(refusedOpcodes.begin(), refusedOpcodes.end(), in.opcode) != refusedOpcodes.end();
    if (!refused && apply(in) == Effect::Restarted) return {};
  }
  if (!ackRequest) return {};
  return *ackRequest == kFullStatus ? buildStatusRecord(state_) : shortAnswer();
}

void DeviceModel::restart() {
  state_.startedAt = state_.clock ? state_.clock() : std::chrono::milliseconds{0};
  for (InputChannel& in : state_.inputs) in.state = kInputStopped;
  for (RemuxChannel& c : state_.remux.channels) c.overflowSinceReset = false;
}

DeviceModel::Effect DeviceModel::apply(const Instruction& instruction) {
  const std::span<const std::uint8_t> data = instruction.data;
  switch (instruction.opcode) {
    case kOpReset:
      if (data.size() == kResetLength && data[kResetTypeAt] == kSystemReset) {
        restart();
        return Effect::Restarted;
      }
      break;  // PDI and SDI resets leave nothing the answers show
    case kOpSetSerial:
      if (data.size() == kSerialLength) state_.serial = be(data, 0, kSerialLength);
      break;
    case kOpSetType:
      if (data.size() == kTypeLength)
        state_.deviceType = static_cast<std::uint16_t>(be(data, 0, 2));
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
      if (data.size() == kGatewayLength) {
        state_.gatewayMode = data[kGatewayModeAt];
        state_.gatewayIp = lastFour(data);
      }
      break;
    case kOpSendTS:
      if (data.size() == kSendTsLength) sendTs(data);
      break;
    case kOpDontSendTS:
      if (data.size() == kDontSendTsLength && isTsSource(data[kTsSourceAt]))
        state_.inputs[data[kTsSourceAt] - kFirstTsSource].state = kInputStopped;
      break;
    case kOpSetNCO:
      if (data.size() == kNcoLength && data[0] >= 1 && data[0] <= kNcoChannels)
        state_.ncoFrequency[data[0] - 1] = static_cast<std::int32_t>(be(data, 1, 4));
      break;
    default:
      break;  // other instructions are acknowledged without a change of state
  }
  return Effect::Carried;
}

void DeviceModel::sendTs(std::span<const std::uint8_t> data) {
  const std::uint8_t source = data[kTsSourceAt];
  if (!isTsSource(source)) return;
  InputChannel& in = state_.inputs[source - kFirstTsSource];
  in.mode2 = data[kTsMode2At];
  in.mode1 = data[kTsMode1At];
  in.mode0 = data[kTsMode0At];
  in.destMode = data[kTsDestModeAt];
  std::copy_n(data.begin() + kTsDestMacAt, kMacLength, in.destMac.begin());
  in.destIp = lastFour(data.subspan(kTsDestIpFieldAt, kAddressFieldLength));
  in.destPort = static_cast<std::uint16_t>(be(data, kTsDestPortAt, kPortLength));
  in.state = kInputSending;
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
