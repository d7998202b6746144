// Writing expected frames in tests as they are read on the wire: text fields as text,
// everything else as byte lists, joined in order.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace vexil::testing {

using Bytes = std::vector<std::uint8_t>;

/// The characters of `text`, one byte each.
inline Bytes ascii(std::string_view text) { return Bytes(text.begin(), text.end()); }

/// `count` copies of `value`.
inline Bytes repeated(std::size_t count, std::uint8_t value) { return Bytes(count, value); }

/// The pieces one after the other.
inline Bytes join(std::initializer_list<Bytes> pieces) {
  Bytes all;
  for (const Bytes& p : pieces) all.insert(all.end(), p.begin(), p.end());
  return all;
}

/// The 22 bytes every request starts with: "Palvox", the 15-byte text, flags 0x01.
inline Bytes header(std::string_view fifteen) {
  return join({ascii("Palvox"), ascii(fifteen), {0x01}});
}

/// The request for the 41-byte short answer that closes every fixed frame.
inline const Bytes kTrailer{0x03, 0x00, 0x01, 0x00};

}  // namespace vexil::testing
