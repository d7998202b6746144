// The line syntax of the settings file, shared by the reader and the writer.
#pragma once

#include <cstddef>
#include <string_view>

namespace vexil::settings {

inline constexpr std::string_view kBlanks = " \t";
inline constexpr std::string_view kLineBreaks = "\r\n";
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
inline constexpr char kSectionOpen = '[';
inline constexpr char kSectionClose = ']';
inline constexpr char kKeyValueSeparator = '=';
inline constexpr std::string_view kCommentStarts = ";#";

/// `text` without the spaces and tabs around it.
std::string_view trimBlanks(std::string_view text);

/// `c` in lower case when it is an ASCII capital; any other byte as it is.
char asciiLower(char c);

/// What one line of the file is, as far as lookups care.
struct LineView {
  enum class Kind { Other, Section, KeyValue } kind = Kind::Other;
  std::string_view name;  // section or key name, blanks trimmed
  std::size_t valueStart = 0;  // KeyValue: index just after the first "="
};

/// Classifies `line`, given without its line ending.
LineView classify(std::string_view line);

}  // namespace vexil::settings
