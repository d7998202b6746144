// Whole-file reads and crash-safe replacement on Windows: the same promises as on
// Linux (the old or the new complete file, never a mix), kept with the calls Windows
// gives for them. A temporary file beside the target is written, flushed to the disk
// and moved over the target with MoveFileExW, which replaces it in one step and, with
// MOVEFILE_WRITE_THROUGH, returns only once the move is on the disk. Windows has no
// permission bits nor symbolic links a user would meet here: the read-only attribute
// stands for "no write bit", and the shared-folder link rule has nothing to refuse.
#include <windows.h>

#include <atomic>
#include <charconv>
#include <string>
#include <utility>

#include "portable/Files.h"
#include "settings/AtomicFile.h"

namespace vexil::settings {

namespace {

constexpr int kTemporaryNameAttempts = 16;
constexpr std::string_view kTemporarySuffix = ".tmp";

/// Closes a handle when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  bool close() {
    if (h_ == INVALID_HANDLE_VALUE) return true;
    return CloseHandle(std::exchange(h_, INVALID_HANDLE_VALUE)) != 0;
  }

 private:
  HANDLE h_;
};

std::string reasonOf(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return "permission denied";
    case ERROR_WRITE_PROTECT: return "read-only file system";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "no space left on the disk";
    case ERROR_FILE_TOO_LARGE: return "file too large";
    case ERROR_PATH_NOT_FOUND: return "the folder does not exist";
    default: return "Windows error " + std::to_string(error);
  }
}

bool refuse(std::string* why, std::string text) {
  if (why) *why = std::move(text);
  return false;
}

std::string fileNameOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string directoryPrefixOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

/// The writer's process id when `name` is "<fileName>.<pid>.<n>.tmp".
std::optional<DWORD> temporaryFileWriter(std::string_view name, std::string_view fileName) {
  if (!name.starts_with(fileName)) return std::nullopt;
  name.remove_prefix(fileName.size());
  if (!name.starts_with('.') || !name.ends_with(kTemporarySuffix)) return std::nullopt;
  name.remove_prefix(1);
  name.remove_suffix(kTemporarySuffix.size());
  const auto dot = name.find('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  DWORD pid = 0;
  const auto [stop, error] = std::from_chars(name.data(), name.data() + dot, pid, 10);
  if (error != std::errc{} || stop != name.data() + dot || pid == 0 || name[0] == '0') return std::nullopt;
  unsigned counter = 0;
  const std::string_view rest = name.substr(dot + 1);
  const auto [end, bad] = std::from_chars(rest.data(), rest.data() + rest.size(), counter, 10);
  if (bad != std::errc{} || end != rest.data() + rest.size() || rest.empty()) return std::nullopt;
  return pid;
}

/// Removes the temporary files that writers killed mid-write left beside `target`:
/// only those of exactly our naming whose writer process no longer exists.
void removeGoneWritersTemporaryFiles(const std::string& target) {
  const std::string fileName = fileNameOf(target);
  const std::string folder = directoryPrefixOf(target);
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(fs::wide(target + ".*" + std::string(kTemporarySuffix)).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    const std::string name = fs::narrow(found.cFileName);
    const std::optional<DWORD> writer = temporaryFileWriter(name, fileName);
    if (!writer || *writer == GetCurrentProcessId()) continue;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, *writer);
    if (process != nullptr) {
      CloseHandle(process);  // it runs: its file stays
      continue;
    }
    // Any answer but "no such process" (access denied: someone else's) keeps it.
    if (GetLastError() != ERROR_INVALID_PARAMETER) continue;
    DeleteFileW(fs::wide(folder + name).c_str());
  } while (FindNextFileW(search, &found) != 0);
  FindClose(search);
}

std::pair<HANDLE, std::string> createTemporaryBeside(const std::string& target, DWORD& error) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    std::string name = target + "." + std::to_string(GetCurrentProcessId()) + "." +
                       std::to_string(counter.fetch_add(1)) + std::string(kTemporarySuffix);
    HANDLE h = CreateFileW(fs::wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return {h, std::move(name)};
    error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return {INVALID_HANDLE_VALUE, {}};
}

bool writeAll(HANDLE h, std::string_view bytes) {
  while (!bytes.empty()) {
    constexpr std::size_t kMostAtOnce = 1u << 30;
    DWORD written = 0;
    const auto size = static_cast<DWORD>(bytes.size() < kMostAtOnce ? bytes.size() : kMostAtOnce);
    if (WriteFile(h, bytes.data(), size, &written, nullptr) == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

std::optional<std::string> foreignLinkProblem(const std::string&) { return std::nullopt; }

FileBytes readWholeFile(const std::string& path) {
  FileBytes result;
  Handle file(CreateFileW(fs::wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD error = GetLastError();
    result.status = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadStatus::Missing
                                                                                   : ReadStatus::Unreadable;
    return result;
  }
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    result.status = ReadStatus::Unreadable;
    return result;
  }
  char chunk[4096];
  for (;;) {
    DWORD got = 0;
    if (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) == 0) {
      result.status = ReadStatus::Unreadable;
      result.data.clear();
      return result;
    }
    if (got == 0) break;
    result.data.append(chunk, got);
  }
  result.status = ReadStatus::Ok;
  return result;
}

bool replaceFileAtomically(const std::string& path, std::string_view bytes, std::string* why) {
  const std::wstring target = fs::wide(path);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return refuse(why, "not a regular file");
    // MoveFileExW would replace a read-only file without asking.
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return refuse(why, "the file is read-only");
  } else if (const DWORD error = GetLastError(); error != ERROR_FILE_NOT_FOUND) {
    return refuse(why, reasonOf(error));
  }

  removeGoneWritersTemporaryFiles(path);
  DWORD failure = 0;
  auto [h, temporaryName] = createTemporaryBeside(path, failure);
  Handle temporary(h);
  if (!temporary.valid()) return refuse(why, reasonOf(failure));
  const auto step = [&failure](bool ok) {
    if (!ok && failure == 0) failure = GetLastError();
    return ok;
  };
  const bool written = step(writeAll(temporary.get(), bytes)) && step(FlushFileBuffers(temporary.get()) != 0) &&
                       step(temporary.close());
  const std::wstring temporaryWide = fs::wide(temporaryName);
  if (!written ||
      !step(MoveFileExW(temporaryWide.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)) {
    temporary.close();
    DeleteFileW(temporaryWide.c_str());
    return refuse(why, reasonOf(failure));
  }
  return true;
}

}  // namespace vexil::settings
