// The Instruction Test, General and Send TS pages in the window, pressed by objectName
// against the emulated board on 127.0.0.1: frames on the wire, boxes written back,
// memo lines and panel colours, and the board's report after the press.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include "app/Appearance.h"
#include "app/Controls.h"
#include "app/VexilDevPf.h"
#include "messaging/TransactionEngine.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"
#include "tests/app/AppTestSupport.h"

using namespace vexil::app;
using namespace vexil::app::test;

namespace {

constexpr int kAnswerWaitMs = 3000;

QByteArray settingsFor(int devicePort, int hostPort = 0, const QByteArray& more = {}) {
  return QStringLiteral(
             "[Settings]\nMyPort=%1\nDevicePort=%2\n[Main]\nACKProt=1\n"
             "IPBase=127.0.0.\nIPExt=1\n")
             .arg(hostPort)
             .arg(devicePort)
             .toLatin1() +
         more;
}

void click(const TMainForm& form, const char* name) {
  auto* button = child<QPushButton>(&form, QString::fromLatin1(name));
  QVERIFY2(button, name);
  QTest::mouseClick(button, Qt::LeftButton);
}

QLineEdit* edit(const TMainForm& form, const char* name) {
  return child<QLineEdit>(&form, QString::fromLatin1(name));
}

Panel* panel(const TMainForm& form, const char* name) {
  return child<Panel>(&form, QString::fromLatin1(name));
}

QStringList memo(const TMainForm& form, const char* name) {
  return child<Memo>(&form, QString::fromLatin1(name))->lines();
}

QByteArray bytes(const std::vector<std::uint8_t>& v) {
  return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

}  // namespace

class InstructionPagesTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void instructionTestSendShowsTheAnswerBody();
  void instructionTestViewSendsNothing();
  void instructionTestKeysCleanAndColour();
  void setSerialIsAcknowledgedAndReportedByQuery();
  void wrongLengthAnswerGivesNoAckAtOnce();
  void systemResetKeepsItsTextAndHasNoOutcome();
  void failedSendPaintsThePanelRed();
  void sendTsIsAcknowledged();
  void userTextGoesOutOneBytePerCharacter();
  void longUserTextFromTheSettingsIsSentCut();
  void manufacturerSetupRunsBothSteps();
  void sendTsThenQueryShowsTheRoute();
  void manufacturerSetupAgainstABoardRefusingTheText();

 private:
  std::unique_ptr<WorkingDirectory> dir_;
  std::unique_ptr<vexil::sim::DeviceEmulator> device_;
};

void InstructionPagesTest::init() {
  dir_ = std::make_unique<WorkingDirectory>();
  QVERIFY(dir_->isValid());
  device_ = std::make_unique<vexil::sim::DeviceEmulator>();
  QVERIFY2(device_->start("127.0.0.1", 0), device_->error().c_str());
  dir_->writeIni(settingsFor(device_->port()));
}

void InstructionPagesTest::cleanup() {
  device_.reset();
  dir_.reset();
}

void InstructionPagesTest::instructionTestSendShowsTheAnswerBody() {
  TMainForm form;
  // Row 2 asks for the short answer: opcode 3 with the datum 0.
  child<QCheckBox>(&form, QStringLiteral("CheckBoxI2"))->setChecked(true);
  QVERIFY(edit(form, "EditOC2")->isEnabled());
  edit(form, "EditOC2")->setText(QStringLiteral("3"));
  edit(form, "EditData2")->setText(QStringLiteral("x0"));
  edit(form, "Edit1")->setText(QStringLiteral("Quenthaven Bt. and more"));
  click(form, "ButtonISend");
  const QStringList sent = memo(form, "MemoIns");
  QCOMPARE(sent.first(), QStringLiteral("Step 1. - Processing Message"));
  QCOMPARE(sent.at(1), QStringLiteral(" Header: $50 $61 $6C $76 $6F $78 $51 $75 $65 $6E $74 "));
  // Row 1 holds the settings' start values: opcode $00, data $00.
  QCOMPARE(sent.at(3), QStringLiteral(" IT1:    $00 $00 $01 $00 "));
  QCOMPARE(sent.at(4), QStringLiteral(" IT2:    $03 $00 $01 $00 "));
  QCOMPARE(sent.mid(5),
           (QStringList{QStringLiteral(" "), QStringLiteral("Step 2. - Sending Message"),
                        QStringLiteral(" Message sent sucessfuly."),
                        QStringLiteral(" Destination IP: 127.0.0.1"),
                        QStringLiteral(" Destination port: %1").arg(device_->port()),
                        QStringLiteral(" "), QStringLiteral("Step 3. - Waiting for answer")}));
  // Written back: the cut user text, the cleaned data and the row lengths.
  QCOMPARE(edit(form, "Edit1")->text(), QStringLiteral("Quenthaven Bt. "));
  QCOMPARE(edit(form, "EditData2")->text(), QStringLiteral("0"));
  QCOMPARE(edit(form, "EditL1")->text(), QStringLiteral("1"));
  QCOMPARE(edit(form, "EditL2")->text(), QStringLiteral("1"));
  QTRY_VERIFY_WITH_TIMEOUT(memo(form, "MemoIns").last().startsWith(QStringLiteral(" Palvox body:")),
                           kAnswerWaitMs);
  const QStringList lines = memo(form, "MemoIns");
  QCOMPARE(lines.at(lines.size() - 2), QStringLiteral(" Answer received (41 bytes)."));
  QCOMPARE(lines.last().count(QStringLiteral(" $")), 19);
  QVERIFY(lines.last().startsWith(QStringLiteral(" Palvox body: $F0 $00 $10")));
  const QByteArray request = bytes(device_->lastRequest());
  QCOMPARE(request.size(), 22 + 4 + 4);
  QCOMPARE(request.mid(6, 15), QByteArray("Quenthaven Bt. "));
}

