// vexil-screenshots <outdir>: renders every page of the main window against an emulated
// board, each after its own button has been pressed and answered (Query, Send with an
// ACK request, Set Serial, Send TS, Test and Configure), and the two dialogs, into PNG
// files. Runs on the offscreen
// platform unless another is chosen, in a temporary working directory of its own.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>

#include "app/About.h"
#include "app/Appearance.h"
#include "app/Controls.h"
#include "app/MainPage.h"
#include "app/Settings.h"
#include "app/VexilDevPf.h"
#include "messaging/TransactionEngine.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"

namespace {

constexpr int kAnswerWaitMs = 3000;

bool writeSettings(const QString& path, int devicePort, int hostPort) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(QStringLiteral("[Settings]\r\nSaveOnExit=1\r\nMyPort=%1\r\nDevicePort=%2\r\n"
                            "[Main]\r\nACKProt=1\r\nIPBase=127.0.0.\r\nIPExt=1\r\n"
                            "IPText=127.0.0.1\r\n[MFSetup]\r\nShow=1\r\n")
                 .arg(hostPort)
                 .arg(devicePort)
                 .toLatin1());
  return true;
}

// Runs the event loop until `done` holds or the answer wait is over.
template <typename Done>
bool waitFor(Done done) {
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < kAnswerWaitMs && !done()) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return done();
}

template <typename T>
T* child(const QWidget& window, const char* name) {
  return window.findChild<T*>(QString::fromLatin1(name));
}

void press(const QWidget& window, const char* button) {
  child<QPushButton>(window, button)->click();
}

// Presses each page's button against the emulator and waits for its outcome, so every
// picture shows a real answer.
bool pressEveryPage(TMainForm& window) {
  using vexil::app::Memo;
  using vexil::app::Panel;
  bool ok = true;
  window.ButtonQueryClick();
  auto* memoInfo = child<Memo>(window, "MemoInfo");
  ok = waitFor([&] {
         return memoInfo->lineCount() > 0 &&
                memoInfo->lines().first().startsWith(QStringLiteral("Palvox"));
       }) &&
       ok;
  memoInfo->verticalScrollBar()->setValue(0);

  // Row 2 asks for the board's short answer, which the memo shows as a body.
  child<QCheckBox>(window, "CheckBoxI2")->setChecked(true);
  child<QLineEdit>(window, "EditOC2")->setText(QStringLiteral("$03"));
  child<QLineEdit>(window, "EditData2")->setText(QStringLiteral("$00"));
  press(window, "ButtonISend");
  auto* memoIns = child<Memo>(window, "MemoIns");
  ok = waitFor(
           [&] { return memoIns->lines().last().startsWith(QStringLiteral(" Palvox body:")); }) &&
       ok;

  press(window, "ButtonSerial");
  auto* labelGS = child<QLabel>(window, "LabelGS");
  ok = waitFor([&] { return labelGS->text() == QStringLiteral("ACK Received!"); }) && ok;

  press(window, "ButtonSendTS");
  auto* panelTS = child<Panel>(window, "PanelTS");
  ok = waitFor([&] { return panelTS->caption() == QStringLiteral("ACK Received!"); }) && ok;

  press(window, "ButtonMS");
  auto* labelTest = child<QLabel>(window, "LabelTest");
  ok = waitFor(
           [&] { return labelTest->text() == QStringLiteral("Manufacturer Setup succeeded."); }) &&
       ok;
  if (!ok) std::fprintf(stderr, "vexil-screenshots: a page did not get its answer in time\n");
  return ok;
}

bool save(const QPixmap& picture, const QDir& dir, const char* name) {
  const QString path = dir.filePath(QString::fromLatin1(name));
  if (!picture.save(path)) {
    std::fprintf(stderr, "vexil-screenshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: vexil-screenshots <outdir>\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setApplicationName(vexil::app::kApplicationTitle);
  vexil::app::applyDesktopLook();

  const QDir outDir(QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1])));
  if (!QDir().mkpath(outDir.path())) {
    std::fprintf(stderr, "vexil-screenshots: cannot create %s\n", argv[1]);
    return 1;
  }
  vexil::sim::DeviceEmulator emulator;
  if (!emulator.start("127.0.0.1", 0)) {
    std::fprintf(stderr, "vexil-screenshots: emulator: %s\n", emulator.error().c_str());
    return 1;
  }
  QTemporaryDir workDir;
  if (!workDir.isValid() || !QDir::setCurrent(workDir.path()) ||
      !writeSettings(QDir(workDir.path()).filePath(QStringLiteral("VexilDevP.ini")),
                     emulator.port(), vexil::freeLoopbackPort())) {
    std::fprintf(stderr, "vexil-screenshots: cannot prepare a working directory\n");
    return 1;
  }

  TMainForm window;
  TSettingsForm settingsForm(&window);
  TFormAbout formAbout(&window);
  window.useDialogs(&settingsForm, &formAbout);
  window.show();

  bool ok = pressEveryPage(window);

  const char* const pageFiles[] = {"main.png", "instruction-test.png", "general.png", "send-ts.png",
                                   "manufacturer-setup.png"};
  for (int page = 0; page < window.pageControl()->count(); ++page) {
    window.pageControl()->setCurrentIndex(page);
    QApplication::processEvents();
    ok = save(window.grab(), outDir, pageFiles[page]) && ok;
  }
  window.pageControl()->setCurrentIndex(0);

  settingsForm.showValues(window.saveOnExit(), window.engine()->hostPort(),
                          window.engine()->devicePort());
  settingsForm.show();
  QApplication::processEvents();
  ok = save(settingsForm.grab(), outDir, "settings-dialog.png") && ok;
  settingsForm.hide();
  formAbout.show();
  QApplication::processEvents();
  ok = save(formAbout.grab(), outDir, "about-box.png") && ok;
  formAbout.hide();

  window.close();
  QDir::setCurrent(outDir.path());
  return ok ? 0 : 1;
}
