#include "instructions/InstructionTest.h"

#include "instructions/EntryRules.h"
#include "messaging/IntegerText.h"
#include "messaging/WireLayout.h"

namespace vexil {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kHexMark = '$';
constexpr char kItemSeparator = ',';
constexpr char kEmptyCleanText[] = "0";
constexpr std::size_t kHeaderLineBytes = 11;  // the header is dumped as two lines of 11

// Memo lines.
constexpr char kViewTitle[] = "Step 1. - Message bytes:";
constexpr char kSendTitle[] = "Step 1. - Processing Message";
constexpr char kSendingTitle[] = "Step 2. - Sending Message";
constexpr char kWaitingTitle[] = "Step 3. - Waiting for answer";
constexpr char kSpaceLine[] = " ";
constexpr char kSentLine[] = " Message sent sucessfuly.";
constexpr char kDestinationIpLine[] = " Destination IP: ";
constexpr char kDestinationPortLine[] = " Destination port: ";
constexpr char kSendFailedLine[] = "Communication Error !";
constexpr char kNotSentLine[] = "Message cannot be sent.";
constexpr char kNoAnswerLine[] = " No answer received (in 1s).";

std::string cleanText(std::string_view text, bool keepCommas) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == kHexMark || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) {
      out.push_back(c);
    } else if (c >= 'a' && c <= 'f') {
      out.push_back(static_cast<char>(c - 'a' + 'A'));
    } else if (c == kItemSeparator && keepCommas) {
      out.push_back(c);
    }
  }
  return out.empty() ? std::string(kEmptyCleanText) : out;
}

std::uint8_t itemByte(std::string_view item) {
  const auto value = parseIntegerText(item);
  return value ? lowByte(*value) : 0x00;
}

// The data bytes of a cleaned data list: one per comma-separated item; the empty item
// after a final comma adds nothing.
std::vector<std::uint8_t> dataBytes(std::string_view list) {
  std::vector<std::uint8_t> data;
  std::size_t itemStart = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] == kItemSeparator) {
      data.push_back(itemByte(list.substr(itemStart, i - itemStart)));
      itemStart = i + 1;
    }
  }
  if (itemStart < list.size()) data.push_back(itemByte(list.substr(itemStart)));
  return data;
}

std::string rowPrefix(std::size_t row, DumpStyle style) {
  const std::string prefix = "IT" + std::to_string(row + 1) + ":    ";
  return style == DumpStyle::Send ? " " + prefix : prefix;
}

KeyEffect keyEffect(TestKey key, std::string_view text, bool keepCommas) {
  switch (key) {
    case TestKey::Enter:
      return {cleanText(text, keepCommas), PageColour::EditBase};
    case TestKey::Character:
      return {std::nullopt, PageColour::Typed};
    case TestKey::Other:
      break;
  }
  return {};
}

}  // namespace

std::string CleanOpcodeText(std::string_view text) { return cleanText(text, false); }

std::string CleanDataText(std::string_view text) { return cleanText(text, true); }

TestMessage BuildTestMessage(const TestEntries& entries) {
  TestMessage m;
  m.userText = cutUserText(entries.userText);
  m.userTextCut = entries.userText.size() > wire::kUserTextLength;
  m.header = BuildHeader(userTextField(entries.userText));
  m.message = m.header;
  for (std::size_t row = 0; row < kTestRowCount; ++row) {
    const TestRowEntries& entry = entries.rows[row];
    if (!entry.ticked) continue;
    TestRowTexts texts{CleanOpcodeText(entry.opcode), CleanDataText(entry.data), {}};
    const auto opcodeValue = parseIntegerText(texts.opcode);
    const std::uint8_t opcode = opcodeValue ? lowByte(*opcodeValue) : 0x00;
    const std::vector<std::uint8_t> data = dataBytes(texts.data);
    texts.length = std::to_string(data.size());
    m.rows[row] = texts;
    if (AppendInstruction(m.records[row], opcode, data) == AppendResult::DataTooLong) {
      m.problems.push_back("Row " + std::to_string(row + 1) + " holds " +
                           std::to_string(data.size()) +
                           " data bytes; an instruction holds at most " +
                           std::to_string(wire::kMaxInstructionData) + ".");
      continue;
    }
    m.message.insert(m.message.end(), m.records[row].begin(), m.records[row].end());
  }
  if (m.problems.empty() && m.message.size() > kMaxDatagramPayload) {
    m.problems.push_back("The message is " + std::to_string(m.message.size()) +
                         " bytes long; one UDP datagram carries at most " +
                         std::to_string(kMaxDatagramPayload) + ".");
  }
  return m;
}

