// What the transaction engine needs from the interface thread: one single-shot timer
// and a thread-safe hand-off from the listener thread. The GUI implements it with a
// QTimer and a queued call (QtEngineHost); tests, the benchmark and command-line tools
// with plain C++ (PlainEngineHost), so the engine's locking can be checked under
// ThreadSanitizer without Qt in the path.
#pragma once

#include <chrono>
#include <cstdint>

namespace vexil {

using EngineClock = std::chrono::steady_clock;

/// The listener's request to bring the dispatch forward: which transaction accepted a
/// datagram, and when.
struct CompletionRequest {
  std::uint64_t transaction = 0;
  EngineClock::time_point acceptedAt{};
};

/// The engine's side of the host: called on the interface thread only.
class EngineSink {
 public:
  virtual void onTimer() = 0;
  virtual void onCompletionRequest(const CompletionRequest& request) = 0;

 protected:
  ~EngineSink() = default;
};

class EngineHost {
 public:
  virtual ~EngineHost() = default;
  /// Interface thread. Attaches the engine; nullptr detaches it, after which pending
  /// hand-offs and the timer reach nobody.
  virtual void bind(EngineSink* sink) = 0;
  /// Interface thread. (Re)starts the single-shot timer to fire at `deadline`, never
  /// before it; an earlier start is replaced.
  virtual void startTimer(EngineClock::time_point deadline) = 0;
  /// Interface thread. Stops the timer; a stopped timer does not fire.
  virtual void stopTimer() = 0;
  /// Any thread. Delivers `request` to the sink's onCompletionRequest on the interface
  /// thread.
  virtual void postCompletion(const CompletionRequest& request) = 0;
};

}  // namespace vexil
