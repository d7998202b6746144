#include "sim/TsStreamer.h"

#include <pthread.h>  // winpthreads on Windows

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>

#include "sim/DeviceEmulator.h"
#include "sim/StatusRecord.h"
#include "sim/TsGenerator.h"
#include "stream/StreamReceiver.h"

namespace vexil::sim {
namespace {

using namespace std::chrono;

// Mode bytes, as the Send TS instruction sets them.
constexpr std::uint8_t kMode2Iptv = 0x02;
constexpr std::uint8_t kMode1Parity = 0x01;
constexpr std::uint8_t kMode1RemoveNulls = 0x02;
constexpr std::uint8_t kMode1RemoveErrored = 0x04;
constexpr int kPacketNumberShift = 5;
constexpr std::uint8_t kPacketNumberMask = 0x07;
constexpr std::size_t kMinQvNetSize = 256;
constexpr std::size_t kMaxQvNetSize = 1428;
constexpr std::uint8_t kSendingState = 1;
constexpr std::uint8_t kParityFill = 0x00;  // stands in for Reed-Solomon parity

constexpr std::uint32_t kMaxRate = 0xFFFFF;  // the status record's 20-bit rate
constexpr auto kStep = milliseconds(1);
constexpr auto kMostBehind = milliseconds(100);  // beyond this the sender skips, not bursts
constexpr int kSendBatch = 64;
constexpr int kInputs = 4;

// Multicast groups go out of the loopback interface only, and never past the host.
constexpr std::uint8_t kMulticastFirstOctet = 224;  // 224.0.0.0/4
constexpr std::uint8_t kMulticastOctetMask = 0xF0;
constexpr std::uint8_t kMulticastTtl = 0;
constexpr std::uint8_t kMulticastLoop = 1;
constexpr const char* kLoopbackInterfaceAddress = "127.0.0.1";

bool isMulticast(const IPv4& ip) { return (ip[0] & kMulticastOctetMask) == kMulticastFirstOctet; }

constexpr char kLoopbackMulticastHint[] =
    "; the loopback interface has no MULTICAST flag, so nothing will arrive (";

std::string dotted(const IPv4& ip) {
  return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
         std::to_string(ip[3]);
}

}  // namespace

DatagramFormat DatagramFormat::fromModes(std::uint8_t mode2, std::uint8_t mode1, std::uint8_t mode0) {
  DatagramFormat f;
  f.iptv = (mode2 & kMode2Iptv) != 0;
  const std::size_t number = (mode1 >> kPacketNumberShift) & kPacketNumberMask;
  f.packetsPerDatagram = std::max<std::size_t>(number, 1);
  f.withParity = (mode1 & kMode1Parity) != 0;
  f.removeNulls = (mode1 & kMode1RemoveNulls) != 0;
  f.removeErrored = (mode1 & kMode1RemoveErrored) != 0;
  f.qvNetSize = std::clamp<std::size_t>(std::size_t{mode1} * 256 + mode0, kMinQvNetSize, kMaxQvNetSize);
  return f;
}

// One input's stream on its way out.
struct TsStreamer::Route {
  explicit Route(int input) : input(input) {}

  int input;
  std::optional<TsGenerator> generator;  // made afresh each time the input starts
  bool active = false;
  bool refused = false;
  bool multicast = false;               // sent from the loopback-confined socket
  bool sendFailureLogged = false;
  InputChannel channel{};
  DatagramFormat format;
  sockaddr_in dest{};
  steady_clock::time_point startedAt{};
  double owed = 0;                      // packets due but not yet made
  std::vector<std::uint8_t> pending;    // the datagram being filled
  std::size_t pendingPackets = 0;
  std::uint64_t datagramNumber = 0;
  std::optional<std::vector<std::uint8_t>> held;  // sent after the next one

  bool sameRoute(const InputChannel& c) const {
    return c.destIp == channel.destIp && c.destPort == channel.destPort && c.mode2 == channel.mode2 &&
           c.mode1 == channel.mode1 && c.mode0 == channel.mode0;
  }
};

TsStreamer::TsStreamer() = default;

TsStreamer::~TsStreamer() { stop(); }

void TsStreamer::setLog(Log log) {
  std::lock_guard guard(lock_);
  log_ = std::move(log);
}

void TsStreamer::setFaults(const StreamFaults& faults) {
  std::lock_guard guard(lock_);
  faults_ = faults;
}

void TsStreamer::update(const DeviceState& state) {
  {
    std::lock_guard guard(lock_);
    config_ = state;
  }
  wake_.notify_all();  // an idle sender wakes for a route that starts
}

void TsStreamer::start() {
  if (thread_.joinable()) return;
  fd_ = net::openUdpSocket();
  openMulticastSocket();
  {
    std::lock_guard guard(lock_);
    stopping_ = false;
  }
  thread_ = std::thread([this] {
    ::pthread_setname_np(::pthread_self(), "vexil-ts-send");
    run();
  });
}

void TsStreamer::stop() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  net::closeSocket(fd_);
  net::closeSocket(multicastFd_);
  fd_ = multicastFd_ = net::kNoSocket;
}

