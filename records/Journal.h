// The station's journal of production records bound for the database. Every record is
// appended here first, as one whole JSON line in one write() on an O_APPEND descriptor,
// and only then sent; the keys of sent records are appended to a second file beside it
// (JOURNAL.sent). What waits is every journal line whose key is not marked. A record
// sent but not yet marked (the program killed between the two) is sent again and the
// database's unique key drops the replay. When nothing waits, both files are emptied
// under an exclusive lock that appends (under a shared one) never cross.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "records/SetupRecord.h"

namespace vexil::records {

/// What a reading of the journal found.
struct JournalContents {
  std::vector<SetupRecord> waiting;  // in the order written
  std::size_t sent = 0;              // lines already marked sent
  std::size_t damaged = 0;           // lines that are no record; kept, never sent
  std::string firstDamage;           // "line N: why", for the message
};

class Journal {
 public:
  /// The journal at `path`; its marks at `path` + ".sent". Nothing is opened yet.
  explicit Journal(std::string path);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  /// Opens (creating them, and the folder, if needed; mode 0600) both files. False, with
  /// `error` set, when they cannot be opened.
  bool open(std::string& error);
  /// Appends the record's line. Thread-safe. False, with `error` set, when the line did
  /// not reach the file whole.
  bool append(const SetupRecord& record, std::string& error);
  /// Puts what was appended on the disk: called for records left waiting, so that they
  /// outlive a power cut as well as a kill. (A record the database took needs no sync.)
  bool sync(std::string& error);
  /// Marks the records with these keys sent, in one write. Thread-safe.
  bool markSent(const std::vector<std::string>& ids, std::string& error);
  /// Reads both files.
  bool read(JournalContents& contents, std::string& error) const;
  /// Empties both files when every line is sent and none is damaged; false with
  /// `error` only when that fails.
  bool compact(std::string& error);

  const std::string& path() const { return path_; }
  std::string marksPath() const { return path_ + ".sent"; }

 private:
  bool writeWhole(int fd, const std::string& text, const std::string& what, std::string& error);
  bool readUnlocked(JournalContents& contents, std::string& error) const;

  std::string path_;
  int journalFd_ = -1;
  int marksFd_ = -1;
  // flock keeps processes apart but not this process's threads: they share one open
  // file, so one thread's unlock would free the lock another still counts on, and a
  // compaction elsewhere could empty the file under an append. The threads take turns.
  mutable std::mutex threads_;
};

/// The journal folder: $XDG_STATE_HOME/vexil-devp, or ~/.local/state/vexil-devp.
std::string defaultJournalFolder();

}  // namespace vexil::records
