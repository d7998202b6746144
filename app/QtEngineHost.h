// The transaction engine's interface thread, made of Qt: a precise single-shot timer
// and queued calls from the listener thread.
#pragma once

#include <QObject>
#include <QTimer>

#include "messaging/EngineHost.h"

namespace vexil::app {

/// Hosts a TransactionEngine on the thread that owns this object (the interface thread).
/// The timer never fires before its deadline: the interval is the time left rounded up
/// to whole milliseconds, on a Qt::PreciseTimer. postCompletion may be called from any
/// thread; the request reaches the engine through the event loop of this object's
/// thread. bind(nullptr) detaches the engine: the timer stops, and requests still
/// queued reach nobody.
class QtEngineHost final : public QObject, public EngineHost {
  Q_OBJECT
 public:
  explicit QtEngineHost(QObject* parent = nullptr);
  ~QtEngineHost() override;

  void bind(EngineSink* sink) override;
  void startTimer(EngineClock::time_point deadline) override;
  void stopTimer() override;
  void postCompletion(const CompletionRequest& request) override;

  bool timerActive() const { return timer_.isActive(); }
  /// The interval of the last start, in milliseconds.
  int timerInterval() const { return timer_.interval(); }

  /// Milliseconds from `now` to `deadline`, rounded up, never negative.
  static int intervalUntil(EngineClock::time_point deadline, EngineClock::time_point now);

 private:
  void deliver(const CompletionRequest& request);

  EngineSink* sink_ = nullptr;  // interface thread only
  QTimer timer_;
};

}  // namespace vexil::app
