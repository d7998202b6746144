// vexil-startup-bare: the yardstick of vexil-startup-bench, a bare QMainWindow of the
// program's size with a menu and five empty tabs, in an executable of its own.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QTabWidget>

namespace {
constexpr int kClientWidth = 744;
constexpr int kClientHeight = 533;
}  // namespace

int main(int argc, char** argv) {
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
  return QApplication::exec();
}
