// vexil-board-watch-screenshot <outdir> [seconds]: the Board Watch window over three
// emulated boards for a while (rates wandering, one counting CRC errors, one overflowing
// and one falling silent, then answering again), saved as board-watch.png. Offscreen
// unless another platform is chosen.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/Appearance.h"
#include "app/BoardWatchWindow.h"
#include "sim/DeviceEmulator.h"

namespace {

constexpr int kDefaultSeconds = 40;
constexpr std::uint32_t kCrcPerMinute = 120;

void runFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: vexil-board-watch-screenshot OUTDIR [SECONDS]\n");
    return 2;
  }
  const QString outDir = QString::fromLocal8Bit(argv[1]);
  const int seconds = argc > 2 ? std::max(10, std::atoi(argv[2])) : kDefaultSeconds;
  QDir().mkpath(outDir);
  vexil::app::applyDesktopLook();

  vexil::sim::DeviceState quiet = vexil::sim::defaultDeviceState();
  quiet.crcErrorsPerMinute = 0;
  for (auto& in : quiet.inputs) in.state = 0;
  quiet.inputs[0].state = 1;
  quiet.inputs[1].state = 1;
  quiet.remux.channels[2].rate = 1500;
  std::vector<std::unique_ptr<vexil::sim::DeviceEmulator>> boards;
  for (int i = 0; i < 3; ++i) {
    vexil::sim::DeviceState s = quiet;
    if (i == 1) s.crcErrorsPerMinute = kCrcPerMinute;
    s.serial = 5000 + static_cast<std::uint32_t>(i);
    boards.push_back(std::make_unique<vexil::sim::DeviceEmulator>(s));
    vexil::sim::DynamicsScript script;
    script.wander = true;
    script.seed = static_cast<std::uint32_t>(i + 1);
    if (i == 0) script.overflows.push_back({vexil::sim::Seconds(seconds * 0.5), 2});
    boards.back()->setDynamics(script);
    // Quiet boards send no stream: inputs shown as sending, nothing on the wire.
    boards.back()->streamer().setFaults({});
    if (!boards.back()->start("127.0.0.1", 0)) return 1;
  }

  vexil::app::BoardWatchWindow window;
  window.setDevice(QStringLiteral("127.0.0.1"), boards[0]->port());
  for (std::size_t i = 1; i < boards.size(); ++i) window.addBoard(QStringLiteral("127.0.0.1:%1").arg(boards[i]->port()));
  window.intervalEdit()->setText(QStringLiteral("0.5"));
  window.show();
  if (!window.start()) return 1;
  runFor(seconds * 1000 * 6 / 10);
  vexil::sim::Faults silent;
  silent.silent = true;
  boards[2]->setFaults(silent);
  runFor(seconds * 1000 * 2 / 10);
  boards[2]->setFaults({});
  runFor(seconds * 1000 * 2 / 10);
  window.findChild<QComboBox*>(QStringLiteral("BoardChoice"))->setCurrentIndex(0);
  runFor(200);
  const QString path = outDir + QStringLiteral("/board-watch.png");
  const bool saved = window.grab().save(path);
  window.stop();
  if (!saved) return 1;
  std::printf("%s\n", qPrintable(path));
  return 0;
}
