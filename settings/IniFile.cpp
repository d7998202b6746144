#include "settings/IniFile.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <utility>

#include "settings/AtomicFile.h"

namespace vexil::settings {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kLineBreaks = "\r\n";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kHexPrefixLower = "0x";
constexpr std::string_view kHexPrefixUpper = "0X";
constexpr std::size_t kMaxHexDigits = 8;
constexpr char kSectionOpen = '[';
constexpr char kSectionClose = ']';
constexpr char kKeyValueSeparator = '=';
constexpr std::string_view kCommentStarts = ";#";
constexpr char kLineBreakReplacement = ' ';

std::string_view trimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

char asciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

/// What one line of the file is, as far as lookups care.
struct LineView {
  enum class Kind { Other, Section, KeyValue } kind = Kind::Other;
  std::string_view name;  // section or key name, blanks trimmed
  std::size_t valueStart = 0;  // KeyValue: index just after the first "="
};

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

/// Where `key` of `section` lies in `lines`: the index of its line, or of the line
/// after which a new key goes (the section's last key, else its header), or neither.
struct KeyPosition {
  std::optional<std::size_t> keyLine;
  std::optional<std::size_t> insertAfter;
};

KeyPosition locate(const std::vector<std::string>& lines, std::string_view section,
                   std::string_view key) {
  // The first section of that name is the one read and written; later duplicates are
  // kept but never looked at.
  KeyPosition position;
  bool inSection = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const LineView view = classify(lines[i]);
    if (view.kind == LineView::Kind::Section) {
      if (inSection) break;
      if (sameName(view.name, section)) {
        inSection = true;
        position.insertAfter = i;
      }
    } else if (inSection && view.kind == LineView::Kind::KeyValue) {
      if (sameName(view.name, key)) {
        position.keyLine = i;
        return position;
      }
      position.insertAfter = i;
    }
  }
  return position;
}

bool validSectionName(std::string_view name) {
  return !name.empty() && trimBlanks(name) == name &&
         name.find_first_of(kLineBreaks) == std::string_view::npos &&
         name.find(kSectionClose) == std::string_view::npos;
}

bool validKeyName(std::string_view name) {
  return !name.empty() && trimBlanks(name) == name &&
         name.find_first_of(kLineBreaks) == std::string_view::npos &&
         name.find(kKeyValueSeparator) == std::string_view::npos &&
         name.front() != kSectionOpen &&
         kCommentStarts.find(name.front()) == std::string_view::npos;
}

std::string oneLine(std::string_view value) {
  std::string result(value);
  std::replace_if(
      result.begin(), result.end(),
      [](char c) { return kLineBreaks.find(c) != std::string_view::npos; },
      kLineBreakReplacement);
  return result;
}

bool startsWithHexPrefix(std::string_view text) {
  return text.starts_with(kHexPrefixLower) || text.starts_with(kHexPrefixUpper);
}

std::optional<std::int32_t> parseHex(std::string_view digits) {
  // Leading zeros are not significant; at most eight digits may follow them.
  const auto significant = digits.find_first_not_of('0');
  const std::string_view rest =
      significant == std::string_view::npos ? std::string_view{} : digits.substr(significant);
  if (rest.size() > kMaxHexDigits) return std::nullopt;
  std::uint32_t pattern = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, pattern, 16);
  if (error != std::errc{} || stop != end) return std::nullopt;
  return static_cast<std::int32_t>(pattern);
}

std::optional<std::int32_t> parseDecimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // from_chars itself would take a second sign; only digits may follow ours.
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  std::int64_t magnitude = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, magnitude, 10);
  if (error != std::errc{} || stop != end) return std::nullopt;
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace

// ---- Reading -----------------------------------------------------------------------

IniFile::IniFile(std::string path) : path_(std::move(path)) {
  if (auto bytes = readWholeFile(path_); bytes.status == ReadStatus::Ok)
    content_ = parse(bytes.data);
}

const std::string& IniFile::path() const { return path_; }

