// The main window with its settings file: what a first run shows and writes, how
// stored values reach the controls (clamped where a control cannot hold them), what
// the close writes with and without save-on-exit, and refused writes.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QtTest>
#include <memory>

#include "app/Controls.h"
#include "app/UpDown.h"
#include "app/VexilDevPf.h"
#include "messaging/TransactionEngine.h"
#include "tests/app/AppTestSupport.h"

using namespace vexil::app;
using namespace vexil::app::test;

namespace {

/// What a control shows, as text: a radio group's index, a scroll bar's or spinner's
/// position, a label's caption or an edit's text.
QString shown(const QWidget* widget) {
  if (const auto* group = qobject_cast<const RadioGroup*>(widget)) {
    return QString::number(group->itemIndex());
  }
  if (const auto* bar = qobject_cast<const QScrollBar*>(widget)) return QString::number(bar->value());
  if (const auto* spinner = qobject_cast<const UpDown*>(widget)) {
    return QString::number(spinner->position());
  }
  if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
  if (const auto* box = qobject_cast<const QCheckBox*>(widget)) {
    return box->isChecked() ? QStringLiteral("ticked") : QStringLiteral("clear");
  }
  return QStringLiteral("?");
}

// Every key the close writes when save-on-exit is set, by section.
const char* const kSavedMainKeys[] = {"ACKProt", "IPBase", "IPExt", "IPText"};
const char* const kSavedGeneralKeys[] = {"Serial", "Type", "ResetType", "ResetTime", "UserText",
                                         "IP1", "IP2", "IP3", "IP4", "NM1", "NM2", "NM3", "NM4",
                                         "GIP1", "GIP2", "GIP3", "GIP4", "NCO1", "NCO2", "NCO3",
                                         "NCO4"};
const char* const kSavedSendTsKeys[] = {
    "DestinationIP1", "DestinationIP2", "DestinationIP3", "DestinationIP4", "TSFormat",
    "ITType", "DVPin", "QVNetSize", "TSSource", "DestinationPort", "PacketNumber",
    "PacketFormat", "RemoveNullpacket", "RemoveTSP"};

}  // namespace

class MainWindowSettingsTest : public QObject {
  Q_OBJECT
 private slots:
  void firstRunShowsTheDefaults();
  void firstRunCloseWritesEveryKeptKey();
  void savedValuesComeFromTheControlsAtClose();
  void saveOnExitClearWritesOnlyThatKey();
  void storedValuesAreClampedByTheirControls_data();
  void storedValuesAreClampedByTheirControls();
  void manufacturerTabFollowsShow_data();
  void manufacturerTabFollowsShow();
  void crlfFileWithMixedCaseNamesIsReadExactly();
  void loadedTicksEnableTheirRows();
  void unknownLinesSurviveTheClose();
  void refusedWriteIsReportedAndTheWindowStillCloses_data();
  void refusedWriteIsReportedAndTheWindowStillCloses();
  void exitClosesLikeTheCloseBox();
};

