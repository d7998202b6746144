// The Instruction Test page without the network: cleaning typed text, building the
// message row by row, the two dumps, the answer lines, the key rule, and the messages
// that must never go out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "instructions/InstructionTest.h"
#include "tests/instructions/ExpectedBytes.h"

using namespace vexil;
using namespace vexil::testing;
using Lines = std::vector<std::string>;

namespace {

// ---- Cleaning ----------------------------------------------------------------------------

struct CleanCase {
  const char* text;
  const char* opcode;  // CleanOpcodeText
  const char* data;    // CleanDataText
};

class Cleaning : public ::testing::TestWithParam<CleanCase> {};

TEST_P(Cleaning, OpcodeAndDataRules) {
  const CleanCase& c = GetParam();
  EXPECT_EQ(CleanOpcodeText(c.text), c.opcode) << '"' << c.text << '"';
  EXPECT_EQ(CleanDataText(c.text), c.data) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Characters, Cleaning,
    ::testing::Values(
        CleanCase{"", "0", "0"}, CleanCase{"$0123456789", "$0123456789", "$0123456789"},
        CleanCase{"ABCDEF", "ABCDEF", "ABCDEF"}, CleanCase{"abcdef", "ABCDEF", "ABCDEF"},
        CleanCase{",", "0", ","}, CleanCase{"1,2,", "12", "1,2,"},
        CleanCase{" 1 , 2 ", "12", "1,2"}, CleanCase{"+-", "0", "0"},
        CleanCase{"-5", "5", "5"}, CleanCase{"0x10", "010", "010"},
        CleanCase{"0X1f", "01F", "01F"}, CleanCase{"zz", "0", "0"},
        CleanCase{"gGxXzZ", "0", "0"}, CleanCase{"ff", "FF", "FF"},
        CleanCase{"$a,$B; c", "$A$BC", "$A,$BC"}, CleanCase{"\xE9\t1", "1", "1"}));

// ---- Building the message ----------------------------------------------------------------

TestEntries oneRow(std::size_t row, std::string opcode, std::string data) {
  TestEntries e;
  e.userText = "Quenthaven Bt.";
  e.rows[row] = {true, std::move(opcode), std::move(data)};
  return e;
}

const Bytes kDesignHeader = header("Quenthaven Bt. ");

TEST(BuildTestMessage, WorkedRowRecordAndItsBoxes) {
  const TestMessage m = BuildTestMessage(oneRow(0, "$00", "$00,$56,$78"));
  const Bytes record{0x00, 0x00, 0x03, 0x00, 0x56, 0x78};
  EXPECT_EQ(m.header, kDesignHeader);
  EXPECT_EQ(m.records[0], record);
  EXPECT_EQ(m.message, join({kDesignHeader, record}));
  ASSERT_TRUE(m.rows[0].has_value());
  EXPECT_EQ(m.rows[0]->opcode, "$00");
  EXPECT_EQ(m.rows[0]->data, "$00,$56,$78");
  EXPECT_EQ(m.rows[0]->length, "3");
  EXPECT_TRUE(m.problems.empty());
}

struct RowCase {
  const char* opcode;
  const char* data;
  std::uint8_t opcodeByte;
  Bytes dataBytes;
  const char* cleanedOpcode;
  const char* cleanedData;
};

class RowRecord : public ::testing::TestWithParam<RowCase> {};

TEST_P(RowRecord, OpcodeLengthAndDataBytes) {
  const RowCase& c = GetParam();
  const TestMessage m = BuildTestMessage(oneRow(1, c.opcode, c.data));  // row 2
  const auto n = c.dataBytes.size();
  const Bytes record = join({{c.opcodeByte, static_cast<std::uint8_t>(n >> 8),
                              static_cast<std::uint8_t>(n & 0xFF)},
                             c.dataBytes});
  const std::string why = std::string("opcode \"") + c.opcode + "\", data \"" + c.data + '"';
  EXPECT_EQ(m.records[1], record) << why;
  EXPECT_EQ(m.message, join({kDesignHeader, record})) << why;
  ASSERT_TRUE(m.rows[1].has_value()) << why;
  EXPECT_EQ(m.rows[1]->opcode, c.cleanedOpcode) << why;
  EXPECT_EQ(m.rows[1]->data, c.cleanedData) << why;
  EXPECT_EQ(m.rows[1]->length, std::to_string(n)) << why;
}

INSTANTIATE_TEST_SUITE_P(
    DataLists, RowRecord,
    ::testing::Values(
        RowCase{"$00", "0,5,6,7", 0x00, {0x00, 0x05, 0x06, 0x07}, "$00", "0,5,6,7"},
        RowCase{"1", "1,,2", 0x01, {0x01, 0x00, 0x02}, "1", "1,,2"},
        RowCase{"1", "1,2,", 0x01, {0x01, 0x02}, "1", "1,2,"},
        RowCase{"1", ",", 0x01, {0x00}, "1", ","},
        RowCase{"1", ",,", 0x01, {0x00, 0x00}, "1", ",,"},
        RowCase{"1", "", 0x01, {0x00}, "1", "0"},
        RowCase{"1", "256,$1FF", 0x01, {0x00, 0xFF}, "1", "256,$1FF"},
        RowCase{"1", "0x10", 0x01, {0x0A}, "1", "010"},
        RowCase{"1", "ff", 0x01, {0x00}, "1", "FF"},
        RowCase{"1", "12$4", 0x01, {0x00}, "1", "12$4"},
        RowCase{"1", "-1", 0x01, {0x01}, "1", "1"},  // the sign is cleaned away
        RowCase{"1", "$FFFFFFFF,$100000000", 0x01, {0xFF, 0x00}, "1", "$FFFFFFFF,$100000000"},
        RowCase{"1", "2147483647,2147483648", 0x01, {0xFF, 0x00}, "1",
                "2147483647,2147483648"},
        // Data items take no unsigned decimal text: 4294967295 does not convert.
        RowCase{"1", "4294967295", 0x01, {0x00}, "1", "4294967295"},
        RowCase{"1", " 7 , 8 ", 0x01, {0x07, 0x08}, "1", "7,8"}));

INSTANTIATE_TEST_SUITE_P(
    Opcodes, RowRecord,
    ::testing::Values(RowCase{"zz", "1", 0x00, {0x01}, "0", "1"},
                      RowCase{"", "1", 0x00, {0x01}, "0", "1"},
                      RowCase{"999", "1", 0xE7, {0x01}, "999", "1"},
                      RowCase{"255", "1", 0xFF, {0x01}, "255", "1"},
                      RowCase{"256", "1", 0x00, {0x01}, "256", "1"},
                      RowCase{"$1F", "1", 0x1F, {0x01}, "$1F", "1"},
                      RowCase{"$1f", "1", 0x1F, {0x01}, "$1F", "1"},
                      RowCase{"-5", "1", 0x05, {0x01}, "5", "1"},
                      RowCase{"0x1", "1", 0x01, {0x01}, "01", "1"},
                      RowCase{"1,2", "1", 0x0C, {0x01}, "12", "1"},
                      RowCase{"ab", "1", 0x00, {0x01}, "AB", "1"},
                      RowCase{"$", "1", 0x00, {0x01}, "$", "1"}));

TEST(BuildTestMessage, LengthCountsItemsHighByteFirst) {
  std::string data = "1";
  for (int i = 1; i < 300; ++i) data += ",1";
  const TestMessage m = BuildTestMessage(oneRow(4, "$30", data));
  ASSERT_EQ(m.records[4].size(), 303u);
  EXPECT_EQ(m.records[4][0], 0x30);
  EXPECT_EQ(m.records[4][1], 0x01);
  EXPECT_EQ(m.records[4][2], 0x2C);
  EXPECT_EQ(m.rows[4]->length, "300");
}

TEST(BuildTestMessage, OnlyTickedRowsInRowOrder) {
  TestEntries e;
  e.userText = "abc";
  e.rows[0] = {false, "$11", "1,2"};
  e.rows[1] = {true, "$22", "3"};
  e.rows[2] = {false, "zz", "q"};
  e.rows[3] = {true, "$44", "4,5"};
  e.rows[4] = {false, "", ""};
  const TestMessage m = BuildTestMessage(e);
  const Bytes second{0x22, 0x00, 0x01, 0x03};
  const Bytes fourth{0x44, 0x00, 0x02, 0x04, 0x05};
  EXPECT_EQ(m.message, join({header("abc            "), second, fourth}));
  for (std::size_t row : {0u, 2u, 4u}) {
    EXPECT_FALSE(m.rows[row].has_value()) << row;  // unticked boxes are left as typed
    EXPECT_TRUE(m.records[row].empty()) << row;
  }
  EXPECT_EQ(m.records[1], second);
  EXPECT_EQ(m.records[3], fourth);
}

TEST(BuildTestMessage, NoRowTickedIsTheHeaderAlone) {
  TestEntries e;
  e.userText = "Quenthaven Bt.";
  e.rows[0] = {false, "$03", "0"};
  const TestMessage m = BuildTestMessage(e);
  EXPECT_EQ(m.message, kDesignHeader);
  EXPECT_EQ(m.message.size(), 22u);
  EXPECT_EQ(m.userText, "Quenthaven Bt.");
}

TEST(BuildTestMessage, LongUserTextIsCutInTheBoxAndTheHeader) {
  TestEntries e;
  e.userText = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const TestMessage m = BuildTestMessage(e);
  EXPECT_EQ(m.userText, "ABCDEFGHIJKLMNO");
  EXPECT_EQ(m.header, header("ABCDEFGHIJKLMNO"));
  EXPECT_EQ(m.message.size(), 22u);

  e.userText = "";
  EXPECT_EQ(BuildTestMessage(e).header, header("               "));
}

// ---- Dumps -------------------------------------------------------------------------------

TEST(DumpLine, EveryByteIsDollarTwoDigitsAndABlank) {
  const Bytes b{0x00, 0x0A, 0xAB, 0xFF};
  EXPECT_EQ(dumpLine("P: ", b), "P: $00 $0A $AB $FF ");
  EXPECT_EQ(dumpLine("", Bytes{0x5C}), "$5C ");
}

TEST(Dumps, ViewAndSendPrefixes) {
  TestEntries e = oneRow(0, "$00", "$00,$56,$78");
  e.rows[2] = {true, "$03", "0"};
  const TestMessage m = BuildTestMessage(e);
  // "Quenthaven Bt. " is 51 75 65 6E 74 68 61 76 65 6E 20 42 74 2E 20.
  const std::string first = "$50 $61 $6C $76 $6F $78 $51 $75 $65 $6E $74 ";
  const std::string second = "$68 $61 $76 $65 $6E $20 $42 $74 $2E $20 $01 ";
  EXPECT_EQ(dumpLines(m, DumpStyle::View),
            (Lines{"Header: " + first, "        " + second, "IT1:    $00 $00 $03 $00 $56 $78 ",
                   "IT3:    $03 $00 $01 $00 "}));
  EXPECT_EQ(dumpLines(m, DumpStyle::Send),
            (Lines{" Header: " + first, "         " + second,
                   " IT1:    $00 $00 $03 $00 $56 $78 ", " IT3:    $03 $00 $01 $00 "}));
}

TEST(Dumps, NoRowTickedGivesTheTwoHeaderLines) {
  TestEntries e;
  e.userText = "x";
  const TestMessage m = BuildTestMessage(e);
  const Lines lines = dumpLines(m, DumpStyle::View);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("Header: $50 $61 $6C $76 $6F $78 $78 $20 ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], "        $20 $20 $20 $20 $20 $20 $20 $20 $20 $20 $01 ");
}

// ---- The answer --------------------------------------------------------------------------

TEST(AnswerLines, HeaderOnlyAnswersShowOnlyTheirSize) {
  for (std::size_t n : {0u, 1u, 21u, 22u}) {
    const Bytes answer(n, 0xF0);
    EXPECT_EQ(answerLines(answer), Lines{" Answer received (" + std::to_string(n) + " bytes)."});
  }
}

TEST(AnswerLines, BodyFromOffsetTwentyTwo) {
  Bytes answer = header("device text    ");
  answer.push_back(0xF0);
  EXPECT_EQ(answerLines(answer), (Lines{" Answer received (23 bytes).", " Palvox body: $F0"}));

  Bytes shortAck = header("device text    ");
  for (std::uint8_t b = 0; b < 19; ++b) shortAck.push_back(static_cast<std::uint8_t>(b * 13));
  ASSERT_EQ(shortAck.size(), 41u);
  const Lines lines = answerLines(shortAck);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], " Answer received (41 bytes).");
  EXPECT_EQ(lines[1],
            " Palvox body: $00 $0D $1A $27 $34 $41 $4E $5B $68 $75 $82 $8F $9C $A9 $B6 $C3 $D0 "
            "$DD $EA");
}

