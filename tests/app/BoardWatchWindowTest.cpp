// The Board Watch window against emulated boards: opened from Tools with the main page's
// board first, samples and plots arriving, a board going silent raising the "silent"
// alarm in the list and clearing it when it answers again, nothing shown green before a
// board has answered, the CSV export, refused board texts and intervals, and a stop that
// ends the watch's thread.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "app/Appearance.h"
#include "app/BoardWatchWindow.h"
#include "app/VexilDevPf.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"
#include "tests/app/AppTestSupport.h"
#include "watch/WatchLog.h"

using namespace vexil::app;
using namespace vexil::app::test;

namespace {

constexpr int kWaitMs = 5000;

QAction* toolsItem(TMainForm& form, const QString& name) {
  for (QAction* top : form.menuBar()->actions())
    if (top->text() == QStringLiteral("Tools") && top->menu())
      for (QAction* item : top->menu()->actions())
        if (item->objectName() == name) return item;
  return nullptr;
}

bool hasRow(const QTableWidget* table, const QString& board, const QString& alarm, const QString& event) {
  for (int r = 0; r < table->rowCount(); ++r)
    if (table->item(r, 1)->text() == board && table->item(r, 3)->text() == alarm &&
        table->item(r, 4)->text() == event)
      return true;
  return false;
}

QColor background(const QLabel* label) { return label->palette().color(QPalette::Window); }

}  // namespace

class BoardWatchWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void toolsMenuOpensTheWindowWithTheMainPagesBoardFirst();
  void samplesArriveAndASilentBoardRaisesAndClearsItsAlarm();
  void nothingIsGreenBeforeEveryBoardHasAnswered();
  void exportsTheSamplesAsTheLogsCsv();
  void refusesBadBoardsAndIntervals();
  void stopEndsTheWatch();

 private:
  QString board() const { return QStringLiteral("127.0.0.1:%1").arg(device_->port()); }
  std::unique_ptr<WorkingDirectory> dir_;
  std::unique_ptr<vexil::sim::DeviceEmulator> device_;
};

void BoardWatchWindowTest::init() {
  dir_ = std::make_unique<WorkingDirectory>();
  vexil::sim::DeviceState quiet = vexil::sim::defaultDeviceState();
  quiet.crcErrorsPerMinute = 0;
  for (auto& in : quiet.inputs) in.state = 0;
  device_ = std::make_unique<vexil::sim::DeviceEmulator>(quiet);
  QVERIFY(device_->start("127.0.0.1", 0));
  dir_->writeIni(QStringLiteral("[Settings]\nMyPort=0\nDevicePort=%1\n[Main]\nIPBase=127.0.0.\nIPExt=1\n")
                     .arg(device_->port())
                     .toLatin1());
}

void BoardWatchWindowTest::cleanup() {
  device_.reset();
  dir_.reset();
}

void BoardWatchWindowTest::toolsMenuOpensTheWindowWithTheMainPagesBoardFirst() {
  TMainForm form;
  QAction* item = toolsItem(form, QStringLiteral("BoardWatch1"));
  QVERIFY(item);
  QCOMPARE(item->text(), QStringLiteral("Board Watch..."));
  item->trigger();
  BoardWatchWindow* w = form.boardWatch();
  QVERIFY(w);
  QVERIFY(w->isVisible());
  QVERIFY(!w->isModal());
  QCOMPARE(w->boardList()->count(), 1);
  QCOMPARE(w->boardList()->item(0)->text(), board());
  QVERIFY(!w->running());
  item->trigger();  // once more: the same window, the same single entry
  QCOMPARE(form.boardWatch(), w);
  QCOMPARE(w->boardList()->count(), 1);
}

void BoardWatchWindowTest::samplesArriveAndASilentBoardRaisesAndClearsItsAlarm() {
  BoardWatchWindow w;
  w.setDevice(QStringLiteral("127.0.0.1"), device_->port());
  w.intervalEdit()->setText(QStringLiteral("0.1"));
  w.show();
  QVERIFY(w.start());
  QTRY_VERIFY_WITH_TIMEOUT(w.plot(vexil::watch::Quantity::InputRate)->pointCount() >= 8, kWaitMs);
  QCOMPARE(w.history().look(board().toStdString()), vexil::watch::BoardLook::Answering);
  QCOMPARE(w.boardList()->item(0)->background().color(), QColor(kSuccessRgb));

  vexil::sim::Faults silent;
  silent.silent = true;
  device_->setFaults(silent);
  QTRY_VERIFY_WITH_TIMEOUT(hasRow(w.alarmTable(), board(), QStringLiteral("silent"), QStringLiteral("started")),
                           kWaitMs);
  QCOMPARE(w.boardList()->item(0)->background().color(), QColor(kFailureRgb));
  QCOMPARE(background(w.activeAlarmsLabel()), QColor(kFailureRgb));
  QVERIFY(w.activeAlarmsLabel()->text().contains(QStringLiteral("1")));

  device_->setFaults({});
  QTRY_VERIFY_WITH_TIMEOUT(hasRow(w.alarmTable(), board(), QStringLiteral("silent"), QStringLiteral("cleared")),
                           kWaitMs);
  QTRY_COMPARE_WITH_TIMEOUT(background(w.activeAlarmsLabel()), QColor(kSuccessRgb), kWaitMs);
  w.stop();
}

