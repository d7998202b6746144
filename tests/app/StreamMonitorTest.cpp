// The Stream Monitor watching the emulated board's stream on loopback: green only where
// an indicator applies and the stream is there, red for exactly the fault made, grey and
// "No stream" when the stream stops, fresh counts after Stop and Listen, a recording
// that fails reported as failed, and the multicast entries. What it shows of a snapshot
// is tested without a window in tests/stream/MonitorViewTest.cpp.
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

#include "app/Appearance.h"
#include "app/RatePlot.h"
#include "app/SendTsPage.h"
#include "app/StreamMonitor.h"
#include "app/VexilDevPf.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"
#include "stream/MonitorView.h"
#include "tests/app/AppTestSupport.h"

using namespace vexil::app;
using namespace vexil::app::test;
using namespace vexil::stream;

namespace {

constexpr int kStreamWaitMs = 5000;
constexpr int kSettleMs = 2500;  // "a couple of seconds" of clean stream
// Longer than the meter's red hold (10 s). The PCR repetition limit, 40 ms between PCRs
// sent every 20 ms, is judged by arrival time: an emulator thread stalled on a loaded
// machine may break it now and then, and is then red for the hold. Waiting for a quiet
// hold keeps that from failing a test, while an indicator that keeps firing still does.
constexpr int kQuietWaitMs = 15000;
constexpr std::uint8_t kIptv = 0x02;
constexpr std::uint8_t kIptvSevenPackets = 0xE0;
constexpr std::uint32_t kCcErrorEvery = 300;
constexpr std::uint32_t kBadCrcEvery =
    10;  // of the PAT and PMT sections: the tables still come in time
enum class Fault { Continuity, Crc };

QAction* toolsItem(TMainForm& form) {
  for (QAction* top : form.menuBar()->actions())
    if (top->text() == QStringLiteral("Tools") && top->menu())
      for (QAction* item : top->menu()->actions())
        if (item->objectName() == QStringLiteral("StreamMonitor1")) return item;
  return nullptr;
}

bool painted(const QLabel* label, QRgb rgb) {
  return label->styleSheet().contains(QColor(rgb).name());
}
bool green(const QLabel* label) { return painted(label, kSuccessRgb); }
bool red(const QLabel* label) { return painted(label, kFailureRgb); }
bool grey(const QLabel* label) { return painted(label, kNotSeenRgb); }
QLabel* indicatorOf(const StreamMonitor& m, Indicator i) { return m.indicator(indexOf(i)); }
QString countOf(const StreamMonitor& m, Indicator i) {
  return m.indicatorCount(indexOf(i))->text();
}

// Names of the indicators drawn in `rgb`, for readable failures.
QStringList paintedIn(const StreamMonitor& m, QRgb rgb) {
  QStringList names;
  for (std::size_t i = 0; i < kIndicatorCount; ++i)
    if (painted(m.indicator(i), rgb)) names << m.indicator(i)->text();
  return names;
}

}  // namespace

class StreamMonitorTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void plotScaleIsRound_data();
  void plotScaleIsRound();
  // The window against the emulator.
  void toolsMenuOpensANonModalMonitorOnTheSendTsPort();
  void aMulticastDestinationIsOfferedAsTheGroupToJoin();
  void showsTheEmulatorsStreamLiveAndRecordsIt();
  void cleanStreamIsGreenWhereItAppliesAndGreyElsewhere();
  void aFaultTurnsExactlyItsIndicatorRed_data();
  void aFaultTurnsExactlyItsIndicatorRed();
  void aStreamThatStopsShowsNoStreamAndNothingGreen();
  void resetAndStopThenListenStartFromZero();
  void indicatorsThatCannotApplyWithoutAPmtAreGrey();
  void recordingToAFullDiskShowsAnError();
  void endpointEntriesThatMakeNoEndpointAreRefused();
  void listensOnAMulticastGroupOnLoopback();

 private:
  void streamTo(int port, bool sending);
  std::unique_ptr<StreamMonitor> listeningMonitor(int port);

  std::unique_ptr<WorkingDirectory> dir_;
  std::unique_ptr<vexil::sim::DeviceEmulator> device_;
};