std::string dumpLine(std::string_view prefix, std::span<const std::uint8_t> bytes) {
  std::string line(prefix);
  line.reserve(prefix.size() + 4 * bytes.size());
  for (const std::uint8_t b : bytes) {
    line.push_back(kHexMark);
    line.push_back(kHexDigits[b >> 4]);
    line.push_back(kHexDigits[b & 0x0F]);
    line.push_back(' ');
  }
  return line;
}

std::vector<std::string> dumpLines(const TestMessage& message, DumpStyle style) {
  const bool send = style == DumpStyle::Send;
  const std::span<const std::uint8_t> header(message.header);
  std::vector<std::string> lines{
      dumpLine(send ? " Header: " : "Header: ", header.first(kHeaderLineBytes)),
      dumpLine(send ? std::string(9, ' ') : std::string(8, ' '), header.subspan(kHeaderLineBytes))};
  for (std::size_t row = 0; row < kTestRowCount; ++row) {
    if (!message.records[row].empty()) {
      lines.push_back(dumpLine(rowPrefix(row, style), message.records[row]));
    }
  }
  return lines;
}

std::vector<std::string> answerLines(std::span<const std::uint8_t> answer) {
  std::vector<std::string> lines{" Answer received (" + std::to_string(answer.size()) + " bytes)."};
  if (answer.size() > wire::kInstructionTestBodyOffset) {
    std::string body = " Palvox body:";
    for (const std::uint8_t b : answer.subspan(wire::kInstructionTestBodyOffset)) {
      body += " $";
      body.push_back(kHexDigits[b >> 4]);
      body.push_back(kHexDigits[b & 0x0F]);
    }
    lines.push_back(std::move(body));
  }
  return lines;
}

KeyEffect opcodeKey(TestKey key, std::string_view text) { return keyEffect(key, text, false); }

KeyEffect dataKey(TestKey key, std::string_view text) { return keyEffect(key, text, true); }

InstructionTest::InstructionTest(TransactionEngine& engine, Address address, Show show)
    : engine_(engine), address_(std::move(address)), show_(std::move(show)) {
  engine_.setOutcome(TransactionState::InstructionTestSent, [this](const Answer&) {
    show_({false, {kNoAnswerLine}, std::nullopt});
  });
  engine_.setOutcome(TransactionState::InstructionTestAnswered, [this](const Answer& answer) {
    show_({false, answerLines(answer.bytes()), std::nullopt});
  });
}

InstructionTest::~InstructionTest() {
  engine_.setOutcome(TransactionState::InstructionTestSent, {});
  engine_.setOutcome(TransactionState::InstructionTestAnswered, {});
}

TestMessage InstructionTest::view(const TestEntries& entries) {
  TestMessage message = BuildTestMessage(entries);
  PageUpdate update{true, {kViewTitle}, std::nullopt};
  for (std::string& line : dumpLines(message, DumpStyle::View))
    update.lines.push_back(std::move(line));
  if (!message.problems.empty()) {
    update.lines.emplace_back(kSpaceLine);
    update.lines.insert(update.lines.end(), message.problems.begin(), message.problems.end());
  }
  show_(update);
  return message;
}

TestMessage InstructionTest::send(const TestEntries& entries) {
  TestMessage message = BuildTestMessage(entries);
  PageUpdate update{true, {kSendTitle}, std::nullopt};
  for (std::string& line : dumpLines(message, DumpStyle::Send))
    update.lines.push_back(std::move(line));
  update.lines.emplace_back(kSpaceLine);
  update.lines.emplace_back(kSendingTitle);
  if (!message.problems.empty()) {
    // Never sent wrapped or cut: the page says why and no transaction starts.
    update.lines.emplace_back(kSpaceLine);
    update.lines.insert(update.lines.end(), message.problems.begin(), message.problems.end());
    update.lines.emplace_back(kNotSentLine);
    show_(update);
    return message;
  }
  show_(update);

  const std::string address = address_();
  PageUpdate result;
  if (!engine_.BeginTransaction(TransactionState::InstructionTestSent, message.message, address)) {
    result.lines = {kSpaceLine, kSendFailedLine, kNotSentLine};
  } else {
    result.lines = {kSentLine, kDestinationIpLine + address,
                    kDestinationPortLine + std::to_string(engine_.devicePort()), kSpaceLine,
                    kWaitingTitle};
  }
  show_(result);
  return message;
}

}  // namespace vexil
