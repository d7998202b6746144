// The integer-text rule against an oracle written here from the rule's wording, by
// another route: the text is first taken apart into blanks, sign, prefix and digits,
// the digits are stripped of leading zeros and compared as strings with the limits,
// and only then turned into a number. Besides agreeing with the oracle, every value
// that converts converts again from its own decimal text.
#include <cstdlib>
#include <optional>
#include <string>

#include "messaging/IntegerText.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace vexil;
using vexil::fuzz::require;

namespace {

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) {
  return isDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::optional<std::int32_t> oracle(std::string_view text) {
  // Blanks, then one optional sign.
  const auto firstNonBlank = text.find_first_not_of(' ');
  std::string_view rest =
      firstNonBlank == std::string_view::npos ? std::string_view{} : text.substr(firstNonBlank);
  bool minus = false;
  if (!rest.empty() && (rest[0] == '-' || rest[0] == '+')) {
    minus = rest[0] == '-';
    rest.remove_prefix(1);
  }
  // The prefix, longest first: "0x" would otherwise read as the decimal 0 and an "x".
  bool hex = true;
  if (rest.substr(0, 2) == "0x" || rest.substr(0, 2) == "0X")
    rest.remove_prefix(2);
  else if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X'))
    rest.remove_prefix(1);
  else
    hex = false;

  if (rest.empty()) return std::nullopt;
  for (char c : rest)
    if (!(hex ? isHexDigit(c) : isDecimalDigit(c))) return std::nullopt;
  const auto firstSignificant = rest.find_first_not_of('0');
  const std::string significant(
      firstSignificant == std::string_view::npos ? "" : rest.substr(firstSignificant));

  if (hex) {
    if (significant.size() > 8) return std::nullopt;
    const unsigned long pattern =
        significant.empty() ? 0 : std::strtoul(significant.c_str(), nullptr, 16);
    const std::uint32_t bits = static_cast<std::uint32_t>(pattern);
    return static_cast<std::int32_t>(minus ? ~bits + 1u : bits);
  }
  // Decimal: compare digit strings of equal length with the limit.
  const std::string limit = minus ? "2147483648" : "2147483647";
  if (significant.size() > limit.size() ||
      (significant.size() == limit.size() && significant > limit))
    return std::nullopt;
  const long long magnitude =
      significant.empty() ? 0 : std::strtoll(significant.c_str(), nullptr, 10);
  return static_cast<std::int32_t>(minus ? -magnitude : magnitude);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = vexil::fuzz::asText(data, size);
  const std::optional<std::int32_t> value = parseIntegerText(text);
  require(value == oracle(text), "the integer-text rule agrees with the oracle");
  if (value) {
    require(parseIntegerText(std::to_string(*value)) == value,
            "a converted value converts again from its decimal text");
    require(byteText(*value) == std::to_string(*value & 0xFF), "byteText is the low 8 bits");
    require(wordText(*value) == std::to_string(*value & 0xFFFF), "wordText is the low 16 bits");
    require(unsigned32Text(*value) == std::to_string(static_cast<std::uint32_t>(*value)),
            "unsigned32Text is the 32-bit pattern");
  }
  return 0;
}
