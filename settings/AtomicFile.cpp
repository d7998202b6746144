#include "settings/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

namespace vexil::settings {

namespace {

constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kPermissionBits = 07777;
constexpr mode_t kNewFileMode = 0666;  // narrowed by the process's umask
// The temporary file is born private: its bytes are readable by nobody else while they
// are written, whatever the file it replaces allows.
constexpr mode_t kTemporaryMode = 0600;
constexpr mode_t kStickyWorldWritable = S_ISVTX | S_IWOTH;
constexpr uid_t kNoOwnerChange = static_cast<uid_t>(-1);
constexpr int kTemporaryNameAttempts = 16;
constexpr std::string_view kTemporarySuffix = ".tmp";

/// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  /// Closes now and reports whether the close succeeded (a late write error shows here).
  bool close() {
    const int fd = std::exchange(fd_, -1);
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::string directoryOf(const std::string& path);

}  // namespace

std::optional<std::string> foreignLinkProblem(const std::string& path) {
  struct stat link {};
  if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return std::nullopt;
  struct stat folder {};
  if (::stat(directoryOf(path).c_str(), &folder) != 0) return std::nullopt;
  // The kernel's protected-symlinks rule: in a sticky world-writable folder, a link is
  // followed only when it belongs to the follower or to the folder's owner.
  if ((folder.st_mode & kStickyWorldWritable) != kStickyWorldWritable) return std::nullopt;
  if (link.st_uid == ::geteuid() || link.st_uid == folder.st_uid) return std::nullopt;
  return path + " is a symbolic link another user (uid " + std::to_string(link.st_uid) +
         ") placed in a shared folder; it is not followed";
}

namespace {

/// The path actually replaced: the file a symbolic link names, else `path` itself.
std::string resolveLink(const std::string& path) {
  struct stat linkInfo {};
  if (::lstat(path.c_str(), &linkInfo) != 0 || !S_ISLNK(linkInfo.st_mode)) return path;
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                      &std::free);
  // A dangling link: the link itself is replaced by the new file.
  return resolved ? std::string(resolved.get()) : path;
}

std::string directoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

/// Creates a new, empty temporary file beside `target`; returns its descriptor and name.
std::pair<int, std::string> createTemporaryBeside(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    std::string name = target + "." + std::to_string(::getpid()) + "." +
                       std::to_string(counter.fetch_add(1)) + std::string(kTemporarySuffix);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kTemporaryMode);
    if (fd >= 0) return {fd, std::move(name)};
    if (errno != EEXIST) break;
  }
  return {-1, {}};
}

std::string fileNameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// `digits` as a number when they spell it as it is written: decimal, no sign, no
/// leading zero, within the type.
template <class Number>
std::optional<Number> plainDecimal(std::string_view digits) {
  if (digits.empty() || (digits.size() > 1 && digits.front() == '0')) return std::nullopt;
  Number value{};
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value, 10);
  if (error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

/// The writer of `name` when it is the name of a temporary file made for `fileName`
/// by createTemporaryBeside: "<fileName>.<pid>.<n>.tmp".
std::optional<pid_t> temporaryFileWriter(std::string_view name, std::string_view fileName) {
  if (!name.starts_with(fileName)) return std::nullopt;
  name.remove_prefix(fileName.size());
  if (!name.starts_with('.') || !name.ends_with(kTemporarySuffix)) return std::nullopt;
  name.remove_prefix(1);
  if (name.size() < kTemporarySuffix.size()) return std::nullopt;
  name.remove_suffix(kTemporarySuffix.size());
  const auto dot = name.find('.');
  if (dot == std::string_view::npos || !plainDecimal<unsigned>(name.substr(dot + 1)))
    return std::nullopt;
  const std::optional<pid_t> writer = plainDecimal<pid_t>(name.substr(0, dot));
  if (!writer || *writer <= 0) return std::nullopt;
  return writer;
}

/// Removes the temporary files that writers of `target` killed mid-write left beside
/// it. Only plain files of this process's user with exactly our naming go, and only
/// when no process has the writer's id any more; a live writer's file, even one whose
/// id is being reused by an unrelated process, is left for a later write.
void removeGoneWritersTemporaryFiles(const std::string& target) {
  const std::string fileName = fileNameOf(target);
  struct CloseDirectory {
    void operator()(DIR* d) const { ::closedir(d); }
  };
  const std::unique_ptr<DIR, CloseDirectory> directory(::opendir(directoryOf(target).c_str()));
  if (!directory) return;
  const int directoryFd = ::dirfd(directory.get());
  while (const dirent* entry = ::readdir(directory.get())) {
    const std::optional<pid_t> writer = temporaryFileWriter(entry->d_name, fileName);
    if (!writer || *writer == ::getpid()) continue;
    struct stat info {};
    if (::fstatat(directoryFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
      continue;
    // Any answer but "no such process" (it runs, or belongs to someone else) keeps it.
    if (::kill(*writer, 0) == 0 || errno != ESRCH) continue;
    ::unlinkat(directoryFd, entry->d_name, 0);  // a cleaner beside us may have won
  }
}

void flushDirectory(const std::string& directory) {
  // The rename is durable once the directory is on the disk; a failure here cannot be
  // undone and leaves a complete file either way, so it is not reported.
  Descriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());
}

}  // namespace

FileBytes readWholeFile(const std::string& path) {
  FileBytes result;
  if (foreignLinkProblem(path)) {
    result.status = ReadStatus::Unreadable;
    return result;
  }
  // Non-blocking only so that a pipe placed at the path cannot hang the program; a
  // regular file reads as usual and anything else is refused below.
  Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file.valid()) {
    result.status = errno == ENOENT ? ReadStatus::Missing : ReadStatus::Unreadable;
    return result;
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    result.status = ReadStatus::Unreadable;
    return result;
  }
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      result.status = ReadStatus::Unreadable;
      result.data.clear();
      return result;
    }
    if (got == 0) break;
    result.data.append(chunk, static_cast<std::size_t>(got));
  }
  result.status = ReadStatus::Ok;
  return result;
}

