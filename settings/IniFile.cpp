#include "settings/IniFile.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <utility>

#include "settings/AtomicFile.h"
#include "settings/IniSyntax.h"

namespace vexil::settings {

namespace {

constexpr std::string_view kHexPrefixLower = "0x";
constexpr std::string_view kHexPrefixUpper = "0X";
constexpr std::size_t kMaxHexDigits = 8;
constexpr char kLineBreakReplacement = ' ';

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
    content_ = IniDocument(std::move(bytes.data));
}

const std::string& IniFile::path() const { return path_; }

std::optional<std::string> IniFile::readValue(std::string_view section,
                                              std::string_view key) const {
  const std::optional<std::string_view> value = content_.value(section, key);
  if (!value) return std::nullopt;
  return std::string(value->substr(0, kMaxReadValueLength));
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
  IniDocument updated(current.status == ReadStatus::Ok ? std::move(current.data)
                                                        : std::string());
  updated.set(section, key, oneLine(value));
  if (!replaceFileAtomically(path_, updated.bytes())) {
    // What this object reads must be the file as it is.
    current = readWholeFile(path_);
    content_ = IniDocument(current.status == ReadStatus::Ok ? std::move(current.data)
                                                             : std::string());
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
