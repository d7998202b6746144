#include "instructions/EntryRules.h"

#include "messaging/IntegerText.h"
#include "messaging/WireLayout.h"

namespace vexil {
namespace {

constexpr std::uint64_t kFirstUnsignedOnly = 2147483648ULL;  // above the signed range
constexpr std::uint64_t kLastUnsigned32 = 4294967295ULL;

// Unsigned decimal text in 2147483648..4294967295: leading blanks, an optional "+", then
// decimal digits and nothing after them, as the integer-text rule writes decimal text.
std::optional<std::uint32_t> unsignedOnlyDecimal(std::string_view text) {
  std::size_t i = text.find_first_not_of(' ');
  if (i == std::string_view::npos) return std::nullopt;
  if (text[i] == '+') ++i;
  if (i == text.size()) return std::nullopt;
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > kLastUnsigned32) return std::nullopt;
  }
  if (value < kFirstUnsignedOnly) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::optional<std::uint32_t> parseUnsigned32Entry(std::string_view text) {
  if (const auto value = parseIntegerText(text)) return asUnsigned32(*value);
  return unsignedOnlyDecimal(text);
}

AddressOctets addressRowOctets(const AddressTexts& texts, const AddressOctets& defaults) {
  AddressOctets octets{};
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const auto value = parseIntegerText(texts[i]);
    if (!value) return defaults;  // the row is one unit: all four take their defaults
    octets[i] = lowByte(*value);
  }
  return octets;
}

AddressTexts addressRowTexts(const AddressOctets& octets) {
  AddressTexts texts;
  for (std::size_t i = 0; i < octets.size(); ++i) texts[i] = std::to_string(octets[i]);
  return texts;
}

UserText userTextField(std::string_view latin1Text) { return makeUserText(latin1Text); }

std::string cutUserText(std::string_view latin1Text) {
  return std::string(latin1Text.substr(0, wire::kUserTextLength));
}

}  // namespace vexil
