// Files as both systems keep them: opening by a UTF-8 path, whole-file advisory locks,
// flushes to the disk, and the few calls the C library names differently.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace vexil::fs {

#ifdef _WIN32
/// Not inherited by child processes, and bytes as they are: without O_BINARY the
/// Windows C library would turn every "\n" written into "\r\n".
inline constexpr int kNoInherit = O_NOINHERIT | O_BINARY;
/// Windows has no symbolic links an open() would follow unasked.
inline constexpr int kNoFollow = 0;
#else
inline constexpr int kNoInherit = O_CLOEXEC;
inline constexpr int kNoFollow = O_NOFOLLOW;
#endif

/// open() with a UTF-8 path. On Windows the path is converted for the system's wide
/// calls, and a file opened O_WRONLY | O_APPEND gets an append-only handle, so that each
/// write lands at the end in one step, as O_APPEND does on Linux: two programs appending
/// to one log never overwrite each other's lines. -1 with errno set on failure.
int openFile(const std::string& path, int flags, int mode = 0);

/// Writes `size` bytes at the end of a file opened with O_APPEND as one step, so that
/// no other writer's bytes land inside or over them: one write() on Linux, where
/// O_APPEND makes it so; on Windows one write under a lock of its own, since an
/// append-only handle alone is not enough everywhere (under Wine two writers' lines
/// overwrite each other). The bytes written, or -1 with errno set.
long long appendWhole(int fd, const void* data, std::size_t size);

enum class LockKind { Shared, Exclusive };
/// Takes an advisory lock on the whole file (flock on Linux; on Windows a lock on one
/// byte far past any real data, so that it never stands in the way of reads and
/// writes), waiting for it. False when the system refuses it.
bool lockFile(int fd, LockKind kind);
void unlockFile(int fd);

/// Flushes the file's data (and on Linux without its metadata: fdatasync) to the disk.
bool syncData(int fd);

/// The broken-down UTC time of `seconds` (gmtime_r); false when it has none.
bool utcTime(std::time_t seconds, std::tm& out);

/// This machine's name; "unknown" when the system gives none.
std::string hostName();

/// Reads up to `length` bytes at `offset` (pread; on Windows the file position moves,
/// which is harmless to a reader that always names its offset), from any thread. The
/// bytes read, 0 at the end, or -1 with errno set.
long long readAt(int fd, void* into, std::size_t length, std::int64_t offset);

#ifdef _WIN32
/// UTF-8 text as the UTF-16 the system's wide calls take, and back.
std::wstring wide(const std::string& utf8);
std::string narrow(const std::wstring& text);
#endif

/// Fills `bytes` from the system's secure random source; false when it cannot.
bool systemRandom(void* bytes, std::size_t length);

}  // namespace vexil::fs
