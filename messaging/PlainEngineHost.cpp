#include "messaging/PlainEngineHost.h"

namespace vexil {

void PlainEngineHost::postCompletion(const CompletionRequest& request) {
  {
    std::lock_guard guard(queueLock_);
    queue_.push_back(request);
  }
  queueChanged_.notify_one();
}

bool PlainEngineHost::runUntil(const std::function<bool()>& done,
                               EngineClock::duration limit) {
  const EngineClock::time_point end = EngineClock::now() + limit;
  for (;;) {
    if (done && done()) return true;
    const EngineClock::time_point now = EngineClock::now();
    if (now >= end) return false;

    std::optional<CompletionRequest> request;
    {
      std::unique_lock guard(queueLock_);
      const EngineClock::time_point wakeAt =
          deadline_ && *deadline_ < end ? *deadline_ : end;
      queueChanged_.wait_until(guard, wakeAt, [this] { return !queue_.empty(); });
      if (!queue_.empty()) {
        request = queue_.front();
        queue_.pop_front();
      }
    }
    if (request) {
      if (sink_) sink_->onCompletionRequest(*request);
      continue;
    }
    if (deadline_ && EngineClock::now() >= *deadline_) {
      deadline_.reset();
      if (sink_) sink_->onTimer();
    }
  }
}

void PlainEngineHost::runFor(EngineClock::duration period) { runUntil({}, period); }

}  // namespace vexil
