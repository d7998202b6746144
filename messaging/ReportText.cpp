#include "messaging/ReportText.h"

namespace vexil {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr int kBitsPerHexDigit = 4;
constexpr std::uint32_t kHexDigitMask = 0xF;
constexpr int kMinorModulus = 100;  // the version shows the minor value's last two digits
constexpr int kTensBase = 10;
}  // namespace

std::string decimalText(std::int64_t value) { return std::to_string(value); }

std::string hexText(std::uint32_t value, int digits) {
  std::string text(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i) {
    text[static_cast<std::size_t>(i)] = kHexDigits[value & kHexDigitMask];
    value >>= kBitsPerHexDigit;
  }
  return text;
}

std::string hexBytesText(const AnswerReader& datagram, std::size_t offset, std::size_t count) {
  std::string text;
  text.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) text += hexText(datagram.u8(offset + i), 2);
  return text;
}

std::string hexBytesText(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) text += hexText(b, 2);
  return text;
}

std::string macText(const AnswerReader& datagram, std::size_t offset) {
  std::string text;
  for (std::size_t i = 0; i < kMacLength; ++i) {
    if (i > 0) text += ':';
    text += hexText(datagram.u8(offset + i), 2);
  }
  return text;
}

std::string ipText(const AnswerReader& datagram, std::size_t offset) {
  std::string text;
  for (std::size_t i = 0; i < kIPv4Length; ++i) {
    if (i > 0) text += '.';
    text += decimalText(datagram.u8(offset + i));
  }
  return text;
}

std::string versionText(std::uint8_t major, std::uint8_t minor) {
  const int lastTwo = minor % kMinorModulus;
  std::string text = decimalText(major);
  text += '.';
  text += static_cast<char>('0' + lastTwo / kTensBase);
  text += static_cast<char>('0' + lastTwo % kTensBase);
  return text;
}

std::string unknownText(std::int64_t value) { return "Unknown (" + decimalText(value) + ")"; }

}  // namespace vexil
