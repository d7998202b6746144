#include "records/DatabaseLog.h"

#include <algorithm>

namespace vexil::records {
namespace {

// A server that did not answer is asked again at most this often while records arrive.
constexpr auto kRetryInterval = std::chrono::seconds(1);
// Records sent in one transaction when a backlog drains.
constexpr std::size_t kBatchRows = 500;
constexpr char kJournalPrefix[] = "journal-";
constexpr char kJournalSuffix[] = ".jsonl";

}  // namespace

std::string defaultJournalPath(const std::string& uri) {
  return defaultJournalFolder() + "/" + kJournalPrefix + destinationKey(uri) + kJournalSuffix;
}

DatabaseLog::DatabaseLog(std::string uri, std::string journalPath)
    : uri_(std::move(uri)), journal_(std::move(journalPath)), database_(uri_) {}

DatabaseLog::~DatabaseLog() = default;

bool DatabaseLog::open(std::string& error, std::string& notice) {
  if (!journal_.open(error)) return false;
  JournalContents contents;
  if (!journal_.read(contents, error)) return false;
  damaged_ = contents.damaged;
  if (damaged_) {
    notice = "the journal " + journal_.path() + " holds " + std::to_string(damaged_) +
             " damaged line(s), kept and not sent (first: " + contents.firstDamage + ")";
  }
  std::lock_guard guard(mutex_);
  queue_.assign(std::make_move_iterator(contents.waiting.begin()),
                std::make_move_iterator(contents.waiting.end()));
  if (!connectLocked(true)) {
    if (refused_) {
      error = "the production database " + destination() + " refuses the records: " + lastError_;
      return false;
    }
    notice += std::string(notice.empty() ? "" : "; ") + "the production database " + destination() +
              " cannot be reached (" + lastError_ + "): records wait in " + journal_.path() +
              " until it answers";
  }
  return true;
}

bool DatabaseLog::connectLocked(bool force) {
  if (database_.connected()) return true;
  if (refused_) return false;
  const auto now = std::chrono::steady_clock::now();
  if (!force && attempted_ && now - lastAttempt_ < kRetryInterval) return false;
  attempted_ = true;
  lastAttempt_ = now;
  std::string error;
  const Connection c = database_.connect(error);
  if (c == Connection::Ready) return true;
  refused_ = c == Connection::Refused;
  lastError_ = error;
  return false;
}

void DatabaseLog::sendLocked(bool force) {
  while (!queue_.empty() && connectLocked(force)) {
    const std::size_t n = std::min(queue_.size(), kBatchRows);
    std::vector<SetupRecord> batch(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
    std::string error;
    bool lost = false;
    if (!database_.insert(batch, error, lost)) {
      lastError_ = error;
      if (lost) {
        database_.disconnect();
        lastAttempt_ = std::chrono::steady_clock::now();
        force = false;  // the next try waits its interval
        continue;
      }
      // The server kept the connection but not these rows: each one alone, so that a
      // row it cannot take waits (in the journal, for the next run) without holding back
      // the others.
      std::vector<std::string> ids;
      std::size_t tried = 0;
      for (SetupRecord& r : batch) {
        ++tried;
        std::string why;
        if (database_.insert({r}, why, lost)) {
          ids.push_back(r.id);
        } else if (lost) {
          --tried;
          break;
        } else {
          lastError_ = why;
          held_.push_back(std::move(r));
        }
      }
      std::string markError;
      if (!journal_.markSent(ids, markError)) lastError_ = markError;
      sent_ += ids.size();
      queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(tried));
      if (lost) {
        database_.disconnect();
        lastAttempt_ = std::chrono::steady_clock::now();
        force = false;
      }
      continue;
    }
    std::vector<std::string> ids;
    ids.reserve(batch.size());
    for (const SetupRecord& r : batch) ids.push_back(r.id);
    // Marked after the commit: a kill in between sends them again, and the unique key
    // drops the replay.
    std::string markError;
    if (!journal_.markSent(ids, markError)) lastError_ = markError;
    sent_ += n;
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
  }
}

bool DatabaseLog::append(const SetupRecord& record, std::string& error) {
  if (!journal_.append(record, error)) return false;
  std::lock_guard guard(mutex_);
  queue_.push_back(record);
  sendLocked(false);
  return true;
}

std::size_t DatabaseLog::sendWaiting(std::string& error) {
  std::lock_guard guard(mutex_);
  sendLocked(true);
  if (!queue_.empty() || !held_.empty()) error = lastError_;
  return queue_.size() + held_.size();
}

bool DatabaseLog::compact(std::string& error) {
  std::lock_guard guard(mutex_);
  return !queue_.empty() || !held_.empty() || journal_.compact(error);
}

std::size_t DatabaseLog::waiting() const {
  std::lock_guard guard(mutex_);
  return queue_.size() + held_.size();
}

std::size_t DatabaseLog::sent() const {
  std::lock_guard guard(mutex_);
  return sent_;
}

}  // namespace vexil::records
