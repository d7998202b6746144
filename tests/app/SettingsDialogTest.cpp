// The settings dialog from the menu item "Settings" to the file, and the About box:
// modal dialogs answered from a timer, one dialog per tick.
#include <QAction>
#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

#include "app/About.h"
#include "app/Settings.h"
#include "app/VexilDevPf.h"
#include "messaging/TransactionEngine.h"
#include "sim/DeviceEmulator.h"
#include "tests/app/AppTestSupport.h"

using namespace vexil::app;
using namespace vexil::app::test;

namespace {

QString caption(QWidget* dialog, const char* name) {
  return child<QLabel>(dialog, QLatin1String(name))->text();
}

QWidget* button(QWidget* dialog, const char* name) {
  return child<QPushButton>(dialog, QLatin1String(name));
}

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void saveAppliesAndWritesTheThreeValuesAtOnce();
  void invalidEntryIsReportedOnceAndChangesNothing_data();
  void invalidEntryIsReportedOnceAndChangesNothing();
  void cancelledPromptChangesNothing();
  void restoreDefaultThenCancelLeavesEverything();
  void closeBoxLeavesEverything();
  void dialogIsRefilledEachTime();
  void saveWithoutChangesWritesAndReleasesTheEndpoint();
  void refusedWriteIsReportedAndTheValuesStillApply();
  void menuItemsActDirectly();
  void aboutBoxShowsTheProductAndClosesWithOk();
};

void SettingsDialogTest::saveAppliesAndWritesTheThreeValuesAtOnce() {
  WorkingDirectory dir;
  TMainForm form;
  ModalDriver driver;
  QString promptCaption, promptText, promptValue = QStringLiteral("unset");
  driver.then([](QWidget* dialog) {
    QCOMPARE(dialog->objectName(), QStringLiteral("SettingsForm"));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Settings"));
    QCOMPARE(caption(dialog, "LabelHP"), QStringLiteral("56789"));
    QCOMPARE(caption(dialog, "LabelDP"), QStringLiteral("56789"));
    QVERIFY(child<QCheckBox>(dialog, QStringLiteral("CheckBoxSSOE"))->isChecked());
    clickLater(button(dialog, "ButtonCh1"));
  });
  driver.then([&](QWidget* prompt) {
    auto* input = qobject_cast<QInputDialog*>(prompt);
    QVERIFY(input);
    promptCaption = input->windowTitle();
    promptText = input->labelText();
    promptValue = input->textValue();
    answerPrompt(prompt, QStringLiteral("65534"));
  });
  driver.then([](QWidget* dialog) {
    QCOMPARE(caption(dialog, "LabelHP"), QStringLiteral("65534"));
    clickLater(button(dialog, "ButtonCh2"));
  });
  driver.then([](QWidget* prompt) {
    QCOMPARE(prompt->windowTitle(), QStringLiteral("Device Port"));
    answerPrompt(prompt, QStringLiteral("00080"));
  });
  driver.then([](QWidget* dialog) {
    QCOMPARE(caption(dialog, "LabelDP"), QStringLiteral("80"));
    clickLater(child<QCheckBox>(dialog, QStringLiteral("CheckBoxSSOE")));
    clickLater(button(dialog, "BitBtnSaveS"));
  });
  form.Settings1Click();
  QVERIFY(driver.done());
  QVERIFY(driver.unexpected().isEmpty());
  QCOMPARE(promptCaption, QStringLiteral("Host Comuter Port"));
  QCOMPARE(promptText, QStringLiteral("Enter new port number (1..65534)!"));
  QCOMPARE(promptValue, QString());

  QVERIFY(!form.saveOnExit());
  QCOMPARE(form.engine()->hostPort(), 65534);
  QCOMPARE(form.engine()->devicePort(), 80);
  const QByteArray written = dir.readIni();
  QCOMPARE(iniLines(written), (QStringList{QStringLiteral("[Settings]"),
                                           QStringLiteral("SaveOnExit=0"),
                                           QStringLiteral("MyPort=65534"),
                                           QStringLiteral("DevicePort=80")}));
  // With the flag cleared, the close writes nothing more.
  form.close();
  QCOMPARE(dir.readIni(), written);
}

