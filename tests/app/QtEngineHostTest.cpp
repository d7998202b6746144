// The Qt host of the transaction engine: a timer that never fires before its deadline,
// hand-offs from another thread that arrive on the interface thread, and detaching.
#include <QElapsedTimer>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/QtEngineHost.h"

using namespace vexil;
using namespace vexil::app;
using namespace std::chrono_literals;

namespace {

/// Records what the host delivers, and on which thread.
class RecordingSink : public EngineSink {
 public:
  void onTimer() override {
    ++timers;
    firedAt = EngineClock::now();
    timerThread = QThread::currentThread();
  }
  void onCompletionRequest(const CompletionRequest& request) override {
    requests.push_back(request);
    requestThread = QThread::currentThread();
  }

  int timers = 0;
  EngineClock::time_point firedAt{};
  QThread* timerThread = nullptr;
  std::vector<CompletionRequest> requests;
  QThread* requestThread = nullptr;
};

}  // namespace

class QtEngineHostTest : public QObject {
  Q_OBJECT
 private slots:
  void intervalIsRoundedUp_data();
  void intervalIsRoundedUp();
  void timerNeverFiresEarly();
  void restartReplacesAndStopCancels();
  void handOffFromAnotherThreadArrivesOnThisThread();
  void detachedHostDeliversNothing();
};

void QtEngineHostTest::intervalIsRoundedUp_data() {
  QTest::addColumn<qint64>("leftMicroseconds");
  QTest::addColumn<int>("interval");
  QTest::newRow("past") << qint64(-2500) << 0;
  QTest::newRow("now") << qint64(0) << 0;
  QTest::newRow("one microsecond") << qint64(1) << 1;
  QTest::newRow("just under 5 ms") << qint64(4999) << 5;
  QTest::newRow("exactly 5 ms") << qint64(5000) << 5;
  QTest::newRow("just over 5 ms") << qint64(5001) << 6;
  QTest::newRow("one second and a bit") << qint64(1000000 + 1) << 1001;
}

void QtEngineHostTest::intervalIsRoundedUp() {
  QFETCH(qint64, leftMicroseconds);
  QFETCH(int, interval);
  const EngineClock::time_point now = EngineClock::now();
  QCOMPARE(QtEngineHost::intervalUntil(now + std::chrono::microseconds(leftMicroseconds), now),
           interval);
}

void QtEngineHostTest::timerNeverFiresEarly() {
  QtEngineHost host;
  RecordingSink sink;
  host.bind(&sink);
  // Several odd deadlines: every firing comes at or after its deadline.
  for (const auto delay : {3ms + 300us, 17ms + 900us, 40ms + 1us}) {
    sink.timers = 0;
    const EngineClock::time_point deadline = EngineClock::now() + delay;
    host.startTimer(deadline);
    QVERIFY(host.timerActive());
    QTRY_COMPARE_WITH_TIMEOUT(sink.timers, 1, 2000);
    QVERIFY2(sink.firedAt >= deadline, "the timer fired before its deadline");
    QCOMPARE(sink.timerThread, QThread::currentThread());
    QVERIFY(!host.timerActive());
  }
}

void QtEngineHostTest::restartReplacesAndStopCancels() {
  QtEngineHost host;
  RecordingSink sink;
  host.bind(&sink);
  host.startTimer(EngineClock::now() + 5ms);
  host.startTimer(EngineClock::now() + 400ms);  // replaces the 5 ms start
  QTest::qWait(100);
  QCOMPARE(sink.timers, 0);
  host.stopTimer();
  QTest::qWait(450);
  QCOMPARE(sink.timers, 0);
  host.startTimer(EngineClock::now());
  QTRY_COMPARE_WITH_TIMEOUT(sink.timers, 1, 2000);
}

void QtEngineHostTest::handOffFromAnotherThreadArrivesOnThisThread() {
  QtEngineHost host;
  RecordingSink sink;
  host.bind(&sink);
  std::thread listener([&host] {
    for (std::uint64_t n = 1; n <= 3; ++n) {
      host.postCompletion({n, EngineClock::now()});
    }
  });
  listener.join();
  QCOMPARE(sink.requests.size(), std::size_t{0});  // nothing runs outside the event loop
  QTRY_COMPARE_WITH_TIMEOUT(sink.requests.size(), std::size_t{3}, 2000);
  QCOMPARE(sink.requestThread, QThread::currentThread());
  QCOMPARE(sink.requests[0].transaction, std::uint64_t{1});
  QCOMPARE(sink.requests[2].transaction, std::uint64_t{3});
}

void QtEngineHostTest::detachedHostDeliversNothing() {
  QtEngineHost host;
  RecordingSink sink;
  host.bind(&sink);
  host.startTimer(EngineClock::now() + 20ms);
  host.postCompletion({7, EngineClock::now()});
  host.bind(nullptr);  // the queued hand-off and the timer now reach nobody
  QVERIFY(!host.timerActive());
  QTest::qWait(80);
  QCOMPARE(sink.timers, 0);
  QVERIFY(sink.requests.empty());
}

QTEST_MAIN(QtEngineHostTest)
#include "QtEngineHostTest.moc"
