// Whole-file reads and crash-safe whole-file replacement, for the settings file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vexil::settings {

/// How a whole-file read ended.
enum class ReadStatus {
  Ok,          // data holds the file's bytes
  Missing,     // no file at that path
  Unreadable,  // the file (or whatever is at the path) could not be read
};

/// The bytes of a file and how the read ended.
struct FileBytes {
  ReadStatus status = ReadStatus::Missing;
  std::string data;
};

/// Reads the whole file at `path`. Any thread; no state is shared.
FileBytes readWholeFile(const std::string& path);

/// Replaces the file at `path` with `bytes` so that a crash at any moment leaves
/// either the old or the new complete file: the bytes go to a temporary file in the
/// same directory, are flushed to the disk and renamed over the file, and the
/// directory is flushed. A symbolic link is followed, so the file it names is
/// replaced and the link kept; an existing file keeps its permission bits.
///
/// The temporary file is named "<file name>.<pid>.<n>.tmp". Before making its own,
/// a replacement removes the ones of that exact naming that belong to this user and
/// whose writer process no longer exists, left by a writer killed mid-write. Writers
/// are told apart by process id, so the directory must not be shared with writers in
/// another process-id namespace or on another machine.
///
/// Refused (false, the file untouched, no temporary file left) when the file exists
/// but is not a regular file, is read-only (no write permission bit at all, whoever
/// runs the program) or not writable by this process, or when the directory is missing
/// or refuses a new file, or any write, flush or rename fails.
/// `why`, when given, gets the reason of a refusal: "permission denied", "read-only file
/// system", "not a regular file", "the file is read-only", ... The temporary file is made
/// with mode 0600 and gets the kept mode (or a new file's 0666 less the umask) only
/// once its bytes are written; an existing file keeps its owner and group where the
/// process may keep them (root may). A symbolic link another user placed in a sticky
/// world-writable folder is not followed (foreignLinkProblem).
bool replaceFileAtomically(const std::string& path, std::string_view bytes,
                           std::string* why = nullptr);

/// Why `path` must not be followed: it is a symbolic link in a sticky, world-writable
/// folder (as the system's shared temporary folder) owned by neither this process's
/// user nor the folder's owner, the links the kernel's protected-symlinks rule refuses
/// to follow. Nothing for any other path. readWholeFile treats such a link as
/// unreadable.
std::optional<std::string> foreignLinkProblem(const std::string& path);

}  // namespace vexil::settings
