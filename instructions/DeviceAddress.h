// The device address: the one IPv4 address every request goes to, kept as an address
// base (up to and including its third dot) and a last octet. Free of widgets.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vexil {

inline constexpr int kLastOctetMin = 0;
inline constexpr int kLastOctetMax = 255;

/// The address base and last octet that "Change IP" takes over from an entry.
struct AddressChange {
  std::string base;   // the entry up to and including its last dot, unexamined
  int lastOctet = 0;  // 0..255
};

/// The device address text: the base followed by the last octet in decimal.
std::string deviceAddressText(std::string_view base, int lastOctet);

/// The "Change IP" rule applied to the 8-bit text of the address entry. The entry is
/// taken over only when it is longer than six characters, holds exactly three dots, its
/// last dot is at position 6 or later (counting from 1) with at least one character
/// after it, and that tail converts by the integer-text rule to a value in 0..255 (a
/// tail that does not convert counts as 256). Nothing else is examined. Empty when the
/// entry is refused; refusal is silent.
std::optional<AddressChange> takeAddressEntry(std::string_view entry);

}  // namespace vexil