void MainWindowSettingsTest::firstRunShowsTheDefaults() {
  WorkingDirectory dir;
  QVERIFY(dir.isValid());
  TMainForm form;
  QCOMPARE(form.windowTitle(), QStringLiteral("Vexil Development Platform v1.00"));
  QCOMPARE(form.pageControl()->currentIndex(), 0);
  QVERIFY(!form.pageControl()->isTabVisible(TMainForm::ManufacturerPageIndex));
  QCOMPARE(shown(child<QLabel>(&form, QStringLiteral("LabelIPAddr"))),
           QStringLiteral("10.123.13.101"));
  QCOMPARE(shown(child<UpDown>(&form, QStringLiteral("UpDownIP"))), QStringLiteral("101"));
  QCOMPARE(shown(child<QLineEdit>(&form, QStringLiteral("EditIP"))),
           QStringLiteral("10.123.13.101"));
  QCOMPARE(form.deviceAddress(), std::string("10.123.13.101"));
  QVERIFY(form.saveOnExit());
  QCOMPARE(form.engine()->hostPort(), 56789);
  QCOMPARE(form.engine()->devicePort(), 56789);
  QVERIFY(!form.engine()->endpointActive());
  QCOMPARE(form.engine()->state(), vexil::TransactionState::Idle);
  // Defaults of the file win over design texts; Edit1 always starts with its design text.
  QCOMPARE(shown(child<QLineEdit>(&form, QStringLiteral("EditData1"))), QStringLiteral("$00"));
  QCOMPARE(shown(child<QLineEdit>(&form, QStringLiteral("EditL2"))), QStringLiteral("0"));
  QCOMPARE(shown(child<QLineEdit>(&form, QStringLiteral("Edit1"))),
           QStringLiteral("Quenthaven Bt."));
  QCOMPARE(shown(child<QLineEdit>(&form, QStringLiteral("EditSerial"))), QStringLiteral("5000"));
  QCOMPARE(shown(child<QLineEdit>(&form, QStringLiteral("EditUT"))),
           QStringLiteral("My User Text"));
  QCOMPARE(shown(child<QLineEdit>(&form, QStringLiteral("EditSIP4"))), QStringLiteral("71"));
  QCOMPARE(shown(child<RadioGroup>(&form, QStringLiteral("RadioGroupAP"))), QStringLiteral("0"));
  QCOMPARE(shown(child<RadioGroup>(&form, QStringLiteral("RadioGroupReset"))),
           QStringLiteral("0"));
  QCOMPARE(shown(child<RadioGroup>(&form, QStringLiteral("RadioGroupTSFormat"))),
           QStringLiteral("1"));
  QCOMPARE(shown(child<RadioGroup>(&form, QStringLiteral("RadioGroupPN"))), QStringLiteral("6"));
  QCOMPARE(shown(child<QLabel>(&form, QStringLiteral("LabelReset"))),
           QStringLiteral("Reset Time: 10 ms"));
  // After loading the label has no full stop, unlike its design text.
  QCOMPARE(shown(child<QLabel>(&form, QStringLiteral("Label14"))),
           QStringLiteral("QV-Net Data Size is 1428 bytes"));
  QVERIFY(!dir.iniExists());  // reading creates nothing
}

void MainWindowSettingsTest::firstRunCloseWritesEveryKeptKey() {
  WorkingDirectory dir;
  {
    TMainForm form;
    form.show();
    QVERIFY(form.close());
    QVERIFY(!form.engine());
  }
  const QByteArray ini = dir.readIni();
  QCOMPARE(iniValue(ini, QStringLiteral("Settings"), QStringLiteral("SaveOnExit")),
           QStringLiteral("1"));
  QVERIFY(iniValue(ini, QStringLiteral("Settings"), QStringLiteral("MyPort")).isNull());
  QVERIFY(iniValue(ini, QStringLiteral("Settings"), QStringLiteral("DevicePort")).isNull());
  QVERIFY(iniValue(ini, QStringLiteral("MFSetup"), QStringLiteral("Show")).isNull());
  for (const char* key : kSavedMainKeys) {
    QVERIFY2(!iniValue(ini, QStringLiteral("Main"), QLatin1String(key)).isNull(), key);
  }
  for (const char* stem : {"Enable", "OpCode", "Length", "Instruction"}) {
    for (int n = 1; n <= 5; ++n) {
      const QString key = QLatin1String(stem) + QString::number(n);
      QVERIFY2(!iniValue(ini, QStringLiteral("InstructionTest"), key).isNull(), qPrintable(key));
    }
  }
  QCOMPARE(iniValue(ini, QStringLiteral("InstructionTest"), QStringLiteral("UserText")),
           QStringLiteral("Quenthaven Bt."));
  for (const char* key : kSavedGeneralKeys) {
    QVERIFY2(!iniValue(ini, QStringLiteral("General"), QLatin1String(key)).isNull(), key);
  }
  for (const char* key : kSavedSendTsKeys) {
    QVERIFY2(!iniValue(ini, QStringLiteral("SendTS"), QLatin1String(key)).isNull(), key);
  }
  QCOMPARE(iniValue(ini, QStringLiteral("Main"), QStringLiteral("IPExt")), QStringLiteral("101"));
  QCOMPARE(iniValue(ini, QStringLiteral("InstructionTest"), QStringLiteral("Enable1")),
           QStringLiteral("1"));
  QCOMPARE(iniValue(ini, QStringLiteral("InstructionTest"), QStringLiteral("Enable2")),
           QStringLiteral("0"));
  QCOMPARE(iniValue(ini, QStringLiteral("SendTS"), QStringLiteral("QVNetSize")),
           QStringLiteral("1428"));
}

