// The INI layer of the settings file: sections of `Key=value` lines, read with a
// default and written straight to the disk, one value at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "settings/IniDocument.h"

namespace vexil::settings {

/// The file name of the settings file, in the working directory.
inline constexpr std::string_view kSettingsFileName = "VexilDevP.ini";

/// A read value is cut to this many characters.
inline constexpr std::size_t kMaxReadValueLength = 2047;

/// A write that the file system refused. what() is "Unable to write to <path>", the
/// text the user has always seen; reason() says why ("permission denied", "read-only
/// file system", "not a regular file", ...), empty when it is not known.
class WriteError : public std::runtime_error {
 public:
  explicit WriteError(const std::string& message, std::string reason = {})
      : runtime_error(message), reason_(std::move(reason)) {}
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

/// One value to store with IniFile::writeValues: its names and its text as stored.
struct IniValue {
  std::string section;
  std::string key;
  std::string text;
};

/// The text that stores `value`: decimal.
std::string iniIntegerText(std::int32_t value);
/// The text that stores `value`: "1" for true, "0" for false.
std::string iniBoolText(bool value);

/// One INI file on disk.
///
/// Texts are 8-bit byte strings, stored unchanged (the program converts with Latin-1).
/// Values are verbatim: no quoting, no escaping, everything after the first "=" of the
/// line; section and key names are matched without regard to ASCII case and blanks
/// around them. Lines that the program does not know (other sections and keys, blank
/// lines, comments starting with ";" or "#") are kept when the file is written.
///
/// Every write reaches the disk before it returns, atomically: the file's current
/// content is read again, the changes applied, the result written to a temporary file
/// beside it, flushed to the disk and renamed over the file, so that a crash leaves
/// either the old or the new complete file. writeValues stores many values with one
/// such replacement. CR and LF in a written value each become one blank, so a value
/// always stays one line; a value that the key already holds leaves its line as it
/// is. What this object reads afterwards is the file as written, or after a refused
/// write the file as it is on the disk.
///
/// A write changes only the line of its key, or adds lines, and keeps every other byte
/// of the file, whatever its line endings. CRLF and LF files both read; new lines end
/// in the file's style (that of its first line break); a new file gets CRLF, as the
/// Windows build writes. The file is read and indexed once per open or write, so a
/// read costs a hash look-up, not a pass over the file.
///
/// Not thread-safe: one thread (the interface thread) uses an object.
class IniFile {
 public:
  /// Reads the file at `path` if present; a missing or unreadable file reads as empty.
  explicit IniFile(std::string path);

  const std::string& path() const;

  /// The value of `key` in `section`, cut to kMaxReadValueLength; `def` when missing.
  std::string readString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  /// The value read by the one integer rule of this layer (see parseIniInteger);
  /// `def` when missing or unparsable.
  std::int32_t readInteger(std::string_view section, std::string_view key,
                           std::int32_t def) const;
  /// True when the value read as an integer is not 0; `def` when missing or unparsable.
  bool readBool(std::string_view section, std::string_view key, bool def) const;

  /// Stores `value` (CR and LF become blanks). Throws WriteError when the file system
  /// refuses, or when a name would not read back as itself (empty, holding a line
  /// break, a key with "=" or starting with ";", "#" or "[", a section with "]").
  void writeString(std::string_view section, std::string_view key, std::string_view value);
  /// Stores `value` in decimal. Throws WriteError as writeString.
  void writeInteger(std::string_view section, std::string_view key, std::int32_t value);
  /// Stores "1" for true and "0" for false. Throws WriteError as writeString.
  void writeBool(std::string_view section, std::string_view key, bool value);

  /// Stores `values` in their order with one replacement of the file, as if each were
  /// written by writeString in turn. Throws WriteError at the first value refused,
  /// for its names or by the file system: the values before it are then stored (with
  /// as few replacements as finding that value takes) and it and the later ones are
  /// not. An empty list leaves the file alone.
  void writeValues(std::span<const IniValue> values);

 private:
  /// The value of `key` in `section`, cut to kMaxReadValueLength, if the key is there.
  std::optional<std::string> readValue(std::string_view section, std::string_view key) const;
  /// Stores `values`, all with valid names; false when the file system refused one.
  bool store(std::span<const IniValue> values);
  WriteError writeError() const;
  std::string lastRefusal_;  // why the last replacement was refused

  std::string path_;
  IniDocument content_;  // the file as last read or written
};

/// The integer rule of this layer. Blanks (space, tab) around the text are ignored.
/// A text that begins with "0x" or "0X" and is longer than two characters is
/// hexadecimal: one to eight significant hex digits of either case (leading zeros
/// allowed) spelling a 32-bit pattern read as signed ("0xFFFFFFFF" is -1). Any other
/// text is decimal: an optional "+" or "-", then one or more digits and nothing else,
/// within -2147483648..2147483647. Anything else fails (nothing is returned).
std::optional<std::int32_t> parseIniInteger(std::string_view text);

/// The settings file's path: `workingDirectory`, the path separator, "VexilDevP.ini"
/// (no second separator when the directory already ends in one).
std::string settingsFilePath(const std::string& workingDirectory);

}  // namespace vexil::settings
