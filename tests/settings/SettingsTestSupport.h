// Helpers shared by the settings tests: a fresh directory per test, whole-file access,
// values that tell one save from another and running a piece of a test in a child
// process.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "settings/StoredSettings.h"
#include "bench/GenerationValues.h"

namespace vexil::settings::test {

namespace fs = std::filesystem;

/// Each test gets its own empty directory, removed afterwards.
class SettingsDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "vexil-settings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "VexilDevP.ini").string();
  }
  void TearDown() override {
    // Tests may leave read-only entries behind; make them removable first.
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (const auto& entry : fs::directory_iterator(dir_, ignored))
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
  }

  static std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
  /// Names of everything in the test directory.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
      names.push_back(entry.path().filename().string());
    return names;
  }

  fs::path dir_;
  std::string path_;
};

/// Lines joined with CRLF, each one ended, as the program writes a new file.
inline std::string crlfLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

/// Runs `body` in a forked child and returns its exit code (-1 when it did not exit
/// normally). The child never returns into the test framework.
inline int runInChild(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    int code = 100;
    try {
      code = body();
    } catch (...) {
      code = 101;
    }
    ::_exit(code);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace vexil::settings::test
