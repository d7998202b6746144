// Loading and saving every stored value: defaults, key names, the save order, the
// save-on-exit rule, the dialog's writes and the controls' clamping.
#include "settings/StoredSettings.h"

#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>

#include <climits>

#include "tests/settings/SettingsTestSupport.h"

namespace vexil::settings::test {
namespace {

/// What a save of the defaults writes into a new file, line by line: the close order.
const std::vector<std::string> kDefaultFileLines = {
    "[Settings]", "SaveOnExit=1",
    "[Main]", "IPBase=10.123.13.", "IPText=10.123.13.101", "ACKProt=0", "IPExt=101",
    "[InstructionTest]", "Enable1=1", "Enable2=0", "Enable3=0", "Enable4=0", "Enable5=0",
    "OpCode1=$00", "OpCode2=$00", "OpCode3=$00", "OpCode4=$00", "OpCode5=$00",
    "Length1=0", "Length2=0", "Length3=0", "Length4=0", "Length5=0",
    "Instruction1=$00", "Instruction2=$00", "Instruction3=$00", "Instruction4=$00",
    "Instruction5=$00", "UserText=Quenthaven Bt.",
    "[General]", "Serial=5000", "Type=7058", "ResetType=0", "ResetTime=10",
    "UserText=My User Text", "IP1=10", "IP2=123", "IP3=13", "IP4=71",
    "NM1=255", "NM2=0", "NM3=0", "NM4=0", "GIP1=10", "GIP2=123", "GIP3=13", "GIP4=1",
    "NCO1=1000000", "NCO2=1000000", "NCO3=1000000", "NCO4=1000000",
    "[SendTS]", "DestinationIP1=10", "DestinationIP2=123", "DestinationIP3=13",
    "DestinationIP4=201", "TSFormat=1", "ITType=0", "DVPin=0", "QVNetSize=1428",
    "TSSource=0", "DestinationPort=56789", "PacketNumber=6", "PacketFormat=0",
    "RemoveNullpacket=0", "RemoveTSP=0"};

/// A file with every key set away from its default, names in odd case; and the values
/// it must load as.
const std::vector<std::string> kStoredFileLines = {
    "[settings]", "saveonexit=0", "MYPORT=1111", "DevicePort=2222",
    "[Main]", "ACKProt=1", "IPBase=192.168.1.", "IPExt=0x10", "IPText=192.168.1.16",
    "[InstructionTest]", "Enable1=0", "Enable3=1", "OpCode2=$12", "Length4=3",
    "Instruction5=$00,$56,$78", "UserText=Never Read",
    "[General]", "Serial=42", "Type=7059", "ResetType=2", "ResetTime=0",
    "UserText=Ab=Cd", "IP4=72", "NM2=255", "GIP1=11", "NCO3=2500",
    "[SendTS]", "DestinationIP2=7", "TSFormat=-1", "ITType=1", "DVPin=3",
    "QVNetSize=2000", "TSSource=2", "DestinationPort=1234", "PacketNumber=0",
    "PacketFormat=1", "RemoveNullpacket=1", "RemoveTSP=5",
    "[MFSetup]", "Show=1"};

StoredSettings storedFileValues() {
  StoredSettings v;
  v.saveOnExit = false;
  v.myPort = 1111;
  v.devicePort = 2222;
  v.ackProt = 1;
  v.ipBase = "192.168.1.";
  v.ipExt = 16;
  v.ipText = "192.168.1.16";
  v.rows[0].enabled = false;
  v.rows[2].enabled = true;
  v.rows[1].opCode = "$12";
  v.rows[3].length = "3";
  v.rows[4].instruction = "$00,$56,$78";
  v.serial = "42";
  v.type = "7059";
  v.resetType = 2;
  v.resetTime = 0;  // the page clamps it; the store keeps what the file says
  v.userText = "Ab=Cd";
  v.ip[3] = "72";
  v.netMask[1] = "255";
  v.gatewayIp[0] = "11";
  v.nco[2] = "2500";
  v.destinationIp[1] = "7";
  v.tsFormat = -1;
  v.itType = 1;
  v.dvPin = 3;
  v.qvNetSize = 2000;
  v.tsSource = 2;
  v.destinationPort = "1234";
  v.packetNumber = 0;
  v.packetFormat = 1;
  v.removeNullpacket = true;
  v.removeTsp = true;
  v.mfSetupShow = 1;
  return v;
}

using StoredSettingsTest = SettingsDirTest;

TEST_F(StoredSettingsTest, FirstRunLoadsDefaultsAndSaveWritesEveryKeptKeyInOrder) {
  IniFile file(path_);
  const StoredSettings values = loadSettings(file);
  EXPECT_EQ(values, StoredSettings{});
  EXPECT_TRUE(values.saveOnExit);
  EXPECT_EQ(values.myPort, 56789);
  EXPECT_EQ(values.devicePort, 56789);
  EXPECT_EQ(values.ipBase + std::to_string(values.ipExt), "10.123.13.101");
  EXPECT_FALSE(manufacturerSetupVisible(values));

  saveSettings(file, values);
  EXPECT_EQ(readBytes(path_), crlfLines(kDefaultFileLines));
}

TEST_F(StoredSettingsTest, EveryKeyLoadsFromItsNameAndTheInstructionUserTextNever) {
  writeBytes(path_, crlfLines(kStoredFileLines));
  const StoredSettings loaded = loadSettings(IniFile(path_));
  EXPECT_EQ(loaded, storedFileValues());
  EXPECT_EQ(loaded.instructionTestUserText, "Quenthaven Bt.");
}

TEST_F(StoredSettingsTest, ClearedSaveOnExitWritesOnlyThatKey) {
  writeBytes(path_, crlfLines(kDefaultFileLines));
  IniFile file(path_);
  StoredSettings values = loadSettings(file);
  values.saveOnExit = false;
  values.serial = "changed";
  values.ipExt = 7;
  saveSettings(file, values);

  std::vector<std::string> expected = kDefaultFileLines;
  expected[1] = "SaveOnExit=0";
  EXPECT_EQ(readBytes(path_), crlfLines(expected));
}

TEST_F(StoredSettingsTest, SaveRoundTripsKeptValuesButNeverPortsOrPageVisibility) {
  writeBytes(path_, crlfLines({"[Settings]", "MyPort=1111", "DevicePort=2222", "[MFSetup]",
                               "Show=1"}));
  IniFile file(path_);
  StoredSettings saved = storedFileValues();
  saved.saveOnExit = true;
  saved.myPort = 3333;
  saved.devicePort = 4444;
  saved.mfSetupShow = 0;
  saved.instructionTestUserText = "Written Only";
  saveSettings(file, saved);

  StoredSettings expected = saved;
  expected.myPort = 1111;
  expected.devicePort = 2222;
  expected.mfSetupShow = 1;
  expected.instructionTestUserText = StoredSettings{}.instructionTestUserText;
  EXPECT_EQ(loadSettings(IniFile(path_)), expected);
  EXPECT_EQ(IniFile(path_).readString("InstructionTest", "UserText", ""), "Written Only");
}

TEST_F(StoredSettingsTest, DialogWritesItsThreeKeysInOrderAndNothingElse) {
  IniFile file(path_);
  saveDialogSettings(file, false, 1234, 4321);
  EXPECT_EQ(readBytes(path_),
            crlfLines({"[Settings]", "SaveOnExit=0", "MyPort=1234", "DevicePort=4321"}));

  writeBytes(path_, crlfLines(kStoredFileLines));
  IniFile stored(path_);
  saveDialogSettings(stored, true, 1, 65534);
  StoredSettings expected = storedFileValues();
  expected.saveOnExit = true;
  expected.myPort = 1;
  expected.devicePort = 65534;
  EXPECT_EQ(loadSettings(IniFile(path_)), expected);
}

TEST_F(StoredSettingsTest, RefusedSaveOnExitStopsTheSave) {
  const std::string original = crlfLines({"[Settings]", "SaveOnExit=1"});
  writeBytes(path_, original);
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  IniFile file(path_);
  EXPECT_THROW(saveSettings(file, StoredSettings{}), WriteError);
  EXPECT_THROW(saveDialogSettings(file, false, 1, 2), WriteError);
  EXPECT_EQ(readBytes(path_), original);
}

TEST_F(StoredSettingsTest, FullDiskStopsTheSaveAtTheFailingKeyLeavingACompleteFile) {
  const std::string full = crlfLines(kDefaultFileLines);
  const rlim_t limit = full.size() / 2;
  const std::string path = path_;
  const int code = runInChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit fileSize{limit, limit};
    if (::setrlimit(RLIMIT_FSIZE, &fileSize) != 0) return 10;
    IniFile file(path);
    try {
      saveSettings(file, StoredSettings{});
    } catch (const WriteError& error) {
      if (std::string(error.what()) != "Unable to write to " + path) return 11;
      // What the object reads must match the file left behind.
      return loadSettings(file) == loadSettings(IniFile(path)) ? 0 : 12;
    }
    return 13;
  });
  ASSERT_EQ(code, 0);

