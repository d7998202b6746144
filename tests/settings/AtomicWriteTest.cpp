// A writer killed at any moment, or watched while it writes, never leaves a partial
// settings file or a partial save behind.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>

#include "settings/IniFile.h"
#include "settings/StoredSettings.h"
#include "tests/settings/SettingsTestSupport.h"

namespace vexil::settings::test {
namespace {

using namespace std::chrono_literals;

constexpr int kPaddingLines = 400;  // about 40 KB, so a partial write would be likely seen
constexpr auto kWatchTime = 300ms;
constexpr auto kStartTimeout = 3s;

std::vector<std::string> paddedFile(const std::string& counter) {
  std::vector<std::string> lines{"[Counter]", "Value=" + counter, "[Padding]"};
  for (int i = 0; i < kPaddingLines; ++i)
    lines.push_back("Pad" + std::to_string(i) + "=" + std::string(90, 'p'));
  lines.push_back("[End]");
  lines.push_back("Marker=complete");
  return lines;
}

using AtomicWriteTest = SettingsDirTest;

/// The counter of a complete file, or -1 when the file is not one whole version.
long completeVersion(const std::string& bytes) {
  const auto valueStart = bytes.find("Value=");
  if (valueStart == std::string::npos) return -1;
  const auto valueEnd = bytes.find("\r\n", valueStart);
  const std::string counter = bytes.substr(valueStart + 6, valueEnd - valueStart - 6);
  if (counter.empty() || counter.find_first_not_of("0123456789") != std::string::npos) return -1;
  return bytes == crlfLines(paddedFile(counter)) ? std::stol(counter) : -1;
}

TEST_F(AtomicWriteTest, KilledWriterLeavesOneCompleteVersion) {
  writeBytes(path_, crlfLines(paddedFile("0")));
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    try {
      IniFile file(path_);
      for (std::int32_t i = 1;; ++i) file.writeInteger("Counter", "Value", i);
    } catch (...) {
    }
    ::_exit(1);
  }

  // Every read while the writer runs sees one whole version, and versions only grow.
  long lastSeen = 0;
  int reads = 0;
  const auto start = std::chrono::steady_clock::now();
  while (lastSeen < 2 && std::chrono::steady_clock::now() - start < kStartTimeout) {
    lastSeen = completeVersion(readBytes(path_));
    ASSERT_GE(lastSeen, 0) << "partial file seen";
  }
  const auto watchStart = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - watchStart < kWatchTime) {
    const long seen = completeVersion(readBytes(path_));
    ASSERT_GE(seen, lastSeen) << "partial or older file seen";
    lastSeen = seen;
    ++reads;
  }
  ASSERT_EQ(::kill(writer, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(writer, &status, 0), writer);
  EXPECT_TRUE(WIFSIGNALED(status));

  EXPECT_GE(completeVersion(readBytes(path_)), lastSeen);
  EXPECT_GE(lastSeen, 2) << "the writer made too little progress to judge";
  EXPECT_GT(reads, 0);
}

/// Whether the file holds one whole save of generationValues; sets `generation` to it.
bool wholeSave(const std::string& path, int& generation) {
  const StoredSettings loaded = loadSettings(IniFile(path));
  generation = std::atoi(loaded.serial.c_str());
  return loaded == generationValues(generation);
}

TEST_F(AtomicWriteTest, WatchedCloseSaveIsNeverHalfApplied) {
  {
    IniFile file(path_);
    saveSettings(file, generationValues(0));
  }
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    try {
      IniFile file(path_);
      for (int g = 1;; ++g) saveSettings(file, generationValues(g));
    } catch (...) {
    }
    ::_exit(1);
  }

  // Every look at the file while saves run finds all keys of one save, never the
  // first keys of a newer save beside the last keys of an older one.
  int generation = 0;
  int reads = 0;
  bool whole = true;
  const auto start = std::chrono::steady_clock::now();
  while (whole && (generation < 2 || std::chrono::steady_clock::now() - start < kWatchTime) &&
         std::chrono::steady_clock::now() - start < kStartTimeout) {
    whole = wholeSave(path_, generation);
    ++reads;
  }
  ::kill(writer, SIGKILL);
  ::waitpid(writer, nullptr, 0);