void MainWindowSettingsTest::savedValuesComeFromTheControlsAtClose() {
  WorkingDirectory dir;
  {
    TMainForm form;
    form.show();
    child<QLineEdit>(&form, QStringLiteral("EditIP"))->setText(QStringLiteral("192.168.1.20"));
    child<QPushButton>(&form, QStringLiteral("ButtonIPBase"))->click();
    child<UpDown>(&form, QStringLiteral("UpDownIP"))->stepBy(1);
    child<QLineEdit>(&form, QStringLiteral("EditIP"))->setText(QStringLiteral("not an address"));
    child<RadioGroup>(&form, QStringLiteral("RadioGroupAP"))->setItemIndex(-1);
    child<QCheckBox>(&form, QStringLiteral("CheckBoxI3"))->setChecked(true);
    child<QLineEdit>(&form, QStringLiteral("EditOC3"))->setText(QStringLiteral("$1F"));
    child<QLineEdit>(&form, QStringLiteral("Edit1"))->setText(QStringLiteral("Bench text"));
    child<QScrollBar>(&form, QStringLiteral("ScrollBarReset"))->setValue(200);
    child<QLineEdit>(&form, QStringLiteral("EditNCO4"))->setText(QStringLiteral("62500000"));
    child<QScrollBar>(&form, QStringLiteral("ScrollBarQVNetSize"))->setValue(256);
    child<QCheckBox>(&form, QStringLiteral("CheckBoxRT"))->setChecked(true);
    form.close();
  }
  const QByteArray ini = dir.readIni();
  const auto value = [&ini](const char* section, const char* key) {
    return iniValue(ini, QLatin1String(section), QLatin1String(key));
  };
  QCOMPARE(value("Main", "IPBase"), QStringLiteral("192.168.1."));
  QCOMPARE(value("Main", "IPExt"), QStringLiteral("21"));
  QCOMPARE(value("Main", "IPText"), QStringLiteral("not an address"));
  QCOMPARE(value("Main", "ACKProt"), QStringLiteral("-1"));
  QCOMPARE(value("InstructionTest", "Enable3"), QStringLiteral("1"));
  QCOMPARE(value("InstructionTest", "OpCode3"), QStringLiteral("$1F"));
  QCOMPARE(value("InstructionTest", "UserText"), QStringLiteral("Bench text"));
  QCOMPARE(value("General", "ResetTime"), QStringLiteral("200"));
  QCOMPARE(value("General", "NCO4"), QStringLiteral("62500000"));
  QCOMPARE(value("SendTS", "QVNetSize"), QStringLiteral("256"));
  QCOMPARE(value("SendTS", "RemoveTSP"), QStringLiteral("1"));
  QCOMPARE(value("SendTS", "RemoveNullpacket"), QStringLiteral("0"));
}

void MainWindowSettingsTest::saveOnExitClearWritesOnlyThatKey() {
  WorkingDirectory dir;
  const QByteArray original =
      "[Settings]\r\nSaveOnExit=0\r\n[Main]\r\nIPExt=7\r\n[General]\r\nSerial=123\r\n";
  dir.writeIni(original);
  {
    TMainForm form;
    QVERIFY(!form.saveOnExit());
    child<QLineEdit>(&form, QStringLiteral("EditSerial"))->setText(QStringLiteral("999"));
    child<UpDown>(&form, QStringLiteral("UpDownIP"))->stepBy(1);
    form.close();
  }
  QCOMPARE(dir.readIni(), original);
}