void InstructionPagesTest::instructionTestViewSendsNothing() {
  TMainForm form;
  child<QCheckBox>(&form, QStringLiteral("CheckBoxI1"))->setChecked(false);
  QVERIFY(!edit(form, "EditOC1")->isEnabled());
  click(form, "ButtonICompute");
  QCOMPARE(memo(form, "MemoIns"),
           (QStringList{QStringLiteral("Step 1. - Message bytes:"),
                        QStringLiteral("Header: $50 $61 $6C $76 $6F $78 $51 $75 $65 $6E $74 "),
                        QStringLiteral("        $68 $61 $76 $65 $6E $20 $42 $74 $2E $20 $01 ")}));
  QTest::qWait(50);
  QCOMPARE(device_->requestCount(), std::size_t{0});
  // The dump's columns line up: the memo's face, as drawn, gives every character of
  // the dumps the same advance.
  const auto* memoIns = child<Memo>(&form, QStringLiteral("MemoIns"));
  QVERIFY2(vexil::app::printsEvenly(memoIns->font()), qPrintable(QFontInfo(memoIns->font()).family()));

  // Once its page is open, the dump is laid out in that face, not in the window's.
  form.show();
  auto* pages = child<QTabWidget>(&form, QStringLiteral("PageControl"));
  for (int i = 0; i < pages->count(); ++i) {
    if (pages->widget(i)->isAncestorOf(memoIns)) pages->setCurrentIndex(i);
  }
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  QTRY_VERIFY(memoIns->isVisible());
  const QFont laidOut = memoIns->document()->defaultFont();
  QCOMPARE(QFontInfo(laidOut).family(), QFontInfo(memoIns->font()).family());
  QCOMPARE(laidOut.pointSize(), memoIns->font().pointSize());
  QVERIFY(vexil::app::printsEvenly(laidOut));
}

void InstructionPagesTest::instructionTestKeysCleanAndColour() {
  TMainForm form;
  form.show();
  QLineEdit* opcode = edit(form, "EditOC1");
  opcode->setFocus();
  opcode->setText(QStringLiteral("f"));
  QTest::keyClick(opcode, Qt::Key_F);
  QCOMPARE(editColour(opcode), QColor(kTypedEditRgb));
  QTest::keyClick(opcode, Qt::Key_Left);  // types nothing: the colour stays
  QCOMPARE(editColour(opcode), QColor(kTypedEditRgb));
  QTest::keyClick(opcode, Qt::Key_Return);
  QCOMPARE(editColour(opcode), editBackground());
  // Keys whose events carry a control character but type none change nothing.
  for (const Qt::Key key : {Qt::Key_Delete, Qt::Key_Tab}) {
    opcode->setFocus();
    QTest::keyClick(opcode, key);
    QCOMPARE(editColour(opcode), editBackground());
  }
  QCOMPARE(opcode->text(), QStringLiteral("FF"));
  QCOMPARE(editColour(opcode), editBackground());
  QTest::keyClick(opcode, Qt::Key_Backspace);
  QCOMPARE(editColour(opcode), QColor(kTypedEditRgb));

  QLineEdit* data = edit(form, "EditData1");
  data->setText(QStringLiteral("1, -2,x"));
  QTest::keyClick(data, Qt::Key_Enter);
  QCOMPARE(data->text(), QStringLiteral("1,2,"));
  QCOMPARE(editColour(data), editBackground());
}