  // A new file grows key by key in the close order, so what is left is that order cut
  // after the last key that fitted.
  const std::string left = readBytes(path_);
  EXPECT_LE(left.size(), limit);
  std::size_t lines = 0;
  while (lines < kDefaultFileLines.size() &&
         crlfLines({kDefaultFileLines.begin(),
                    kDefaultFileLines.begin() + static_cast<std::ptrdiff_t>(lines)}) != left)
    ++lines;
  EXPECT_GT(lines, 2u) << left;
  EXPECT_LT(lines, kDefaultFileLines.size());
  EXPECT_EQ(entries(), std::vector<std::string>{"VexilDevP.ini"});
}

// ---- One replacement of the file per save -------------------------------------------

/// How many times `save` puts a new file in place of the settings file, seen by the
/// kernel's directory notifications. The moves away from the temporary names are
/// watched too: the kernel merges a notification into an identical one still unread,
/// so back-to-back renames onto one name alone would count as one.
int replacementsDuring(const fs::path& dir, const std::function<void()>& save) {
  const int watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watcher < 0 || ::inotify_add_watch(watcher, dir.c_str(), IN_MOVED_FROM | IN_MOVED_TO) < 0) return -1;
  save();
  int replacements = 0;
  alignas(inotify_event) char buffer[64 * 1024];
  for (ssize_t got; (got = ::read(watcher, buffer, sizeof buffer)) > 0;) {
    for (char* at = buffer; at < buffer + got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      if ((event->mask & IN_MOVED_TO) && event->len > 0 &&
          std::string(event->name) == "VexilDevP.ini")
        ++replacements;
      at += sizeof(inotify_event) + event->len;
    }
  }
  ::close(watcher);
  return replacements;
}

