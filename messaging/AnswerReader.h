// Reading numbers and texts out of a received datagram by absolute offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "messaging/Frames.h"

namespace vexil {

/// A read-only view of one datagram: the first `LastLength` bytes of the receive
/// buffer. Every read is checked against the datagram's length; a byte at or beyond
/// the end reads as 0 and never touches memory outside the view.
class AnswerReader {
 public:
  explicit AnswerReader(std::span<const std::uint8_t> datagram) : bytes_(datagram) {}

  std::size_t length() const { return bytes_.size(); }
  /// True when the `count` bytes from `offset` all lie inside the datagram.
  bool has(std::size_t offset, std::size_t count = 1) const {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }

  std::uint8_t u8(std::size_t offset) const { return has(offset) ? bytes_[offset] : 0; }
  /// Unsigned 16-bit, high byte first.
  std::uint16_t u16(std::size_t offset) const {
    return static_cast<std::uint16_t>(bigEndian(offset, 2));
  }
  /// 32 bits, most significant byte first.
  std::uint32_t u32(std::size_t offset) const {
    return static_cast<std::uint32_t>(bigEndian(offset, 4));
  }
  /// The 15-byte text at offset 6: in an answer, the device's own user text.
  UserText userText() const;

 private:
  std::uint64_t bigEndian(std::size_t offset, std::size_t width) const {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i) {
      const std::size_t at = offset + i;
      v = (v << 8) | (at >= offset ? u8(at) : 0);  // an offset that wraps reads as 0
    }
    return v;
  }
  std::span<const std::uint8_t> bytes_;
};

}  // namespace vexil
