// Any bytes as a settings file. The document must give back the file byte for byte
// when nothing was changed, find every key that the independent scan finds with the
// same value (whatever the case of the names asked for), find nothing the scan does not
// hold, and read every value by the integer rule as its oracle does.
#include "settings/IniDocument.h"
#include "settings/IniFile.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/IniScan.h"

using namespace vexil::settings;
using namespace vexil::fuzz;

namespace {

std::string upperAscii(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(asText(data, size));
  const IniDocument document(bytes);
  require(document.bytes() == bytes, "an unchanged document gives back its bytes");

  const IniKeys keys = scanIniKeys(bytes);
  for (const auto& [name, value] : keys) {
    const auto found = document.value(upperAscii(name.first), upperAscii(name.second));
    require(found && *found == value, "every key the scan finds reads with its value");
    require(parseIniInteger(value) == iniIntegerOracle(value),
            "a value reads as an integer as the oracle says");
    // The same key asked for in a section that lacks it is not there.
    const std::string otherSection = name.first + "~";
    if (!keys.contains({otherSection, name.second}))
      require(!document.value(otherSection, name.second), "a key is found only in its section");
  }
  require(parseIniInteger(bytes) == iniIntegerOracle(bytes),
          "the whole input reads as an integer as the oracle says");

  // Names made from the input itself: found exactly when the scan holds them.
  const std::vector<std::string> names = splitParts(bytes, '\n', 3);
  const std::string section(trimSpaceTab(names[0]));
  const std::string key(trimSpaceTab(names[1]));
  require(document.value(section, key).has_value() ==
              keys.contains({foldAscii(section), foldAscii(key)}),
          "a lookup finds a key exactly when the scan holds it");
  return 0;
}