TEST_F(StoredSettingsTest, CloseSaveReplacesTheFileOnce) {
  writeBytes(path_, crlfLines(kDefaultFileLines));
  IniFile file(path_);
  StoredSettings values = generationValues(3);
  EXPECT_EQ(replacementsDuring(dir_, [&] { saveSettings(file, values); }), 1);
  EXPECT_EQ(loadSettings(IniFile(path_)), generationValues(3));

  values.saveOnExit = false;
  EXPECT_EQ(replacementsDuring(dir_, [&] { saveSettings(file, values); }), 1);
  EXPECT_EQ(replacementsDuring(dir_, [&] { saveDialogSettings(file, true, 7, 8); }), 1);
  EXPECT_EQ(IniFile(path_).readInteger("Settings", "DevicePort", 0), 8);
}

TEST_F(StoredSettingsTest, SavingTheLoadedValuesLeavesTheFileAsItWas) {
  // Every kept key is there, between foreign lines, with every kind of line ending;
  // the first break is LF. One CR of a CR CR LF ending belongs to the value, so the
  // text read from IPBase ends in CR and must be written back as the same bytes.
  std::string before;
  for (std::size_t i = 0; i < kDefaultFileLines.size(); ++i) {
    const std::string& line = kDefaultFileLines[i];
    before += line + (line.starts_with("IPBase=") ? "\r\r\n" : i % 2 ? "\r\n" : "\n");
    before += "; foreign " + std::to_string(i) + "\r\r\n";
  }
  before += "[Foreign]\r\r\nIPBase=x";
  writeBytes(path_, before);
  IniFile file(path_);
  StoredSettings values = loadSettings(file);
  EXPECT_EQ(values.ipBase, "10.123.13.\r");
  saveSettings(file, values);
  EXPECT_EQ(readBytes(path_), before);

  // A changed value rewrites its line alone.
  values.serial = "77";
  saveSettings(file, values);
  std::string expected = before;
  const std::string serialLine = "Serial=5000";
  expected.replace(expected.find(serialLine), serialLine.size(), "Serial=77");
  EXPECT_EQ(readBytes(path_), expected);
}

// ---- Clamping and visibility rules -----------------------------------------------

TEST(ControlClamping, RadioIndexKeepsMinusOneAndStopsAtTheLastItem) {
  EXPECT_EQ(clampRadioIndex(INT32_MIN, 2), -1);
  EXPECT_EQ(clampRadioIndex(-2, 2), -1);
  EXPECT_EQ(clampRadioIndex(-1, 2), -1);
  EXPECT_EQ(clampRadioIndex(0, 2), 0);
  EXPECT_EQ(clampRadioIndex(1, 2), 1);
  EXPECT_EQ(clampRadioIndex(2, 2), 1);
  EXPECT_EQ(clampRadioIndex(5, 2), 1);
  EXPECT_EQ(clampRadioIndex(INT32_MAX, 7), 6);
}

TEST(ControlClamping, PositionStaysInTheBarsRange) {
  EXPECT_EQ(clampToRange(0, 1, 255), 1);
  EXPECT_EQ(clampToRange(1, 1, 255), 1);
  EXPECT_EQ(clampToRange(255, 1, 255), 255);
  EXPECT_EQ(clampToRange(256, 1, 255), 255);
  EXPECT_EQ(clampToRange(2000, 256, 1428), 1428);
  EXPECT_EQ(clampToRange(INT32_MIN, 256, 1428), 256);
}

TEST_F(StoredSettingsTest, ManufacturerPageShowsFromOneUp) {
  const std::pair<const char*, bool> cases[] = {
      {"Show=1", true},  {"Show=2", true},   {"Show=0x1", true}, {"Show=0", false},
      {"Show=-1", false}, {"Show=abc", false}, {"Other=1", false}};
  for (const auto& [line, visible] : cases) {
    writeBytes(path_, crlfLines({"[MFSetup]", line}));
    EXPECT_EQ(manufacturerSetupVisible(loadSettings(IniFile(path_))), visible) << line;
  }
}

}  // namespace
}  // namespace vexil::settings::test