void MainWindowSettingsTest::storedValuesAreClampedByTheirControls_data() {
  QTest::addColumn<QByteArray>("ini");
  QTest::addColumn<QString>("control");
  QTest::addColumn<QString>("shownValue");
  QTest::addColumn<QString>("companion");  // a label that follows the control
  QTest::addColumn<QString>("companionText");
  QTest::addColumn<QString>("savedKey");  // section/key written back at close
  QTest::addColumn<QString>("savedValue");

  QTest::newRow("reset time 0 becomes 1")
      << QByteArray("[General]\nResetTime=0\n") << "ScrollBarReset" << "1" << "LabelReset"
      << "Reset Time: 1 ms" << "General/ResetTime" << "1";
  QTest::newRow("reset time 300 becomes 255")
      << QByteArray("[General]\nResetTime=300\n") << "ScrollBarReset" << "255" << "LabelReset"
      << "Reset Time: 255 ms" << "General/ResetTime" << "255";
  QTest::newRow("reset time at the start of its range")
      << QByteArray("[General]\nResetTime=1\n") << "ScrollBarReset" << "1" << "LabelReset"
      << "Reset Time: 1 ms" << "General/ResetTime" << "1";
  QTest::newRow("data size 2000 becomes 1428")
      << QByteArray("[SendTS]\nQVNetSize=2000\n") << "ScrollBarQVNetSize" << "1428"
      << "Label14" << "QV-Net Data Size is 1428 bytes" << "SendTS/QVNetSize" << "1428";
  QTest::newRow("data size 255 becomes 256")
      << QByteArray("[SendTS]\nQVNetSize=255\n") << "ScrollBarQVNetSize" << "256" << "Label14"
      << "QV-Net Data Size is 256 bytes" << "SendTS/QVNetSize" << "256";
  QTest::newRow("ACK protocol 5 selects the last item")
      << QByteArray("[Main]\nACKProt=5\n") << "RadioGroupAP" << "1" << "" << "" << "Main/ACKProt"
      << "1";
  QTest::newRow("ACK protocol -1 selects nothing")
      << QByteArray("[Main]\nACKProt=-1\n") << "RadioGroupAP" << "-1" << "" << ""
      << "Main/ACKProt" << "-1";
  QTest::newRow("ACK protocol -7 selects nothing")
      << QByteArray("[Main]\nACKProt=-7\n") << "RadioGroupAP" << "-1" << "" << ""
      << "Main/ACKProt" << "-1";
  QTest::newRow("last octet in hexadecimal")
      << QByteArray("[Main]\nIPExt=0x10\n") << "UpDownIP" << "16" << "LabelIPAddr"
      << "10.123.13.16" << "Main/IPExt" << "16";
  QTest::newRow("last octet above 255")
      << QByteArray("[Main]\nIPBase=127.0.0.\nIPExt=300\n") << "UpDownIP" << "255"
      << "LabelIPAddr" << "127.0.0.255" << "Main/IPExt" << "255";
  QTest::newRow("negative last octet")
      << QByteArray("[Main]\nIPExt=-3\n") << "UpDownIP" << "0" << "LabelIPAddr"
      << "10.123.13.0" << "Main/IPExt" << "0";
  QTest::newRow("unparsable last octet takes the default")
      << QByteArray("[Main]\nIPExt=x7\n") << "UpDownIP" << "101" << "LabelIPAddr"
      << "10.123.13.101" << "Main/IPExt" << "101";
  QTest::newRow("TS source 9 becomes the fourth")
      << QByteArray("[SendTS]\nTSSource=9\n") << "RadioGroupTSSource" << "3" << "" << ""
      << "SendTS/TSSource" << "3";
  QTest::newRow("no packet number")
      << QByteArray("[SendTS]\nPacketNumber=-1\n") << "RadioGroupPN" << "-1" << "" << ""
      << "SendTS/PacketNumber" << "-1";
  QTest::newRow("no reset type")
      << QByteArray("[General]\nResetType=-2\n") << "RadioGroupReset" << "-1" << "" << ""
      << "General/ResetType" << "-1";
  QTest::newRow("text keys are not validated")
      << QByteArray("[General]\nIP1=999x\n") << "EditSIP1" << "999x" << "" << ""
      << "General/IP1" << "999x";
  QTest::newRow("a long user text stays whole")
      << QByteArray("[General]\nUserText=ABCDEFGHIJKLMNOPQ\n") << "EditUT"
      << "ABCDEFGHIJKLMNOPQ" << "" << "" << "General/UserText" << "ABCDEFGHIJKLMNOPQ";
}

void MainWindowSettingsTest::storedValuesAreClampedByTheirControls() {
  QFETCH(QByteArray, ini);
  QFETCH(QString, control);
  QFETCH(QString, shownValue);
  QFETCH(QString, companion);
  QFETCH(QString, companionText);
  QFETCH(QString, savedKey);
  QFETCH(QString, savedValue);
  WorkingDirectory dir;
  dir.writeIni(ini);
  {
    TMainForm form;
    QWidget* widget = child<QWidget>(&form, control);
    QVERIFY2(widget, qPrintable(control));
    QCOMPARE(shown(widget), shownValue);
    if (!companion.isEmpty()) QCOMPARE(shown(child<QWidget>(&form, companion)), companionText);
    form.close();
  }
  const QStringList key = savedKey.split(QLatin1Char('/'));
  QCOMPARE(iniValue(dir.readIni(), key.at(0), key.at(1)), savedValue);
}

