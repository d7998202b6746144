#include "ctl/StrictEntries.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "messaging/IntegerText.h"
#include "messaging/TextSplit.h"
#include "messaging/UdpEndpoint.h"
#include "messaging/WireLayout.h"

namespace vexil::ctl {
namespace {

constexpr std::int32_t kOctetMax = 0xFF;
constexpr std::int32_t kPortMin = 1;
constexpr std::int32_t kPortMax = 0xFFFF;
constexpr char32_t kLastLatin1 = 0xFF;
constexpr char32_t kFirstPrintable = 0x20;   // below: the C0 control characters
constexpr char32_t kFirstControl8 = 0x7F;    // DEL and the C1 control characters
constexpr char32_t kLastControl8 = 0x9F;

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

std::string upper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return out;
}

// Decodes UTF-8; false on a malformed sequence.
bool decodeUtf8(std::string_view text, std::u32string& out) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t c = 0;
    if (lead < 0x80) {
      c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      c = lead & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<std::size_t>(extra) >= text.size() && extra != 0) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    if (extra == 1 && c < 0x80) return false;  // an overlong form of an ASCII character
    out.push_back(c);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

// A part of a row as the page reads it: `cleaned` is what the page's cleaning leaves of
// it. Anything the cleaning would drop or change (other than a-f to A-F) is refused.
std::optional<std::string> checkRowNumber(std::string_view part, const std::string& cleaned,
                                          const std::string& what) {
  if (part.empty()) return what + " is empty; the window would send 0";
  if (cleaned != upper(part)) {
    return what + " " + quoted(part) +
           " holds characters the window drops (it would read " + quoted(cleaned) +
           "); write decimal digits or $ and hex digits";
  }
  const auto value = parseIntegerText(cleaned);
  if (!value) return what + " " + quoted(part) + " is not a number; the window would send 0";
  if (*value < 0 || *value > kOctetMax) {
    return what + " " + quoted(part) + " does not fit in one byte (0..255); the window would send " +
           std::to_string(lowByte(*value));
  }
  return std::nullopt;
}

}  // namespace

Checked<std::int32_t> checkInteger(std::string_view text, std::string_view what, std::int32_t lo,
                                   std::int32_t hi) {
  const auto value = parseIntegerText(text);
  if (!value) {
    return Checked<std::int32_t>::refused(std::string(what) + " " + quoted(text) +
                                          " is not a number (decimal, or hex after $, x or 0x)");
  }
  if (*value < lo || *value > hi) {
    return Checked<std::int32_t>::refused(std::string(what) + " " + quoted(text) +
                                          " is outside " + std::to_string(lo) + ".." +
                                          std::to_string(hi));
  }
  return Checked<std::int32_t>::ok(*value);
}

Checked<std::uint32_t> checkUnsigned32(std::string_view text, std::string_view what) {
  if (const auto value = parseUnsigned32Entry(text)) return Checked<std::uint32_t>::ok(*value);
  return Checked<std::uint32_t>::refused(
      std::string(what) + " " + quoted(text) +
      " is not a 32-bit number (-2147483648..4294967295, or hex after $, x or 0x)");
}

Checked<AddressTexts> checkAddress(std::string_view text, std::string_view what) {
  const std::vector<std::string_view> parts = splitText(text, '.');
  if (parts.size() != kAddressBoxCount) {
    return Checked<AddressTexts>::refused(std::string(what) + " " + quoted(text) +
                                          " is not an address of four parts a.b.c.d");
  }
  AddressTexts texts;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const auto octet = checkInteger(parts[i],
                                    std::string(what) + " " + quoted(text) + " part " +
                                        std::to_string(i + 1),
                                    0, kOctetMax);
    if (!octet) return Checked<AddressTexts>::refused(octet.error);
    texts[i] = std::string(parts[i]);
  }
  return Checked<AddressTexts>::ok(texts);
}