void StreamMonitorTest::init() {
  dir_ = std::make_unique<WorkingDirectory>();
  device_ = std::make_unique<vexil::sim::DeviceEmulator>();
  QVERIFY(device_->start("127.0.0.1", 0));
  dir_->writeIni(
      QStringLiteral("[Settings]\nMyPort=0\nDevicePort=%1\n[Main]\nIPBase=127.0.0.\nIPExt=1\n")
          .arg(device_->port())
          .toLatin1());
}

void StreamMonitorTest::cleanup() {
  device_.reset();
  dir_.reset();
}

// Input 1 of the emulator sends its stream (7 packets a datagram) to 127.0.0.1:port, or stops.
void StreamMonitorTest::streamTo(int port, bool sending) {
  vexil::sim::DeviceState state = device_->state();
  vexil::sim::InputChannel& in = state.inputs[0];
  in.destIp = {127, 0, 0, 1};
  in.destPort = static_cast<std::uint16_t>(port);
  in.mode2 = kIptv;
  in.mode1 = kIptvSevenPackets;
  in.state = sending ? 1 : 0;
  device_->setState(state);
}

std::unique_ptr<StreamMonitor> StreamMonitorTest::listeningMonitor(int port) {
  auto monitor = std::make_unique<StreamMonitor>();
  monitor->setEndpoint(QStringLiteral("127.0.0.1"), port);
  monitor->show();
  if (!monitor->listen()) qWarning("listen: %s", qPrintable(monitor->statusLine()->text()));
  return monitor;
}

// ---- The plot ---------------------------------------------------------------------

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

// ---- The window against the emulator --------------------------------------------------

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
  QCOMPARE(child<QSpinBox>(monitor, QStringLiteral("SpinPort"))->value(), 6123);
  QCOMPARE(child<QLineEdit>(monitor, QStringLiteral("EditAddress"))->text(),
           QStringLiteral("127.0.0.1"));
  QVERIFY(child<QLineEdit>(monitor, QStringLiteral("EditSource"))->text().isEmpty());
  QVERIFY(child<QLineEdit>(monitor, QStringLiteral("EditInterface"))->text().isEmpty());
  QVERIFY(!monitor->listening());
  QVERIFY(!child<QPushButton>(monitor, QStringLiteral("ButtonRecord"))->isEnabled());
  QVERIFY(!child<QPushButton>(monitor, QStringLiteral("ButtonReset"))->isEnabled());
  // Before listening nothing is judged: every indicator grey, none counted.
  QVERIFY(!monitor->noStreamLabel()->isVisible());
  for (const IndicatorInfo& info : kIndicators) {
    QLabel* label = child<QLabel>(
        monitor, QStringLiteral("Indicator_") +
                     QString::fromLatin1(info.key.data(), qsizetype(info.key.size())));
    QVERIFY2(label && grey(label), info.key.data());
    QCOMPARE(countOf(*monitor, info.id), QStringLiteral("n/a"));
  }
  item->trigger();  // a second time: the same window
  QCOMPARE(form.streamMonitor(), monitor);
  form.close();
}

void StreamMonitorTest::aMulticastDestinationIsOfferedAsTheGroupToJoin() {
  TMainForm form;
  const auto& ip = form.sendTsPage()->destinationEdits();
  const char* octets[] = {"239", "1", "1", "1"};  // the board's default destination
  for (std::size_t i = 0; i < ip.size(); ++i) ip[i]->setText(QString::fromLatin1(octets[i]));
  form.sendTsPage()->destinationPortEdit()->setText(QStringLiteral("5001"));
  toolsItem(form)->trigger();
  StreamMonitor* monitor = form.streamMonitor();
  QCOMPARE(child<QLineEdit>(monitor, QStringLiteral("EditAddress"))->text(), QStringLiteral("239.1.1.1"));
  QCOMPARE(child<QSpinBox>(monitor, QStringLiteral("SpinPort"))->value(), 5001);
  form.close();
}