void InstructionPagesTest::setSerialIsAcknowledgedAndReportedByQuery() {
  TMainForm form;
  edit(form, "EditSerial")->setText(QStringLiteral("$DDBD"));
  click(form, "ButtonSerial");
  QCOMPARE(edit(form, "EditSerial")->text(), QStringLiteral("56765"));
  QCOMPARE(child<QLabel>(&form, QStringLiteral("LabelGS"))->text(),
           QStringLiteral("Message sent, waiting for reply..."));
  QCOMPARE(panel(form, "PanelGS")->faceColour(), buttonFace());
  QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&form, QStringLiteral("LabelGS"))->text(),
                            QStringLiteral("ACK Received!"), kAnswerWaitMs);
  QCOMPARE(panel(form, "PanelGS")->faceColour(), QColor(kSuccessRgb));
  const QByteArray request = bytes(device_->lastRequest());
  QCOMPARE(request.toHex(), QByteArray("50616c766f78205365742053657269616c20202020"
                                       "01100004 0000ddbd03000100")
                                .replace(' ', ""));

  click(form, "ButtonQuery");
  QTRY_VERIFY_WITH_TIMEOUT(memo(form, "MemoInfo").contains(QStringLiteral("Device Serial: 56765")),
                           kAnswerWaitMs);
}

void InstructionPagesTest::wrongLengthAnswerGivesNoAckAtOnce() {
  vexil::sim::Faults f;
  f.answerLength = 26;
  device_->setFaults(f);
  TMainForm form;
  QElapsedTimer clock;
  clock.start();
  click(form, "ButtonType");
  QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&form, QStringLiteral("LabelGS"))->text(),
                            QStringLiteral("No ACK Received!"), kAnswerWaitMs);
  QVERIFY2(clock.elapsed() < 900, "well before the one-second time-out");
  QCOMPARE(panel(form, "PanelGS")->faceColour(), QColor(kFailureRgb));
}

void InstructionPagesTest::systemResetKeepsItsTextAndHasNoOutcome() {
  TMainForm form;
  child<RadioGroup>(&form, QStringLiteral("RadioGroupReset"))->setItemIndex(1);
  child<QScrollBar>(&form, QStringLiteral("ScrollBarReset"))->setValue(200);
  click(form, "ButtonReset");
  QVERIFY(device_->waitForRequests(1, std::chrono::milliseconds(kAnswerWaitMs)));
  QCOMPARE(bytes(device_->lastRequest()).mid(22, 5), QByteArray("\x01\x00\x02\x01\xC8", 5));
  QTest::qWait(1300);
  QCOMPARE(child<QLabel>(&form, QStringLiteral("LabelGS"))->text(), QStringLiteral("Reset sent."));
  QCOMPARE(panel(form, "PanelGS")->faceColour(), buttonFace());
  QVERIFY(!form.engine()->endpointActive());
}

void InstructionPagesTest::failedSendPaintsThePanelRed() {
  const int held = vexil::freeLoopbackPort();
  vexil::UdpEndpoint holder(
      [](const std::uint8_t*, std::size_t, std::size_t, const std::string&, std::uint16_t) {});
  QVERIFY(holder.activate(held, "0.0.0.0"));
  dir_->writeIni(settingsFor(device_->port(), held));
  TMainForm form;
  click(form, "ButtonNCO3");
  QCOMPARE(child<QLabel>(&form, QStringLiteral("LabelGS"))->text(),
           QStringLiteral("Communication Error! Check your network connection!"));
  QCOMPARE(panel(form, "PanelGS")->faceColour(), QColor(kFailureRgb));
  click(form, "ButtonDontSendTS");
  QCOMPARE(panel(form, "PanelTS")->caption(),
           QStringLiteral("Communication Error! Check your network connection!"));
  QCOMPARE(panel(form, "PanelTS")->faceColour(), QColor(kFailureRgb));
  QTest::qWait(1200);  // no outcome follows a failed send
  QCOMPARE(panel(form, "PanelTS")->faceColour(), QColor(kFailureRgb));
  QCOMPARE(device_->requestCount(), std::size_t{0});
}

