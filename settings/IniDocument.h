// The text of an INI file as its original bytes plus the values changed since, so that
// a change rewrites only the line of its key and every other byte stays as it was.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vexil::settings {

/// The bytes of one INI file, indexed once when it is made, with values changed in
/// memory and the changed file produced whole by bytes().
///
/// A line ends at an LF; one CR just before that LF (or before the end of the file)
/// belongs to the line ending, any further CR to the line's text. A UTF-8 byte-order
/// mark before the first line is not part of it. A section header is a line whose
/// first non-blank is "[", its name running to the first "]"; a key line holds "=",
/// its name before the first "=" and its value everything after. Blank lines, lines
/// starting with ";" or "#" and lines before the first header belong to no key.
/// Names are matched without regard to ASCII case and the blanks around them; only
/// the first section of a name counts, and in it the first line of a key.
///
/// A changed value replaces only the value part of its line, which keeps its own
/// line ending. A new key goes right after the last key line of its section (after
/// the header when there is none); a new section goes at the end of the file. New
/// lines end as the file's first line does, with CRLF when the file has no line
/// break yet; a last line without a break gets one only when lines follow it.
///
/// Lookups cost one hash look-up; making the index and bytes() cost one pass over
/// the file. Copyable; not thread-safe.
class IniDocument {
 public:
  IniDocument() = default;
  explicit IniDocument(std::string bytes);

  /// The value of `key` in `section`, whole, if the key is there. The view is valid
  /// until the next set() or until the document is destroyed.
  std::optional<std::string_view> value(std::string_view section, std::string_view key) const;

  /// Sets `key` of `section` to `text`. The caller makes sure that the names read back
  /// as themselves and that `text` holds no line break.
  void set(std::string_view section, std::string_view key, std::string_view text);

  /// The file's bytes with every change applied.
  std::string bytes() const;

 private:
  struct Key {
    std::string name;  // as first given, for a key added since the bytes were read
    std::size_t valueStart = 0;  // in original_, for a key that was there
    std::size_t valueLength = 0;
    bool added = false;
    std::optional<std::string> newValue;
  };
  struct Section {
    std::string name;  // as first given, for a section added since
    std::size_t insertAt = 0;  // in original_: where this section's new key lines go
    bool added = false;
    std::unordered_map<std::string, Key> keys;  // by folded name
    std::vector<std::string> addedKeys;  // folded names of added keys, in order
  };
  struct Edit {
    std::size_t at;
    std::size_t length;  // bytes of original_ replaced
    std::string text;
    bool addsLines;  // whole new lines, rather than a new value
  };

  void index();
  void appendAddedKeys(const Section& section, std::string& out) const;
  /// Ends the last line of `out` if it has no line break, so that lines can follow.
  void endLastLine(std::string& out) const;

  std::string original_;
  std::size_t textStart_ = 0;  // after a byte-order mark
  std::string_view eol_ = "\r\n";
  std::unordered_map<std::string, Section> sections_;  // by folded name
  std::vector<std::string> addedSections_;  // folded names, in order
};

}  // namespace vexil::settings