void SettingsDialogTest::invalidEntryIsReportedOnceAndChangesNothing_data() {
  QTest::addColumn<QString>("entry");
  QTest::newRow("65535") << QStringLiteral("65535");
  QTest::newRow("0") << QStringLiteral("0");
  QTest::newRow("-5") << QStringLiteral("-5");
  QTest::newRow("abc") << QStringLiteral("abc");
  QTest::newRow("empty") << QString();
  QTest::newRow("trailing blank") << QStringLiteral("80 ");
}

void SettingsDialogTest::invalidEntryIsReportedOnceAndChangesNothing() {
  QFETCH(QString, entry);
  WorkingDirectory dir;
  TMainForm form;
  ModalDriver driver;
  QString message;
  driver.then([](QWidget* dialog) { clickLater(button(dialog, "ButtonCh1")); });
  driver.then([&entry](QWidget* prompt) { answerPrompt(prompt, entry); });
  driver.then([&message](QWidget* box) { acknowledgeMessage(box, &message); });
  driver.then([](QWidget* dialog) {
    // No second prompt: back in the dialog, the caption as it was.
    QCOMPARE(dialog->objectName(), QStringLiteral("SettingsForm"));
    QCOMPARE(caption(dialog, "LabelHP"), QStringLiteral("56789"));
    clickLater(button(dialog, "ButtonCh2"));
  });
  driver.then([&entry](QWidget* prompt) { answerPrompt(prompt, entry); });
  driver.then([](QWidget* box) { acknowledgeMessage(box, nullptr); });
  driver.then([](QWidget* dialog) {
    QCOMPARE(caption(dialog, "LabelDP"), QStringLiteral("56789"));
    clickLater(button(dialog, "BitBtnCancel"));
  });
  form.Settings1Click();
  QVERIFY(driver.done());
  QVERIFY(driver.unexpected().isEmpty());
  QCOMPARE(message, QStringLiteral("Invalid port number!"));
  QVERIFY(!dir.iniExists());
}

void SettingsDialogTest::cancelledPromptChangesNothing() {
  WorkingDirectory dir;
  TMainForm form;
  ModalDriver driver;
  driver.then([](QWidget* dialog) { clickLater(button(dialog, "ButtonCh2")); });
  driver.then([](QWidget* prompt) {
    qobject_cast<QInputDialog*>(prompt)->setTextValue(QStringLiteral("1234"));
    cancelPrompt(prompt);
  });
  driver.then([](QWidget* dialog) {
    QCOMPARE(caption(dialog, "LabelDP"), QStringLiteral("56789"));
    clickLater(button(dialog, "BitBtnSaveS"));
  });
  form.Settings1Click();
  QVERIFY(driver.done());
  QVERIFY(driver.unexpected().isEmpty());
  QCOMPARE(form.engine()->devicePort(), 56789);
}

void SettingsDialogTest::restoreDefaultThenCancelLeavesEverything() {
  WorkingDirectory dir;
  const QByteArray original =
      "[Settings]\r\nSaveOnExit=0\r\nMyPort=50000\r\nDevicePort=50001\r\n";
  dir.writeIni(original);
  TMainForm form;
  ModalDriver driver;
  driver.then([](QWidget* dialog) {
    QCOMPARE(caption(dialog, "LabelHP"), QStringLiteral("50000"));
    QCOMPARE(caption(dialog, "LabelDP"), QStringLiteral("50001"));
    QVERIFY(!child<QCheckBox>(dialog, QStringLiteral("CheckBoxSSOE"))->isChecked());
    qobject_cast<TSettingsForm*>(dialog)->ButtonRDClick();  // opens nothing: run at once
    QCOMPARE(caption(dialog, "LabelHP"), QStringLiteral("56789"));
    QCOMPARE(caption(dialog, "LabelDP"), QStringLiteral("56789"));
    QVERIFY(child<QCheckBox>(dialog, QStringLiteral("CheckBoxSSOE"))->isChecked());
    clickLater(button(dialog, "BitBtnCancel"));
  });
  form.Settings1Click();
  QVERIFY(driver.done());
  QVERIFY(!form.saveOnExit());
  QCOMPARE(form.engine()->hostPort(), 50000);
  QCOMPARE(form.engine()->devicePort(), 50001);
  QCOMPARE(dir.readIni(), original);
}