// ---- Keys --------------------------------------------------------------------------------

TEST(KeyRule, EnterCleansACharacterMarksOtherKeysDoNothing) {
  const KeyEffect enterOpcode = opcodeKey(TestKey::Enter, " 1a,x");
  EXPECT_EQ(enterOpcode.text, "1A");
  EXPECT_EQ(enterOpcode.colour, PageColour::EditBase);
  const KeyEffect enterData = dataKey(TestKey::Enter, " 1a,x");
  EXPECT_EQ(enterData.text, "1A,");
  EXPECT_EQ(enterData.colour, PageColour::EditBase);
  EXPECT_EQ(dataKey(TestKey::Enter, "").text, "0");
  EXPECT_EQ(opcodeKey(TestKey::Enter, "").text, "0");

  for (auto key : {opcodeKey, dataKey}) {
    const KeyEffect typed = key(TestKey::Character, " 1a,x");
    EXPECT_FALSE(typed.text.has_value());
    EXPECT_EQ(typed.colour, PageColour::Typed);
    const KeyEffect other = key(TestKey::Other, " 1a,x");
    EXPECT_FALSE(other.text.has_value());
    EXPECT_FALSE(other.colour.has_value());
  }
}

// ---- Messages that cannot go out as one datagram -----------------------------------------

