// Test helpers: a status record written byte by byte at the offsets of the record
// layout, and line lookups in a decoded report.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "messaging/AnswerReader.h"

namespace vexil::testing {

/// A datagram of `length` zero bytes with the status marker 0xF0 at offset 22 and the
/// model in bits 2-0 of byte 40.
class RecordBytes {
 public:
  explicit RecordBytes(std::size_t length, std::uint8_t model = 0) : b_(length, 0) {
    if (length > 22) b_[22] = 0xF0;
    if (length > 40) b_[40] = model;
  }
  RecordBytes& u8(std::size_t at, std::uint8_t v) {
    b_.at(at) = v;
    return *this;
  }
  RecordBytes& u16(std::size_t at, std::uint16_t v) {
    return u8(at, static_cast<std::uint8_t>(v >> 8)).u8(at + 1, static_cast<std::uint8_t>(v));
  }
  RecordBytes& u32(std::size_t at, std::uint32_t v) {
    return u16(at, static_cast<std::uint16_t>(v >> 16)).u16(at + 2, static_cast<std::uint16_t>(v));
  }
  RecordBytes& bytes(std::size_t at, std::initializer_list<std::uint8_t> v) {
    for (std::uint8_t x : v) u8(at++, x);
    return *this;
  }
  AnswerReader reader() const { return AnswerReader(b_); }
  std::vector<std::uint8_t>& data() { return b_; }

 private:
  std::vector<std::uint8_t> b_;
};

/// The `count` lines that follow the first line equal to `heading`; fewer if the report
/// ends, none if the heading is missing (which fails the test).
inline std::vector<std::string> linesAfter(const std::vector<std::string>& lines,
                                           const std::string& heading, std::size_t count) {
  const auto at = std::find(lines.begin(), lines.end(), heading);
  EXPECT_NE(at, lines.end()) << "no line \"" << heading << "\"";
  if (at == lines.end()) return {};
  const auto from = at + 1;
  const auto to = from + static_cast<std::ptrdiff_t>(
                             std::min<std::size_t>(count, static_cast<std::size_t>(lines.end() - from)));
  return {from, to};
}

/// True when some line equals `line`.
inline bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace vexil::testing
