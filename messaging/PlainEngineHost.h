// An interface thread made of plain C++: the thread that calls run* is the interface
// thread. Used by the tests, the benchmark and the command-line tools.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "messaging/EngineHost.h"

namespace vexil {

class PlainEngineHost final : public EngineHost {
 public:
  void bind(EngineSink* sink) override { sink_ = sink; }
  void startTimer(EngineClock::time_point deadline) override { deadline_ = deadline; }
  void stopTimer() override { deadline_.reset(); }
  void postCompletion(const CompletionRequest& request) override;

  /// Runs hand-offs and the timer on the calling thread until `done` returns true
  /// (checked after every event) or `limit` has passed. True when `done` was reached.
  bool runUntil(const std::function<bool()>& done, EngineClock::duration limit);
  /// Runs events for `period`.
  void runFor(EngineClock::duration period);
  bool timerActive() const { return deadline_.has_value(); }
  std::optional<EngineClock::time_point> timerDeadline() const { return deadline_; }

 private:
  EngineSink* sink_ = nullptr;
  std::optional<EngineClock::time_point> deadline_;  // interface thread only

  std::mutex queueLock_;
  std::condition_variable queueChanged_;
  std::deque<CompletionRequest> queue_;
};

}  // namespace vexil
