// The checks vexilctl makes on every value before anything is sent. The window turns a
// text that does not convert into a default, and narrows a number to the bits of its
// field, without a word; a script must never configure a board with a value nobody
// typed, so here each such value is refused with a message that names it. A value that
// passes is handed on as typed, to the same page logic the window uses, so the frame is
// byte for byte the window's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "instructions/EntryRules.h"
#include "instructions/InstructionTest.h"

namespace vexil::ctl {

/// A checked value, or the message that says why the text was refused.
template <typename T>
struct Checked {
  std::optional<T> value;
  std::string error;

  static Checked ok(T v) { return {std::move(v), {}}; }
  static Checked refused(std::string why) { return {std::nullopt, std::move(why)}; }
  explicit operator bool() const { return value.has_value(); }
};

/// A number by the integer-text rule that lies in `lo`..`hi`. `what` names the value in
/// the message ("type", "reset time").
Checked<std::int32_t> checkInteger(std::string_view text, std::string_view what, std::int32_t lo,
                                   std::int32_t hi);

/// A value sent whole as 32 bits (serial, NCO frequency): the integer-text rule, or
/// unsigned decimal up to 4294967295, as the window's 32-bit boxes take it.
Checked<std::uint32_t> checkUnsigned32(std::string_view text, std::string_view what);

/// A dotted address "a.b.c.d" whose four parts each convert to 0..255. The texts are
/// returned as typed, one per box.
Checked<AddressTexts> checkAddress(std::string_view text, std::string_view what);

/// A text of at most 15 characters, each in Latin-1, given as UTF-8 (as the shell
/// passes it); returned as Latin-1 bytes, one per character. The window would cut a
/// longer text and send '?' for other characters.
Checked<std::string> checkUserText(std::string_view utf8, std::string_view what);

/// A name the records carry (station, operator): 1 to `maxCharacters` characters of
/// UTF-8 text without control characters, returned as given.
Checked<std::string> checkName(std::string_view utf8, std::string_view what, std::size_t maxCharacters);

/// One Instruction Test row "OPCODE:DATA-LIST": an opcode of 0..255 and one or more
/// comma-separated data items of 0..255, each decimal or "$" hex (the only forms the
/// page reads; it would silently drop "0x", blanks and signs, and send 0 for an empty
/// item or one that does not convert). `row` counts from 1, for the message.
Checked<TestRowEntries> checkTestRow(std::string_view text, int row);

/// The device's address and port: dotted IPv4, optionally ":PORT" (1..65535; without it,
/// `defaultPort`).
struct DeviceTarget {
  std::string address;
  int port = 0;

  std::string label() const { return address + ":" + std::to_string(port); }
  friend bool operator==(const DeviceTarget&, const DeviceTarget&) = default;
};
Checked<DeviceTarget> checkDevice(std::string_view text, int defaultPort);

}  // namespace vexil::ctl
