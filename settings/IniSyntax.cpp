#include "settings/IniSyntax.h"

namespace vexil::settings {

std::string_view trimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

char asciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

LineView classify(std::string_view line) {
  const std::string_view trimmed = trimBlanks(line);
  if (trimmed.empty() || kCommentStarts.find(trimmed.front()) != std::string_view::npos)
    return {};
  if (trimmed.front() == kSectionOpen) {
    std::string_view name = trimmed.substr(1);
    name = name.substr(0, name.find(kSectionClose));
    return {LineView::Kind::Section, trimBlanks(name), 0};
  }
  const auto separator = line.find(kKeyValueSeparator);
  if (separator == std::string_view::npos) return {};
  return {LineView::Kind::KeyValue, trimBlanks(line.substr(0, separator)), separator + 1};
}

}  // namespace vexil::settings
