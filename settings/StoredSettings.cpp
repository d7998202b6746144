#include "settings/StoredSettings.h"

#include <algorithm>
#include <functional>
#include <string_view>
#include <vector>

namespace vexil::settings {

namespace {

constexpr std::string_view kSettings = "Settings";
constexpr std::string_view kMain = "Main";
constexpr std::string_view kInstructionTest = "InstructionTest";
constexpr std::string_view kGeneral = "General";
constexpr std::string_view kSendTs = "SendTS";
constexpr std::string_view kMfSetup = "MFSetup";

/// A stored value of one of the three types the file holds, read with the value
/// already in the struct (its default) as the default.
void readInto(const IniFile& file, std::string_view section, std::string_view key,
              bool& value) {
  value = file.readBool(section, key, value);
}
void readInto(const IniFile& file, std::string_view section, std::string_view key,
              std::int32_t& value) {
  value = file.readInteger(section, key, value);
}
void readInto(const IniFile& file, std::string_view section, std::string_view key,
              std::string& value) {
  value = file.readString(section, key, value);
}
IniValue valueOf(std::string_view section, std::string_view key, bool value) {
  return {std::string(section), std::string(key), iniBoolText(value)};
}
IniValue valueOf(std::string_view section, std::string_view key, std::int32_t value) {
  return {std::string(section), std::string(key), iniIntegerText(value)};
}
IniValue valueOf(std::string_view section, std::string_view key, const std::string& value) {
  return {std::string(section), std::string(key), value};
}

/// One key of the settings file and the member of StoredSettings it carries.
struct KeyDescriptor {
  std::function<void(const IniFile&, StoredSettings&)> load;
  std::function<IniValue(const StoredSettings&)> save;
};

/// `member(s)` gives the member for a StoredSettings `s`, const or not.
template <class Member>
KeyDescriptor key(std::string_view section, std::string name, Member member) {
  return {[section, name, member](const IniFile& file, StoredSettings& values) {
            readInto(file, section, name, member(values));
          },
          [section, name, member](const StoredSettings& values) {
            return valueOf(section, name, member(values));
          }};
}

/// Appends `stem`1 to `stem``count`; `member(s, i)` gives the member of key i + 1.
template <class Member>
void addNumbered(std::vector<KeyDescriptor>& keys, std::string_view section,
                 std::string_view stem, std::size_t count, Member member) {
  for (std::size_t i = 0; i < count; ++i) {
    keys.push_back(key(section, std::string(stem) + std::to_string(i + 1),
                       [member, i](auto& values) -> auto& { return member(values, i); }));
  }
}

void append(std::vector<KeyDescriptor>& to, const std::vector<KeyDescriptor>& keys) {
  to.insert(to.end(), keys.begin(), keys.end());
}

/// Every key, in the two orders in which the program goes through them.
struct KeyTables {
  KeyDescriptor saveOnExit, myPort, devicePort;
  std::vector<KeyDescriptor> startUp;  // every key that is read, in reading order
  std::vector<KeyDescriptor> close;    // written at close when SaveOnExit is set
};

KeyTables buildKeyTables() {
  KeyTables t{
      key(kSettings, "SaveOnExit", [](auto& s) -> auto& { return s.saveOnExit; }),
      key(kSettings, "MyPort", [](auto& s) -> auto& { return s.myPort; }),
      key(kSettings, "DevicePort", [](auto& s) -> auto& { return s.devicePort; }),
      {},
      {}};

  const KeyDescriptor ackProt = key(kMain, "ACKProt", [](auto& s) -> auto& { return s.ackProt; });
  const KeyDescriptor ipBase = key(kMain, "IPBase", [](auto& s) -> auto& { return s.ipBase; });
  const KeyDescriptor ipExt = key(kMain, "IPExt", [](auto& s) -> auto& { return s.ipExt; });
  const KeyDescriptor ipText = key(kMain, "IPText", [](auto& s) -> auto& { return s.ipText; });

  std::vector<KeyDescriptor> instructionRows;
  addNumbered(instructionRows, kInstructionTest, "Enable", kInstructionRowCount,
              [](auto& s, std::size_t i) -> auto& { return s.rows[i].enabled; });
  addNumbered(instructionRows, kInstructionTest, "OpCode", kInstructionRowCount,
              [](auto& s, std::size_t i) -> auto& { return s.rows[i].opCode; });
  addNumbered(instructionRows, kInstructionTest, "Length", kInstructionRowCount,
              [](auto& s, std::size_t i) -> auto& { return s.rows[i].length; });
  addNumbered(instructionRows, kInstructionTest, "Instruction", kInstructionRowCount,
              [](auto& s, std::size_t i) -> auto& { return s.rows[i].instruction; });
  // Written at close, never read: the page's user text always starts as designed.
  const KeyDescriptor instructionUserText = key(
      kInstructionTest, "UserText", [](auto& s) -> auto& { return s.instructionTestUserText; });

  std::vector<KeyDescriptor> general{
      key(kGeneral, "Serial", [](auto& s) -> auto& { return s.serial; }),
      key(kGeneral, "Type", [](auto& s) -> auto& { return s.type; }),
      key(kGeneral, "ResetType", [](auto& s) -> auto& { return s.resetType; }),
      key(kGeneral, "ResetTime", [](auto& s) -> auto& { return s.resetTime; }),
      key(kGeneral, "UserText", [](auto& s) -> auto& { return s.userText; })};
  addNumbered(general, kGeneral, "IP", kAddressPartCount,
              [](auto& s, std::size_t i) -> auto& { return s.ip[i]; });
  addNumbered(general, kGeneral, "NM", kAddressPartCount,
              [](auto& s, std::size_t i) -> auto& { return s.netMask[i]; });
  addNumbered(general, kGeneral, "GIP", kAddressPartCount,
              [](auto& s, std::size_t i) -> auto& { return s.gatewayIp[i]; });
  addNumbered(general, kGeneral, "NCO", kNcoCount,
              [](auto& s, std::size_t i) -> auto& { return s.nco[i]; });

  std::vector<KeyDescriptor> sendTs;
  addNumbered(sendTs, kSendTs, "DestinationIP", kAddressPartCount,
              [](auto& s, std::size_t i) -> auto& { return s.destinationIp[i]; });
  append(sendTs,
         {key(kSendTs, "TSFormat", [](auto& s) -> auto& { return s.tsFormat; }),
          key(kSendTs, "ITType", [](auto& s) -> auto& { return s.itType; }),
          key(kSendTs, "DVPin", [](auto& s) -> auto& { return s.dvPin; }),
          key(kSendTs, "QVNetSize", [](auto& s) -> auto& { return s.qvNetSize; }),
          key(kSendTs, "TSSource", [](auto& s) -> auto& { return s.tsSource; }),
          key(kSendTs, "DestinationPort", [](auto& s) -> auto& { return s.destinationPort; }),
          key(kSendTs, "PacketNumber", [](auto& s) -> auto& { return s.packetNumber; }),
          key(kSendTs, "PacketFormat", [](auto& s) -> auto& { return s.packetFormat; }),
          key(kSendTs, "RemoveNullpacket", [](auto& s) -> auto& { return s.removeNullpacket; }),
          key(kSendTs, "RemoveTSP", [](auto& s) -> auto& { return s.removeTsp; })});

  // Start-up reads the main keys in the order the window needs them (the address
  // label is built from IPBase and IPExt before the entry gets IPText); close writes
  // them in the order of its own code, and adds the Instruction Test user text.
  t.startUp = {t.saveOnExit, t.myPort, t.devicePort, ackProt, ipBase, ipExt, ipText};
  append(t.startUp, instructionRows);
  append(t.startUp, general);
  append(t.startUp, sendTs);
  t.startUp.push_back(key(kMfSetup, "Show", [](auto& s) -> auto& { return s.mfSetupShow; }));

  t.close = {ipBase, ipText, ackProt, ipExt};
  append(t.close, instructionRows);
  t.close.push_back(instructionUserText);
  append(t.close, general);
  append(t.close, sendTs);
  return t;
}

const KeyTables& keyTables() {
  static const KeyTables tables = buildKeyTables();
  return tables;
}

}  // namespace

StoredSettings loadSettings(const IniFile& file) {
  StoredSettings values;
  for (const auto& key : keyTables().startUp) key.load(file, values);
  return values;
}

void saveSettings(IniFile& file, const StoredSettings& values) {
  const KeyTables& tables = keyTables();
  std::vector<IniValue> toWrite{tables.saveOnExit.save(values)};
  if (values.saveOnExit) {
    toWrite.reserve(1 + tables.close.size());
    for (const auto& key : tables.close) toWrite.push_back(key.save(values));
  }
  file.writeValues(toWrite);
}

void saveDialogSettings(IniFile& file, bool saveOnExit, std::int32_t myPort,
                        std::int32_t devicePort) {
  StoredSettings values;
  values.saveOnExit = saveOnExit;
  values.myPort = myPort;
  values.devicePort = devicePort;
  const KeyTables& tables = keyTables();
  const IniValue toWrite[] = {tables.saveOnExit.save(values), tables.myPort.save(values),
                              tables.devicePort.save(values)};
  file.writeValues(toWrite);
}

bool manufacturerSetupVisible(const StoredSettings& values) { return values.mfSetupShow >= 1; }

std::int32_t clampRadioIndex(std::int32_t index, int itemCount) {
  if (index < -1) return -1;
  if (index >= itemCount) return itemCount - 1;
  return index;
}

std::int32_t clampToRange(std::int32_t value, std::int32_t lo, std::int32_t hi) {
  return std::clamp(value, lo, hi);
}

}  // namespace vexil::settings