void BoardWatchWindowTest::nothingIsGreenBeforeEveryBoardHasAnswered() {
  BoardWatchWindow w;
  QCOMPARE(background(w.activeAlarmsLabel()), QColor(kNotSeenRgb));
  w.setDevice(QStringLiteral("127.0.0.1"), device_->port());
  const int nobody = vexil::freeLoopbackPort();
  QVERIFY(w.addBoard(QStringLiteral("127.0.0.1:%1").arg(nobody)));
  w.intervalEdit()->setText(QStringLiteral("0.1"));
  QVERIFY(w.start());
  QTRY_VERIFY_WITH_TIMEOUT(w.history().rowCount() >= 4, kWaitMs);
  // One board answers, one never has: not green, and the silent one is grey.
  QVERIFY(background(w.activeAlarmsLabel()) != QColor(kSuccessRgb));
  QCOMPARE(w.boardList()->item(1)->background().color(), QColor(kNotSeenRgb));
  w.stop();
}

void BoardWatchWindowTest::exportsTheSamplesAsTheLogsCsv() {
  BoardWatchWindow w;
  w.setDevice(QStringLiteral("127.0.0.1"), device_->port());
  w.intervalEdit()->setText(QStringLiteral("0.05"));
  QVERIFY(w.start());
  QTRY_VERIFY_WITH_TIMEOUT(w.history().rowCount() >= 5, kWaitMs);
  w.stop();
  const QString path = dir_->path() + QStringLiteral("/watch.csv");
  QVERIFY(w.exportCsv(path));
  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = file.readAll().split('\n');
  QCOMPARE(lines.front().toStdString(), vexil::watch::watchCsvHeader());
  QCOMPARE(static_cast<std::size_t>(lines.size() - 2), w.history().rowCount());  // header, last '\n'
  QVERIFY(lines[1].contains(board().toLatin1()));
  QVERIFY(!w.exportCsv(dir_->path() + QStringLiteral("/no/such/folder/watch.csv")));
  QVERIFY(w.statusLine()->text().startsWith(QStringLiteral("Cannot write")));
}

void BoardWatchWindowTest::refusesBadBoardsAndIntervals() {
  BoardWatchWindow w;
  w.setDevice(QStringLiteral("127.0.0.1"), device_->port());
  for (const char* bad : {"", "nowhere", "127.0.0.1:0", "127.0.0.1:65536", "300.1.1.1"}) {
    QVERIFY2(!w.addBoard(QString::fromLatin1(bad)), bad);
    QVERIFY(!w.statusLine()->text().isEmpty());
  }
  QVERIFY(!w.addBoard(board()));  // already listed
  QCOMPARE(w.boardList()->count(), 1);
  QVERIFY(w.addBoard(QStringLiteral("127.0.0.2")));
  QCOMPARE(w.boardList()->item(1)->text(), QStringLiteral("127.0.0.2:56789"));
  for (const char* bad : {"0", "abc", "0.01", "1e9", "-1"}) {
    w.intervalEdit()->setText(QString::fromLatin1(bad));
    QVERIFY2(!w.start(), bad);
    QVERIFY(!w.running());
  }
}

void BoardWatchWindowTest::stopEndsTheWatch() {
  auto w = std::make_unique<BoardWatchWindow>();
  w->setDevice(QStringLiteral("127.0.0.1"), device_->port());
  w->intervalEdit()->setText(QStringLiteral("0.1"));
  QVERIFY(w->start());
  QVERIFY(w->running());
  QVERIFY(!w->intervalEdit()->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(w->history().rowCount() >= 2, kWaitMs);
  w->stop();
  QVERIFY(!w->running());
  QVERIFY(w->intervalEdit()->isEnabled());
  const std::size_t rows = w->history().rowCount();
  QTest::qWait(300);
  QCOMPARE(w->history().rowCount(), rows);  // nothing more arrives
  QVERIFY(w->start());
  w.reset();  // closing while it runs stops and joins it
}

QTEST_MAIN(BoardWatchWindowTest)
#include "BoardWatchWindowTest.moc"
