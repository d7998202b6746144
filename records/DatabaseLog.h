// The production log of `vexilctl setup --log postgresql://...`: every record goes first to
// the station's journal and then to the database. While the server is away the records
// wait in the journal; each new record tries the server again (at most once a second)
// and, once it answers, what waited goes first. `vexilctl log flush` is the same sending
// without a set-up.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "records/Database.h"
#include "records/Journal.h"

namespace vexil::records {

/// Where the records of `uri` wait when no journal is named: the default journal folder,
/// a file per destination.
std::string defaultJournalPath(const std::string& uri);

class DatabaseLog {
 public:
  DatabaseLog(std::string uri, std::string journalPath);
  ~DatabaseLog();
  DatabaseLog(const DatabaseLog&) = delete;
  DatabaseLog& operator=(const DatabaseLog&) = delete;

  /// Opens the journal, takes up what waits in it and tries the server. False, with
  /// `error`, when the run must not start: the journal cannot be opened, or the server
  /// refuses the records (a newer schema). A server that cannot be reached is no such
  /// reason: `notice` then says the records will wait.
  bool open(std::string& error, std::string& notice);

  /// Journals the record, then sends it with whatever waited before it. Thread-safe.
  /// False, with `error`, only when the journal could not take it; a record the database
  /// has not taken yet waits.
  bool append(const SetupRecord& record, std::string& error);

  /// Sends everything that waits, trying the server once more even within the second.
  /// Returns how many records still wait; `error` says why they do.
  std::size_t sendWaiting(std::string& error);

  /// Empties the journal when nothing waits.
  bool compact(std::string& error);

  std::size_t waiting() const;
  std::size_t sent() const;
  std::size_t damaged() const { return damaged_; }
  const std::string& journalPath() const { return journal_.path(); }
  std::string destination() const { return displayDestination(uri_); }

 private:
  // With `mutex_` held: connect if allowed, then send the queue in batches.
  void sendLocked(bool force);
  bool connectLocked(bool force);

  std::string uri_;
  Journal journal_;
  Database database_;
  mutable std::mutex mutex_;
  std::deque<SetupRecord> queue_;  // journalled, not yet in the database
  std::vector<SetupRecord> held_;  // refused by the server in this run: wait for the next
  std::size_t sent_ = 0;
  std::size_t damaged_ = 0;
  bool refused_ = false;
  std::string lastError_;
  std::chrono::steady_clock::time_point lastAttempt_{};
  bool attempted_ = false;
};

}  // namespace vexil::records
