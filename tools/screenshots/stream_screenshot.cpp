// vexil-stream-screenshot <outdir> [seconds]: the Stream Monitor watching the emulated
// board's input 1 for a while (its rate swings, then steps up, then continuity errors
// begin), saved as stream-monitor.png. Offscreen unless another platform is chosen.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QSize>
#include <cstdio>

#include "app/Appearance.h"
#include "app/StreamMonitor.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"

namespace {

constexpr int kDefaultSeconds = 60;
constexpr std::uint32_t kSteppedRate = 6000;  // packets/s after the step
constexpr std::uint32_t kCcErrorEvery = 1500;
constexpr std::uint8_t kIptvSevenPackets = 0xE0;
constexpr std::uint8_t kIptv = 0x02;
constexpr QSize kWindowSize(980, 640);

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
    std::fprintf(stderr, "usage: vexil-stream-screenshot OUTDIR [SECONDS]\n");
    return 2;
  }
  const QString outDir = QString::fromLocal8Bit(argv[1]);
  const int seconds = argc > 2 ? std::max(6, std::atoi(argv[2])) : kDefaultSeconds;
  QDir().mkpath(outDir);
  vexil::app::applyDesktopLook();

  const int port = vexil::freeLoopbackPort();
  vexil::sim::DeviceEmulator device;
  vexil::sim::DeviceState state = device.state();
  vexil::sim::InputChannel& in = state.inputs[0];
  in.destIp = {127, 0, 0, 1};
  in.destPort = static_cast<std::uint16_t>(port);
  in.mode2 = kIptv;
  in.mode1 = kIptvSevenPackets;
  in.state = 0;
  device.setState(state);
  if (!device.start("127.0.0.1", 0)) return 1;

  vexil::app::StreamMonitor monitor;
  monitor.setEndpoint(QStringLiteral("127.0.0.1"), port);
  monitor.resize(kWindowSize);
  monitor.show();
  if (!monitor.listen()) return 1;
  in.state = 1;  // as a Send TS to 127.0.0.1 would leave it
  device.setState(state);

  runFor(seconds * 1000 * 4 / 10);
  state = device.state();
  state.remux.channels[0].rate = kSteppedRate;
  device.setState(state);
  runFor(seconds * 1000 * 5 / 10);
  vexil::sim::StreamFaults faults;
  faults.continuityErrorEvery = kCcErrorEvery;
  device.streamer().setFaults(faults);
  runFor(seconds * 1000 / 10);

  monitor.refresh();
  const QString path = outDir + QStringLiteral("/stream-monitor.png");
  if (!monitor.grab().save(path)) return 1;
  std::printf("%s\n", qPrintable(path));
  return 0;
}
