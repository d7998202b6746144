// The settings file against another local user: the temporary file of a save is
// private from its first byte, a link another user planted in a shared sticky folder is
// not followed, an administrator's save keeps the file's owner and group, a refusal
// says why, and a file of CR line ends reads line by line with its bytes kept.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "settings/AtomicFile.h"
#include "settings/IniFile.h"

namespace vexil::settings {
namespace {

constexpr uid_t kOtherUser = 65534;  // "nobody": a second local user on every Debian system
constexpr gid_t kOtherGroup = 65534;

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class Folder {
 public:
  explicit Folder(mode_t mode = 0700) {
    char pattern[] = "/tmp/vexil-settings-security-XXXXXX";
    path_ = ::mkdtemp(pattern);
    ::chmod(path_.c_str(), mode);
  }
  ~Folder() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The permission bits of every temporary file as it is created beside `target`,
// seen by watching the folder while `save` runs.
std::vector<mode_t> temporaryModesDuring(const Folder& folder, const std::function<void()>& save) {
  const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  EXPECT_GE(watch, 0);
  ::inotify_add_watch(watch, folder.path().c_str(), IN_CREATE);
  std::atomic<bool> done{false};
  std::vector<mode_t> modes;
  std::thread watcher([&] {
    alignas(inotify_event) char buffer[4096];
    while (!done.load()) {
      const ssize_t n = ::read(watch, buffer, sizeof buffer);
      for (ssize_t at = 0; n > 0 && at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        const std::string name = e->len ? e->name : "";
        if (name.size() > 4 && name.ends_with(".tmp")) {
          struct stat info {};
          if (::stat(folder.file(name).c_str(), &info) == 0) modes.push_back(info.st_mode & 07777);
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
      if (n <= 0) std::this_thread::yield();
    }
  });
  save();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  done = true;
  watcher.join();
  ::close(watch);
  return modes;
}

TEST(SettingsSecurity, TheTemporaryFileIsPrivateFromItsFirstByte) {
  for (const mode_t kept : {mode_t{0600}, mode_t{0644}}) {
    Folder folder;
    const std::string path = folder.file("VexilDevP.ini");
    writeBytes(path, "[Settings]\r\nMyPort=1\r\n");
    ASSERT_EQ(::chmod(path.c_str(), kept), 0);
    // A large save leaves time to look at the temporary file while it is written.
    const std::string big = "[Settings]\r\nMyPort=2\r\nPad=" + std::string(8 << 20, 'x') + "\r\n";
    const auto modes = temporaryModesDuring(folder, [&] { EXPECT_TRUE(replaceFileAtomically(path, big)); });
    ASSERT_FALSE(modes.empty()) << "no temporary file seen";
    for (const mode_t m : modes) EXPECT_EQ(m, 0600u) << std::oct << "temporary file born " << m;
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, kept) << "the file keeps its own mode";
  }
}

TEST(SettingsSecurity, ANewFileGetsTheUsualModeOnlyOnceWritten) {
  Folder folder;
  const std::string path = folder.file("VexilDevP.ini");
  const mode_t mask = ::umask(022);
  EXPECT_TRUE(replaceFileAtomically(path, "[Settings]\r\n"));
  ::umask(mask);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(SettingsSecurity, ALinkAnotherUserPlantedInASharedFolderIsNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a link to a second user";
  Folder shared(01777);  // as the system's shared temporary folder
  Folder mine;
  const std::string victim = mine.file("victim.ini");
  writeBytes(victim, "[Settings]\r\nMyPort=7\r\n");
  const std::string link = shared.file("VexilDevP.ini");
  ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
  ASSERT_EQ(::lchown(link.c_str(), kOtherUser, kOtherGroup), 0);

  IniFile file(link);
  EXPECT_EQ(file.readInteger("Settings", "MyPort", 0), 0) << "read through a stranger's link";
  try {
    file.writeInteger("Settings", "MyPort", 9);
    FAIL() << "no WriteError";
  } catch (const WriteError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + link);
    EXPECT_NE(error.reason().find("symbolic link"), std::string::npos) << error.reason();
  }
  EXPECT_EQ(readBytes(victim), "[Settings]\r\nMyPort=7\r\n");
  EXPECT_TRUE(foreignLinkProblem(link));

  // The same link made by the user itself is followed, as always.
  ASSERT_EQ(::lchown(link.c_str(), ::geteuid(), ::getegid()), 0);
  EXPECT_FALSE(foreignLinkProblem(link));
  IniFile own(link);
  EXPECT_EQ(own.readInteger("Settings", "MyPort", 0), 7);
  own.writeInteger("Settings", "MyPort", 9);
  EXPECT_EQ(IniFile(victim).readInteger("Settings", "MyPort", 0), 9);
}

TEST(SettingsSecurity, AnAdministratorsSaveKeepsTheOwnerAndGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to own a file as a second user";
  Folder folder(0755);
  const std::string path = folder.file("VexilDevP.ini");
  writeBytes(path, "[Settings]\r\nMyPort=1\r\n");
  ASSERT_EQ(::chown(path.c_str(), kOtherUser, kOtherGroup), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  IniFile(path).writeInteger("Settings", "MyPort", 2);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, kOtherUser);
  EXPECT_EQ(info.st_gid, kOtherGroup);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(IniFile(path).readInteger("Settings", "MyPort", 0), 2);
}

TEST(SettingsSecurity, ARefusedSaveKeepsItsMessageAndSaysWhy) {
  Folder folder;
  const std::string path = folder.file("VexilDevP.ini");
  writeBytes(path, "[Settings]\r\n");
  ::chmod(path.c_str(), 0444);
  try {
    IniFile(path).writeInteger("Settings", "MyPort", 1);
    FAIL() << "no WriteError";
  } catch (const WriteError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + path);
    EXPECT_EQ(error.reason(), "the file is read-only");
  }
}

TEST(SettingsSecurity, ARefusalSaysWhy) {
  Folder folder;
  const std::string directory = folder.file("VexilDevP.ini");
  ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
  std::string why;
  EXPECT_FALSE(replaceFileAtomically(directory, "x", &why));
  EXPECT_EQ(why, "not a regular file");
  EXPECT_FALSE(replaceFileAtomically(folder.file("missing/VexilDevP.ini"), "x", &why));
  EXPECT_EQ(why, "the folder does not exist");
  const std::string readOnly = folder.file("ro.ini");
  writeBytes(readOnly, "[S]\r\n");
  ::chmod(readOnly.c_str(), 0444);
  EXPECT_FALSE(replaceFileAtomically(readOnly, "x", &why));
  EXPECT_EQ(why, "the file is read-only");
}

TEST(SettingsSecurity, AFileOfCrLineEndsReadsLineByLineAndKeepsItsBytes) {
  Folder folder;
  const std::string path = folder.file("VexilDevP.ini");
  const std::string original = "[Settings]\rMyPort=4000\rDevicePort=5\r[Main]\rIPExt=9\r";
  writeBytes(path, original);
  IniFile file(path);
  EXPECT_EQ(file.readInteger("Settings", "MyPort", 0), 4000);
  EXPECT_EQ(file.readInteger("Settings", "DevicePort", 0), 5);
  EXPECT_EQ(file.readInteger("Main", "IPExt", 0), 9);
  EXPECT_EQ(readBytes(path), original) << "reading leaves the bytes alone";
  file.writeInteger("Settings", "DevicePort", 6);
  file.writeInteger("Main", "IPBase", 7);
  EXPECT_EQ(readBytes(path), "[Settings]\rMyPort=4000\rDevicePort=6\r[Main]\rIPExt=9\rIPBase=7\r");
}

}  // namespace
}  // namespace vexil::settings
