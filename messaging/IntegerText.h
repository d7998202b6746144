// The one rule by which every number typed into the program is converted, and the
// helpers that narrow a converted number to the bits actually sent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexil {

/// Converts a number text to a signed 32-bit integer, or nothing when it does not
/// convert. Leading blanks are skipped; an optional "+" or "-" follows; then decimal
/// digits, or a hexadecimal prefix ("$", "x", "X", "0x", "0X") and hex digits of either
/// case. Nothing may follow the digits (a trailing blank fails); an empty text, a sign
/// alone or a prefix alone fail. Decimal values must lie in -2147483648..2147483647.
/// Hexadecimal values have at most eight significant digits and stand for the 32-bit
/// pattern they spell, read as signed ($FFFFFFFF is -1); "-" before the prefix negates.
std::optional<std::int32_t> parseIntegerText(std::string_view text);

/// The low 8 bits of a converted number: what a one-byte field carries.
constexpr std::uint8_t lowByte(std::int32_t value) {
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFFu);
}
/// The low 16 bits of a converted number: what a two-byte field carries.
constexpr std::uint16_t lowWord(std::int32_t value) {
  return static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFFu);
}
/// The 32-bit pattern of a converted number, as it is sent and shown back.
constexpr std::uint32_t asUnsigned32(std::int32_t value) {
  return static_cast<std::uint32_t>(value);
}

/// The texts written back into an edit box after narrowing: the value actually sent,
/// in decimal.
std::string byteText(std::int32_t value);
std::string wordText(std::int32_t value);
std::string unsigned32Text(std::int32_t value);

}  // namespace vexil