void TsStreamer::openMulticastSocket() {
  multicastFd_ = net::openUdpSocket();
  in_addr loopback{};
  inet_pton(AF_INET, kLoopbackInterfaceAddress, &loopback);
#ifdef _WIN32
  // Winsock takes the TTL and the loop flag as DWORDs.
  const DWORD ttl = kMulticastTtl;
  const DWORD loop = kMulticastLoop;
#else
  const unsigned char ttl = kMulticastTtl;
  const unsigned char loop = kMulticastLoop;
#endif
  const auto set = [this](int name, const void* value, int size) {
    return setsockopt(multicastFd_, IPPROTO_IP, name, static_cast<const char*>(value), size) == 0;
  };
  // All three or the socket is not used: a group is only sent to when it cannot leave.
  const bool confined = multicastFd_ != net::kNoSocket && set(IP_MULTICAST_IF, &loopback, sizeof loopback) &&
                        set(IP_MULTICAST_TTL, &ttl, sizeof ttl) && set(IP_MULTICAST_LOOP, &loop, sizeof loop);
  if (confined) return;
  multicastProblem_ = net::errorText(net::lastSocketError());
  net::closeSocket(multicastFd_);
  multicastFd_ = net::kNoSocket;
}

std::uint64_t TsStreamer::datagramsSent(int input) const {
  return input >= 1 && input <= kInputs ? datagrams_[input - 1].load() : 0;
}

std::uint64_t TsStreamer::packetsSent(int input) const {
  return input >= 1 && input <= kInputs ? packets_[input - 1].load() : 0;
}

bool TsStreamer::anySending(const DeviceState& state) {
  for (const InputChannel& in : state.inputs)
    if (in.state == kSendingState) return true;
  return false;
}

bool TsStreamer::waitForStep(steady_clock::time_point& last, steady_clock::time_point& next,
                             Step& step) {
  std::unique_lock guard(lock_);
  // With no input sending there is nothing to pace: sleep until a route starts or the
  // sender is stopped, so that idle emulators cost nothing (racks of them stand in for
  // racks of boards).
  if (!anySending(config_)) {
    wake_.wait(guard, [this] { return stopping_ || anySending(config_); });
    if (stopping_) return false;
    last = steady_clock::now();
    next = last;
  }
  if (wake_.wait_until(guard, next, [this] { return stopping_; })) return false;
  step.config = config_;
  step.faults = faults_;
  step.log = log_;
  return true;
}

void TsStreamer::followRoute(Route& r, const InputChannel& in, const Step& step) {
  if (!r.active) {
    r.startedAt = step.now;
    r.owed = 0;
    r.generator.emplace(r.input, step.config.remux.channels[r.input - 1].rate);
  }
  r.active = true;
  r.channel = in;
  r.format = DatagramFormat::fromModes(in.mode2, in.mode1, in.mode0);
  r.pending.clear();
  r.pendingPackets = 0;
  r.held.reset();
  r.sendFailureLogged = false;
  const std::string to = dotted(in.destIp);
  const std::string name = "TS input " + std::to_string(r.input) + ": ";
  const std::string where = to + ":" + std::to_string(in.destPort);
  r.multicast = isMulticast(in.destIp);
  r.refused = r.multicast ? multicastFd_ == net::kNoSocket : !isLoopbackAddress(to);
  r.dest = {};
  r.dest.sin_family = AF_INET;
  r.dest.sin_port = htons(in.destPort);
  inet_pton(AF_INET, to.c_str(), &r.dest.sin_addr);
  if (r.refused) ++refused_;
  if (!step.log) return;
  step.log(name + (r.multicast && r.refused ? "multicast group " + where +
                                                  " refused: cannot confine it to loopback (" +
                                                  multicastProblem_ + "); not sending"
                   : r.multicast ? "sending to multicast group " + where + " through loopback (TTL 0)" +
                                       (stream::loopbackCarriesMulticast()
                                            ? std::string()
                                            : kLoopbackMulticastHint + std::string(stream::kLoopbackMulticastCommands) + ")")
                   : r.refused   ? "destination " + to +
                                     " is not on the loopback network (127.0.0.0/8); not sending"
                                 : "sending to " + where));
}

