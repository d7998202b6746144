// An independent reading of an INI file's bytes, written from the documented line rules
// rather than from the reader's code: which keys a file holds and their values. The INI
// fuzz targets hold the reader and the writer to it.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace vexil::fuzz {

/// A key by its section and key names, both folded to ASCII lower case.
using IniKeyName = std::pair<std::string, std::string>;
/// Every key that a lookup can find, with its whole value.
using IniKeys = std::map<IniKeyName, std::string>;

inline std::string foldAscii(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  return out;
}

inline std::string_view trimSpaceTab(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

/// The keys of `bytes`: lines end at LF, one CR before the LF (or before the end) is
/// part of the ending; a byte-order mark opens no line; a header's first non-blank is
/// "[" and its name runs to the first "]"; a key line is any other line with "=" whose
/// first non-blank is not ";" or "#". Only the first section of a name and, in it, the
/// first line of a key count; key lines before any header belong to nothing.
inline IniKeys scanIniKeys(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  IniKeys keys;
  std::set<std::string> sectionsSeen;
  std::optional<std::string> current;
  while (!bytes.empty()) {
    const auto lf = bytes.find('\n');
    std::string_view line = bytes.substr(0, lf);
    bytes.remove_prefix(lf == std::string_view::npos ? bytes.size() : lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    const std::string_view trimmed = trimSpaceTab(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') continue;
    if (trimmed.front() == '[') {
      const std::string name = foldAscii(trimSpaceTab(trimmed.substr(1, trimmed.find(']') - 1)));
      current.reset();
      if (sectionsSeen.insert(name).second) current = name;
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || !current) continue;
    keys.emplace(IniKeyName{*current, foldAscii(trimSpaceTab(line.substr(0, equals)))},
                 std::string(line.substr(equals + 1)));  // the first line of a key wins
  }
  return keys;
}

/// The integer rule of the INI layer, from its wording: blanks around are ignored; a
/// text longer than two characters that begins with "0x"/"0X" is hexadecimal with at
/// most eight significant digits (a signed 32-bit pattern); anything else is decimal,
/// an optional sign and digits only, within the signed 32-bit range.
inline std::optional<std::int32_t> iniIntegerOracle(std::string_view text) {
  text = trimSpaceTab(text);
  const auto digitsOnly = [](std::string_view s, bool hex) {
    for (char c : s) {
      const bool dec = c >= '0' && c <= '9';
      const bool letter = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
      if (!dec && !(hex && letter)) return false;
    }
    return !s.empty();
  };
  const auto significant = [](std::string_view s) {
    const auto at = s.find_first_not_of('0');
    return at == std::string_view::npos ? std::string_view{} : s.substr(at);
  };
  if (text.size() > 2 && (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X")) {
    const std::string_view digits = text.substr(2);
    if (!digitsOnly(digits, true) || significant(digits).size() > 8) return std::nullopt;
    std::uint32_t v = 0;
    for (char c : significant(digits))
      v = v * 16 + static_cast<std::uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    return static_cast<std::int32_t>(v);
  }
  bool minus = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    minus = text.front() == '-';
    text.remove_prefix(1);
  }
  if (!digitsOnly(text, false)) return std::nullopt;
  const std::string_view sig = significant(text);
  const std::string_view limit = minus ? "2147483648" : "2147483647";
  if (sig.size() > limit.size() || (sig.size() == limit.size() && sig > limit)) return std::nullopt;
  std::int64_t v = 0;
  for (char c : sig) v = v * 10 + (c - '0');
  return static_cast<std::int32_t>(minus ? -v : v);
}

}  // namespace vexil::fuzz
