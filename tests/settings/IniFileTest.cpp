// The INI layer: reading by name, the integer rule, keeping foreign lines, and
// refusing writes without touching the file.
#include "settings/IniFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "tests/settings/SettingsTestSupport.h"

namespace vexil::settings::test {
namespace {

using IniFileTest = SettingsDirTest;

// ---- Reading ---------------------------------------------------------------------

/// The same file in CRLF and in LF form must read alike.
class IniFileReadTest : public SettingsDirTest, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    SettingsDirTest::SetUp();
    const std::string eol = GetParam();
    const std::vector<std::string> lines = {
        "; saved by hand", "stray=before any section", "[settings]", "SAVEONEXIT=0",
        "[InstructionTest]", "Instruction1=$00,$56,$78", "  Spaced Key = blanks kept ",
        "Empty=", "Equals=a=b=c", "# Hidden=1", "[Main]", "IPExt=0x10", "[Settings]",
        "MyPort=1"};
    std::string text;
    for (const auto& line : lines) text += line + eol;
    writeBytes(path_, text);
  }
};

TEST_P(IniFileReadTest, ValuesAreVerbatimAndNamesIgnoreCase) {
  const IniFile file(path_);
  EXPECT_FALSE(file.readBool("Settings", "SaveOnExit", true));
  EXPECT_EQ(file.readString("instructiontest", "INSTRUCTION1", "-"), "$00,$56,$78");
  EXPECT_EQ(file.readString("InstructionTest", "Spaced Key", "-"), " blanks kept ");
  EXPECT_EQ(file.readString("InstructionTest", "Empty", "-"), "");
  EXPECT_EQ(file.readString("InstructionTest", "Equals", "-"), "a=b=c");
  EXPECT_EQ(file.readInteger("Main", "IPExt", 101), 16);
}

TEST_P(IniFileReadTest, MissingNamesCommentsAndShadowedLinesGiveTheDefault) {
  const IniFile file(path_);
  EXPECT_EQ(file.readString("InstructionTest", "Hidden", "def"), "def");
  EXPECT_EQ(file.readString("InstructionTest", "# Hidden", "def"), "def");
  EXPECT_EQ(file.readString("Main", "stray", "def"), "def");
  EXPECT_EQ(file.readString("Nowhere", "IPExt", "def"), "def");
  EXPECT_EQ(file.readString("Main", "Instruction1", "def"), "def");
  // Only the first section of a name counts.
  EXPECT_EQ(file.readInteger("Settings", "MyPort", 56789), 56789);
}

INSTANTIATE_TEST_SUITE_P(LineEndings, IniFileReadTest, ::testing::Values("\r\n", "\n"),
                         [](const auto& info) { return info.index == 0 ? "Crlf" : "Lf"; });

