#include "records/Journal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>

#include "portable/Files.h"

namespace vexil::records {
namespace {

constexpr mode_t kJournalMode = 0600;  // production records are the station's, not the world's
constexpr char kRecordStart[] = "{\"id\":";  // how every journal line begins

// A whole-file lock held for a scope.
class Lock {
 public:
  Lock(int fd, fs::LockKind how) : fd_(fd) { fs::lockFile(fd_, how); }
  ~Lock() { fs::unlockFile(fd_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  int fd_;
};

int openAppending(const std::string& path, std::string& error) {
  const int fd = fs::openFile(path, O_RDWR | O_CREAT | O_APPEND | fs::kNoInherit | fs::kNoFollow, kJournalMode);
  if (fd < 0) error = "cannot open the journal " + path + ": " + std::strerror(errno);
  return fd;
}

std::string systemText(const std::string& path, const char* what) {
  return std::string("cannot ") + what + " the journal " + path + ": " + std::strerror(errno);
}

}  // namespace

Journal::Journal(std::string path) : path_(std::move(path)) {}

Journal::~Journal() {
  if (journalFd_ >= 0) ::close(journalFd_);
  if (marksFd_ >= 0) ::close(marksFd_);
}

bool Journal::open(std::string& error) {
  const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
      error = "cannot make the journal's folder " + folder.string() + ": " + ec.message();
      return false;
    }
  }
  journalFd_ = openAppending(path_, error);
  if (journalFd_ < 0) return false;
  marksFd_ = openAppending(marksPath(), error);
  return marksFd_ >= 0;
}

bool Journal::writeWhole(int fd, const std::string& text, const std::string& what, std::string& error) {
  // One write() of the whole text: with O_APPEND the kernel places it at the end in one
  // step, so no other writer's line and no kill can split it.
  const long long written = fs::appendWhole(fd, text.data(), text.size());
  if (written != static_cast<long long>(text.size())) {
    error = "cannot write the journal " + what + ": " +
            (written < 0 ? std::strerror(errno) : std::string("short write"));
    return false;
  }
  return true;
}

bool Journal::append(const SetupRecord& record, std::string& error) {
  std::lock_guard turn(threads_);
  Lock shared(journalFd_, fs::LockKind::Shared);
  return writeWhole(journalFd_, recordJsonLine(record), path_, error);
}

bool Journal::sync(std::string& error) {
  if (fs::syncData(journalFd_)) return true;
  error = systemText(path_, "sync");
  return false;
}

bool Journal::markSent(const std::vector<std::string>& ids, std::string& error) {
  if (ids.empty()) return true;
  std::string text;
  for (const std::string& id : ids) text += id + "\n";
  std::lock_guard turn(threads_);
  Lock shared(journalFd_, fs::LockKind::Shared);
  return writeWhole(marksFd_, text, marksPath(), error);
}

bool Journal::read(JournalContents& contents, std::string& error) const {
  std::lock_guard turn(threads_);
  Lock shared(journalFd_, fs::LockKind::Shared);
  return readUnlocked(contents, error);
}

bool Journal::readUnlocked(JournalContents& contents, std::string& error) const {
  contents = {};
  std::set<std::string> marked;
  {
    std::ifstream marks(marksPath(), std::ios::binary);
    if (!marks) {
      error = systemText(marksPath(), "read");
      return false;
    }
    for (std::string line; std::getline(marks, line);) {
      if (isRecordId(line)) marked.insert(line);
    }
  }
  std::ifstream journal(path_, std::ios::binary);
  if (!journal) {
    error = systemText(path_, "read");
    return false;
  }
  std::size_t number = 0;
  for (std::string line; std::getline(journal, line);) {
    ++number;
    if (line.empty()) continue;
    std::string why;
    auto record = parseRecordJsonLine(line, why);
    if (!record) {
      if (contents.damaged++ == 0) contents.firstDamage = "line " + std::to_string(number) + ": " + why;
      // A write cut short (a full disk) leaves a line without its end, and the next
      // record is appended right after it. A record always starts with its key, and no
      // text inside a record can hold that start (its quotes are escaped), so the last
      // one on the line is a record of its own.
      const std::size_t start = line.rfind(kRecordStart);
      if (start == 0 || start == std::string::npos) continue;
      std::string tailWhy;
      record = parseRecordJsonLine(std::string_view(line).substr(start), tailWhy);
      if (!record) continue;
    }
    if (marked.count(record->id)) {
      ++contents.sent;
    } else {
      contents.waiting.push_back(std::move(*record));
    }
  }
  return true;
}

bool Journal::compact(std::string& error) {
  std::lock_guard turn(threads_);
  Lock exclusive(journalFd_, fs::LockKind::Exclusive);
  JournalContents contents;
  if (!readUnlocked(contents, error)) return false;
  if (!contents.waiting.empty() || contents.damaged != 0) return true;
  // The journal first: a kill between the two leaves marks of records no longer there,
  // which mark nothing.
  if (::ftruncate(journalFd_, 0) != 0) {
    error = systemText(path_, "empty");
    return false;
  }
  if (::ftruncate(marksFd_, 0) != 0) {
    error = systemText(marksPath(), "empty");
    return false;
  }
  return true;
}

std::string defaultJournalFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') {
    return std::string(state) + "/vexil-devp";
  }
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : ".") + "/.local/state/vexil-devp";
}

}  // namespace vexil::records
