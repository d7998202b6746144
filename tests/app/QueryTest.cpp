// The Query button from click to report, against the emulated board on 127.0.0.1.
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "app/Controls.h"
#include "app/UpDown.h"
#include "app/VexilDevPf.h"
#include "instructions/DeviceQuery.h"
#include "messaging/TransactionEngine.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"
#include "tests/app/AppTestSupport.h"

using namespace vexil::app;
using namespace vexil::app::test;

namespace {

constexpr int kAnswerWaitMs = 3000;

QByteArray settingsFor(int devicePort, int ackProt, int hostPort = 0) {
  return QStringLiteral("[Settings]\nMyPort=%1\nDevicePort=%2\n[Main]\nACKProt=%3\n"
                        "IPBase=127.0.0.\nIPExt=1\n")
      .arg(hostPort)
      .arg(devicePort)
      .arg(ackProt)
      .toLatin1();
}

QStringList memoLines(const TMainForm& form) {
  return child<Memo>(&form, QStringLiteral("MemoInfo"))->lines();
}

QString deviceCaption(const TMainForm& form) {
  return child<QLabel>(&form, QStringLiteral("LabelD"))->text();
}

void clickQuery(TMainForm& form) {
  QTest::mouseClick(child<QPushButton>(&form, QStringLiteral("ButtonQuery")), Qt::LeftButton);
}

QStringList waitingLines(int hostPort, int devicePort, const QString& address) {
  return {QStringLiteral("Host Comuter Port: %1").arg(hostPort),
          QStringLiteral("Device Port: %1").arg(devicePort),
          QStringLiteral("Device IP: ") + address, QStringLiteral(" "),
          QStringLiteral("Message sent, waiting for reply...")};
}

}  // namespace

class QueryTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void palvoxQueryShowsTheWholeReport();
  void qvNetQueryShowsTheIdentity();
  void noItemSelectedSendsTheStatusQuery();
  void silenceIsReportedAfterOneSecond();
  void sendFailureShowsTheTwoLines();
  void addressIsReadFromTheLabelAtTheMomentOfSending();

 private:
  std::unique_ptr<WorkingDirectory> dir_;
  std::unique_ptr<vexil::sim::DeviceEmulator> device_;
};

void QueryTest::init() {
  dir_ = std::make_unique<WorkingDirectory>();
  QVERIFY(dir_->isValid());
  device_ = std::make_unique<vexil::sim::DeviceEmulator>();
  QVERIFY2(device_->start("127.0.0.1", 0), device_->error().c_str());
}

void QueryTest::cleanup() {
  device_.reset();
  dir_.reset();
}

void QueryTest::palvoxQueryShowsTheWholeReport() {
  dir_->writeIni(settingsFor(device_->port(), 1));
  TMainForm form;
  form.show();
  clickQuery(form);
  QCOMPARE(memoLines(form), waitingLines(0, device_->port(), QStringLiteral("127.0.0.1")));
  QTRY_VERIFY_WITH_TIMEOUT(memoLines(form).first().startsWith(QStringLiteral("Palvox")),
                           kAnswerWaitMs);
  const QStringList lines = memoLines(form);
  const QStringList header{QStringLiteral("Palvox ACK received (662)."),
                           QStringLiteral("Device IP: 127.0.0.1"),
                           QStringLiteral("Device Port: %1").arg(device_->port()),
                           QString(),
                           QStringLiteral("Device Version: 1.05"),
                           QStringLiteral("Device Serial: 5000"),
                           QStringLiteral("Device Type: 7163")};
  QCOMPARE(lines.mid(0, header.size()), header);
  QCOMPARE(deviceCaption(form), QStringLiteral("Device: QV-7163  v1.05"));
  QVERIFY(lines.contains(QStringLiteral("Model: IP Remultiplexer")));
  // Every line of the decoded record reaches the memo, in order and unchanged.
  const vexil::PageUpdate decoded =
      vexil::decodeStatusRecord(form.engine()->lastAnswer().reader(), "127.0.0.1", device_->port());
  QStringList expected;
  for (const std::string& line : decoded.lines) expected << QString::fromLatin1(line);
  QCOMPARE(lines, expected);
  QVERIFY(lines.size() > 100);
  QVERIFY(!form.engine()->endpointActive());
  QCOMPARE(device_->lastRequest().size(), std::size_t{26});
}

void QueryTest::qvNetQueryShowsTheIdentity() {
  dir_->writeIni(settingsFor(device_->port(), 0));
  TMainForm form;
  clickQuery(form);
  QTRY_VERIFY_WITH_TIMEOUT(memoLines(form).first().startsWith(QStringLiteral("QV-Net")),
                           kAnswerWaitMs);
  QCOMPARE(memoLines(form),
           (QStringList{QStringLiteral("QV-Net ACK received."), QStringLiteral("Device IP: 127.0.0.1"),
                        QStringLiteral("Device Port: %1").arg(device_->port()), QString(),
                        QStringLiteral("Device Version: 1.05"), QStringLiteral("Device Type: 7163"),
                        QStringLiteral("Device Serial: 5000")}));
  QCOMPARE(deviceCaption(form), QStringLiteral("Device: QV-7163  v1.05"));
  const std::vector<std::uint8_t> request = device_->lastRequest();
  QCOMPARE(request.size(), std::size_t{18});
  QCOMPARE(QByteArray(reinterpret_cast<const char*>(request.data()), 6), QByteArray("QV-Net"));
}

