#include "messaging/Frames.h"

#include <algorithm>
#include <cstring>

namespace vexil {

UserText makeUserText(std::string_view text) {
  UserText out;
  out.fill(static_cast<std::uint8_t>(' '));
  const std::size_t n = std::min(text.size(), out.size());
  std::memcpy(out.data(), text.data(), n);
  return out;
}

Frame BuildHeader(const UserText& text) {
  Frame frame(wire::kPalvoxMagic, wire::kPalvoxMagic + wire::kMagicLength);
  frame.reserve(wire::kHeaderLength + 64);
  frame.insert(frame.end(), text.begin(), text.end());
  frame.push_back(wire::kFlagsValue);
  return frame;
}

AppendResult AppendInstruction(Frame& frame, std::uint8_t opcode,
                               std::span<const std::uint8_t> data) {
  if (data.size() > wire::kMaxInstructionData) return AppendResult::DataTooLong;
  frame.push_back(opcode);
  frame.push_back(static_cast<std::uint8_t>(data.size() >> 8));
  frame.push_back(static_cast<std::uint8_t>(data.size() & 0xFF));
  frame.insert(frame.end(), data.begin(), data.end());
  return AppendResult::Appended;
}

void AppendAckRequestTrailer(Frame& frame) {
  const std::uint8_t datum = wire::kAckRequestShortAnswer;
  (void)AppendInstruction(frame, wire::OpAckRequest, {&datum, 1});  // 1 byte: cannot fail
}

const Frame& QvNetQuery() {
  // "QV-Net", two zero bytes, "  Send ACK".
  static constexpr std::string_view kQuery{"QV-Net\0\0  Send ACK", wire::kQvNetQueryLength};
  static const Frame query(kQuery.begin(), kQuery.end());
  return query;
}

const Frame& StatusQuery() {
  static const Frame query = [] {
    Frame f = BuildHeader(makeUserText(wire::kSenderText));
    const std::uint8_t datum = wire::kAckRequestFullStatus;
    (void)AppendInstruction(f, wire::OpAckRequest, {&datum, 1});
    return f;
  }();
  return query;
}

Frame buildFixedFrame(const UserText& description, std::uint8_t opcode,
                      std::span<const std::uint8_t> data) {
  Frame f = BuildHeader(description);
  (void)AppendInstruction(f, opcode, data);  // fixed pages send at most 29 data bytes
  AppendAckRequestTrailer(f);
  return f;
}

Frame manufacturerConfigFrame() {
  const UserText maker = makeUserText(wire::kManufacturerText);
  return buildFixedFrame(makeUserText(wire::kSenderText), wire::OpSetUserText, maker);
}

}  // namespace vexil
