// The Instruction Test page's text cleaning and message building on any entries. Input:
// the user text, then for each of the five rows a tick part (ticked when it is not
// empty and its first byte is odd), the opcode text and the data text, all separated by
// NUL bytes. Rules held:
//   - a cleaned text holds only "$", 0-9, A-F (and "," for data), is never empty, is
//     what a plain filter of the typed text gives, and cleans to itself;
//   - the message is the 22-byte header ("Palvox", the user text cut or blank-filled to
//     15 bytes, 0x01) followed by the records of the ticked rows in row order;
//   - each record is the opcode, a length field equal to its number of data bytes (at
//     least one), and one byte per comma-separated item of the cleaned data, each the
//     low 8 bits of the item by the integer-text rule (0 when it does not convert);
//   - the dump shows two header lines and one line per record, four characters a byte.
#include <string>

#include "instructions/InstructionTest.h"
#include "messaging/IntegerText.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace vexil;
using vexil::fuzz::require;

namespace {

constexpr std::size_t kHeaderLength = 22;
constexpr std::size_t kUserTextLength = 15;
constexpr std::size_t kParts = 1 + 3 * kTestRowCount;
constexpr std::size_t kLargestInput = 12000;

std::string filtered(std::string_view text, bool keepCommas) {
  std::string out;
  for (char c : text) {
    if (c >= 'a' && c <= 'f')
      out += static_cast<char>(c - 'a' + 'A');
    else if (c == '$' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))
      out += c;
    else if (keepCommas && c == ',')
      out += c;
  }
  return out.empty() ? "0" : out;
}

void checkCleaned(std::string_view typed, const std::string& cleaned, bool data) {
  require(!cleaned.empty(), "a cleaned text is never empty");
  const std::string_view allowed = data ? "$0123456789ABCDEF," : "$0123456789ABCDEF";
  require(cleaned.find_first_not_of(allowed) == std::string::npos,
          "a cleaned text holds only $, 0-9, A-F (and commas for data)");
  require(cleaned == filtered(typed, data), "cleaning is the plain filter");
  require((data ? CleanDataText(cleaned) : CleanOpcodeText(cleaned)) == cleaned,
          "a cleaned text cleans to itself");
}

std::uint8_t itemByte(std::string_view item) {
  const auto value = parseIntegerText(item);
  return value ? static_cast<std::uint8_t>(*value & 0xFF) : 0;
}

// One byte per item; an empty item after the last comma adds nothing.
std::vector<std::uint8_t> itemBytes(std::string_view list) {
  std::vector<std::string_view> items;
  std::size_t start = 0;
  for (;;) {
    const auto comma = list.find(',', start);
    items.push_back(list.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (items.size() > 1 && items.back().empty()) items.pop_back();
  std::vector<std::uint8_t> bytes;
  for (std::string_view item : items) bytes.push_back(itemByte(item));
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Far below 65535 items a row and a datagram's 65507 bytes, whose refusal is another
  // rule.
  if (size > kLargestInput) return -1;
  const std::vector<std::string> parts =
      vexil::fuzz::splitParts(vexil::fuzz::asText(data, size), '\0', kParts);
  TestEntries entries;
  entries.userText = parts[0];
  for (std::size_t row = 0; row < kTestRowCount; ++row) {
    const std::string& tick = parts[1 + 3 * row];
    entries.rows[row] = {!tick.empty() && (tick[0] & 1) != 0, parts[2 + 3 * row],
                         parts[3 + 3 * row]};
    checkCleaned(entries.rows[row].opcode, CleanOpcodeText(entries.rows[row].opcode), false);
    checkCleaned(entries.rows[row].data, CleanDataText(entries.rows[row].data), true);
  }

  const TestMessage m = BuildTestMessage(entries);
  require(m.userText == entries.userText.substr(0, kUserTextLength), "Edit1 shows the cut text");
  Frame header{'P', 'a', 'l', 'v', 'o', 'x'};
  std::string text = entries.userText.substr(0, kUserTextLength);
  text.resize(kUserTextLength, ' ');
  header.insert(header.end(), text.begin(), text.end());
  header.push_back(0x01);
  require(m.header == header, "the header is Palvox, the 15-byte user text and 0x01");

  Frame expected = header;
  std::size_t ticked = 0;
  for (std::size_t row = 0; row < kTestRowCount; ++row) {
    const TestRowEntries& entry = entries.rows[row];
    require(m.rows[row].has_value() == entry.ticked, "a row has texts exactly when ticked");
    if (!entry.ticked) {
      require(m.records[row].empty(), "a row not ticked has no record");
      continue;
    }
    ++ticked;
    const TestRowTexts& texts = *m.rows[row];
    require(texts.opcode == CleanOpcodeText(entry.opcode), "the opcode box shows its cleaned text");
    require(texts.data == CleanDataText(entry.data), "the data box shows its cleaned text");
    const std::vector<std::uint8_t> bytes = itemBytes(texts.data);
    require(!bytes.empty(), "a ticked row carries at least one data byte");
    require(texts.length == std::to_string(bytes.size()), "the length box shows the data count");

    const Frame& record = m.records[row];
    require(record.size() == 3 + bytes.size(), "a record is opcode, length and data");
    require(record[0] == itemByte(texts.opcode), "the opcode is the low 8 bits of its text");
    require(((record[1] << 8) | record[2]) == static_cast<int>(bytes.size()),
            "the length field equals the data count");
    require(Frame(record.begin() + 3, record.end()) == bytes, "the data bytes are the items");
    expected.insert(expected.end(), record.begin(), record.end());
  }
  require(m.problems.empty(), "a message of this size can be sent");
  require(m.message == expected, "the message is the header and the records in row order");
  require(m.message.size() >= kHeaderLength, "the message holds at least the header");

  const std::vector<std::string> lines = dumpLines(m, DumpStyle::View);
  require(lines.size() == 2 + ticked, "the dump has two header lines and one per record");
  require(lines[0] == dumpLine("Header: ", std::span(header).first(11)),
          "the dump opens with the header's first 11 bytes");
  for (std::size_t i = 2, row = 0; row < kTestRowCount; ++row) {
    if (!entries.rows[row].ticked) continue;
    require(lines[i++].size() == 8 + 4 * m.records[row].size(), "a record line shows every byte");
  }
  return 0;
}