void InstructionPagesTest::sendTsIsAcknowledged() {
  TMainForm form;
  edit(form, "EditDIP1")->setText(QStringLiteral("300"));
  click(form, "ButtonSendTS");
  QCOMPARE(edit(form, "EditDIP1")->text(), QStringLiteral("44"));
  QCOMPARE(panel(form, "PanelTS")->caption(), QStringLiteral("Message sent, waiting for reply..."));
  QTRY_COMPARE_WITH_TIMEOUT(panel(form, "PanelTS")->caption(), QStringLiteral("ACK Received!"),
                            kAnswerWaitMs);
  QCOMPARE(panel(form, "PanelTS")->faceColour(), QColor(kSuccessRgb));
  const QByteArray request = bytes(device_->lastRequest());
  QCOMPARE(request.size(), 58);
  QCOMPARE(request.mid(22, 8), QByteArray("\x30\x00\x1D\x01\x02\xE0\x00\x02", 8));
  QCOMPARE(request.mid(48, 6), QByteArray("\x2C\x7B\x0D\xC9\xDD\xD5", 6));
}

void InstructionPagesTest::userTextGoesOutOneBytePerCharacter() {
  TMainForm form;
  // Latin-1 characters are one byte each; the euro sign has none and goes out as '?'.
  edit(form, "EditUT")->setText(QString::fromUtf8("Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC"));
  click(form, "ButtonUT");
  QVERIFY(device_->waitForRequests(1, std::chrono::milliseconds(kAnswerWaitMs)));
  const QByteArray request = bytes(device_->lastRequest());
  QCOMPARE(request.size(), 44);
  QCOMPARE(request.mid(6, 15), QByteArray(" Set User Text "));
  QCOMPARE(request.mid(25, 15), QByteArray("Gr\xFC\xDF ?         ", 15));

  edit(form, "Edit1")->setText(QString::fromUtf8("\xE2\x82\xAC"));
  click(form, "ButtonISend");
  QVERIFY(device_->waitForRequests(2, std::chrono::milliseconds(kAnswerWaitMs)));
  QCOMPARE(bytes(device_->lastRequest()).mid(6, 15), QByteArray("?              "));
  // A text of 15 characters or fewer stays in the box as typed.
  QCOMPARE(edit(form, "Edit1")->text(), QString::fromUtf8("\xE2\x82\xAC"));
  const QString long16 = QString::fromUtf8("0123456789ABCD\xE2\x82\xAC!");
  edit(form, "Edit1")->setText(long16);
  click(form, "ButtonICompute");
  QCOMPARE(edit(form, "Edit1")->text(), long16.left(15));
}

void InstructionPagesTest::longUserTextFromTheSettingsIsSentCut() {
  dir_->writeIni(settingsFor(device_->port(), 0, "[General]\nUserText=ABCDEFGHIJKLMNOPQ\n"));
  TMainForm form;
  QCOMPARE(edit(form, "EditUT")->text(), QStringLiteral("ABCDEFGHIJKLMNOPQ"));
  click(form, "ButtonUT");
  QVERIFY(device_->waitForRequests(1, std::chrono::milliseconds(kAnswerWaitMs)));
  QCOMPARE(bytes(device_->lastRequest()).mid(25, 15), QByteArray("ABCDEFGHIJKLMNO"));
  QCOMPARE(edit(form, "EditUT")->text(), QStringLiteral("ABCDEFGHIJKLMNOPQ"));
  QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&form, QStringLiteral("LabelGS"))->text(),
                            QStringLiteral("ACK Received!"), kAnswerWaitMs);
}

void InstructionPagesTest::manufacturerSetupRunsBothSteps() {
  dir_->writeIni(settingsFor(device_->port(), 0, "[MFSetup]\nShow=1\n"));
  TMainForm form;
  QVERIFY(form.pageControl()->isTabVisible(TMainForm::ManufacturerPageIndex));
  click(form, "ButtonMS");
  QCOMPARE(child<QLabel>(&form, QStringLiteral("LabelTest"))->text(),
           QStringLiteral("Query sent, waiting for reply..."));
  QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&form, QStringLiteral("LabelTest"))->text(),
                            QStringLiteral("Manufacturer Setup succeeded."), kAnswerWaitMs);
  QCOMPARE(child<QLabel>(&form, QStringLiteral("LabelTest1"))->text(),
           QStringLiteral("Target Device: QV-7163 Version 1.05"));
  QCOMPARE(child<QLabel>(&form, QStringLiteral("LabelTest2"))->text(),
           QStringLiteral("User Text: Marovantis Ltd."));
  for (const char* name : {"PanelTest1", "PanelTest2", "PanelTest3"}) {
    QCOMPARE(panel(form, name)->faceColour(), QColor(kSuccessRgb));
  }
  QCOMPARE(device_->requestCount(), std::size_t{2});
  QCOMPARE(bytes(device_->lastRequest()).mid(25, 15), QByteArray("Marovantis Ltd."));
}

