#include "app/QtEngineHost.h"

#include <QMetaObject>
#include <chrono>
#include <limits>

namespace vexil::app {

QtEngineHost::QtEngineHost(QObject* parent) : QObject(parent) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (sink_) sink_->onTimer();
  });
}

QtEngineHost::~QtEngineHost() { timer_.stop(); }

void QtEngineHost::bind(EngineSink* sink) {
  sink_ = sink;
  if (!sink_) timer_.stop();
}

int QtEngineHost::intervalUntil(EngineClock::time_point deadline,
                                EngineClock::time_point now) {
  if (deadline <= now) return 0;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
  return left > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                : static_cast<int>(left);
}

void QtEngineHost::startTimer(EngineClock::time_point deadline) {
  timer_.start(intervalUntil(deadline, EngineClock::now()));
}

void QtEngineHost::stopTimer() { timer_.stop(); }

void QtEngineHost::postCompletion(const CompletionRequest& request) {
  // Queued to this object's thread; dropped by Qt if this object is gone by then.
  QMetaObject::invokeMethod(
      this, [this, request] { deliver(request); }, Qt::QueuedConnection);
}

void QtEngineHost::deliver(const CompletionRequest& request) {
  if (sink_) sink_->onCompletionRequest(request);
}

}  // namespace vexil::app