void SettingsDialogTest::closeBoxLeavesEverything() {
  WorkingDirectory dir;
  TMainForm form;
  ModalDriver driver;
  driver.then([](QWidget* dialog) {
    qobject_cast<TSettingsForm*>(dialog)->showValues(false, 1, 2);
    QMetaObject::invokeMethod(dialog, "close", Qt::QueuedConnection);
  });
  form.Settings1Click();
  QVERIFY(driver.done());
  QVERIFY(form.saveOnExit());
  QCOMPARE(form.engine()->hostPort(), 56789);
  QCOMPARE(form.engine()->devicePort(), 56789);
  QVERIFY(!dir.iniExists());
}

void SettingsDialogTest::dialogIsRefilledEachTime() {
  WorkingDirectory dir;
  TMainForm form;
  ModalDriver driver;
  driver.then([](QWidget* dialog) { clickLater(button(dialog, "ButtonCh1")); });
  driver.then([](QWidget* prompt) { answerPrompt(prompt, QStringLiteral("1234")); });
  driver.then([](QWidget* dialog) {
    QCOMPARE(caption(dialog, "LabelHP"), QStringLiteral("1234"));
    clickLater(child<QCheckBox>(dialog, QStringLiteral("CheckBoxSSOE")));
    clickLater(button(dialog, "BitBtnCancel"));
  });
  form.Settings1Click();
  QVERIFY(driver.done());
  // Abandoned edits never come back.
  driver.then([](QWidget* dialog) {
    QCOMPARE(caption(dialog, "LabelHP"), QStringLiteral("56789"));
    QVERIFY(child<QCheckBox>(dialog, QStringLiteral("CheckBoxSSOE"))->isChecked());
    clickLater(button(dialog, "BitBtnCancel"));
  });
  form.Settings1Click();
  QVERIFY(driver.done());
  QVERIFY(driver.unexpected().isEmpty());
}

void SettingsDialogTest::saveWithoutChangesWritesAndReleasesTheEndpoint() {
  WorkingDirectory dir;
  vexil::sim::DeviceEmulator device;
  vexil::sim::Faults silent;
  silent.silent = true;
  device.setFaults(silent);
  QVERIFY(device.start("127.0.0.1", 0));
  dir.writeIni(QStringLiteral("[Settings]\nMyPort=0\nDevicePort=%1\n[Main]\nIPBase=127.0.0.\n"
                              "IPExt=1\n")
                   .arg(device.port())
                   .toLatin1());
  TMainForm form;
  form.ButtonQueryClick();  // the endpoint is bound while the answer is awaited
  QVERIFY(form.engine()->endpointActive());
  ModalDriver driver;
  driver.then([](QWidget* dialog) { clickLater(button(dialog, "BitBtnSaveS")); });
  form.Settings1Click();
  QVERIFY(driver.done());
  QVERIFY(!form.engine()->endpointActive());
  const QByteArray ini = dir.readIni();
  QCOMPARE(iniValue(ini, QStringLiteral("Settings"), QStringLiteral("SaveOnExit")),
           QStringLiteral("1"));
  QCOMPARE(iniValue(ini, QStringLiteral("Settings"), QStringLiteral("MyPort")),
           QStringLiteral("0"));
  QCOMPARE(iniValue(ini, QStringLiteral("Settings"), QStringLiteral("DevicePort")),
           QString::number(device.port()));
}

