// Files as both systems keep them: appends from several writers that never overwrite
// each other (the production and watch logs), whole-file locks, reads at an offset,
// UTF-8 names and UTC times.
#include "portable/Files.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace vexil::fs {
namespace {

namespace stdfs = std::filesystem;
using namespace std::chrono_literals;

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = stdfs::temp_directory_path() / ("vexil-files-" + std::string(info->name()));
    stdfs::remove_all(dir_);
    stdfs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    stdfs::remove_all(dir_, ignored);
  }
  // Names are UTF-8, as the programs take them (a std::filesystem::path made from a
  // narrow string would read it in the ANSI code page on Windows).
  std::string path(const std::string& name) const {
    const std::u8string folder = dir_.u8string();
    return std::string(folder.begin(), folder.end()) + "/" + name;
  }
  std::string contents(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  stdfs::path dir_;
};

constexpr int kAppendFlags = O_WRONLY | O_CREAT | O_APPEND | kNoInherit;

TEST_F(Files, AppendsFromSeveralDescriptorsNeverOverwriteEachOther) {
  // Each writer has a descriptor of its own, as two programs appending to one log do:
  // a write that went to a remembered end instead of the true one would lose lines.
  constexpr int kWriters = 4;
  constexpr int kLines = 300;
  std::vector<std::thread> writers;
  std::atomic<int> failures{0};
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      const int fd = openFile(path("log.csv"), kAppendFlags, 0644);
      if (fd < 0) {
        ++failures;
        return;
      }
      for (int i = 0; i < kLines; ++i) {
        const std::string line = "writer " + std::to_string(w) + " line " + std::to_string(i) + "\n";
        if (appendWhole(fd, line.data(), line.size()) != static_cast<long long>(line.size())) ++failures;
      }
      ::close(fd);
    });
  }
  for (auto& t : writers) t.join();
  ASSERT_EQ(failures.load(), 0);
  const std::string all = contents("log.csv");
  std::size_t lines = 0;
  for (const char c : all) lines += c == '\n';
  EXPECT_EQ(lines, std::size_t{kWriters * kLines}) << "every line is there, whole";
  EXPECT_EQ(all.find('\r'), std::string::npos) << "no line end is translated";
  for (int w = 0; w < kWriters; ++w)
    EXPECT_NE(all.find("writer " + std::to_string(w) + " line " + std::to_string(kLines - 1) + "\n"), std::string::npos);
}

TEST_F(Files, AppendingKeepsWhatTheFileHeld) {
  {
    std::ofstream(dir_ / "old.log", std::ios::binary) << "first\n";
  }
  const int fd = openFile(path("old.log"), kAppendFlags, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "second\n", 7), 7);
  ::close(fd);
  EXPECT_EQ(contents("old.log"), "first\nsecond\n");
}

TEST_F(Files, OpeningAMissingFileWithoutCreateFails) {
  errno = 0;
  EXPECT_LT(openFile(path("missing.log"), O_WRONLY | O_APPEND | kNoInherit), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_LT(openFile(path("missing.ts"), O_RDONLY | kNoInherit), 0);
}

TEST_F(Files, AUtf8NameIsTheNameOnDisk) {
  const std::string name = "Prüfstand-Café.log";
  const int fd = openFile(path(name), kAppendFlags, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "x\n", 2), 2);
  ::close(fd);
  std::string names;
  for (const auto& entry : stdfs::directory_iterator(dir_)) {
    const std::u8string n = entry.path().filename().u8string();
    names += std::string(n.begin(), n.end()) + " ";
  }
  EXPECT_EQ(names, name + " ") << "the UTF-8 name, not its bytes in another code page";
}

TEST_F(Files, AnExclusiveLockWaitsForTheOtherHolder) {
  const int first = openFile(path("lock.log"), kAppendFlags, 0644);
  const int second = openFile(path("lock.log"), kAppendFlags, 0644);
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  ASSERT_TRUE(lockFile(first, LockKind::Exclusive));
  std::atomic<bool> taken{false};
  std::thread other([&] {
    lockFile(second, LockKind::Exclusive);
    taken = true;
    unlockFile(second);
  });
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(taken.load()) << "the second holder waits";
  // The lock covers no byte a write needs: the holder still appends.
  EXPECT_EQ(::write(first, "held\n", 5), 5);
  unlockFile(first);
  other.join();
  EXPECT_TRUE(taken.load());
  ::close(first);
  ::close(second);
  EXPECT_EQ(contents("lock.log"), "held\n");
}

TEST_F(Files, SharedLocksDoNotWaitForEachOther) {
  const int a = openFile(path("shared.log"), kAppendFlags, 0644);
  const int b = openFile(path("shared.log"), kAppendFlags, 0644);
  ASSERT_TRUE(lockFile(a, LockKind::Shared));
  ASSERT_TRUE(lockFile(b, LockKind::Shared));
  EXPECT_EQ(::write(b, "ok\n", 3), 3);
  EXPECT_TRUE(syncData(b));
  unlockFile(a);
  unlockFile(b);
  ::close(a);
  ::close(b);
}

TEST_F(Files, ReadAtTakesTheBytesAtTheOffsetGiven) {
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes.push_back(static_cast<char>(i * 7));
  std::ofstream(dir_ / "packets.ts", std::ios::binary) << bytes;
  const int fd = openFile(path("packets.ts"), O_RDONLY | kNoInherit);
  ASSERT_GE(fd, 0);
  char got[10] = {};
  EXPECT_EQ(readAt(fd, got, sizeof got, 500), 10);
  EXPECT_EQ(std::string(got, 10), bytes.substr(500, 10));
  EXPECT_EQ(readAt(fd, got, sizeof got, 0), 10);
  EXPECT_EQ(std::string(got, 10), bytes.substr(0, 10));
  EXPECT_EQ(readAt(fd, got, sizeof got, 995), 5) << "a read past the end is short";
  EXPECT_EQ(readAt(fd, got, sizeof got, 1000), 0) << "at the end: nothing";
  ::close(fd);
}

TEST(Time, UtcTimeAtTheEdges) {
  std::tm t{};
  ASSERT_TRUE(utcTime(0, t));
  EXPECT_EQ(t.tm_year, 70);
  EXPECT_EQ(t.tm_mon, 0);
  EXPECT_EQ(t.tm_mday, 1);
  ASSERT_TRUE(utcTime(951782400, t));  // 2000-02-29 00:00:00, a leap day
  EXPECT_EQ(t.tm_year, 100);
  EXPECT_EQ(t.tm_mon, 1);
  EXPECT_EQ(t.tm_mday, 29);
  ASSERT_TRUE(utcTime(4102444799, t));  // 2099-12-31 23:59:59, past 2038
  EXPECT_EQ(t.tm_year, 199);
  EXPECT_EQ(t.tm_hour, 23);
  EXPECT_EQ(t.tm_sec, 59);
}

TEST(Machine, HasANameAndRandomBytes) {
  EXPECT_FALSE(hostName().empty());
  std::uint8_t a[16] = {}, b[16] = {};
  ASSERT_TRUE(systemRandom(a, sizeof a));
  ASSERT_TRUE(systemRandom(b, sizeof b));
  EXPECT_NE(std::string(reinterpret_cast<char*>(a), 16), std::string(reinterpret_cast<char*>(b), 16));
}

}  // namespace
}  // namespace vexil::fs