Checked<std::string> checkUserText(std::string_view utf8, std::string_view what) {
  std::u32string characters;
  if (!decodeUtf8(utf8, characters)) {
    return Checked<std::string>::refused(std::string(what) + " " + quoted(utf8) +
                                         " is not UTF-8 text");
  }
  if (characters.size() > wire::kUserTextLength) {
    return Checked<std::string>::refused(
        std::string(what) + " " + quoted(utf8) + " has " + std::to_string(characters.size()) +
        " characters; the field holds 15 and the window would cut the rest");
  }
  std::string latin1;
  for (const char32_t c : characters) {
    if (c < kFirstPrintable || (c >= kFirstControl8 && c <= kLastControl8)) {
      return Checked<std::string>::refused(std::string(what) + " " + quoted(utf8) +
                                           " has a control character; the board would store it "
                                           "as it is and show it nowhere");
    }
    if (c > kLastLatin1) {
      return Checked<std::string>::refused(std::string(what) + " " + quoted(utf8) +
                                           " has a character outside Latin-1; the window "
                                           "would send '?' for it");
    }
    latin1.push_back(static_cast<char>(c));
  }
  return Checked<std::string>::ok(latin1);
}

Checked<std::string> checkName(std::string_view utf8, std::string_view what, std::size_t maxCharacters) {
  std::u32string characters;
  if (!decodeUtf8(utf8, characters)) {
    return Checked<std::string>::refused(std::string(what) + " " + quoted(utf8) + " is not UTF-8 text");
  }
  if (characters.empty() || characters.size() > maxCharacters) {
    return Checked<std::string>::refused(std::string(what) + " " + quoted(utf8) + " must have 1 to " +
                                         std::to_string(maxCharacters) + " characters");
  }
  for (const char32_t c : characters) {
    if (c < kFirstPrintable || (c >= kFirstControl8 && c <= kLastControl8)) {
      return Checked<std::string>::refused(std::string(what) + " " + quoted(utf8) +
                                           " has a control character");
    }
  }
  return Checked<std::string>::ok(std::string(utf8));
}

Checked<TestRowEntries> checkTestRow(std::string_view text, int row) {
  const std::string name = "row " + std::to_string(row);
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) {
    return Checked<TestRowEntries>::refused(name + " " + quoted(text) +
                                            " is not OPCODE:DATA-LIST");
  }
  const std::string_view opcode = text.substr(0, colon);
  const std::string_view data = text.substr(colon + 1);
  if (auto e = checkRowNumber(opcode, CleanOpcodeText(opcode), name + " opcode")) {
    return Checked<TestRowEntries>::refused(*e);
  }
  if (data.empty()) {
    return Checked<TestRowEntries>::refused(name + " has no data; the window would send one "
                                            "byte 0");
  }
  const std::vector<std::string_view> items = splitText(data, ',');
  for (std::size_t i = 0; i < items.size(); ++i) {
    // Cleaning keeps commas, so an item's cleaned text is the cleaning of the item alone;
    // an empty item would come out as "0" there, which checkRowNumber refuses first.
    const std::string what = name + " data item " + std::to_string(i + 1);
    const std::string cleaned = items[i].empty() ? std::string() : CleanDataText(items[i]);
    if (auto e = checkRowNumber(items[i], cleaned, what)) {
      return Checked<TestRowEntries>::refused(*e);
    }
  }
  return Checked<TestRowEntries>::ok({true, std::string(opcode), std::string(data)});
}

Checked<DeviceTarget> checkDevice(std::string_view text, int defaultPort) {
  const std::size_t colon = text.find(':');
  const std::string address(text.substr(0, colon));
  std::uint32_t ignored = 0;
  if (!resolveIPv4(address, ignored)) {
    return Checked<DeviceTarget>::refused("device " + quoted(text) +
                                          " is not a dotted IPv4 address (a.b.c.d[:PORT])");
  }
  int port = defaultPort;
  if (colon != std::string_view::npos) {
    const auto checked = checkInteger(text.substr(colon + 1), "device port", kPortMin, kPortMax);
    if (!checked) return Checked<DeviceTarget>::refused(checked.error);
    port = *checked.value;
  }
  return Checked<DeviceTarget>::ok({address, port});
}

}  // namespace vexil::ctl
