#include "messaging/IntegerText.h"

namespace vexil {
namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr int kMaxHexDigits = 8;
constexpr std::uint64_t kMaxPositiveDecimal = 2147483647ULL;
constexpr std::uint64_t kMaxNegativeDecimal = 2147483648ULL;

}  // namespace

std::optional<std::int32_t> parseIntegerText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::string_view rest = text.substr(i);
  bool hex = false;
  std::size_t prefix = 0;
  if (rest.starts_with("0x") || rest.starts_with("0X")) {
    hex = true;
    prefix = 2;
  } else if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X')) {
    hex = true;
    prefix = 1;
  }
  const std::string_view digits = rest.substr(prefix);
  if (digits.empty()) return std::nullopt;

  if (hex) {
    std::uint32_t pattern = 0;
    int significant = 0;
    for (char c : digits) {
      const int d = hexDigit(c);
      if (d < 0) return std::nullopt;
      if (significant > 0 || d != 0) ++significant;
      if (significant > kMaxHexDigits) return std::nullopt;
      pattern = (pattern << 4) | static_cast<std::uint32_t>(d);
    }
    // Negation is done on the 32-bit pattern, so -$80000000 stays -2147483648.
    if (negative) pattern = 0u - pattern;
    return static_cast<std::int32_t>(pattern);
  }

  std::uint64_t magnitude = 0;
  const std::uint64_t limit = negative ? kMaxNegativeDecimal : kMaxPositiveDecimal;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    if (magnitude > limit) return std::nullopt;
  }
  const std::uint32_t pattern = static_cast<std::uint32_t>(magnitude);
  return static_cast<std::int32_t>(negative ? 0u - pattern : pattern);
}

std::string byteText(std::int32_t value) { return std::to_string(lowByte(value)); }
std::string wordText(std::int32_t value) { return std::to_string(lowWord(value)); }
std::string unsigned32Text(std::int32_t value) { return std::to_string(asUnsigned32(value)); }

}  // namespace vexil
