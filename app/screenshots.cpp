// vexil-screenshots <outdir>: renders every page of the main window after a Query
// against an emulated board, and the two dialogs, into PNG files. Runs on the offscreen
// platform unless another is chosen, in a temporary working directory of its own.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
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

  window.ButtonQueryClick();
  auto* memo = window.findChild<vexil::app::Memo*>(QStringLiteral("MemoInfo"));
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < kAnswerWaitMs &&
         !(memo->lineCount() > 0 && memo->lines().first().startsWith(QStringLiteral("Palvox")))) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  memo->verticalScrollBar()->setValue(0);

  const char* const pageFiles[] = {"main.png", "instruction-test.png", "general.png",
                                   "send-ts.png", "manufacturer-setup.png"};
  bool ok = true;
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
