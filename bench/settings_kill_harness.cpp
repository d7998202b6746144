// vexil-settings-kill: close-time saves killed at random moments.
// A child process saves every kept key in a loop, each save carrying a new number in
// every value; the parent kills it with SIGKILL after a random delay, then checks the
// settings file: it must hold every key of one whole save (no key lost, no mixture of
// two saves) and never an older save than before. Temporary files left by the killed
// writer are counted; the next writer's save must remove them, and after the last
// kill one more save must leave none at all.
//
// Usage: vexil-settings-kill [kills] [max-delay-ms] [seed]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "settings/AtomicFile.h"
#include "settings/IniFile.h"
#include "settings/StoredSettings.h"
#include "bench/GenerationValues.h"

using namespace vexil::settings;
namespace fs = std::filesystem;

namespace {

constexpr int kPaddingLines = 2000;  // about 100 KB, so that a save takes a while
constexpr int kGenerationsPerChild = 1000000;

/// Names of the key lines of the file at `path` ("Section/Key").
std::set<std::string> keyNames(const std::string& path) {
  std::set<std::string> names;
  const FileBytes bytes = readWholeFile(path);
  std::string section;
  std::size_t start = 0;
  while (start < bytes.data.size()) {
    auto end = bytes.data.find('\n', start);
    if (end == std::string::npos) end = bytes.data.size();
    std::string line = bytes.data.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with('['))
      section = line.substr(1, line.find(']') - 1);
    else if (const auto eq = line.find('='); eq != std::string::npos && !section.empty())
      names.insert(section + "/" + line.substr(0, eq));
    start = end + 1;
  }
  return names;
}

int temporaryFiles(const fs::path& dir) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("VexilDevP.ini.") && name.ends_with(".tmp")) ++count;
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const int kills = argc > 1 ? std::atoi(argv[1]) : 300;
  const int maxDelayMs = argc > 2 ? std::atoi(argv[2]) : 20;
  const unsigned seed = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 20240601u;
  if (kills <= 0 || maxDelayMs < 0) {
    std::fprintf(stderr, "usage: %s [kills] [max-delay-ms] [seed]\n", argv[0]);
    return 2;
  }

  std::string pattern = (fs::temp_directory_path() / "vexil-settings-kill-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return 1;
  const fs::path dir = pattern;
  const std::string path = (dir / "VexilDevP.ini").string();
  {
    IniFile file(path);
    for (int i = 0; i < kPaddingLines; ++i)
      file.writeString("Padding", "Pad" + std::to_string(i), std::string(40, 'p'));
    saveSettings(file, generationValues(0));
  }
  const std::set<std::string> allKeys = keyNames(path);

  std::mt19937 random(seed);
  std::uniform_int_distribution<int> delayUs(0, maxDelayMs * 1000);
  int notWhole = 0, lostKeys = 0, rolledBack = 0, leftAfterKill = 0, maxLeft = 0;
  int lastGeneration = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int kill = 1; kill <= kills; ++kill) {
    const pid_t child = ::fork();
    if (child < 0) return 1;
    if (child == 0) {
      try {
        IniFile file(path);
        for (int g = kill * kGenerationsPerChild;; ++g) saveSettings(file, generationValues(g));
      } catch (...) {
      }
      ::_exit(1);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    const std::set<std::string> keys = keyNames(path);
    lostKeys += static_cast<int>(std::count_if(
        allKeys.begin(), allKeys.end(), [&](const std::string& k) { return !keys.contains(k); }));
    const StoredSettings loaded = loadSettings(IniFile(path));
    const int generation = std::atoi(loaded.serial.c_str());
    if (loaded != generationValues(generation)) ++notWhole;
    if (generation < lastGeneration) ++rolledBack;
    lastGeneration = generation;
    const int left = temporaryFiles(dir);
    leftAfterKill += left;
    maxLeft = std::max(maxLeft, left);
  }
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  // The next run of the program: its close-time save clears what the last kill left.
  const int leftBeforeLastSave = temporaryFiles(dir);
  {
    IniFile file(path);
    saveSettings(file, loadSettings(file));
  }
  const int leftAtEnd = temporaryFiles(dir);
  fs::remove_all(dir);

  std::printf("kills: %d (delay 0..%d ms, seed %u), %.1f s\n", kills, maxDelayMs, seed, elapsed);
  std::printf("last save reached: generation %d of child %d\n",
              lastGeneration % kGenerationsPerChild, lastGeneration / kGenerationsPerChild);
  std::printf("files not one whole save: %d\n", notWhole);
  std::printf("keys lost:                %d (of %zu per file)\n", lostKeys, allKeys.size());
  std::printf("older save after a kill:  %d\n", rolledBack);
  std::printf("temporary files seen just after a kill: %d in all, at most %d at once\n",
              leftAfterKill, maxLeft);
  std::printf("temporary files left before / after the next save: %d / %d\n",
              leftBeforeLastSave, leftAtEnd);
  return notWhole == 0 && lostKeys == 0 && rolledBack == 0 && leftAtEnd == 0 ? 0 : 1;
}
