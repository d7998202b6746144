// The "Instruction Test" page without widgets: cleaning the typed opcode and data texts,
// building the message from the five rows, its two dumps, the send and the answer shown
// in MemoIns, and the colour rule of the opcode and data boxes.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "instructions/PageColour.h"
#include "messaging/Frames.h"
#include "messaging/PageUpdate.h"
#include "messaging/TransactionEngine.h"

namespace vexil {

inline constexpr std::size_t kTestRowCount = 5;
/// The most a UDP datagram over IPv4 can carry; a longer message is never sent.
inline constexpr std::size_t kMaxDatagramPayload = 65507;

/// One instruction row as the page holds it.
struct TestRowEntries {
  bool ticked = false;  // CheckBoxIn
  std::string opcode;   // EditOCn
  std::string data;     // EditDatan
};

/// The page's controls as plain 8-bit texts.
struct TestEntries {
  std::array<TestRowEntries, kTestRowCount> rows;
  std::string userText;  // Edit1
};

/// The boxes of a ticked row after a build.
struct TestRowTexts {
  std::string opcode;  // cleaned
  std::string data;    // cleaned
  std::string length;  // the number of data bytes, in decimal
};

/// One build of the message from the page's controls.
struct TestMessage {
  std::string userText;      // what Edit1 shows: cut to 15 characters when longer
  bool userTextCut = false;  // Edit1 was longer than 15 characters and is rewritten
  std::array<std::optional<TestRowTexts>, kTestRowCount> rows;  // set for ticked rows
  Frame header;                                                 // 22 bytes
  std::array<Frame, kTestRowCount> records;                     // empty for rows not ticked
  Frame message;                                                // header and records in row order
  /// Why the message cannot go out as one datagram that holds what the page shows: a
  /// row with more data bytes than the 16-bit length can count, or a message longer than
  /// a datagram. Empty when it can be sent.
  std::vector<std::string> problems;
};

/// Keeps "$", digits and A-F (a-f turned upper case); drops everything else, commas
/// included. An empty result becomes "0".
std::string CleanOpcodeText(std::string_view text);
/// As CleanOpcodeText, but commas are kept.
std::string CleanDataText(std::string_view text);

/// Builds the message: the user text brought to 15 bytes, then for each ticked row its
/// cleaned opcode (low 8 bits, 0 when it does not convert), and its data list (one byte
/// per comma-separated item, low 8 bits, 0 for an item that does not convert; a final
/// empty item adds nothing).
TestMessage BuildTestMessage(const TestEntries& entries);

/// A dump line: `prefix`, then "$" and two upper-case hex digits and a blank per byte.
std::string dumpLine(std::string_view prefix, std::span<const std::uint8_t> bytes);

/// Which button dumps: "View message" or "Send" (whose lines start with a blank).
enum class DumpStyle { View, Send };
/// The two header lines and a line per non-empty row record.
std::vector<std::string> dumpLines(const TestMessage& message, DumpStyle style);

/// The lines of a received answer of `answer.length()` bytes: its size, and from 23
/// bytes on its body from offset 22.
std::vector<std::string> answerLines(std::span<const std::uint8_t> answer);

/// A key typed into an opcode or data box.
enum class TestKey {
  Enter,      // Return or Enter: the text is cleaned, the box takes the edit colour
  Character,  // any character typed, Backspace included: the box takes RGB C7CDB4
  Other,      // keys that type nothing (arrows, Shift): nothing changes
};
/// What a key does to a box: its new text, if it changes, and its new colour, if any.
struct KeyEffect {
  std::optional<std::string> text;
  std::optional<PageColour> colour;
};
KeyEffect opcodeKey(TestKey key, std::string_view text);
KeyEffect dataKey(TestKey key, std::string_view text);

/// The page's buttons on the engine: registers the outcome routines of the two
/// instruction-test states and writes every memo step through `show`. Interface thread
/// only; the engine must outlive this object.
class InstructionTest {
 public:
  using Show = std::function<void(const PageUpdate&)>;
  using Address = std::function<std::string()>;

  InstructionTest(TransactionEngine& engine, Address address, Show show);
  ~InstructionTest();
  InstructionTest(const InstructionTest&) = delete;
  InstructionTest& operator=(const InstructionTest&) = delete;

  /// "View message": builds, shows the dump; sends nothing. The caller writes the
  /// returned texts back into the boxes.
  TestMessage view(const TestEntries& entries);
  /// "Send": builds, shows the dump and sends the message, unless it cannot be sent as
  /// shown; then MemoIns says why and no transaction starts.
  TestMessage send(const TestEntries& entries);

 private:
  TransactionEngine& engine_;
  Address address_;
  Show show_;
};

}  // namespace vexil
