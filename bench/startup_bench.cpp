// vexil-startup-bench [runs]: launch → idle event loop of the program's main window
// beside a bare QMainWindow of the same size with a menu and five tabs, measured in
// interleaved child processes (offscreen), with the peak memory of each.
//
// Each child builds its window exactly as its program does, shows it, and at the first
// pass of the idle event loop writes the moment (steady clock, shared by all processes)
// to a pipe and quits; the parent times fork to that moment, so tearing the window down
// does not count.
#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "app/About.h"
#include "app/Appearance.h"
#include "app/Settings.h"
#include "app/VexilDevPf.h"

namespace {

constexpr int kDefaultRuns = 15;
constexpr int kClientWidth = 744;
constexpr int kClientHeight = 533;
constexpr int kIdleFd = 3;

// The moment the idle event loop is reached, written to the parent's pipe on fd 3.
void reportIdle() {
  const long long now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
  if (write(kIdleFd, &now, sizeof now) != sizeof now) {
    // Run on its own (under a profiler, say): nobody listens.
  }
  QApplication::quit();
}

int runBare(int argc, char** argv) {
  QApplication application(argc, argv);
  QMainWindow window;
  QMenuBar* bar = window.menuBar();
  bar->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("Exit"));
  bar->addAction(QStringLiteral("Settings"));
  bar->addAction(QStringLiteral("About"));
  auto* tabs = new QTabWidget;
  for (const char* name : {"Main", "Instruction Test", "General", "Send TS", "Manufacturer Setup"}) {
    tabs->addTab(new QWidget, QString::fromLatin1(name));
  }
  tabs->setFixedSize(kClientWidth, kClientHeight);
  window.setCentralWidget(tabs);
  window.show();
  QTimer::singleShot(0, &application, reportIdle);
  return QApplication::exec();
}

int runProgram(int argc, char** argv) {
  // As app/main.cpp does it.
  QApplication application(argc, argv);
  QApplication::setApplicationName(vexil::app::kApplicationTitle);
  vexil::app::applyDesktopLook();
  TMainForm mainForm;
  TSettingsForm settingsForm(&mainForm);
  TFormAbout formAbout(&mainForm);
  mainForm.useDialogs(&settingsForm, &formAbout);
  mainForm.show();
  QTimer::singleShot(0, &application, reportIdle);
  return QApplication::exec();
}

struct Run {
  double ms = 0;
  long peakKiB = 0;
};

Run spawn(const char* self, const char* mode, const char* workDir) {
  int idle[2];
  if (pipe(idle) != 0) std::exit(1);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(workDir) != 0 || dup2(idle[1], kIdleFd) < 0) _exit(127);
    execl(self, self, "--child", mode, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(idle[1]);
  long long idleAt = 0;
  const bool reported = read(idle[0], &idleAt, sizeof idleAt) == sizeof idleAt;
  close(idle[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const auto end = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(idleAt));
  if (!reported || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "vexil-startup-bench: %s child failed\n", mode);
    std::exit(1);
  }
  return {std::chrono::duration<double, std::milli>(end - start).count(), usage.ru_maxrss};
}

template <typename T>
T median(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
    return std::strcmp(argv[2], "bare") == 0 ? runBare(argc, argv) : runProgram(argc, argv);
  }
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRuns;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QTemporaryDir workDir;  // the program's settings file is not the developer's
  const std::string dir = workDir.path().toStdString();
  std::vector<double> bareMs, programMs;
  std::vector<long> bareKiB, programKiB;
  const char* self = "/proc/self/exe";  // argv[0] may be relative to another directory
  spawn(self, "bare", dir.c_str());       // warm the page cache for both
  spawn(self, "program", dir.c_str());
  for (int i = 0; i < runs; ++i) {
    const Run bare = spawn(self, "bare", dir.c_str());
    const Run program = spawn(self, "program", dir.c_str());
    bareMs.push_back(bare.ms);
    bareKiB.push_back(bare.peakKiB);
    programMs.push_back(program.ms);
    programKiB.push_back(program.peakKiB);
  }
  const double bare = median(bareMs);
  const double program = median(programMs);
  std::printf("launch -> idle, median of %d interleaved runs (offscreen)\n", runs);
  std::printf("  bare window : %7.1f ms  peak %5.1f MB\n", bare, median(bareKiB) / 1024.0);
  std::printf("  vexil-devp  : %7.1f ms  peak %5.1f MB\n", program, median(programKiB) / 1024.0);
  std::printf("  ratio       : %7.2f x  (target <= 1.20)\n", program / bare);
  return 0;
}
