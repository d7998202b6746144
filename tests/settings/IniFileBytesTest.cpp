// A write changes the line of its key, or adds lines, and keeps every other byte of
// the file: odd line endings, a missing last line break, a byte-order mark.
#include <string>

#include "settings/IniFile.h"
#include "tests/settings/SettingsTestSupport.h"

namespace vexil::settings::test {
namespace {

using namespace std::string_literals;

struct BytesCase {
  const char* name;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;

  friend void PrintTo(const BytesCase& c, std::ostream* os) { *os << c.name; }
};

class IniFileBytesTest : public SettingsDirTest, public ::testing::WithParamInterface<BytesCase> {};

TEST_P(IniFileBytesTest, WriteChangesOnlyItsLineOrAddsLines) {
  const BytesCase& c = GetParam();
  writeBytes(path_, c.before);
  IniFile file(path_);
  file.writeString(c.section, c.key, c.value);
  EXPECT_EQ(readBytes(path_), c.after);
  EXPECT_EQ(file.readString(c.section, c.key, "-"), c.value);
  EXPECT_EQ(IniFile(path_).readString(c.section, c.key, "-"), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Files, IniFileBytesTest,
    ::testing::Values(
        // One CR of a CR CR LF ending is part of the line's text; the file's own LF
        // style must not be forced onto such a line.
        BytesCase{"CrCrLfLineInLfFileKept", "[Main]\nIPBase=10.0.0.\r\r\nIPText=x\n", "General",
                  "Serial", "1", "[Main]\nIPBase=10.0.0.\r\r\nIPText=x\n[General]\nSerial=1\n"},
        BytesCase{"BrokenHeaderStaysBroken",
                  "; LF file\n[Settings\r\r\n[Settings]\nMyPort=4000\n", "Main", "IPBase", "x",
                  "; LF file\n[Settings\r\r\n[Settings]\nMyPort=4000\n[Main]\nIPBase=x\n"},
        BytesCase{"LfLinesInCrlfFileKeptNewLineCrlf", "[A]\r\nK=1\nL=2\n", "A", "M", "3",
                  "[A]\r\nK=1\nL=2\nM=3\r\n"},
        BytesCase{"ChangedLineKeepsItsOwnEnding", "[A]\nK=1\r\nL=2\n", "A", "K", "9",
                  "[A]\nK=9\r\nL=2\n"},
        BytesCase{"CrCrLfKeyLineLosesTheCrOfItsValue", "[A]\nK=1\r\r\nL=2\n", "A", "K", "9",
                  "[A]\nK=9\r\nL=2\n"},
        BytesCase{"LastLineWithoutBreakChanged", "[A]\r\nK=1", "A", "K", "22", "[A]\r\nK=22"},
        BytesCase{"LastLineWithoutBreakGetsOneBeforeANewKey", "[A]\nK=1", "A", "L", "2",
                  "[A]\nK=1\nL=2\n"},
        BytesCase{"LastLineEndingInCrGetsOnlyTheLf", "[A]\r\nK=1\r", "B", "L", "2",
                  "[A]\r\nK=1\r\n[B]\r\nL=2\r\n"},
        BytesCase{"NewKeyGoesAfterTheLastKeyNotTheTrailingLines",
                  "[A]\n K = 1 \t\n\n; note\r\n[B]\nX=1\n", "a", "L", "2",
                  "[A]\n K = 1 \t\nL=2\n\n; note\r\n[B]\nX=1\n"},
        BytesCase{"OnlyTheFirstSectionAndKeyOfANameChange",
                  "[A]\nK=1\nk=2\n[B]\n[a]\nK=3\n", "A", "K", "4", "[A]\nK=4\nk=2\n[B]\n[a]\nK=3\n"},
        BytesCase{"MarkAndBinaryBytesKept",
                  "\xEF\xBB\xBF[A]\nK=\x01\xFF\nJunk\0line\n"s, "A", "K", "v",
                  "\xEF\xBB\xBF[A]\nK=v\nJunk\0line\n"s},
        BytesCase{"MarkAloneThenNewSection", "\xEF\xBB\xBF", "A", "K", "1",
                  "\xEF\xBB\xBF[A]\r\nK=1\r\n"},
        BytesCase{"EmptyValueFilled", "[A]\n\nK=\n", "A", "K", "1", "[A]\n\nK=1\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsDirTest, BrokenHeaderDoesNotHideTheRealSectionAfterAWrite) {
  writeBytes(path_, "; LF file\n[Settings\r\r\n[Settings]\nMyPort=4000\n");
  IniFile(path_).writeString("Main", "IPBase", "10.0.0.");
  EXPECT_EQ(IniFile(path_).readInteger("Settings", "MyPort", 0), 4000);
}

TEST_F(SettingsDirTest, ManyWritesKeepTheUntouchedLinesOfAMixedFile) {
  const std::string foreign = "[Foreign]\r\r\nA=1\r\r\n\n  \t\r\n# c\r\r\n";
  writeBytes(path_, "[Main]\nIPExt=5\r\n" + foreign);
  IniFile file(path_);
  for (std::int32_t i = 0; i < 20; ++i) {
    file.writeInteger("Main", "IPExt", i);
    file.writeString("Main", "IPBase", std::to_string(i) + ".");
  }
  EXPECT_EQ(readBytes(path_), "[Main]\nIPExt=19\r\nIPBase=19.\n" + foreign);
  EXPECT_EQ(IniFile(path_).readString("Foreign", "A", "-"), "1\r");
}

}  // namespace
}  // namespace vexil::settings::test
