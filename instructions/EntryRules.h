// How the instruction pages turn the texts of their boxes into the values they send:
// the integer-text rule with each box's default, the one exception for 32-bit boxes,
// and the user text of the frame header.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "messaging/Frames.h"

namespace vexil {

/// The four octets of a dotted address, one box each.
inline constexpr std::size_t kAddressBoxCount = 4;
using AddressTexts = std::array<std::string, kAddressBoxCount>;
using AddressOctets = std::array<std::uint8_t, kAddressBoxCount>;

/// A box sent whole as 32 bits (EditSerial, EditNCO1..EditNCO4). These boxes show back
/// the value sent as an unsigned decimal number, so besides the integer-text rule they
/// take unsigned decimal text from 2147483648 to 4294967295 as that 32-bit pattern; a
/// value the box itself wrote back therefore sends the same bytes when pressed again.
std::optional<std::uint32_t> parseUnsigned32Entry(std::string_view text);

/// The octets of an address row: the low 8 bits of each converted box. When any box does
/// not convert, the whole row takes `defaults`.
AddressOctets addressRowOctets(const AddressTexts& texts, const AddressOctets& defaults);

/// The texts an address row shows after a send: each octet in decimal.
AddressTexts addressRowTexts(const AddressOctets& octets);

/// The 15 bytes of a user text: one byte per character (the text is 8-bit already; the
/// window maps characters outside Latin-1 to '?'), cut to 15 or filled with blanks.
UserText userTextField(std::string_view latin1Text);

/// What a user-text box shows after a build: cut to its first 15 characters when longer,
/// otherwise unchanged.
std::string cutUserText(std::string_view latin1Text);

}  // namespace vexil