TEST_F(IniFileTest, MissingFileReadsDefaultsAndIsNotCreated) {
  const IniFile file(path_);
  EXPECT_EQ(file.path(), path_);
  EXPECT_EQ(file.readString("Main", "IPBase", "10.123.13."), "10.123.13.");
  EXPECT_TRUE(file.readBool("Settings", "SaveOnExit", true));
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(IniFileTest, ReadValueIsCutTo2047Characters) {
  for (std::size_t length : {std::size_t{2046}, std::size_t{2047}, std::size_t{2048},
                             std::size_t{5000}}) {
    IniFile file(path_);
    file.writeString("General", "UserText", std::string(length, 'u'));
    EXPECT_EQ(file.readString("General", "UserText", "").size(),
              std::min(length, kMaxReadValueLength));
    EXPECT_EQ(IniFile(path_).readString("General", "UserText", "").size(),
              std::min(length, kMaxReadValueLength));
  }
  EXPECT_NE(readBytes(path_).find(std::string(5000, 'u')), std::string::npos);
}

// ---- The integer rule ------------------------------------------------------------

struct IntegerCase {
  const char* text;
  std::optional<std::int32_t> expected;
};

class IniIntegerTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IniIntegerTest, ParsesOrFails) {
  EXPECT_EQ(parseIniInteger(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniIntegerTest,
    ::testing::Values(
        IntegerCase{"16", 16}, IntegerCase{"+16", 16}, IntegerCase{"-16", -16},
        IntegerCase{"007", 7}, IntegerCase{" \t16 ", 16}, IntegerCase{"0x10", 16},
        IntegerCase{"0X1f", 31}, IntegerCase{" 0x10 ", 16}, IntegerCase{"0xFFFFFFFF", -1},
        IntegerCase{"0x80000000", INT32_MIN}, IntegerCase{"0x0000000010", 16},
        IntegerCase{"2147483647", INT32_MAX}, IntegerCase{"-2147483648", INT32_MIN},
        IntegerCase{"0x", std::nullopt}, IntegerCase{"0X", std::nullopt},
        IntegerCase{"0x100000000", std::nullopt}, IntegerCase{"0x-1", std::nullopt},
        IntegerCase{"0x 1", std::nullopt}, IntegerCase{"0x1g", std::nullopt},
        IntegerCase{"-0x10", std::nullopt}, IntegerCase{"$10", std::nullopt},
        IntegerCase{"x10", std::nullopt}, IntegerCase{"2147483648", std::nullopt},
        IntegerCase{"-2147483649", std::nullopt},
        IntegerCase{"99999999999999999999", std::nullopt}, IntegerCase{"", std::nullopt},
        IntegerCase{" ", std::nullopt}, IntegerCase{"+", std::nullopt},
        IntegerCase{"-", std::nullopt}, IntegerCase{"+-1", std::nullopt},
        IntegerCase{"--1", std::nullopt}, IntegerCase{"1 2", std::nullopt},
        IntegerCase{"12abc", std::nullopt}, IntegerCase{"1.5", std::nullopt},
        IntegerCase{"- 1", std::nullopt}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(IniFileTest, IntegersAndBooleansFallBackToTheirDefault) {
  writeBytes(path_, crlfLines({"[K]", "Hex=0x10", "Prefix=0x", "Junk=abc", "Neg=-5", "Empty=",
                               "One=1", "Zero=0", "Two=2", "Minus=-1", "HexZero=0x0",
                               "Padded= 0 "}));
  const IniFile file(path_);
  EXPECT_EQ(file.readInteger("K", "Hex", 7), 16);
  EXPECT_EQ(file.readInteger("K", "Prefix", 7), 7);
  EXPECT_EQ(file.readInteger("K", "Junk", 7), 7);
  EXPECT_EQ(file.readInteger("K", "Neg", 7), -5);
  EXPECT_EQ(file.readInteger("K", "Empty", 7), 7);
  EXPECT_EQ(file.readInteger("K", "Missing", 7), 7);
  for (bool def : {false, true}) {
    EXPECT_TRUE(file.readBool("K", "One", def));
    EXPECT_FALSE(file.readBool("K", "Zero", def));
    EXPECT_TRUE(file.readBool("K", "Two", def));
    EXPECT_TRUE(file.readBool("K", "Minus", def));
    EXPECT_FALSE(file.readBool("K", "HexZero", def));
    EXPECT_FALSE(file.readBool("K", "Padded", def));
    EXPECT_EQ(file.readBool("K", "Junk", def), def);
    EXPECT_EQ(file.readBool("K", "Missing", def), def);
  }
}

// ---- Writing ---------------------------------------------------------------------

TEST_F(IniFileTest, WritesChangeOnlyTheirLineAndKeepEverythingElse) {
  writeBytes(path_, "\xEF\xBB\xBF; comment\r\n[Other]\r\nUnknown=x\r\n\r\n[MAIN]\r\n"
                    "IPEXT=5\r\n# note\r\n\r\n[Tail]\r\nLast=1");
  IniFile file(path_);
  file.writeInteger("Main", "IPExt", -7);
  file.writeString("Main", "IPBase", "10.0.0.");
  file.writeBool("New", "Flag", true);
  EXPECT_EQ(readBytes(path_),
            "\xEF\xBB\xBF; comment\r\n[Other]\r\nUnknown=x\r\n\r\n[MAIN]\r\nIPEXT=-7\r\n"
            "IPBase=10.0.0.\r\n# note\r\n\r\n[Tail]\r\nLast=1\r\n[New]\r\nFlag=1\r\n");
  EXPECT_EQ(file.readInteger("Main", "IPExt", 0), -7);
  EXPECT_TRUE(file.readBool("New", "Flag", false));
}

TEST_F(IniFileTest, LfFileStaysLfAndNewFileIsCrlf) {
  writeBytes(path_, "[A]\nK=1\n");
  IniFile(path_).writeString("A", "L", "2");
  EXPECT_EQ(readBytes(path_), "[A]\nK=1\nL=2\n");

  const std::string fresh = (dir_ / "fresh.ini").string();
  IniFile(fresh).writeString("A", "K", "1");
  EXPECT_EQ(readBytes(fresh), "[A]\r\nK=1\r\n");
}

TEST_F(IniFileTest, LineBreaksInAValueBecomeBlanks) {
  IniFile file(path_);
  file.writeBool("Settings", "SaveOnExit", true);
  file.writeString("Settings", "Text", "a\r\nb\nc\r[Settings]\nSaveOnExit=0");
  const std::string expected = "a  b c [Settings] SaveOnExit=0";
  EXPECT_EQ(readBytes(path_), crlfLines({"[Settings]", "SaveOnExit=1", "Text=" + expected}));
  EXPECT_EQ(file.readString("Settings", "Text", ""), expected);
  EXPECT_TRUE(IniFile(path_).readBool("Settings", "SaveOnExit", false));
}

TEST_F(IniFileTest, NamesThatWouldNotReadBackAreRefused) {
  writeBytes(path_, "[S]\r\nK=1\r\n");
  const std::pair<std::string, std::string> names[] = {
      {"", "K"},       {"S]x", "K"},    {"S\nK", "K"},   {" S", "K"},    {"S", ""},
      {"S", "a=b"},    {"S", ";K"},     {"S", "#K"},     {"S", "[K"},    {"S", "K\r"},
      {"S", "K\nX"},   {"S", "K "}};
  IniFile file(path_);
  for (const auto& [section, key] : names) {
    EXPECT_THROW(file.writeString(section, key, "v"), WriteError) << section << "/" << key;
  }
  EXPECT_EQ(readBytes(path_), "[S]\r\nK=1\r\n");
}

TEST_F(IniFileTest, WriteKeepsWhatOthersWroteMeanwhile) {
  writeBytes(path_, crlfLines({"[S]", "A=1"}));
  IniFile file(path_);
  writeBytes(path_, crlfLines({"[S]", "A=1", "B=2"}));
  file.writeString("S", "C", "3");
  EXPECT_EQ(readBytes(path_), crlfLines({"[S]", "A=1", "B=2", "C=3"}));
  EXPECT_EQ(file.readString("S", "B", ""), "2");
}

TEST_F(IniFileTest, WriteKeepsPermissionsAndSymbolicLinks) {
  const std::string real = (dir_ / "real.ini").string();
  writeBytes(real, crlfLines({"[S]", "A=1"}));
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  fs::create_symlink(real, path_);
  IniFile(path_).writeString("S", "A", "2");
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(readBytes(real), crlfLines({"[S]", "A=2"}));
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// ---- Many values in one write ----------------------------------------------------

TEST_F(IniFileTest, WriteValuesAppliesInOrderAndTheLastOfAKeyWins) {
  // The empty value of the last line, which has no break, and the new key that
  // follows it start at the same byte.
  writeBytes(path_, "[A]\nK=");
  IniFile file(path_);
  const IniValue values[] = {{"A", "L", "1"}, {"A", "K", "2"}, {"a", "l", "3"},
                             {"B", "K", "4"}, {"A", "M", "5"}};
  file.writeValues(values);
  EXPECT_EQ(readBytes(path_), "[A]\nK=2\nL=3\nM=5\n[B]\nK=4\n");
  EXPECT_EQ(file.readString("A", "L", "-"), "3");
}

TEST_F(IniFileTest, WriteValuesStopsAtAnInvalidNameKeepingTheValuesBefore) {
  writeBytes(path_, "[A]\r\nK=0\r\n");
  IniFile file(path_);
  const IniValue values[] = {{"A", "K", "1"}, {"A", "L", "2"}, {"A", "=", "3"}, {"A", "M", "4"}};
  EXPECT_THROW(file.writeValues(values), WriteError);
  EXPECT_EQ(readBytes(path_), "[A]\r\nK=1\r\nL=2\r\n");
  EXPECT_EQ(file.readString("A", "L", "-"), "2");
  EXPECT_EQ(file.readString("A", "M", "-"), "-");

  const IniValue firstInvalid[] = {{"A]", "K", "9"}, {"A", "K", "9"}};
  EXPECT_THROW(file.writeValues(firstInvalid), WriteError);
  EXPECT_EQ(readBytes(path_), "[A]\r\nK=1\r\nL=2\r\n");
}

TEST_F(IniFileTest, EmptyWriteValuesLeavesTheFileAlone) {
  IniFile file(path_);
  file.writeValues({});
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(IniFileTest, RefusedWriteValuesStoresNothingOfAReadOnlyFile) {
  writeBytes(path_, "[A]\r\nK=0\r\n");
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  IniFile file(path_);
  const IniValue values[] = {{"A", "K", "1"}, {"A", "L", "2"}, {"A", "M", "3"}};
  EXPECT_THROW(file.writeValues(values), WriteError);
  EXPECT_EQ(readBytes(path_), "[A]\r\nK=0\r\n");
  EXPECT_EQ(file.readString("A", "K", "-"), "0");
  EXPECT_EQ(entries(), std::vector<std::string>{"VexilDevP.ini"});
}

// ---- Refused writes ----------------------------------------------------------------

TEST_F(IniFileTest, ReadOnlyFileIsRefusedAndLeftAsItWas) {
  const std::string original = crlfLines({"[Settings]", "SaveOnExit=1"});
  writeBytes(path_, original);
  IniFile file(path_);
  // Someone else changes the file, then makes it read-only: what this object reads
  // afterwards must be the file as it is, never the refused value.
  const std::string changed = crlfLines({"[Settings]", "SaveOnExit=1", "MyPort=5"});
  writeBytes(path_, changed);
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  try {
    file.writeInteger("Settings", "MyPort", 6);
    FAIL() << "no WriteError";
  } catch (const WriteError& error) {
    EXPECT_STREQ(error.what(), ("Unable to write to " + path_).c_str());
  }
  EXPECT_EQ(readBytes(path_), changed);
  EXPECT_EQ(file.readInteger("Settings", "MyPort", 0), 5);
  EXPECT_EQ(entries(), std::vector<std::string>{"VexilDevP.ini"});
}

TEST_F(IniFileTest, MissingDirectoryOrDirectoryInPlaceIsRefused) {
  const std::string inMissing = (dir_ / "missing" / "VexilDevP.ini").string();
  IniFile missing(inMissing);
  EXPECT_THROW(missing.writeBool("Settings", "SaveOnExit", true), WriteError);
  EXPECT_FALSE(fs::exists(dir_ / "missing"));

  fs::create_directory(path_);
  IniFile directory(path_);
  EXPECT_THROW(directory.writeBool("Settings", "SaveOnExit", true), WriteError);
  EXPECT_TRUE(fs::is_directory(path_));
}

TEST_F(IniFileTest, UnwritableDirectoryIsRefused) {
  if (::geteuid() == 0) GTEST_SKIP() << "directory permissions do not bind the superuser";
  writeBytes(path_, crlfLines({"[S]", "A=1"}));
  ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
  IniFile file(path_);
  EXPECT_THROW(file.writeString("S", "A", "2"), WriteError);
  EXPECT_EQ(readBytes(path_), crlfLines({"[S]", "A=1"}));
}

TEST(SettingsFilePath, JoinsDirectoryAndFileName) {
  EXPECT_EQ(settingsFilePath("/home/tech"), "/home/tech/VexilDevP.ini");
  EXPECT_EQ(settingsFilePath("/home/tech/"), "/home/tech/VexilDevP.ini");
  EXPECT_EQ(settingsFilePath("/"), "/VexilDevP.ini");
}

}  // namespace
}  // namespace vexil::settings::test
