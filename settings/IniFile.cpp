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

/// `document` with `values` set in their order.
IniDocument withValues(IniDocument document, std::span<const IniValue> values) {
  for (const IniValue& value : values) {
    // A value read back as it is written, odd bytes and all, keeps its line.
    const auto current = document.value(value.section, value.key);
    if (!current || *current != value.text)
      document.set(value.section, value.key, oneLine(value.text));
  }
  return document;
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
  const IniValue one{std::string(section), std::string(key), std::string(value)};
  writeValues({&one, 1});
}

void IniFile::writeInteger(std::string_view section, std::string_view key,
                           std::int32_t value) {
  writeString(section, key, iniIntegerText(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
  writeString(section, key, iniBoolText(value));
}

void IniFile::writeValues(std::span<const IniValue> values) {
  // A name that would not read back is refused as the file system refuses a value:
  // the values before it are stored, it and the later ones are not.
  const auto invalid = std::find_if(values.begin(), values.end(), [](const IniValue& v) {
    return !validSectionName(v.section) || !validKeyName(v.key);
  });
  const auto storable = values.first(static_cast<std::size_t>(invalid - values.begin()));
  if (!storable.empty() && !store(storable)) throw writeError();
  if (invalid != values.end()) throw writeError();
}

bool IniFile::store(std::span<const IniValue> values) {
  // Start from what is on the disk now, so that changes made to the file by anyone
  // else since it was read are kept, as the key-at-a-time file access has always done.
  FileBytes current = readWholeFile(path_);
  if (current.status == ReadStatus::Unreadable) {
    lastRefusal_ = foreignLinkProblem(path_).value_or("the file cannot be read");
    return false;
  }
  IniDocument onDisk(current.status == ReadStatus::Ok ? std::move(current.data)
                                                       : std::string());
  IniDocument all = withValues(onDisk, values);
  if (replaceFileAtomically(path_, all.bytes(), &lastRefusal_)) {
    content_ = std::move(all);
    return true;
  }

  // Refused: keep the longest run of leading values that the file system takes, as
  // writing them one at a time would have (a full disk keeps the first keys). Halving
  // finds it in a few replacements; each one is whole on the disk.
  std::size_t stored = 0;
  std::size_t refused = values.size();
  IniDocument kept = onDisk;
  while (refused - stored > 1) {
    const std::size_t count = stored + (refused - stored) / 2;
    IniDocument prefix = withValues(onDisk, values.first(count));
    if (replaceFileAtomically(path_, prefix.bytes())) {
      stored = count;
      kept = std::move(prefix);
    } else {
      refused = count;
    }
  }
  content_ = std::move(kept);
  return false;
}

WriteError IniFile::writeError() const {
  // The system's own text, with why beside it: permission, a read-only file system,
  // not a regular file.
  return WriteError("Unable to write to " + path_, lastRefusal_);
}

// ---- Free functions ----------------------------------------------------------------

std::string iniIntegerText(std::int32_t value) { return std::to_string(value); }

std::string iniBoolText(bool value) { return value ? "1" : "0"; }

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
