// Reading and replacing the settings file as a whole, on Linux and on Windows: the
// bytes exactly as given (CRLF stays CRLF), the refusals that leave the file as it was,
// and no temporary file left behind.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "settings/AtomicFile.h"

namespace vexil::settings {
namespace {

namespace stdfs = std::filesystem;

class ReplaceFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = stdfs::temp_directory_path() / ("vexil-replace-" + std::string(info->name()));
    stdfs::remove_all(dir_);
    stdfs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    for (const auto& entry : stdfs::directory_iterator(dir_, ignored))
      stdfs::permissions(entry.path(), stdfs::perms::owner_all, stdfs::perm_options::add, ignored);
    stdfs::remove_all(dir_, ignored);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  std::string contents(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(stdfs::directory_iterator(dir_), stdfs::directory_iterator()));
  }

  stdfs::path dir_;
};

TEST_F(ReplaceFile, AMissingFileReadsAsMissingAndIsCreatedWithTheBytesAsGiven) {
  EXPECT_EQ(readWholeFile(path("VexilDevP.ini")).status, ReadStatus::Missing);
  const std::string bytes = "[Settings]\r\nMyPort=56790\r\n[Main]\r\nIPBase=127.0.0.\r\n";
  std::string why;
  ASSERT_TRUE(replaceFileAtomically(path("VexilDevP.ini"), bytes, &why)) << why;
  EXPECT_EQ(contents("VexilDevP.ini"), bytes) << "CRLF is written as it is, never doubled";
  const FileBytes read = readWholeFile(path("VexilDevP.ini"));
  EXPECT_EQ(read.status, ReadStatus::Ok);
  EXPECT_EQ(read.data, bytes);
  EXPECT_EQ(entries(), 1u) << "no temporary file is left";
}

TEST_F(ReplaceFile, ReplacingKeepsNothingOfTheOldBytes) {
  ASSERT_TRUE(replaceFileAtomically(path("a.ini"), std::string(5000, 'x')));
  ASSERT_TRUE(replaceFileAtomically(path("a.ini"), "short\n"));
  EXPECT_EQ(contents("a.ini"), "short\n");
  ASSERT_TRUE(replaceFileAtomically(path("a.ini"), ""));
  EXPECT_EQ(readWholeFile(path("a.ini")).status, ReadStatus::Ok);
  EXPECT_EQ(readWholeFile(path("a.ini")).data, "");
  EXPECT_EQ(entries(), 1u);
}

TEST_F(ReplaceFile, BytesOfEveryValueSurvive) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  bytes += "\n\r\n\x1a tail";  // a lone LF, CRLF and Ctrl+Z, which a text mode would change
  ASSERT_TRUE(replaceFileAtomically(path("bytes.ini"), bytes));
  EXPECT_EQ(readWholeFile(path("bytes.ini")).data, bytes);
}

TEST_F(ReplaceFile, AFolderIsRefusedAndLeftAlone) {
  stdfs::create_directory(dir_ / "folder.ini");
  std::string why;
  EXPECT_FALSE(replaceFileAtomically(path("folder.ini"), "x", &why));
  EXPECT_EQ(why, "not a regular file");
  EXPECT_TRUE(stdfs::is_directory(dir_ / "folder.ini"));
  EXPECT_EQ(readWholeFile(path("folder.ini")).status, ReadStatus::Unreadable);
  EXPECT_EQ(entries(), 1u);
}

TEST_F(ReplaceFile, AReadOnlyFileIsRefusedAndKeepsItsBytes) {
  ASSERT_TRUE(replaceFileAtomically(path("ro.ini"), "old\n"));
  stdfs::permissions(dir_ / "ro.ini", stdfs::perms::owner_write | stdfs::perms::group_write | stdfs::perms::others_write,
                     stdfs::perm_options::remove);
  std::string why;
  EXPECT_FALSE(replaceFileAtomically(path("ro.ini"), "new\n", &why));
  EXPECT_EQ(why, "the file is read-only");
  EXPECT_EQ(contents("ro.ini"), "old\n");
  EXPECT_EQ(entries(), 1u);
}

TEST_F(ReplaceFile, AMissingFolderIsRefused) {
  std::string why;
  EXPECT_FALSE(replaceFileAtomically(path("no-such-folder/a.ini"), "x", &why));
  EXPECT_FALSE(why.empty());
  EXPECT_FALSE(stdfs::exists(dir_ / "no-such-folder"));
}

}  // namespace
}  // namespace vexil::settings