void SettingsDialogTest::refusedWriteIsReportedAndTheValuesStillApply() {
  WorkingDirectory dir;
  const QByteArray original = "[Settings]\r\nSaveOnExit=1\r\n";
  dir.writeIni(original);
  QVERIFY(QFile::setPermissions(dir.iniPath(), QFile::ReadOwner));
  TMainForm form;
  const QString path = QString::fromStdString(form.settingsPath());
  ModalDriver driver;
  QString message;
  driver.then([](QWidget* dialog) {
    qobject_cast<TSettingsForm*>(dialog)->showValues(true, 4000, 4001);
    clickLater(button(dialog, "BitBtnSaveS"));
  });
  driver.then([&message](QWidget* box) { acknowledgeMessage(box, &message); });
  form.Settings1Click();
  QVERIFY(driver.done());
  QCOMPARE(message, QStringLiteral("Unable to write to ") + path);
  // The ports shown, bound and sent to stay in agreement.
  QCOMPARE(form.engine()->hostPort(), 4000);
  QCOMPARE(form.engine()->devicePort(), 4001);
  QCOMPARE(dir.readIni(), original);
  driver.then([](QWidget* box) { acknowledgeMessage(box, nullptr); });
  form.close();  // the close's own write is refused as well, and reported
  QVERIFY(driver.done());
  QVERIFY(driver.unexpected().isEmpty());
}

void SettingsDialogTest::menuItemsActDirectly() {
  WorkingDirectory dir;
  TMainForm form;
  QMenuBar* bar = form.menuBar();
  QCOMPARE(bar->objectName(), QStringLiteral("MainMenu"));
  const QList<QAction*> top = bar->actions();
  QCOMPARE(top.size(), 4);
  QCOMPARE(top.at(0)->text(), QStringLiteral("File"));
  QVERIFY(top.at(0)->menu());
  const QList<QAction*> fileItems = top.at(0)->menu()->actions();
  QCOMPARE(fileItems.size(), 1);
  QCOMPARE(fileItems.at(0)->objectName(), QStringLiteral("Exit1"));
  QCOMPARE(fileItems.at(0)->text(), QStringLiteral("Exit"));
  QCOMPARE(top.at(1)->objectName(), QStringLiteral("Settings1"));
  QCOMPARE(top.at(1)->text(), QStringLiteral("Settings"));
  QVERIFY(!top.at(1)->menu());
  QCOMPARE(top.at(2)->objectName(), QStringLiteral("About1"));
  QCOMPARE(top.at(2)->text(), QStringLiteral("About"));
  QVERIFY(!top.at(2)->menu());
  // Our own tools follow, in a menu of their own.
  QCOMPARE(top.at(3)->text(), QStringLiteral("Tools"));
  QVERIFY(top.at(3)->menu());

  // Triggering the bar's items opens their dialogs.
  ModalDriver driver;
  QString opened;
  driver.then([&opened](QWidget* dialog) {
    opened += dialog->objectName() + QLatin1Char(' ');
    clickLater(button(dialog, "BitBtnCancel"));
  });
  driver.then([&opened](QWidget* dialog) {
    opened += dialog->objectName();
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
  });
  top.at(1)->trigger();
  top.at(2)->trigger();
  QVERIFY(driver.done());
  QCOMPARE(opened, QStringLiteral("SettingsForm FormAbout"));
}

void SettingsDialogTest::aboutBoxShowsTheProductAndClosesWithOk() {
  WorkingDirectory dir;
  TMainForm form;
  TSettingsForm settingsForm(&form);
  TFormAbout about(&form);
  form.useDialogs(&settingsForm, &about);
  QSignalSpy finished(&about, &QDialog::finished);
  ModalDriver driver;
  driver.then([&about](QWidget* dialog) {
    QCOMPARE(dialog, static_cast<QWidget*>(&about));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("About"));
    QCOMPARE(dialog->size(), QSize(305, 184));
    QCOMPARE(caption(dialog, "LabelProduct"), QStringLiteral("Vexil"));
    QCOMPARE(caption(dialog, "LabelVersion"), QStringLiteral("Development Platform v1.00"));
    QCOMPARE(child<QLabel>(dialog, QStringLiteral("LabelVersion"))->font().pointSize(), 10);
    auto* ok = child<QPushButton>(dialog, QStringLiteral("OKButton"));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    clickLater(ok);
  });
  form.About1Click();
  QVERIFY(driver.done());
  QCOMPARE(finished.count(), 1);
  QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
  QVERIFY(!about.isVisible());
}

QTEST_MAIN(SettingsDialogTest)
#include "SettingsDialogTest.moc"