// Whether `line` holds `number` as a number of its own, not as part of a longer one.
bool namesNumber(const std::string& line, const std::string& number) {
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  for (std::size_t at = line.find(number); at != std::string::npos;
       at = line.find(number, at + 1)) {
    const std::size_t end = at + number.size();
    if ((at == 0 || !isDigit(line[at - 1])) && (end == line.size() || !isDigit(line[end])))
      return true;
  }
  return false;
}

std::string items(std::size_t count) {
  std::string s = "1";
  s.reserve(count * 2);
  for (std::size_t i = 1; i < count; ++i) s += ",1";
  return s;
}

TEST(TooLong, LargestMessageThatFitsADatagramHasNoProblem) {
  const TestMessage m = BuildTestMessage(oneRow(0, "1", items(65507 - 22 - 3)));
  EXPECT_EQ(m.message.size(), 65507u);
  EXPECT_TRUE(m.problems.empty());
}

TEST(TooLong, OneByteMoreIsAProblemNamingTheSize) {
  const TestMessage m = BuildTestMessage(oneRow(0, "1", items(65508 - 22 - 3)));
  ASSERT_FALSE(m.problems.empty());
  bool named = false;
  for (const std::string& p : m.problems) named |= namesNumber(p, "65508");
  EXPECT_TRUE(named) << "no problem line gives the size";
}

TEST(TooLong, ManyRowsTogether) {
  TestEntries e;
  e.userText = "x";
  for (auto& row : e.rows) row = {true, "1", items(13100)};  // 22 + 5 * 13103 = 65537
  EXPECT_FALSE(BuildTestMessage(e).problems.empty());
}

TEST(TooLong, RowBeyondTheLengthFieldIsAProblemNamingTheRow) {
  const TestMessage m = BuildTestMessage(oneRow(3, "1", items(65536)));
  ASSERT_FALSE(m.problems.empty());
  bool named = false;
  for (const std::string& p : m.problems) named |= namesNumber(p, "4");
  EXPECT_TRUE(named) << "no problem line names row 4";
}

}  // namespace
