// One flat JSON object per line, the form of the production journal and of the JSON
// Lines file log: members whose values are strings, integers, null or booleans. Texts
// are UTF-8 both ways.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vexil::records {

/// A JSON string holding `utf8`: quoted, '"', '\' and control characters escaped.
std::string jsonQuoted(std::string_view utf8);

/// One member's value as read: `text` for a string, `integer` for a whole number,
/// neither for null.
struct FlatValue {
  std::optional<std::string> text;
  std::optional<std::int64_t> integer;
  bool isNull() const { return !text && !integer; }
};

/// The members of a one-line object. Nothing when the line is not such an object (a
/// nested value, a fraction, a bad escape, text after the closing brace); `error` says
/// where.
std::optional<std::map<std::string, FlatValue>> parseFlatObject(std::string_view line,
                                                                std::string& error);

}  // namespace vexil::records
