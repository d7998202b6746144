// Building Palvox and QV-Net request frames. A frame is a plain byte string built whole
// before it is sent; nothing here touches the network.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "messaging/WireLayout.h"

namespace vexil {

using Frame = std::vector<std::uint8_t>;
using UserText = std::array<std::uint8_t, wire::kUserTextLength>;

/// Brings an 8-bit text to exactly 15 bytes: longer texts are cut, shorter ones are
/// filled with blanks.
UserText makeUserText(std::string_view text);

/// The 22-byte header: "Palvox", the 15 bytes of `text`, the flags byte 0x01.
Frame BuildHeader(const UserText& text);

enum class AppendResult {
  Appended,
  DataTooLong,  // more than 65535 data bytes: the frame is left unchanged
};

/// Appends one instruction: opcode, the data length as two bytes high byte first, and
/// the data. Refuses data the 16-bit length field cannot express rather than writing a
/// wrapped length, so the caller must look at the result.
[[nodiscard]] AppendResult AppendInstruction(Frame& frame, std::uint8_t opcode,
                                             std::span<const std::uint8_t> data);

/// Appends the trailer that asks for the 41-byte short answer: 0x03 0x00 0x01 0x00.
void AppendAckRequestTrailer(Frame& frame);

/// The 18-byte QV-Net identity query: "QV-Net", 0x00 0x00, "  Send ACK".
const Frame& QvNetQuery();

/// The 26-byte Palvox status query: header with "Quenthaven  ACK", then `OpAckRequest`
/// with the one data byte 0x01 (full status answer).
const Frame& StatusQuery();

/// A fixed frame of the General and Send TS pages: header with `description`, the
/// instruction `opcode` with `data`, then the ACK request trailer. The data of these
/// frames is always short, so this cannot fail.
Frame buildFixedFrame(const UserText& description, std::uint8_t opcode,
                      std::span<const std::uint8_t> data);

/// The manufacturer configuration frame: header "Quenthaven  ACK", `OpSetUserText`
/// with "Marovantis Ltd.", then the ACK request trailer (44 bytes).
Frame manufacturerConfigFrame();

}  // namespace vexil
