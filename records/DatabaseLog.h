// The production log of `vexilctl setup --log postgresql://...`: every record goes first to
// the station's journal and then to the database, each row in a transaction of its own.
// A thread of the log's own sends, on one connection; rows of boards that finish
// meanwhile queue up and go together in the next pipeline, so a burst of boards costs a
// few round trips, not one each, and no board's set-up waits on the server. While the
// server is away the records wait in the journal; the server is tried again at most once
// a second while records wait and, once it answers, what waited goes first, in order.
// The first connection is made beside the boards' set-up, not before it. `vexilctl log
// flush` is the same sending without a set-up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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

  /// Opens the journal and takes up what waits in it; then, on a thread of its own,
  /// connects and sends what waited. False, with `error`, when the journal cannot be
  /// opened; `notice` tells of damaged lines in it.
  bool open(std::string& error, std::string& notice);

  /// Journals the record and hands it to the sending thread (after whatever waits
  /// before it); returns without waiting for the server. Thread-safe. False, with
  /// `error`, when the journal could not take it: the record is still sent, but waits
  /// only in memory.
  bool append(const SetupRecord& record, std::string& error);

  /// Ends the sending: what waits is sent, the server tried once more unless an attempt
  /// ended within the last second, and what still waits is put on the disk. Returns how
  /// many records still wait; `error` says why they do. Called once, after the last
  /// append.
  std::size_t sendWaiting(std::string& error);
  /// True when the server answered but refuses the records (a newer schema, tables the
  /// role may not create, rows it may not insert): a setting to mend, not an outage.
  bool refused() const;

  /// Empties the journal when nothing waits.
  bool compact(std::string& error);

  std::size_t waiting() const;
  std::size_t sent() const;
  const std::string& journalPath() const { return journal_.path(); }
  std::string destination() const { return displayDestination(uri_); }

 private:
  // The sending thread: connects, then sends whatever queues until told to finish.
  void sendLoop();
  // With the lock held, by the sending thread: connected, or connects when allowed
  // (always when `force`), the lock released meanwhile.
  bool connectLocked(std::unique_lock<std::mutex>& lock, bool force);
  // By the sending thread: sends the queue in order until it is empty or the server
  // fails.
  void drain(std::unique_lock<std::mutex>& lock, bool force);
  void finish();

  std::string uri_;
  Journal journal_;
  Database database_;  // the sending thread's only
  std::thread sender_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;   // a record queued, or the end of the sending
  std::deque<SetupRecord> queue_;  // journalled, waiting for the server, oldest first
  std::vector<SetupRecord> held_;  // refused by the server in this run: wait for the next
  bool finishing_ = false;
  std::size_t sent_ = 0;
  bool refused_ = false;
  bool attempted_ = false;
  std::string lastError_;
  std::chrono::steady_clock::time_point lastAttempt_{};
  // How long the last failed attempt took: one that waited out a time-out is not
  // followed at once by another at the end of the run.
  std::chrono::steady_clock::duration lastFailureTook_{};
};

}  // namespace vexil::records