void MainWindowSettingsTest::manufacturerTabFollowsShow_data() {
  QTest::addColumn<QByteArray>("ini");
  QTest::addColumn<bool>("visible");
  QTest::newRow("1") << QByteArray("[MFSetup]\nShow=1\n") << true;
  QTest::newRow("2") << QByteArray("[MFSetup]\nShow=2\n") << true;
  QTest::newRow("0x7FFFFFFF") << QByteArray("[MFSetup]\nShow=0x7FFFFFFF\n") << true;
  QTest::newRow("0") << QByteArray("[MFSetup]\nShow=0\n") << false;
  QTest::newRow("negative") << QByteArray("[MFSetup]\nShow=-1\n") << false;
  QTest::newRow("missing key") << QByteArray("[MFSetup]\nOther=1\n") << false;
  QTest::newRow("not a number") << QByteArray("[MFSetup]\nShow=yes\n") << false;
}

void MainWindowSettingsTest::manufacturerTabFollowsShow() {
  QFETCH(QByteArray, ini);
  QFETCH(bool, visible);
  WorkingDirectory dir;
  dir.writeIni(ini);
  {
    TMainForm form;
    QCOMPARE(form.pageControl()->isTabVisible(TMainForm::ManufacturerPageIndex), visible);
    QCOMPARE(form.pageControl()->currentIndex(), 0);
    form.close();
  }
  // Show is read only: the close never writes it.
  const QByteArray after = dir.readIni();
  QCOMPARE(after.count("Show="), ini.count("Show="));
}

void MainWindowSettingsTest::crlfFileWithMixedCaseNamesIsReadExactly() {
  WorkingDirectory dir;
  dir.writeIni(
      "[settings]\r\nsaveonexit=1\r\nMYPORT=0x1F90\r\ndeviceport=5000\r\n"
      "[MAIN]\r\nipbase=192.168.5.\r\nIpExt=9\r\nIPTEXT=192.168.5.77\r\nackprot=1\r\n"
      "[instructiontest]\r\ninstruction1=$00,$56,$78\r\nOPCODE1=$12\r\n"
      "[general]\r\nuSeRtExT=Text with = sign\r\n");
  TMainForm form;
  QCOMPARE(form.engine()->hostPort(), 8080);
  QCOMPARE(form.engine()->devicePort(), 5000);
  QCOMPARE(form.deviceAddress(), std::string("192.168.5.9"));
  QCOMPARE(shown(child<QLineEdit>(&form, QStringLiteral("EditIP"))), QStringLiteral("192.168.5.77"));
  QCOMPARE(shown(child<RadioGroup>(&form, QStringLiteral("RadioGroupAP"))), QStringLiteral("1"));
  QCOMPARE(shown(child<QLineEdit>(&form, QStringLiteral("EditData1"))),
           QStringLiteral("$00,$56,$78"));
  QCOMPARE(shown(child<QLineEdit>(&form, QStringLiteral("EditOC1"))), QStringLiteral("$12"));
  QCOMPARE(shown(child<QLineEdit>(&form, QStringLiteral("EditUT"))),
           QStringLiteral("Text with = sign"));
  form.close();
  // The file keeps its CRLF line endings.
  QVERIFY(!dir.readIni().replace("\r\n", "").contains('\n'));
}