void QueryTest::noItemSelectedSendsTheStatusQuery() {
  dir_->writeIni(settingsFor(device_->port(), -1));
  TMainForm form;
  QCOMPARE(child<RadioGroup>(&form, QStringLiteral("RadioGroupAP"))->itemIndex(), -1);
  clickQuery(form);
  QVERIFY(device_->waitForRequests(1, std::chrono::milliseconds(kAnswerWaitMs)));
  const std::vector<std::uint8_t> request = device_->lastRequest();
  QCOMPARE(request.size(), std::size_t{26});
  QCOMPARE(QByteArray(reinterpret_cast<const char*>(request.data()), 6), QByteArray("Palvox"));
  QTRY_VERIFY_WITH_TIMEOUT(memoLines(form).first().startsWith(QStringLiteral("Palvox ACK")),
                           kAnswerWaitMs);
}

void QueryTest::silenceIsReportedAfterOneSecond() {
  dir_->writeIni(settingsFor(device_->port(), 1));
  TMainForm form;
  clickQuery(form);  // a first answer sets the device caption
  QTRY_COMPARE_WITH_TIMEOUT(deviceCaption(form), QStringLiteral("Device: QV-7163  v1.05"),
                            kAnswerWaitMs);
  vexil::sim::Faults silent;
  silent.silent = true;
  device_->setFaults(silent);
  QElapsedTimer sent;
  sent.start();
  clickQuery(form);
  QTRY_COMPARE_WITH_TIMEOUT(memoLines(form).size(), 6, kAnswerWaitMs);
  const qint64 elapsed = sent.elapsed();
  QVERIFY2(elapsed >= 1000, qPrintable(QStringLiteral("after %1 ms").arg(elapsed)));
  QVERIFY2(elapsed < 2500, qPrintable(QStringLiteral("after %1 ms").arg(elapsed)));
  QStringList expected = waitingLines(0, device_->port(), QStringLiteral("127.0.0.1"));
  expected << QStringLiteral("No answer received (in 1s).");
  QCOMPARE(memoLines(form), expected);
  QCOMPARE(deviceCaption(form), QStringLiteral("Device:"));
  QVERIFY(!form.engine()->endpointActive());
}

void QueryTest::sendFailureShowsTheTwoLines() {
  // Another socket holds the host port on every address, so it cannot be bound.
  vexil::UdpEndpoint holder([](const std::uint8_t*, std::size_t, std::size_t,
                               const std::string&, std::uint16_t) {});
  QVERIFY(holder.activate(0, "0.0.0.0"));
  dir_->writeIni(settingsFor(device_->port(), 1, holder.localPort()));
  TMainForm form;
  clickQuery(form);
  QCOMPARE(memoLines(form), (QStringList{QStringLiteral("Communication Error!"),
                                         QStringLiteral("Check your network connection!")}));
  QCOMPARE(deviceCaption(form), QStringLiteral("Device:"));
  QVERIFY(!form.engine()->endpointActive());
  QTest::qWait(1200);  // no outcome follows a failed send
  QCOMPARE(memoLines(form).size(), 2);
  QCOMPARE(device_->requestCount(), std::size_t{0});
}

void QueryTest::addressIsReadFromTheLabelAtTheMomentOfSending() {
  dir_->writeIni(settingsFor(device_->port(), 1));
  TMainForm form;
  // An address typed but not taken over with "Change IP" is not used.
  child<QLineEdit>(&form, QStringLiteral("EditIP"))->setText(QStringLiteral("127.0.0.2"));
  clickQuery(form);
  QVERIFY(device_->waitForRequests(1, std::chrono::milliseconds(kAnswerWaitMs)));
  QCOMPARE(memoLines(form).at(2), QStringLiteral("Device IP: 127.0.0.1"));
  QTRY_VERIFY_WITH_TIMEOUT(memoLines(form).first().startsWith(QStringLiteral("Palvox")),
                           kAnswerWaitMs);
  // One step of the spinner moves every later send to the next address.
  child<UpDown>(&form, QStringLiteral("UpDownIP"))->stepBy(1);
  clickQuery(form);
  QCOMPARE(memoLines(form).at(2), QStringLiteral("Device IP: 127.0.0.2"));
  QTRY_COMPARE_WITH_TIMEOUT(memoLines(form).last(), QStringLiteral("No answer received (in 1s)."),
                            kAnswerWaitMs);
  QCOMPARE(device_->requestCount(), std::size_t{1});
}

QTEST_MAIN(QueryTest)
#include "QueryTest.moc"