  EXPECT_TRUE(whole) << "mixture seen at generation " << generation << " after " << reads
                     << " reads";
  EXPECT_GE(generation, 2) << "the writer made too little progress to judge";
  EXPECT_TRUE(wholeSave(path_, generation));
}

// ---- Temporary files left by killed writers -----------------------------------------

/// The id of a child process that has exited and been reaped: no process has it now.
pid_t reapedChildPid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

/// A child process that sleeps until it is killed.
pid_t sleepingChild() {
  const pid_t child = ::fork();
  if (child == 0) {
    for (;;) ::pause();
  }
  return child;
}

std::string temporaryName(const std::string& writer, const std::string& counter) {
  return "VexilDevP.ini." + writer + "." + counter + ".tmp";
}

TEST_F(AtomicWriteTest, WriteRemovesOnlyTheTemporaryFilesOfGoneWriters) {
  const std::string gone = std::to_string(reapedChildPid());
  const pid_t sleeper = sleepingChild();
  ASSERT_GT(sleeper, 0);
  const std::string alive = std::to_string(sleeper);
  const std::string self = std::to_string(::getpid());

  const std::vector<std::string> stale = {
      temporaryName(gone, "0"), temporaryName(gone, "17"),
      temporaryName(std::to_string(INT_MAX), "3")};  // above any system's pid limit
  std::vector<std::string> kept = {
      "VexilDevP.ini",
      temporaryName(alive, "0"), temporaryName(self, "1"),
      // Names that only look like ours, all with the gone writer's id.
      temporaryName(gone, "0") + ".bak", "old." + temporaryName(gone, "0"),
      temporaryName("0" + gone, "0"), temporaryName("+" + gone, "0"),
      temporaryName(gone, "01"), temporaryName(gone, ""), temporaryName(gone, "x"),
      temporaryName(gone, "1.2"), "VexilDevP.ini." + gone + ".tmp",
      "vexildevp.ini." + gone + ".0.tmp", "VexilDevP.ini." + gone + ".0.TMP",
      "Other.ini." + gone + ".0.tmp", temporaryName("0", "0"), temporaryName("-1", "0"),
      temporaryName("99999999999999999999", "0"), temporaryName(gone, "99999999999999999999")};
  for (const auto& name : stale) writeBytes((dir_ / name).string(), "[Settings]\r\n");
  for (const auto& name : kept) writeBytes((dir_ / name).string(), "[Settings]\r\n");
  // Entries that are not plain files are never removed.
  const std::string directory = temporaryName(gone, "5");
  const std::string link = temporaryName(gone, "6");
  fs::create_directory(dir_ / directory);
  fs::create_symlink("VexilDevP.ini", dir_ / link);
  kept.push_back(directory);
  kept.push_back(link);

  IniFile(path_).writeBool("Settings", "SaveOnExit", true);
  ::kill(sleeper, SIGKILL);
  ::waitpid(sleeper, nullptr, 0);

  std::vector<std::string> left = entries();
  std::sort(left.begin(), left.end());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(left, kept);
  EXPECT_TRUE(IniFile(path_).readBool("Settings", "SaveOnExit", false));
}

TEST_F(AtomicWriteTest, WriteKeepsAnotherUsersTemporaryFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can make another user's file";
  const std::string foreign = (dir_ / temporaryName(std::to_string(reapedChildPid()), "0")).string();
  writeBytes(foreign, "[Settings]\r\n");
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(::chown(foreign.c_str(), kNobody, kNobody), 0);
  IniFile(path_).writeBool("Settings", "SaveOnExit", true);
  EXPECT_TRUE(fs::exists(foreign));
}

}  // namespace
}  // namespace vexil::settings::test
