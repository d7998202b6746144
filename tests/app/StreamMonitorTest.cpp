// The Stream Monitor from the Tools menu, watching the emulated board's stream after
// the Send TS page's button: live figures, green indicators, a recording.
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

#include "app/RatePlot.h"
#include "app/SendTsPage.h"
#include "app/StreamMonitor.h"
#include "app/VexilDevPf.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"
#include "tests/app/AppTestSupport.h"

using namespace vexil::app;
using namespace vexil::app::test;

namespace {

constexpr int kStreamWaitMs = 5000;

QAction* toolsItem(TMainForm& form) {
  for (QAction* top : form.menuBar()->actions())
    if (top->text() == QStringLiteral("Tools") && top->menu())
      for (QAction* item : top->menu()->actions())
        if (item->objectName() == QStringLiteral("StreamMonitor1")) return item;
  return nullptr;
}

bool green(const QLabel* label) { return label->styleSheet().contains(QStringLiteral("#c0dcc0")); }

}  // namespace

class StreamMonitorTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void toolsMenuOpensANonModalMonitorOnTheSendTsPort();
  void showsTheEmulatorsStreamLiveAndRecordsIt();
  void plotScaleIsRound_data();
  void plotScaleIsRound();

 private:
  std::unique_ptr<WorkingDirectory> dir_;
  std::unique_ptr<vexil::sim::DeviceEmulator> device_;
};

void StreamMonitorTest::init() {
  dir_ = std::make_unique<WorkingDirectory>();
  device_ = std::make_unique<vexil::sim::DeviceEmulator>();
  QVERIFY(device_->start("127.0.0.1", 0));
  dir_->writeIni(QStringLiteral("[Settings]\nMyPort=0\nDevicePort=%1\n[Main]\nIPBase=127.0.0.\nIPExt=1\n")
                     .arg(device_->port())
                     .toLatin1());
}

void StreamMonitorTest::cleanup() {
  device_.reset();
  dir_.reset();
}

void StreamMonitorTest::toolsMenuOpensANonModalMonitorOnTheSendTsPort() {
  TMainForm form;
  form.sendTsPage()->destinationPortEdit()->setText(QStringLiteral("6123"));
  QAction* item = toolsItem(form);
  QVERIFY(item);
  QCOMPARE(item->text(), QStringLiteral("Stream Monitor..."));
  item->trigger();
  StreamMonitor* monitor = form.streamMonitor();
  QVERIFY(monitor);
  QVERIFY(monitor->isVisible());
  QVERIFY(!monitor->isModal());
  QCOMPARE(monitor->findChild<QSpinBox*>(QStringLiteral("SpinPort"))->value(), 6123);
  QCOMPARE(monitor->findChild<QLineEdit*>(QStringLiteral("EditAddress"))->text(), QStringLiteral("127.0.0.1"));
  QVERIFY(!monitor->listening());
  item->trigger();  // a second time: the same window
  QCOMPARE(form.streamMonitor(), monitor);
  form.close();
}

void StreamMonitorTest::showsTheEmulatorsStreamLiveAndRecordsIt() {
  TMainForm form;
  const int port = vexil::freeLoopbackPort();
  QVERIFY(port > 0);
  const auto& ip = form.sendTsPage()->destinationEdits();
  const char* octets[] = {"127", "0", "0", "1"};
  for (std::size_t i = 0; i < ip.size(); ++i) ip[i]->setText(QString::fromLatin1(octets[i]));
  form.sendTsPage()->destinationPortEdit()->setText(QString::number(port));
  toolsItem(form)->trigger();
  StreamMonitor* monitor = form.streamMonitor();
  QTest::mouseClick(monitor->findChild<QPushButton*>(QStringLiteral("ButtonListen")), Qt::LeftButton);
  QVERIFY(monitor->listening());
  QCOMPARE(int(monitor->boundPort()), port);

  QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("ButtonSendTS")), Qt::LeftButton);
  // Rates need two refreshes a second apart.
  QTRY_VERIFY_WITH_TIMEOUT(monitor->figure(StreamMonitor::Packets)->text().toDouble() > 1000, kStreamWaitMs);
  QCOMPARE(monitor->figure(StreamMonitor::PacketSize)->text(), QStringLiteral("188 bytes"));
  QCOMPARE(monitor->figure(StreamMonitor::PacketsPerDatagram)->text(), QStringLiteral("7.00"));
  QCOMPARE(monitor->figure(StreamMonitor::ContinuityErrors)->text(), QStringLiteral("0"));
  QCOMPARE(monitor->pidTable()->rowCount(), 5);  // PAT, PMT, video, audio, null
  QCOMPARE(monitor->pidTable()->item(0, 4)->text(), QStringLiteral("PAT"));
  for (std::size_t i = 0; i < vexil::stream::Priority1::kCount; ++i)
    QVERIFY2(green(monitor->indicator(i)), qPrintable(monitor->indicator(i)->text()));
  QVERIFY(monitor->plot()->pointCount() >= 1);

  const QString path = dir_->path() + QStringLiteral("/stream.ts");
  QVERIFY(monitor->startRecording(path));
  QTest::qWait(500);
  monitor->stopRecording();
  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  QVERIFY(bytes.size() > 188 * 100);
  QCOMPARE(bytes.size() % 188, 0);
  QCOMPARE(bytes.at(0), char(0x47));

  QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("ButtonDontSendTS")), Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(monitor->figure(StreamMonitor::Packets)->text(), QStringLiteral("0.0"), kStreamWaitMs);
  monitor->close();
  QVERIFY(!monitor->listening());
  form.close();
}

void StreamMonitorTest::plotScaleIsRound_data() {
  QTest::addColumn<double>("value");
  QTest::addColumn<double>("scale");
  QTest::newRow("below one") << 0.3 << 1.0;
  QTest::newRow("one") << 1.0 << 1.0;
  QTest::newRow("just above one") << 1.01 << 2.0;
  QTest::newRow("five point two") << 5.2 << 10.0;
  QTest::newRow("forty") << 40.0 << 50.0;
  QTest::newRow("two hundred") << 200.0 << 200.0;
}

void StreamMonitorTest::plotScaleIsRound() {
  QFETCH(double, value);
  QFETCH(double, scale);
  QCOMPARE(roundScale(value), scale);
}

QTEST_MAIN(StreamMonitorTest)
#include "StreamMonitorTest.moc"