IniFile::Content IniFile::parse(std::string_view bytes) {
  Content content;
  content.byteOrderMark = bytes.starts_with(kByteOrderMark);
  if (content.byteOrderMark) bytes.remove_prefix(kByteOrderMark.size());
  const auto firstBreak = bytes.find('\n');
  content.crlf = firstBreak == std::string_view::npos ||
                 (firstBreak > 0 && bytes[firstBreak - 1] == '\r');
  while (!bytes.empty()) {
    const auto lineEnd = bytes.find('\n');
    std::string_view line = bytes.substr(0, lineEnd);
    if (line.ends_with('\r')) line.remove_suffix(1);
    content.lines.emplace_back(line);
    if (lineEnd == std::string_view::npos) break;
    bytes.remove_prefix(lineEnd + 1);
  }
  return content;
}

std::string IniFile::serialise(const Content& content) {
  const std::string_view eol = content.crlf ? "\r\n" : "\n";
  std::string bytes;
  if (content.byteOrderMark) bytes += kByteOrderMark;
  for (const auto& line : content.lines) {
    bytes += line;
    bytes += eol;
  }
  return bytes;
}

std::optional<std::string> IniFile::readValue(std::string_view section,
                                              std::string_view key) const {
  const KeyPosition position = locate(content_.lines, section, key);
  if (!position.keyLine) return std::nullopt;
  const std::string_view line = content_.lines[*position.keyLine];
  return std::string(line.substr(classify(line).valueStart).substr(0, kMaxReadValueLength));
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view def) const {
  return readValue(section, key).value_or(std::string(def));
}

std::int32_t IniFile::readInteger(std::string_view section, std::string_view key,
                                  std::int32_t def) const {
  const std::optional<std::string> value = readValue(section, key);
  return value ? parseIniInteger(*value).value_or(def) : def;
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool def) const {
  return readInteger(section, key, def ? 1 : 0) != 0;
}

// ---- Writing -----------------------------------------------------------------------

void IniFile::writeString(std::string_view section, std::string_view key,
                          std::string_view value) {
  if (!validSectionName(section) || !validKeyName(key)) throw writeError();

  // Start from what is on the disk now, so that changes made to the file by anyone
  // else since it was read are kept, as the key-at-a-time file access has always done.
  FileBytes current = readWholeFile(path_);
  if (current.status == ReadStatus::Unreadable) throw writeError();
  Content updated = current.status == ReadStatus::Ok ? parse(current.data) : Content{};
  const Content onDisk = updated;

  const std::string text = oneLine(value);
  const KeyPosition position = locate(updated.lines, section, key);
  if (position.keyLine) {
    std::string& line = updated.lines[*position.keyLine];
    line.resize(classify(line).valueStart);
    line += text;
  } else {
    std::string newLine = std::string(key) + kKeyValueSeparator + text;
    if (position.insertAfter) {
      updated.lines.insert(
          updated.lines.begin() + static_cast<std::ptrdiff_t>(*position.insertAfter + 1),
          std::move(newLine));
    } else {
      updated.lines.push_back(std::string(1, kSectionOpen) + std::string(section) +
                              kSectionClose);
      updated.lines.push_back(std::move(newLine));
    }
  }

  if (!replaceFileAtomically(path_, serialise(updated))) {
    content_ = onDisk;
    throw writeError();
  }
  content_ = std::move(updated);
}

void IniFile::writeInteger(std::string_view section, std::string_view key,
                           std::int32_t value) {
  writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
  writeString(section, key, value ? "1" : "0");
}

WriteError IniFile::writeError() const { return WriteError("Unable to write to " + path_); }

// ---- Free functions ----------------------------------------------------------------

std::optional<std::int32_t> parseIniInteger(std::string_view text) {
  text = trimBlanks(text);
  if (text.size() > kHexPrefixLower.size() && startsWithHexPrefix(text))
    return parseHex(text.substr(kHexPrefixLower.size()));
  return parseDecimal(text);
}

std::string settingsFilePath(const std::string& workingDirectory) {
  constexpr char separator = std::filesystem::path::preferred_separator;
  std::string path = workingDirectory;
  if (path.empty() || path.back() != separator) path += separator;
  path += kSettingsFileName;
  return path;
}

}  // namespace vexil::settings
