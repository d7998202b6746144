// Every value the program keeps in its settings file, with its default, and the load
// and save of the whole set in the program's fixed key orders.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "messaging/WireLayout.h"
#include "settings/IniFile.h"

namespace vexil::settings {

/// One row of the Instruction Test page: its tick and its three entries.
struct InstructionRowSettings {
  bool enabled = false;
  std::string opCode = "$00";
  std::string length = "0";
  std::string instruction = "$00";

  friend bool operator==(const InstructionRowSettings&, const InstructionRowSettings&) = default;
};

/// Number of instruction rows on the Instruction Test page.
inline constexpr std::size_t kInstructionRowCount = 5;
/// Number of parts of an address entry (IP, net mask, gateway, destination).
inline constexpr std::size_t kAddressPartCount = 4;
/// Number of NCO frequency entries.
inline constexpr std::size_t kNcoCount = 4;

/// The values held in the settings file, each with the default used when its key is
/// missing or unparsable. Text entries are 8-bit strings, stored unvalidated; the
/// pages validate them when they use them.
struct StoredSettings {
  // [Settings]
  bool saveOnExit = true;
  std::int32_t myPort = wire::kDefaultPort;
  std::int32_t devicePort = wire::kDefaultPort;

  // [Main]
  std::int32_t ackProt = 0;
  std::string ipBase = "10.123.13.";
  std::int32_t ipExt = 101;
  std::string ipText = "10.123.13.101";

  // [InstructionTest]: Enable1..5, OpCode1..5, Length1..5, Instruction1..5; UserText is
  // written at close but never read, so it always starts as below.
  std::array<InstructionRowSettings, kInstructionRowCount> rows{
      InstructionRowSettings{true}, InstructionRowSettings{}, InstructionRowSettings{},
      InstructionRowSettings{}, InstructionRowSettings{}};
  std::string instructionTestUserText = "Quenthaven Bt.";

  // [General]
  std::string serial = "5000";
  std::string type = "7058";
  std::int32_t resetType = 0;
  std::int32_t resetTime = 10;
  std::string userText = "My User Text";
  std::array<std::string, kAddressPartCount> ip{"10", "123", "13", "71"};
  std::array<std::string, kAddressPartCount> netMask{"255", "0", "0", "0"};
  std::array<std::string, kAddressPartCount> gatewayIp{"10", "123", "13", "1"};
  std::array<std::string, kNcoCount> nco{"1000000", "1000000", "1000000", "1000000"};

  // [SendTS]
  std::array<std::string, kAddressPartCount> destinationIp{"10", "123", "13", "201"};
  std::int32_t tsFormat = 1;
  std::int32_t itType = 0;
  std::int32_t dvPin = 0;
  std::int32_t qvNetSize = 1428;
  std::int32_t tsSource = 0;
  std::string destinationPort = std::to_string(wire::kDefaultPort);
  std::int32_t packetNumber = 6;
  std::int32_t packetFormat = 0;
  bool removeNullpacket = false;
  bool removeTsp = false;

  // [MFSetup]: read, never written.
  std::int32_t mfSetupShow = 0;

  friend bool operator==(const StoredSettings&, const StoredSettings&) = default;
};

/// Reads every key, in the program's start-up order, each with its default.
StoredSettings loadSettings(const IniFile& file);

/// The close-time write: `SaveOnExit` always and first; when it is set, every other
/// key that is kept between runs, in the program's save order. `MyPort`, `DevicePort`
/// and `MFSetup`/`Show` are never written here. All keys go to the disk with one
/// atomic replacement of the file (IniFile::writeValues) before this returns. Throws
/// WriteError at the first key the file system refuses; the keys before it are
/// stored, it and the later keys are not.
void saveSettings(IniFile& file, const StoredSettings& values);

/// The settings dialog's immediate writes: `SaveOnExit`, `MyPort`, `DevicePort`, in
/// that order, on the disk (one atomic replacement) before this returns. Throws
/// WriteError at the first refused key; the keys before it are stored, later ones not.
void saveDialogSettings(IniFile& file, bool saveOnExit, std::int32_t myPort,
                        std::int32_t devicePort);

/// Whether the "Manufacturer Setup" page is shown: `MFSetup`/`Show` is 1 or more.
bool manufacturerSetupVisible(const StoredSettings& values);

/// The index a radio group of `itemCount` items holds for a stored `index`: below -1
/// it is -1 (no item selected), at or above the count it is the last item.
std::int32_t clampRadioIndex(std::int32_t index, int itemCount);

/// The position a control with range `lo`..`hi` (lo <= hi) holds for `value`.
std::int32_t clampToRange(std::int32_t value, std::int32_t lo, std::int32_t hi);

}  // namespace vexil::settings
