// vexil-stream-bench: how fast the stream analyser counts, from memory and from a file,
// and the highest rate the live path takes on loopback without losing a datagram, with
// the emulator as the sender. Prints one line per figure.
//   vexil-stream-bench [--quick]
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"
#include "sim/TsGenerator.h"
#include "stream/StreamAnalyser.h"
#include "stream/StreamReceiver.h"

using namespace std::chrono;
using vexil::stream::Clock;
using vexil::stream::kPacketSize;

namespace {

constexpr std::size_t kPacketsPerDatagram = 7;
constexpr std::size_t kDatagram = kPacketsPerDatagram * kPacketSize;
constexpr std::size_t kReadChunk = 1 << 20;
constexpr double kBitsPerPacket = kPacketSize * 8.0;

std::vector<std::uint8_t> makeStream(std::size_t packets) {
  constexpr std::uint32_t kPacketsPerSecond = 10'000;
  vexil::sim::TsGenerator generator(1, kPacketsPerSecond);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(packets * kPacketSize);
  for (std::size_t i = 0; i < packets; ++i) {
    const auto p = generator.next(nanoseconds(static_cast<long long>(i) * 100'000), {});  // 10k packets/s of stream time
    bytes.insert(bytes.end(), p.begin(), p.end());
  }
  return bytes;
}

// Feeds `bytes` in IPTV datagrams `passes` times; returns seconds taken.
double analyse(const std::vector<std::uint8_t>& bytes, int passes, std::uint64_t& counted) {
  vexil::stream::StreamAnalyser analyser;
  const auto start = steady_clock::now();
  auto at = Clock::now();
  for (int pass = 0; pass < passes; ++pass)
    for (std::size_t from = 0; from + kDatagram <= bytes.size(); from += kDatagram) {
      analyser.feed({bytes.data() + from, kDatagram}, at);
      at += microseconds(700);  // stream time moves on: 10k packets/s
    }
  counted = analyser.totals().packets;  // each pass starts the counters again: a few breaks
  return duration<double>(steady_clock::now() - start).count();
}

double readFile(const std::string& path, bool analyseToo, std::uint64_t& counted) {
  vexil::stream::StreamAnalyser analyser;
  std::vector<std::uint8_t> chunk(kReadChunk - kReadChunk % kDatagram);
  const int fd = open(path.c_str(), O_RDONLY);
  const auto start = steady_clock::now();
  std::uint64_t bytes = 0;
  for (;;) {
    const ssize_t n = read(fd, chunk.data(), chunk.size());
    if (n <= 0) break;
    bytes += static_cast<std::uint64_t>(n);
    if (analyseToo)
      for (std::size_t from = 0; from + kDatagram <= static_cast<std::size_t>(n); from += kDatagram)
        analyser.feed({chunk.data() + from, kDatagram}, Clock::now());
  }
  const double seconds = duration<double>(steady_clock::now() - start).count();
  close(fd);
  counted = analyseToo ? analyser.totals().packets : bytes / kPacketSize;
  return seconds;
}

struct LiveResult {
  double megabits = 0;
  std::uint64_t sent = 0;
  std::uint64_t received = 0;
  std::uint64_t drops = 0;
  double cpuShare = 0;  // of one core, receive thread
};

LiveResult live(double megabits, double seconds) {
  vexil::stream::StreamReceiver receiver;
  receiver.start("127.0.0.1", 0);
  vexil::sim::DeviceEmulator device;
  vexil::sim::DeviceState state = device.state();
  auto& in = state.inputs[0];
  in.destIp = {127, 0, 0, 1};
  in.destPort = receiver.port();
  in.mode2 = 0x02;
  in.mode1 = 0xE0;  // IPTV, 7 packets of 188 bytes
  in.state = 1;
  state.remux.channels[0].rate = static_cast<std::uint32_t>(megabits * 1e6 / kBitsPerPacket);
  state.remux.channels[0].rateSwing = 0;
  device.setState(state);
  const auto cpuBefore = receiver.cpuTime();
  device.start("127.0.0.1", 0);
  const auto start = steady_clock::now();
  std::this_thread::sleep_for(duration<double>(seconds));
  device.stop();
  const double wall = duration<double>(steady_clock::now() - start).count();
  std::this_thread::sleep_for(milliseconds(300));  // let the socket drain
  LiveResult r;
  r.megabits = megabits;
  r.sent = device.streamer().datagramsSent(1);
  r.received = receiver.snapshot().totals.datagrams;
  r.drops = receiver.socketDrops();
  r.cpuShare = duration<double>(receiver.cpuTime() - cpuBefore).count() / wall;
  receiver.stop();
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const std::size_t packets = quick ? 200'000 : 1'000'000;
  const int passes = quick ? 2 : 5;

  const std::vector<std::uint8_t> stream = makeStream(packets);
  std::uint64_t counted = 0;
  analyse(stream, 1, counted);  // warm up
  const double memSeconds = analyse(stream, passes, counted);
  const double pps = static_cast<double>(counted) / memSeconds;
  std::printf("analyser from memory: %.1f M packets/s = %.2f Gb/s of 188-byte packets (one core)\n",
              pps / 1e6, pps * kBitsPerPacket / 1e9);

  const std::string path = "/tmp/vexil-stream-bench.ts";
  {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    for (int pass = 0; pass < passes; ++pass)
      if (write(fd, stream.data(), stream.size()) != static_cast<ssize_t>(stream.size())) return 1;
    close(fd);
  }
  std::uint64_t readPackets = 0;
  readFile(path, false, readPackets);  // into the page cache
  const double bare = readFile(path, false, readPackets);
  const double withAnalysis = readFile(path, true, counted);
  std::printf("file of %.0f MB (page cache): bare read %.2f Gb/s, read + analyse %.2f Gb/s (%.1f M packets/s)\n",
              static_cast<double>(readPackets * kPacketSize) / 1e6,
              static_cast<double>(readPackets) * kBitsPerPacket / bare / 1e9,
              static_cast<double>(counted) * kBitsPerPacket / withAnalysis / 1e9,
              static_cast<double>(counted) / withAnalysis / 1e6);
  unlink(path.c_str());

  const double liveSeconds = quick ? 1.5 : 4;
  double best = 0;
  for (double mbit : {20.0, 100.0, 200.0, 400.0, 600.0, 800.0, 1000.0}) {
    const LiveResult r = live(mbit, liveSeconds);
    const bool clean = r.drops == 0 && r.received == r.sent;
    std::printf("live loopback %5.0f Mb/s: sent %llu datagrams, received %llu, socket drops %llu, "
                "receive thread %.1f %% of a core%s\n",
                r.megabits, static_cast<unsigned long long>(r.sent),
                static_cast<unsigned long long>(r.received), static_cast<unsigned long long>(r.drops),
                r.cpuShare * 100, clean ? "" : "  (loss)");
    if (clean) best = mbit;
    if (!clean || (quick && mbit >= 200)) break;
  }
  std::printf("highest loopback rate without loss: %.0f Mb/s\n", best);
  return 0;
}