void TsStreamer::makeDatagrams(Route& r, const Step& step, Datagrams& out) {
  const RemuxChannel& rc = step.config.remux.channels[r.input - 1];
  r.generator->setNominalRate(rc.rate);
  const std::uint32_t rate = swingingValue(rc.rate, rc.rateSwing, kMaxRate, step.uptime);
  r.owed = std::min(r.owed + rate * step.elapsed, rate * duration<double>(kMostBehind).count() + 1);
  const auto due = static_cast<std::uint64_t>(std::floor(r.owed));
  r.owed -= static_cast<double>(due);
  const auto streamTime = duration_cast<nanoseconds>(step.now - r.startedAt);
  const DatagramFormat& f = r.format;
  out.clear();
  for (std::uint64_t i = 0; i < due; ++i) {
    const Packet p = r.generator->next(streamTime, step.faults);
    const stream::PacketView v(p.data());
    if (f.iptv && f.removeNulls && v.pid() == stream::kNullPid) continue;
    if (f.iptv && f.removeErrored && v.transportError()) continue;
    r.pending.insert(r.pending.end(), p.begin(), p.end());
    ++packets_[r.input - 1];
    if (f.iptv) {
      if (f.withParity) r.pending.insert(r.pending.end(), stream::kParityBytes, kParityFill);
      if (++r.pendingPackets == f.packetsPerDatagram) {
        out.push_back(std::move(r.pending));
        r.pending.clear();
        r.pendingPackets = 0;
      }
    } else if (r.pending.size() >= f.qvNetSize) {
      const auto cut = r.pending.begin() + static_cast<std::ptrdiff_t>(f.qvNetSize);
      out.emplace_back(r.pending.begin(), cut);
      r.pending.erase(r.pending.begin(), cut);
    }
  }
}

TsStreamer::Datagrams TsStreamer::applyDatagramFaults(Route& r, Datagrams& out, const StreamFaults& faults) {
  Datagrams sending;
  for (auto& d : out) {
    const std::uint64_t number = ++r.datagramNumber;
    if (faults.loseDatagramEvery && number % faults.loseDatagramEvery == 0) continue;
    if (faults.reorderEvery && number % faults.reorderEvery == 0 && !r.held) {
      r.held = std::move(d);
      continue;
    }
    sending.push_back(std::move(d));
    if (r.held) {
      sending.push_back(std::move(*r.held));
      r.held.reset();
    }
  }
  return sending;
}

void TsStreamer::sendDatagrams(Route& r, Datagrams& sending, const Log& log) {
  for (std::size_t from = 0; from < sending.size(); from += kSendBatch) {
    const std::size_t count = std::min<std::size_t>(kSendBatch, sending.size() - from);
#ifdef _WIN32
    // Winsock has no batch send: one sendto per datagram.
    int sent = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const auto& d = sending[from + i];
      if (::sendto(r.multicast ? multicastFd_ : fd_, reinterpret_cast<const char*>(d.data()), static_cast<int>(d.size()),
                   0, reinterpret_cast<const sockaddr*>(&r.dest), sizeof r.dest) == SOCKET_ERROR) {
        if (sent == 0) sent = -1;
        break;
      }
      ++sent;
    }
#else
    for (std::size_t i = 0; i < count; ++i) {
      iov_[i] = {sending[from + i].data(), sending[from + i].size()};
      msgs_[i] = {};
      msgs_[i].msg_hdr.msg_name = &r.dest;
      msgs_[i].msg_hdr.msg_namelen = sizeof r.dest;
      msgs_[i].msg_hdr.msg_iov = &iov_[i];
      msgs_[i].msg_hdr.msg_iovlen = 1;
    }
    const int sent = sendmmsg(r.multicast ? multicastFd_ : fd_, msgs_.data(), static_cast<unsigned>(count), 0);
#endif
    if (sent > 0) datagrams_[r.input - 1] += static_cast<std::uint64_t>(sent);
    if (sent >= 0) continue;
    ++failedSends_;
    if (log && !r.sendFailureLogged)
      log("TS input " + std::to_string(r.input) + ": cannot send to " + dotted(r.channel.destIp) + ":" +
          std::to_string(r.channel.destPort) + ": " + net::errorText(net::lastSocketError()) +
          (r.multicast ? " (a group on loopback needs a 224.0.0.0/4 route via lo and lo's MULTICAST flag)"
                       : "") +
          "; told once");
    r.sendFailureLogged = true;
    break;
  }
}

void TsStreamer::run() {
  std::vector<Route> routes;
  for (int n = 1; n <= kInputs; ++n) routes.emplace_back(n);
#ifndef _WIN32
  msgs_.resize(kSendBatch);
  iov_.resize(kSendBatch);
#endif
  Datagrams out;  // datagrams of one route in one step
  auto last = steady_clock::now();
  auto next = last + kStep;
  for (;;) {
    Step step;
    if (!waitForStep(last, next, step)) return;
    step.now = steady_clock::now();
    step.elapsed = duration<double>(step.now - last).count();
    step.uptime = step.config.uptime();
    last = step.now;
    next += kStep;
    if (step.now - next > kMostBehind) next = step.now + kStep;

    for (Route& r : routes) {
      const InputChannel& in = step.config.inputs[r.input - 1];
      if (in.state != kSendingState) {
        r.active = false;
        continue;
      }
      if (!r.active || !r.sameRoute(in)) followRoute(r, in, step);
      if (r.refused) continue;
      makeDatagrams(r, step, out);
      Datagrams sending = applyDatagramFaults(r, out, step.faults);
      sendDatagrams(r, sending, step.log);
    }
  }
}

}  // namespace vexil::sim
