// Writes through the settings file layer on a real file and reads it back. The input is
// the file's starting bytes, then up to three writes (section, key, value), all
// separated by NUL bytes. For each write:
//   - it is refused exactly when a name could not read back as itself, and a refused
//     write leaves the file's bytes as they were;
//   - a stored value reads back identically (line breaks become blanks, a read is cut
//     to 2047 characters), through the object that wrote it and through a fresh one;
//   - no value creates a key or a section: the file holds the keys it held and the one
//     written, no more;
//   - no other key changes its value.
// The file lives in a directory of its own under /dev/shm when there is one (so that
// the flushes of the atomic replacement cost little), else under the temporary
// directory; VEXIL_FUZZ_TMP overrides both.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "settings/IniFile.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/IniScan.h"

using namespace vexil::settings;
using namespace vexil::fuzz;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kWrites = 3;
constexpr std::size_t kParts = 1 + 3 * kWrites;

class ScratchFile {
 public:
  ScratchFile() {
    const char* chosen = std::getenv("VEXIL_FUZZ_TMP");
    const fs::path base = chosen                         ? fs::path(chosen)
                          : fs::is_directory("/dev/shm") ? fs::path("/dev/shm")
                                                         : fs::temp_directory_path();
    std::string pattern = (base / "vexil-ini-fuzz-XXXXXX").string();
    require(mkdtemp(pattern.data()) != nullptr, "a scratch directory can be made");
    directory_ = pattern;
    path_ = (directory_ / std::string(kSettingsFileName)).string();
  }
  ~ScratchFile() {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  fs::path directory_;
  std::string path_;
};

const ScratchFile& scratch() {
  static const ScratchFile file;
  return file;
}

std::string readBack(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  require(static_cast<bool>(out), "the starting file can be written");
}

bool hasBreak(std::string_view name) {
  return name.find_first_of("\r\n") != std::string_view::npos;
}
bool hasOuterBlank(std::string_view name) { return trimSpaceTab(name) != name; }

// A name that reads back as itself, from the line rules: not empty, no blanks around it,
// no line break; a section name without "]"; a key name without "=" that cannot be
// taken for a comment or a header.
bool storableSection(std::string_view name) {
  return !name.empty() && !hasOuterBlank(name) && !hasBreak(name) &&
         name.find(']') == std::string_view::npos;
}
bool storableKey(std::string_view name) {
  return !name.empty() && !hasOuterBlank(name) && !hasBreak(name) &&
         name.find('=') == std::string_view::npos && name.front() != ';' && name.front() != '#' &&
         name.front() != '[';
}

std::string asStored(std::string_view value) {
  std::string out(value);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> parts = splitParts(asText(data, size), '\0', kParts);
  const std::string& path = scratch().path();
  writeFile(path, parts[0]);
  IniFile file(path);

  for (std::size_t w = 0; w < kWrites; ++w) {
    const std::string& section = parts[1 + 3 * w];
    const std::string& key = parts[2 + 3 * w];
    const std::string& value = parts[3 + 3 * w];
    if (w > 0 && section.empty() && key.empty() && value.empty()) break;

    const std::string before = readBack(path);
    const IniKeys keysBefore = scanIniKeys(before);
    bool refused = false;
    try {
      file.writeString(section, key, value);
    } catch (const WriteError&) {
      refused = true;
    }
    const std::string after = readBack(path);
    require(refused == !(storableSection(section) && storableKey(key)),
            "a write is refused exactly when a name would not read back");
    if (refused) {
      require(after == before, "a refused write leaves the file as it was");
      continue;
    }

    // A value the key already holds keeps its line, odd bytes and all; any other value
    // is stored with its line breaks as blanks.
    const IniKeyName written{foldAscii(section), foldAscii(key)};
    const auto held = keysBefore.find(written);
    const std::string stored =
        held != keysBefore.end() && held->second == value ? value : asStored(value);
    const std::string expected = stored.substr(0, kMaxReadValueLength);
    require(file.readString(section, key, "") == expected, "the writer reads the value back");
    require(IniFile(path).readString(section, key, "") == expected,
            "a fresh reader reads the value back");

    IniKeys keysAfter = scanIniKeys(after);
    const auto own = keysAfter.find(written);
    require(own != keysAfter.end() && own->second == stored, "the file holds the value written");
    keysAfter.erase(own);
    IniKeys others = keysBefore;
    others.erase(written);
    require(keysAfter == others, "no other key appears, disappears or changes");
  }
  return 0;
}