void StreamMonitorTest::showsTheEmulatorsStreamLiveAndRecordsIt() {
  TMainForm form;
  const int port = freeLoopbackPort();
  QVERIFY(port > 0);
  const auto& ip = form.sendTsPage()->destinationEdits();
  const char* octets[] = {"127", "0", "0", "1"};
  for (std::size_t i = 0; i < ip.size(); ++i) ip[i]->setText(QString::fromLatin1(octets[i]));
  form.sendTsPage()->destinationPortEdit()->setText(QString::number(port));
  toolsItem(form)->trigger();
  StreamMonitor* monitor = form.streamMonitor();
  QTest::mouseClick(child<QPushButton>(monitor, QStringLiteral("ButtonListen")), Qt::LeftButton);
  QVERIFY(monitor->listening());
  QCOMPARE(int(monitor->boundPort()), port);

  QTest::mouseClick(child<QPushButton>(&form, QStringLiteral("ButtonSendTS")), Qt::LeftButton);
  // Rates need two refreshes a second apart.
  QTRY_VERIFY_WITH_TIMEOUT(monitor->figure(StreamMonitor::Packets)->text().toDouble() > 1000,
                           kStreamWaitMs);
  QCOMPARE(monitor->figure(StreamMonitor::PacketSize)->text(), QStringLiteral("188 bytes"));
  QCOMPARE(monitor->figure(StreamMonitor::PacketsPerDatagram)->text(), QStringLiteral("7.00"));
  QCOMPARE(monitor->figure(StreamMonitor::ContinuityErrors)->text(), QStringLiteral("0"));
  QCOMPARE(monitor->figure(StreamMonitor::SocketDrops)->text(), QStringLiteral("0"));
  QCOMPARE(monitor->pidTable()->rowCount(), 5);  // PAT, PMT, video, audio, null
  QCOMPARE(monitor->pidTable()->item(0, int(PidColumn::Carries))->text(), QStringLiteral("PAT"));
  QVERIFY(monitor->pidTable()
              ->item(2, int(PidColumn::Clocks))
              ->text()
              .startsWith(QStringLiteral("PCR")));  // video
  QVERIFY(monitor->plot()->pointCount() >= 1);

  const QString path = dir_->path() + QStringLiteral("/stream.ts");
  QVERIFY(monitor->startRecording(path));
  QTest::qWait(500);
  monitor->stopRecording();
  QVERIFY2(monitor->statusLine()->text().startsWith(QStringLiteral("Recorded ")),
           qPrintable(monitor->statusLine()->text()));
  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  QVERIFY(bytes.size() > 188 * 100);
  QCOMPARE(bytes.size() % 188, 0);
  QCOMPARE(bytes.at(0), char(0x47));

  QTest::mouseClick(child<QPushButton>(&form, QStringLiteral("ButtonDontSendTS")), Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(monitor->figure(StreamMonitor::Packets)->text(), QStringLiteral("0.0"),
                            kStreamWaitMs);
  monitor->close();
  QVERIFY(!monitor->listening());
  form.close();
}

void StreamMonitorTest::cleanStreamIsGreenWhereItAppliesAndGreyElsewhere() {
  const int port = freeLoopbackPort();
  auto monitor = listeningMonitor(port);
  QVERIFY(monitor->listening());
  streamTo(port, true);
  QTRY_VERIFY_WITH_TIMEOUT(green(indicatorOf(*monitor, Indicator::PatError)), kStreamWaitMs);
  QTest::qWait(kSettleMs);
  QTRY_VERIFY2_WITH_TIMEOUT(paintedIn(*monitor, kFailureRgb).isEmpty(),
                            qPrintable(paintedIn(*monitor, kFailureRgb).join(", ")), kQuietWaitMs);
  for (const IndicatorInfo& info : kIndicators) {
    const bool applies = countOf(*monitor, info.id) != QStringLiteral("n/a");
    QVERIFY2(applies ? green(monitor->indicator(indexOf(info.id)))
                     : grey(monitor->indicator(indexOf(info.id))),
             info.key.data());
  }
  // Tables, a PCR PID and PTSs all come: every indicator has something to judge, and
  // what does not hang on the sender's timing never fired.
  for (Indicator i :
       {Indicator::TsSyncLoss, Indicator::SyncByteError, Indicator::PatError, Indicator::PmtError,
        Indicator::ContinuityCountError, Indicator::PidError, Indicator::TransportError,
        Indicator::CrcError, Indicator::PcrAccuracyError, Indicator::CatError}) {
    QCOMPARE(countOf(*monitor, i), QStringLiteral("0"));
    QCOMPARE(monitor->indicatorLast(indexOf(i))->text(), QStringLiteral("never"));
  }
  QVERIFY(green(monitor->indicatorCount(indexOf(Indicator::PcrRepetitionError))));
  QVERIFY(green(monitor->indicatorLast(indexOf(Indicator::PtsError))));
  QVERIFY(!monitor->noStreamLabel()->isVisible());
}

void StreamMonitorTest::aFaultTurnsExactlyItsIndicatorRed_data() {
  QTest::addColumn<int>("indicator");
  QTest::addColumn<int>("fault");
  QTest::newRow("continuity") << int(Indicator::ContinuityCountError) << int(Fault::Continuity);
  QTest::newRow("CRC of the tables") << int(Indicator::CrcError) << int(Fault::Crc);
}

void StreamMonitorTest::aFaultTurnsExactlyItsIndicatorRed() {
  QFETCH(int, indicator);
  QFETCH(int, fault);
  const auto i = static_cast<Indicator>(indicator);
  const int port = freeLoopbackPort();
  auto monitor = listeningMonitor(port);
  streamTo(port, true);
  QTRY_VERIFY_WITH_TIMEOUT(green(indicatorOf(*monitor, i)), kStreamWaitMs);
  vexil::sim::StreamFaults faults;
  if (fault == int(Fault::Continuity)) faults.continuityErrorEvery = kCcErrorEvery;
  if (fault == int(Fault::Crc)) faults.badCrcEvery = kBadCrcEvery;
  device_->streamer().setFaults(faults);
  QTRY_VERIFY_WITH_TIMEOUT(red(indicatorOf(*monitor, i)), kStreamWaitMs);
  const QStringList only{monitor->indicator(indexOf(i))->text()};
  const bool alone = QTest::qWaitFor([&] { return paintedIn(*monitor, kFailureRgb) == only; }, kQuietWaitMs);
  QVERIFY2(alone, qPrintable(paintedIn(*monitor, kFailureRgb).join(", ")));
  QVERIFY(countOf(*monitor, i).toInt() > 0);
  QVERIFY(red(monitor->indicatorCount(indexOf(i))));
  QVERIFY(monitor->indicatorLast(indexOf(i))->text().contains(QLatin1Char(':')));  // hh:mm:ss
}

void StreamMonitorTest::aStreamThatStopsShowsNoStreamAndNothingGreen() {
  const int port = freeLoopbackPort();
  auto monitor = listeningMonitor(port);
  streamTo(port, true);
  QTRY_VERIFY_WITH_TIMEOUT(green(indicatorOf(*monitor, Indicator::PatError)), kStreamWaitMs);
  QVERIFY(!monitor->noStreamLabel()->isVisible());
  streamTo(port, false);
  QTRY_VERIFY_WITH_TIMEOUT(monitor->noStreamLabel()->isVisible(), kStreamWaitMs);
  QCOMPARE(monitor->noStreamLabel()->text(), QStringLiteral("No stream"));
  QVERIFY(red(indicatorOf(*monitor, Indicator::PatError)));
  QVERIFY2(paintedIn(*monitor, kSuccessRgb).isEmpty(),
           qPrintable(paintedIn(*monitor, kSuccessRgb).join(", ")));
  // The stream comes back: the warning goes.
  streamTo(port, true);
  QTRY_VERIFY_WITH_TIMEOUT(!monitor->noStreamLabel()->isVisible(), kStreamWaitMs);
  monitor->stopListening();
  QVERIFY(!monitor->noStreamLabel()->isVisible());
}

// Long enough for datagrams in flight and in the receiver's gathering pause to be read.
constexpr int kDrainMs = 300;

void StreamMonitorTest::resetAndStopThenListenStartFromZero() {
  const int port = freeLoopbackPort();
  auto monitor = listeningMonitor(port);
  vexil::sim::StreamFaults faults;
  faults.continuityErrorEvery = kCcErrorEvery;
  device_->streamer().setFaults(faults);
  streamTo(port, true);
  QTRY_VERIFY_WITH_TIMEOUT(countOf(*monitor, Indicator::ContinuityCountError).toInt() > 0,
                           kStreamWaitMs);
  device_->streamer().setFaults({});
  QTest::qWait(kDrainMs);  // datagrams made with the fault are still on their way
  QTest::mouseClick(child<QPushButton>(monitor.get(), QStringLiteral("ButtonReset")),
                    Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(countOf(*monitor, Indicator::ContinuityCountError), QStringLiteral("0"),
                            kStreamWaitMs);
  // Errors again, so that only the Stop and Listen below can clear them.
  device_->streamer().setFaults(faults);
  QTRY_VERIFY_WITH_TIMEOUT(countOf(*monitor, Indicator::ContinuityCountError).toInt() > 0,
                           kStreamWaitMs);
  device_->streamer().setFaults({});
  QTest::qWait(kDrainMs);
  QTest::mouseClick(child<QPushButton>(monitor.get(), QStringLiteral("ButtonListen")),
                    Qt::LeftButton);
  QVERIFY(!monitor->listening());
  QVERIFY(!child<QPushButton>(monitor.get(), QStringLiteral("ButtonReset"))->isEnabled());
  QTest::qWait(1000);  // the stream goes on unheard, longer than any table may stay away
  QTest::mouseClick(child<QPushButton>(monitor.get(), QStringLiteral("ButtonListen")),
                    Qt::LeftButton);
  QVERIFY(monitor->listening());
  QCOMPARE(countOf(*monitor, Indicator::ContinuityCountError).toInt(), 0);  // at once: "0" or "n/a"
  QTRY_VERIFY_WITH_TIMEOUT(green(indicatorOf(*monitor, Indicator::PmtError)), kStreamWaitMs);
  QTest::qWait(kSettleMs);
  monitor->refresh();
  for (Indicator i : {Indicator::PatError, Indicator::PmtError, Indicator::ContinuityCountError}) {
    QCOMPARE(countOf(*monitor, i), QStringLiteral("0"));
    QVERIFY(green(indicatorOf(*monitor, i)));
  }
  QCOMPARE(monitor->figure(StreamMonitor::ContinuityErrors)->text(), QStringLiteral("0"));
}

void StreamMonitorTest::indicatorsThatCannotApplyWithoutAPmtAreGrey() {
  const int port = freeLoopbackPort();
  auto monitor = listeningMonitor(port);
  // Listening, nothing sent: no stream, the PAT is overdue, nothing else can apply.
  QTRY_VERIFY_WITH_TIMEOUT(red(indicatorOf(*monitor, Indicator::PatError)), kStreamWaitMs);
  QVERIFY(monitor->noStreamLabel()->isVisible());
  for (const IndicatorInfo& info : kIndicators)
    if (info.id != Indicator::PatError) QCOMPARE(countOf(*monitor, info.id), QStringLiteral("n/a"));
  QVERIFY(paintedIn(*monitor, kSuccessRgb).isEmpty());

  vexil::sim::StreamFaults faults;
  faults.pmtStopsAfter = std::chrono::milliseconds(0);  // a PAT names the PMT, which never comes
  device_->streamer().setFaults(faults);
  streamTo(port, true);
  QTRY_VERIFY_WITH_TIMEOUT(red(indicatorOf(*monitor, Indicator::PmtError)), kStreamWaitMs);
  for (Indicator i : {Indicator::PidError, Indicator::PcrRepetitionError,
                      Indicator::PcrDiscontinuityIndicatorError, Indicator::PcrAccuracyError}) {
    QCOMPARE(countOf(*monitor, i), QStringLiteral("n/a"));
    QVERIFY(grey(indicatorOf(*monitor, i)));
  }
}

void StreamMonitorTest::recordingToAFullDiskShowsAnError() {
  if (!QFile::exists(QStringLiteral("/dev/full"))) QSKIP("no /dev/full on this system");
  const int port = freeLoopbackPort();
  auto monitor = listeningMonitor(port);
  streamTo(port, true);
  QTRY_VERIFY_WITH_TIMEOUT(monitor->figure(StreamMonitor::Packets)->text().toDouble() > 0,
                           kStreamWaitMs);
  if (monitor->startRecording(QStringLiteral("/dev/full"))) {
    QTRY_VERIFY_WITH_TIMEOUT(
        monitor->statusLine()->text().startsWith(QStringLiteral("Recording failed")),
        kStreamWaitMs);
    monitor->stopRecording();
  }
  QVERIFY2(!monitor->statusLine()->text().startsWith(QStringLiteral("Recorded")),
           qPrintable(monitor->statusLine()->text()));
  QVERIFY2(monitor->statusLine()->text().contains(QStringLiteral("fail"), Qt::CaseInsensitive) ||
               monitor->statusLine()->text().startsWith(QStringLiteral("Cannot record")),
           qPrintable(monitor->statusLine()->text()));
}

void StreamMonitorTest::endpointEntriesThatMakeNoEndpointAreRefused() {
  StreamMonitor monitor;
  monitor.setEndpoint(QStringLiteral("127.0.0.1"), freeLoopbackPort());
  child<QLineEdit>(&monitor, QStringLiteral("EditSource"))->setText(QStringLiteral("10.0.0.9"));
  const auto problem =
      endpointProblem({"127.0.0.1", monitor.findChild<QSpinBox*>()->value(), "10.0.0.9", ""});
  QVERIFY(problem.has_value());
  QVERIFY(!monitor.listen());
  QVERIFY(!monitor.listening());
  QCOMPARE(monitor.statusLine()->text(), QString::fromStdString(*problem));
}

void StreamMonitorTest::listensOnAMulticastGroupOnLoopback() {
  StreamMonitor monitor;
  const int port = freeLoopbackPort();
  monitor.setEndpoint(QStringLiteral("239.1.1.1"), port);  // the board's default destination
  child<QLineEdit>(&monitor, QStringLiteral("EditInterface"))
      ->setText(QStringLiteral(" 127.0.0.1 "));
  if (!monitor.listen())
    QSKIP(qPrintable(QStringLiteral("no multicast on loopback here: ") +
                     monitor.statusLine()->text()));
  const QString listening =
      QStringLiteral("Listening on 239.1.1.1:%1 (UDP, multicast group, interface 127.0.0.1).").arg(port);
  // Where loopback carries no multicast the line says so, and how to change it.
  if (vexil::stream::loopbackCarriesMulticast()) {
    QCOMPARE(monitor.statusLine()->text(), listening);
  } else {
    QVERIFY(monitor.statusLine()->text().startsWith(listening + QStringLiteral(" Note: loopback carries no multicast")));
    QVERIFY(monitor.statusLine()->text().contains(QStringLiteral("ip link set lo multicast on")));
  }
  QVERIFY(!child<QLineEdit>(&monitor, QStringLiteral("EditInterface"))->isEnabled());
  monitor.stopListening();
  QVERIFY(child<QLineEdit>(&monitor, QStringLiteral("EditInterface"))->isEnabled());
}

QTEST_MAIN(StreamMonitorTest)
#include "StreamMonitorTest.moc"