void MainWindowSettingsTest::loadedTicksEnableTheirRows() {
  WorkingDirectory dir;
  dir.writeIni("[InstructionTest]\nEnable1=0\nEnable2=1\nEnable5=7\n");
  TMainForm form;
  const bool expected[] = {false, true, false, false, true};
  for (int row = 1; row <= 5; ++row) {
    const QString n = QString::number(row);
    QCOMPARE(child<QCheckBox>(&form, QStringLiteral("CheckBoxI") + n)->isChecked(),
             expected[row - 1]);
    QCOMPARE(child<QLineEdit>(&form, QStringLiteral("EditOC") + n)->isEnabled(), expected[row - 1]);
    QCOMPARE(child<QLineEdit>(&form, QStringLiteral("EditData") + n)->isEnabled(),
             expected[row - 1]);
    QVERIFY(!child<QLineEdit>(&form, QStringLiteral("EditL") + n)->isEnabled());
  }
  // The user's ticks keep the rows in step as well.
  child<QCheckBox>(&form, QStringLiteral("CheckBoxI2"))->click();
  QVERIFY(!child<QLineEdit>(&form, QStringLiteral("EditOC2"))->isEnabled());
  child<QCheckBox>(&form, QStringLiteral("CheckBoxI3"))->click();
  QVERIFY(child<QLineEdit>(&form, QStringLiteral("EditData3"))->isEnabled());
  QVERIFY(!child<QLineEdit>(&form, QStringLiteral("EditL3"))->isEnabled());
}

void MainWindowSettingsTest::unknownLinesSurviveTheClose() {
  WorkingDirectory dir;
  dir.writeIni(
      "; bench PC 4\r\n[Vendor]\r\nLicence=ABC-123\r\n[Main]\r\nExtra=1\r\nIPExt=50\r\n"
      "[MFSetup]\r\nShow=1\r\n");
  {
    TMainForm form;
    form.close();
  }
  const QByteArray ini = dir.readIni();
  QVERIFY(ini.startsWith("; bench PC 4\r\n"));
  QCOMPARE(iniValue(ini, QStringLiteral("Vendor"), QStringLiteral("Licence")),
           QStringLiteral("ABC-123"));
  QCOMPARE(iniValue(ini, QStringLiteral("Main"), QStringLiteral("Extra")), QStringLiteral("1"));
  QCOMPARE(iniValue(ini, QStringLiteral("Main"), QStringLiteral("IPExt")), QStringLiteral("50"));
  QCOMPARE(iniValue(ini, QStringLiteral("MFSetup"), QStringLiteral("Show")), QStringLiteral("1"));
  QCOMPARE(ini.count("Show="), 1);
}

void MainWindowSettingsTest::refusedWriteIsReportedAndTheWindowStillCloses_data() {
  QTest::addColumn<bool>("directoryInPlace");
  QTest::addColumn<QString>("directoryName");
  QTest::newRow("read-only file") << false << QStringLiteral("vexil-app");
  QTest::newRow("directory in the file's place") << true << QStringLiteral("vexil-app");
  QTest::newRow("path beyond ASCII") << false << QStringLiteral("vexil-Prüfstand-ünf");
}

void MainWindowSettingsTest::refusedWriteIsReportedAndTheWindowStillCloses() {
  QFETCH(bool, directoryInPlace);
  QFETCH(QString, directoryName);
  WorkingDirectory dir(directoryName);
  QVERIFY(dir.isValid());
  const QByteArray original = "[Settings]\r\nSaveOnExit=1\r\n[Main]\r\nIPExt=5\r\n";
  if (directoryInPlace) {
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("VexilDevP.ini")));
  } else {
    dir.writeIni(original);
    QVERIFY(QFile::setPermissions(dir.iniPath(), QFile::ReadOwner | QFile::ReadGroup));
  }
  QString message;
  ModalDriver driver;
  driver.then([&message](QWidget* modal) { acknowledgeMessage(modal, &message); });
  {
    TMainForm form;
    form.show();
    const QString path = QString::fromStdString(form.settingsPath());
    QVERIFY(form.close());
    QCOMPARE(message, QStringLiteral("Unable to write to ") + path);
    QVERIFY(!form.isVisible());
    QVERIFY(!form.engine());
  }
  QVERIFY(driver.done());
  QVERIFY(driver.unexpected().isEmpty());
  if (!directoryInPlace) QCOMPARE(dir.readIni(), original);
}

void MainWindowSettingsTest::exitClosesLikeTheCloseBox() {
  WorkingDirectory dir;
  TMainForm form;
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  auto* exit1 = child<QAction>(&form, QStringLiteral("Exit1"));
  QVERIFY(exit1);
  exit1->trigger();
  QVERIFY(!form.isVisible());
  QCOMPARE(iniValue(dir.readIni(), QStringLiteral("Settings"), QStringLiteral("SaveOnExit")),
           QStringLiteral("1"));
}

QTEST_MAIN(MainWindowSettingsTest)
#include "MainWindowSettingsTest.moc"
