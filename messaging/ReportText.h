// The text conventions of the device reports: decimal, zero-padded upper-case hex, MAC
// text, IP text, version text and the "Unknown (n)" fallback of every enumeration.
// Written once here and used by every decoder of device answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "messaging/AnswerReader.h"

namespace vexil {

inline constexpr std::size_t kMacLength = 6;     // bytes of a MAC address
inline constexpr std::size_t kIPv4Length = 4;    // bytes of an IPv4 address

/// The line that holds one space; distinct from the empty line "".
inline constexpr std::string_view kSpaceLine = " ";

/// Decimal: no leading zeros, a minus sign for negative values.
std::string decimalText(std::int64_t value);

/// Upper-case hex of `value`, zero-padded to `digits` digits (10 as two digits is "0A").
/// Only the low 4 x `digits` bits are shown.
std::string hexText(std::uint32_t value, int digits);

/// The `count` bytes from `offset` as two hex digits each, no separators.
std::string hexBytesText(const AnswerReader& datagram, std::size_t offset, std::size_t count);
/// The same of bytes already read.
std::string hexBytesText(std::span<const std::uint8_t> bytes);

/// The six bytes from `offset` in record order, two hex digits each, joined by ":"
/// (00:1A:2B:3C:4D:5E).
std::string macText(const AnswerReader& datagram, std::size_t offset);

/// The four bytes from `offset` in record order, each in decimal, joined by ".".
std::string ipText(const AnswerReader& datagram, std::size_t offset);

/// The major number in decimal, ".", then the tens and units digits of the minor
/// number: major 1, minor 5 gives "1.05"; minor 123 gives ".23".
std::string versionText(std::uint8_t major, std::uint8_t minor);

/// The line of a one-bit flag: `whenSet` when the bit is set, `whenClear` otherwise.
constexpr const char* flagText(bool set, const char* whenSet, const char* whenClear) {
  return set ? whenSet : whenClear;
}

/// "Unknown (" + value + ")": the text of every enumeration value without a name.
std::string unknownText(std::int64_t value);

/// The name of `value` from `names` (indexed from 0), or unknownText(value) when the
/// table has no entry for it.
template <std::size_t N>
std::string enumText(std::uint8_t value, const std::string_view (&names)[N]) {
  return value < N ? std::string(names[value]) : unknownText(value);
}

}  // namespace vexil
