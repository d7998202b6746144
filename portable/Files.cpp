#ifdef _WIN32
#define _CRT_RAND_S  // rand_s
#endif
#include "portable/Files.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#include <winsock2.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace vexil::fs {

#ifdef _WIN32

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

namespace {

void setErrnoFrom(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: errno = EACCES; break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: errno = EEXIST; break;
    case ERROR_DISK_FULL: errno = ENOSPC; break;
    default: errno = EIO; break;
  }
}

// The lock byte: at 2^62, far past the end of any log or journal. Windows' locks are
// mandatory for the bytes they cover, so they must cover none that is read or written.
constexpr DWORD kLockOffsetHigh = 0x40000000;

}  // namespace

int openFile(const std::string& path, int flags, int mode) {
  const std::wstring name = wide(path);
  if ((flags & O_APPEND) != 0 && (flags & O_ACCMODE) == O_WRONLY) {
    // FILE_APPEND_DATA without FILE_WRITE_DATA: the system puts every write at the end.
    const DWORD disposition = (flags & O_CREAT) ? ((flags & O_EXCL) ? CREATE_NEW : OPEN_ALWAYS) : OPEN_EXISTING;
    HANDLE h = CreateFileW(name.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      setErrnoFrom(GetLastError());
      return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), 0);
    if (fd < 0) CloseHandle(h);
    return fd;
  }
  return _wopen(name.c_str(), flags | O_BINARY | O_NOINHERIT, mode);
}

long long appendWhole(int fd, const void* data, std::size_t size) {
  const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (h == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  // A byte of its own beside the lockFile byte: a writer that holds lockFile's lock
  // (the journal's shared one) still appends.
  OVERLAPPED at{};
  at.Offset = 1;
  at.OffsetHigh = kLockOffsetHigh;
  if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) == 0) {
    setErrnoFrom(GetLastError());
    return -1;
  }
  const int written = _write(fd, data, static_cast<unsigned>(size));
  const int saved = errno;
  UnlockFileEx(h, 0, 1, 0, &at);
  errno = saved;
  return written;
}

bool lockFile(int fd, LockKind kind) {
  const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (h == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  return LockFileEx(h, kind == LockKind::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &at) != 0;
}

void unlockFile(int fd) {
  const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (h == INVALID_HANDLE_VALUE) return;
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  UnlockFileEx(h, 0, 1, 0, &at);
}

bool syncData(int fd) {
  const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (h != INVALID_HANDLE_VALUE && FlushFileBuffers(h) != 0) return true;
  errno = EIO;
  return false;
}

bool utcTime(std::time_t seconds, std::tm& out) { return gmtime_s(&out, &seconds) == 0; }

std::string hostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (GetComputerNameW(name, &size) == 0 || size == 0) return "unknown";
  return narrow(std::wstring(name, size));
}

long long readAt(int fd, void* into, std::size_t length, std::int64_t offset) {
  // ReadFile at an offset given with the call: safe from several threads at once, as
  // pread is.
  const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (h == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  constexpr std::size_t kMostAtOnce = 1u << 30;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  DWORD read = 0;
  if (ReadFile(h, into, static_cast<DWORD>(length < kMostAtOnce ? length : kMostAtOnce), &read, &at) != 0) return read;
  if (GetLastError() == ERROR_HANDLE_EOF) return 0;
  setErrnoFrom(GetLastError());
  return -1;
}

bool systemRandom(void* bytes, std::size_t length) {
  auto* out = static_cast<unsigned char*>(bytes);
  for (std::size_t i = 0; i < length; i += sizeof(unsigned int)) {
    unsigned int value = 0;
    if (rand_s(&value) != 0) return false;  // RtlGenRandom, the system's generator
    for (std::size_t k = 0; k < sizeof value && i + k < length; ++k) out[i + k] = static_cast<unsigned char>(value >> (8 * k));
  }
  return true;
}

#else

int openFile(const std::string& path, int flags, int mode) { return ::open(path.c_str(), flags, mode); }

long long appendWhole(int fd, const void* data, std::size_t size) {
  for (;;) {
    const ssize_t written = ::write(fd, data, size);
    if (written >= 0 || errno != EINTR) return written;
  }
}

bool lockFile(int fd, LockKind kind) {
  const int how = kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH;
  for (;;) {
    if (::flock(fd, how) == 0) return true;
    if (errno != EINTR) return false;
  }
}

void unlockFile(int fd) { ::flock(fd, LOCK_UN); }

bool syncData(int fd) { return ::fdatasync(fd) == 0; }

bool utcTime(std::time_t seconds, std::tm& out) { return gmtime_r(&seconds, &out) != nullptr; }

std::string hostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown";
  return name;
}

long long readAt(int fd, void* into, std::size_t length, std::int64_t offset) {
  return ::pread(fd, into, length, static_cast<off_t>(offset));
}

bool systemRandom(void* bytes, std::size_t length) {
  const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t n = ::read(fd, bytes, length);
  ::close(fd);
  return n == static_cast<ssize_t>(length);
}

#endif

}  // namespace vexil::fs