namespace {

bool refuse(std::string* why, std::string text) {
  if (why) *why = std::move(text);
  return false;
}

std::string reasonOf(int error) {
  switch (error) {
    case EACCES:
    case EPERM: return "permission denied";
    case EROFS: return "read-only file system";
    case ENOSPC: return "no space left on the disk";
    case EDQUOT: return "disk quota exceeded";
    case EFBIG: return "file too large";
    case ENOENT: return "the folder does not exist";
    default: return std::strerror(error);
  }
}

// The mode a new file gets: 0666 narrowed by the umask, read without changing it
// (umask() would change it for every thread of the process for a moment).
mode_t newFileMode() {
  std::FILE* status = std::fopen("/proc/self/status", "re");
  mode_t mask = 022;
  if (status) {
    char line[128];
    while (std::fgets(line, sizeof line, status)) {
      unsigned value = 0;
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = static_cast<mode_t>(value);
        break;
      }
    }
    std::fclose(status);
  }
  return kNewFileMode & ~mask;
}

}  // namespace

bool replaceFileAtomically(const std::string& path, std::string_view bytes, std::string* why) {
  if (const auto problem = foreignLinkProblem(path)) return refuse(why, *problem);
  const std::string target = resolveLink(path);

  // rename() would replace a read-only file without asking, so the target's own
  // permission is checked first. The permission bits are looked at as well because
  // an administrator's process passes access() on any file.
  mode_t mode = 0;
  std::optional<std::pair<uid_t, gid_t>> owner;
  struct stat info {};
  if (::stat(target.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode)) return refuse(why, "not a regular file");
    if ((info.st_mode & kAnyWriteBit) == 0) return refuse(why, "the file is read-only");
    if (::access(target.c_str(), W_OK) != 0) return refuse(why, reasonOf(errno));
    mode = info.st_mode & kPermissionBits;
    owner = std::make_pair(info.st_uid, info.st_gid);
  } else if (errno != ENOENT) {
    return refuse(why, reasonOf(errno));
  } else {
    mode = newFileMode();
  }

  removeGoneWritersTemporaryFiles(target);
  auto [fd, temporaryName] = createTemporaryBeside(target);
  Descriptor temporary(fd);
  if (!temporary.valid()) return refuse(why, reasonOf(errno));
  // The owner and group stay as they were, so the owner's next save still works after
  // an administrator's: allowed for root; a member of the group may keep the group.
  if (owner && (owner->first != ::geteuid() || owner->second != ::getegid())) {
    if (::fchown(temporary.get(), owner->first, owner->second) != 0) {
      (void)::fchown(temporary.get(), kNoOwnerChange, owner->second);
    }
  }
  int failure = 0;
  const auto step = [&failure](bool ok) {
    if (!ok && failure == 0) failure = errno;
    return ok;
  };
  // The kept mode is set only once the bytes are all there (and a chown may clear the
  // set-id bits, so it comes after it).
  const bool written = step(writeAll(temporary.get(), bytes)) &&
                       step(::fchmod(temporary.get(), mode) == 0) &&
                       step(::fsync(temporary.get()) == 0) && step(temporary.close());
  if (!written || !step(::rename(temporaryName.c_str(), target.c_str()) == 0)) {
    ::unlink(temporaryName.c_str());
    return refuse(why, reasonOf(failure));
  }
  flushDirectory(directoryOf(target));
  return true;
}

}  // namespace vexil::settings
