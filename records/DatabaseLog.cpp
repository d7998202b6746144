#include "records/DatabaseLog.h"

#include <algorithm>

namespace vexil::records {
namespace {

// A server that did not answer is asked again at most this often while records arrive.
constexpr auto kRetryInterval = std::chrono::seconds(1);
// Rows in one pipeline: their answers (a few dozen bytes each) fit the socket buffers,
// so sending them all before reading any cannot stall.
constexpr std::size_t kPipelineRows = 200;
constexpr char kJournalPrefix[] = "journal-";
constexpr char kJournalSuffix[] = ".jsonl";

}  // namespace

std::string defaultJournalPath(const std::string& uri) {
  return defaultJournalFolder() + "/" + kJournalPrefix + destinationKey(uri) + kJournalSuffix;
}

DatabaseLog::DatabaseLog(std::string uri, std::string journalPath)
    : uri_(std::move(uri)), journal_(std::move(journalPath)), database_(uri_) {}

DatabaseLog::~DatabaseLog() { finish(); }

bool DatabaseLog::open(std::string& error, std::string& notice) {
  if (!journal_.open(error)) return false;
  JournalContents contents;
  if (!journal_.read(contents, error)) return false;
  if (contents.damaged) {
    notice = "the journal " + journal_.path() + " holds " + std::to_string(contents.damaged) +
             " damaged line(s), kept and not sent (first: " + contents.firstDamage + ")";
  }
  std::lock_guard guard(mutex_);
  queue_.assign(std::make_move_iterator(contents.waiting.begin()),
                std::make_move_iterator(contents.waiting.end()));
  sender_ = std::thread([this] { sendLoop(); });
  return true;
}

void DatabaseLog::sendLoop() {
  std::unique_lock lock(mutex_);
  connectLocked(lock, true);
  for (;;) {
    drain(lock, false);
    if (finishing_) break;
    if (queue_.empty() || refused_) {
      wake_.wait(lock, [&] { return finishing_ || (!queue_.empty() && !refused_); });
    } else {
      // Records wait for a server that did not answer: asked again after the interval.
      wake_.wait_for(lock, kRetryInterval, [&] { return finishing_; });
    }
  }
  // The last try of the run, even within the interval, unless the last attempt has just
  // waited out a time-out: a server that did not answer then will not answer now, while
  // one that refused at once (stopped, starting up) may take the rows this time.
  const bool justWaitedOut = attempted_ && lastFailureTook_ >= kRetryInterval &&
                             std::chrono::steady_clock::now() - lastAttempt_ < kRetryInterval;
  drain(lock, !justWaitedOut);
}

bool DatabaseLog::connectLocked(std::unique_lock<std::mutex>& lock, bool force) {
  if (refused_) return false;
  if (database_.connected()) return true;
  const auto now = std::chrono::steady_clock::now();
  if (!force && attempted_ && now - lastAttempt_ < kRetryInterval) return false;
  attempted_ = true;
  lastAttempt_ = now;
  // Appends go on queueing meanwhile.
  lock.unlock();
  std::string error;
  const Connection state = database_.connect(error);
  lock.lock();
  if (state == Connection::Ready) return true;
  // The interval counts from the end of the attempt.
  lastAttempt_ = std::chrono::steady_clock::now();
  lastFailureTook_ = lastAttempt_ - now;
  refused_ = state == Connection::Refused;
  lastError_ = error;
  return false;
}

void DatabaseLog::drain(std::unique_lock<std::mutex>& lock, bool force) {
  while (!queue_.empty() && connectLocked(lock, force)) {
    const std::size_t n = std::min(queue_.size(), kPipelineRows);
    const std::vector<SetupRecord> batch(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
    const auto sentAt = std::chrono::steady_clock::now();
    lock.unlock();
    const Database::Written w = database_.insert(batch);
    std::vector<std::string> ids;
    for (std::size_t i = 0; i < w.answered; ++i) {
      if (w.taken[i]) ids.push_back(batch[i].id);
    }
    // Marked after the commit: a kill in between sends them again, and the unique key
    // drops the replay.
    std::string markError;
    const bool marked = journal_.markSent(ids, markError);
    lock.lock();
    if (!marked) lastError_ = markError;
    sent_ += ids.size();
    // Rows the server refused (the connection kept) wait for the next run, so that one
    // row it cannot take does not hold back the others.
    for (std::size_t i = 0; i < w.answered; ++i) {
      if (!w.taken[i]) held_.push_back(batch[i]);
    }
    if (!w.error.empty()) lastError_ = w.error;
    // A refusal that does not pass by itself is a setting to mend, like a newer schema:
    // nothing more is sent in this run, and the run says so with its exit status.
    if (w.refused) refused_ = true;
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(w.answered));
    if (w.lost || w.answered == 0) {
      // A batch that got no answer at all, even on a connection that still stands (the
      // statement could not be prepared, the connection was not idle), is an outage
      // too: trying it again at once would spin for ever.
      if (!w.lost) database_.disconnect();
      lastAttempt_ = std::chrono::steady_clock::now();
      lastFailureTook_ = lastAttempt_ - sentAt;
      force = false;  // the next try waits its interval
    }
  }
}

bool DatabaseLog::append(const SetupRecord& record, std::string& error) {
  // Journalled first. A journal that cannot take it (a full disk) does not keep the
  // record from a server that answers: it is sent all the same, and the failure is
  // reported.
  const bool journalled = journal_.append(record, error);
  {
    std::lock_guard guard(mutex_);
    queue_.push_back(record);
  }
  wake_.notify_one();
  return journalled;
}

void DatabaseLog::finish() {
  {
    std::lock_guard guard(mutex_);
    finishing_ = true;
  }
  wake_.notify_one();
  if (sender_.joinable()) sender_.join();
}

std::size_t DatabaseLog::sendWaiting(std::string& error) {
  finish();
  std::lock_guard guard(mutex_);
  const std::size_t waiting = queue_.size() + held_.size();
  if (waiting == 0) return 0;
  error = lastError_;
  if (std::string why; !journal_.sync(why)) error += "; " + why;
  return waiting;
}

bool DatabaseLog::refused() const {
  std::lock_guard guard(mutex_);
  return refused_;
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