// The lines of TS input `n` in the report: from its heading to the line before the next
// blank line.
QStringList inputSection(const QStringList& report, int n) {
  const int at = report.indexOf(QStringLiteral("TS Input Channel %1").arg(n));
  if (at < 0) return {};
  const int end = report.indexOf(QStringLiteral(" "), at);
  return report.mid(at, end - at);
}

void InstructionPagesTest::sendTsThenQueryShowsTheRoute() {
  TMainForm form;
  // QV-Net, size 1000, source 3, always send, data valid pin, to 127.0.0.9:5004.
  child<RadioGroup>(&form, QStringLiteral("RadioGroupTSFormat"))->setItemIndex(0);
  child<RadioGroup>(&form, QStringLiteral("RadioGroupITType"))->setItemIndex(1);
  child<RadioGroup>(&form, QStringLiteral("RadioGroupDVPin"))->setItemIndex(1);
  child<RadioGroup>(&form, QStringLiteral("RadioGroupTSSource"))->setItemIndex(2);
  child<QScrollBar>(&form, QStringLiteral("ScrollBarQVNetSize"))->setValue(1000);
  const char* const octets[] = {"127", "0", "0", "9"};
  for (int i = 0; i < 4; ++i) {
    edit(form, QStringLiteral("EditDIP%1").arg(i + 1).toLatin1().constData())
        ->setText(QString::fromLatin1(octets[i]));
  }
  edit(form, "EditDPort")->setText(QStringLiteral("$138C"));
  click(form, "ButtonSendTS");
  QCOMPARE(edit(form, "EditDPort")->text(), QStringLiteral("5004"));
  QTRY_COMPARE_WITH_TIMEOUT(panel(form, "PanelTS")->caption(), QStringLiteral("ACK Received!"),
                            kAnswerWaitMs);

  click(form, "ButtonQuery");
  QTRY_VERIFY_WITH_TIMEOUT(memo(form, "MemoInfo").first().startsWith(QStringLiteral("Palvox")),
                           kAnswerWaitMs);
  const QStringList section = inputSection(memo(form, "MemoInfo"), 3);
  QVERIFY2(section.contains(QStringLiteral(" Dest. IP: 127.0.0.9")), qPrintable(section.join('|')));
  QVERIFY(section.contains(QStringLiteral(" Dest. Port: 5004")));
  QVERIFY(section.contains(QStringLiteral(" Dest. Mode: IP (2)")));
  QVERIFY(section.contains(QStringLiteral(" State: Sending TS (1)")));
  QVERIFY(section.contains(QStringLiteral(" Mode[2]: h05")));
  QVERIFY(section.contains(QStringLiteral("  QV-Net Format (Size = 1000)")));
  QVERIFY(section.contains(QStringLiteral("  Always Send TS")));

  click(form, "ButtonDontSendTS");
  QTRY_COMPARE_WITH_TIMEOUT(panel(form, "PanelTS")->caption(), QStringLiteral("ACK Received!"),
                            kAnswerWaitMs);
  click(form, "ButtonQuery");
  QTRY_VERIFY_WITH_TIMEOUT(memo(form, "MemoInfo").first().startsWith(QStringLiteral("Palvox")),
                           kAnswerWaitMs);
  const QStringList stopped = inputSection(memo(form, "MemoInfo"), 3);
  QVERIFY(stopped.contains(QStringLiteral(" State: Stopped (0)")));
  QVERIFY(stopped.contains(QStringLiteral(" Dest. Port: 5004")));
}

void InstructionPagesTest::manufacturerSetupAgainstABoardRefusingTheText() {
  vexil::sim::Faults refuse;
  refuse.refusedOpcodes = {0x12};
  device_->setFaults(refuse);
  dir_->writeIni(settingsFor(device_->port(), 0, "[MFSetup]\nShow=1\n"));
  TMainForm form;
  click(form, "ButtonMS");
  QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&form, QStringLiteral("LabelTest"))->text(),
                            QStringLiteral("Error: Marovantis Setup failed."), kAnswerWaitMs);
  QCOMPARE(child<QLabel>(&form, QStringLiteral("LabelTest2"))->text(),
           QStringLiteral("User Text: Vexil Emulator "));
  QCOMPARE(child<QLabel>(&form, QStringLiteral("LabelTest2"))->textFormat(), Qt::PlainText);
  QCOMPARE(panel(form, "PanelTest1")->faceColour(), QColor(kSuccessRgb));
  QCOMPARE(panel(form, "PanelTest2")->faceColour(), QColor(kFailureRgb));
  QCOMPARE(panel(form, "PanelTest3")->faceColour(), buttonFace());
}

QTEST_MAIN(InstructionPagesTest)
#include "InstructionPagesTest.moc"
