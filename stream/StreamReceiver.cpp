#include "stream/StreamReceiver.h"

#include "portable/Sockets.h"

#ifndef _WIN32
#include <net/if.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif
#include <time.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

namespace vexil::stream {
namespace {

constexpr int kBatch = 64;                        // datagrams per recvmmsg
constexpr std::size_t kDatagramRoom = 65536;      // the largest UDP payload fits
constexpr int kReceiveBuffer = 8 * 1024 * 1024;   // bytes asked of the kernel
#ifndef _WIN32
constexpr std::size_t kControlRoom = CMSG_SPACE(sizeof(std::uint32_t)) + CMSG_SPACE(sizeof(timespec));
#endif
constexpr int kTickMs = 100;                      // deadlines are looked at during silence
// With the kernel's receive stamps a datagram's time does not depend on when it is
// read, so the thread lets datagrams gather for a moment between reads instead of
// waking for each one (the socket's buffer holds 8 MB, 60 ms at 1 Gb/s).
constexpr auto kGather = std::chrono::milliseconds(10);
constexpr std::uint8_t kMulticastFirst = 224;     // 224.0.0.0/4
constexpr std::uint8_t kMulticastLast = 239;

std::optional<in_addr> ipv4(const std::string& text) {
  in_addr a{};
  if (inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
  return a;
}

bool isMulticast(in_addr a) {
  const auto first = static_cast<std::uint8_t>(ntohl(a.s_addr) >> 24);
  return first >= kMulticastFirst && first <= kMulticastLast;
}

#ifndef _WIN32
std::int64_t nanos(const timespec& t) { return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; }

// The steady clock's reading minus the real-time clock's, to bring the kernel's
// real-time receive stamps onto the steady clock the analyser runs on.
std::int64_t steadyMinusRealtime() {
  timespec real{};
  clock_gettime(CLOCK_REALTIME, &real);
  const auto steady = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
  return steady - nanos(real);
}

#endif

std::int64_t threadCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

}  // namespace

std::optional<std::string> endpointProblem(const ListenEndpoint& e) {
  const auto address = ipv4(e.address);
  if (!address) return "not an IPv4 address: \"" + e.address + "\"";
  if (e.port < 0 || e.port > 65535) return "not a UDP port (0 to 65535): " + std::to_string(e.port);
  const bool group = isMulticast(*address);
  if (!e.source.empty()) {
    if (!group) return "a source (" + e.source + ") needs a multicast group address (224.0.0.0 to 239.255.255.255)";
    const auto source = ipv4(e.source);
    if (!source || isMulticast(*source) || source->s_addr == 0) return "not a unicast IPv4 source address: \"" + e.source + "\"";
  }
  if (!e.interface.empty()) {
    if (!group) return "an interface (" + e.interface + ") needs a multicast group address (224.0.0.0 to 239.255.255.255)";
    const auto interface = ipv4(e.interface);
    if (!interface || isMulticast(*interface)) return "not a local IPv4 interface address: \"" + e.interface + "\"";
  }
  return std::nullopt;
}

bool loopbackCarriesMulticast() {
#ifdef _WIN32
  return true;  // Windows' loopback pseudo-interface always carries multicast
#else
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  const bool on = ioctl(fd, SIOCGIFFLAGS, &request) == 0 && (request.ifr_flags & IFF_MULTICAST) != 0;
  close(fd);
  return on;
#endif
}

bool isMulticastGroup(const std::string& address) {
  const auto a = ipv4(address);
  return a && isMulticast(*a);
}

std::string loopbackMulticastHint(const ListenEndpoint& e) {
  const auto group = ipv4(e.address);
  const auto interface = e.interface.empty() ? std::nullopt : ipv4(e.interface);
  const bool onLoopback = e.interface.empty() || (interface && (ntohl(interface->s_addr) >> 24) == 127);
  if (!group || !isMulticast(*group) || !onLoopback || loopbackCarriesMulticast()) return {};
  return std::string("loopback carries no multicast here (its MULTICAST flag is off), so a group sent "
                     "through loopback, as vexil-sim sends it, cannot arrive; ") +
         kLoopbackMulticastCommands;
}

StreamReceiver::StreamReceiver(AnalyserLimits limits) : analyser_(limits) {}

StreamReceiver::~StreamReceiver() { stop(); }

bool StreamReceiver::start(const ListenEndpoint& endpoint) {
  stop();
  if (const auto problem = endpointProblem(endpoint)) {
    error_ = *problem;
    return false;
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<std::uint16_t>(endpoint.port));
  local.sin_addr = *ipv4(endpoint.address);
  const bool group = isMulticast(local.sin_addr);
  const auto configure = [this, group](net::SocketHandle fd, std::string&) {
#ifdef _WIN32
    // On Windows SO_REUSEADDR lets another socket take the port from under this one:
    // only a group, which several listeners may share, asks for it.
    if (group) net::setIntOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    // Winsock neither counts a socket's drops nor stamps datagrams for recvfrom.
    kernelTimestamps_ = false;
    dropsKnown_ = false;
    net::setIntOption(fd, SOL_SOCKET, SO_RCVBUF, kReceiveBuffer);
#else
    net::setIntOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    dropsKnown_ = net::setIntOption(fd, SOL_SOCKET, SO_RXQ_OVFL, 1);
    kernelTimestamps_ = net::setIntOption(fd, SOL_SOCKET, SO_TIMESTAMPNS, 1);
    if (group) net::setIntOption(fd, IPPROTO_IP, IP_MULTICAST_ALL, 0);
    // Beyond rmem_max only with the privilege to force it; the plain request otherwise.
    if (!net::setIntOption(fd, SOL_SOCKET, SO_RCVBUFFORCE, kReceiveBuffer))
      net::setIntOption(fd, SOL_SOCKET, SO_RCVBUF, kReceiveBuffer);
#endif
    return true;
  };
  std::string why;
  if (!socket_.open(local, configure, why)) {
    error_ = why.starts_with("bind")
                 ? "cannot bind " + endpoint.address + ":" + std::to_string(endpoint.port) + why.substr(4)
                 : why;
    return false;
  }
  if (group && !join(socket_.fd(), endpoint)) {
    socket_.close();
    return false;
  }
  port_ = socket_.localPort();
  drops_ = 0;
  cpuNs_ = 0;
  {
    // A fresh analyser with every deadline armed: what came before is not this run's.
    std::lock_guard guard(lock_);
    analyser_.start(Clock::now());
    meter_.reset();
  }
  socket_.startListener("vexil-ts-recv", [this] { run(); });
  running_ = true;
  return true;
}

bool StreamReceiver::join(net::SocketHandle fd, const ListenEndpoint& e) {
  const in_addr group = *ipv4(e.address);
  in_addr interface{};
  interface.s_addr = htonl(INADDR_ANY);
  if (!e.interface.empty()) interface = *ipv4(e.interface);
  int result;
  if (e.source.empty()) {
#ifdef _WIN32
    ip_mreq request{};
    request.imr_multiaddr = group;
    request.imr_interface = interface;
#else
    ip_mreqn request{};
    request.imr_multiaddr = group;
    request.imr_address = interface;
#endif
    result = setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&request), sizeof request);
  } else {
    ip_mreq_source request{};
    request.imr_multiaddr = group;
    request.imr_interface = interface;
    request.imr_sourceaddr = *ipv4(e.source);
    result = setsockopt(fd, IPPROTO_IP, IP_ADD_SOURCE_MEMBERSHIP, reinterpret_cast<const char*>(&request), sizeof request);
  }
  if (result != 0) {
    const std::string what = "cannot join " + e.address + (e.source.empty() ? "" : " from " + e.source) +
                             (e.interface.empty() ? "" : " on " + e.interface);
    error_ = net::socketErrorText(what.c_str());
    return false;
  }
  return true;
}

void StreamReceiver::stop() {
  if (!socket_.isOpen()) return;
  running_ = false;
  socket_.close();
  stopRecording();
}

#ifdef _WIN32
// Windows: one datagram per receive, each stamped when it is read (Winsock stamps
// nothing for recvfrom), so the thread reads as soon as a datagram waits.
void StreamReceiver::run() {
  std::vector<std::uint8_t> buffer(kDatagramRoom);
  const std::int64_t cpuAtStart = threadCpuNs();
  for (;;) {
    const DatagramSocket::Wait woken = socket_.wait(kTickMs);
    if (woken == DatagramSocket::Wait::Stopped) return;
    if (woken == DatagramSocket::Wait::TimedOut) {
      std::lock_guard guard(lock_);
      analyser_.advance(Clock::now());
      continue;
    }
    for (int i = 0; i < kBatch; ++i) {
      sockaddr_in from{};
      const DatagramSocket::Received got = socket_.receiveFrom(buffer.data(), buffer.size(), from);
      if (got.status != DatagramSocket::Received::Status::Datagram) break;
      const std::size_t length = got.length < buffer.size() ? got.length : buffer.size();
      std::lock_guard guard(lock_);
      PacketSink* sink = recorder_.isOpen() ? &recorder_ : nullptr;
      analyser_.feed({buffer.data(), length}, Clock::now(), sink);
    }
    cpuNs_ = threadCpuNs() - cpuAtStart;
  }
}
#else
void StreamReceiver::run() {
  std::vector<std::uint8_t> buffers(kBatch * kDatagramRoom);
  std::vector<std::uint8_t> control(kBatch * kControlRoom);
  std::vector<iovec> iov(kBatch);
  std::vector<mmsghdr> msgs(kBatch);
  std::vector<TimePoint> stamps(kBatch);
  const std::int64_t cpuAtStart = threadCpuNs();
  const int fd = socket_.fd();
  for (;;) {
    const DatagramSocket::Wait woken = socket_.wait(kTickMs);
    if (woken == DatagramSocket::Wait::Stopped) return;
    if (woken == DatagramSocket::Wait::TimedOut) {
      std::lock_guard guard(lock_);
      analyser_.advance(Clock::now());
      continue;
    }
    // Readable, or a pending socket error, which the read below takes and clears.
    for (;;) {
      for (int i = 0; i < kBatch; ++i) {
        iov[i] = {buffers.data() + i * kDatagramRoom, kDatagramRoom};
        msgs[i] = {};
        msgs[i].msg_hdr.msg_iov = &iov[i];
        msgs[i].msg_hdr.msg_iovlen = 1;
        msgs[i].msg_hdr.msg_control = control.data() + i * kControlRoom;
        msgs[i].msg_hdr.msg_controllen = kControlRoom;
      }
      const int n = recvmmsg(fd, msgs.data(), kBatch, MSG_DONTWAIT, nullptr);
      if (n <= 0) break;
      // Each datagram keeps the time the kernel took it in; without a stamp, now.
      const TimePoint now = Clock::now();
      const std::int64_t shift = steadyMinusRealtime();
      for (int i = 0; i < n; ++i) {
        stamps[i] = now;
        msghdr& h = msgs[i].msg_hdr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&h); c; c = CMSG_NXTHDR(&h, c)) {
          if (c->cmsg_level != SOL_SOCKET) continue;
          if (c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec t{};
            std::memcpy(&t, CMSG_DATA(c), sizeof t);
            const TimePoint stamped{std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanos(t) + shift))};
            stamps[i] = std::min(stamped, now);
          } else if (c->cmsg_type == SO_RXQ_OVFL) {
            // The kernel's running count of the socket's drops.
            std::uint32_t dropped = 0;
            std::memcpy(&dropped, CMSG_DATA(c), sizeof dropped);
            drops_ = dropped;
          }
        }
      }
      {
        std::lock_guard guard(lock_);
        PacketSink* sink = recorder_.isOpen() ? &recorder_ : nullptr;
        for (int i = 0; i < n; ++i)
          analyser_.feed({buffers.data() + i * kDatagramRoom, msgs[i].msg_len}, stamps[i], sink);
      }
      cpuNs_ = threadCpuNs() - cpuAtStart;
      if (n < kBatch) break;
    }
    if (kernelTimestamps_.load()) std::this_thread::sleep_for(kGather);
  }
}
#endif

StreamSnapshot StreamReceiver::snapshot() {
  std::lock_guard guard(lock_);
  const TimePoint now = Clock::now();
  StreamSnapshot s;
  s.totals = analyser_.totals();
  meter_.sample(s.totals, now);
  s.pids = analyser_.pidTable();
  s.rates = meter_.rates();
  s.red = meter_.red();
  s.history = meter_.history();
  s.socketDrops = drops_.load();
  s.dropsKnown = dropsKnown_.load();
  s.recordedPackets = recorder_.packets();
  s.recordError = recorder_.failed() ? recorder_.error() : std::string();
  return s;
}

void StreamReceiver::reset() {
  std::lock_guard guard(lock_);
  if (running_.load())
    analyser_.start(Clock::now());
  else
    analyser_.reset();
  meter_.reset();
}

bool StreamReceiver::startRecording(const std::string& path, std::string& why) {
  std::lock_guard guard(lock_);
  if (!recorder_.open(path)) {
    why = recorder_.error();
    return false;
  }
  return true;
}

std::uint64_t StreamReceiver::stopRecording() {
  std::lock_guard guard(lock_);
  recorder_.close();
  return recorder_.packets();
}

bool StreamReceiver::recording() const {
  std::lock_guard guard(lock_);
  return recorder_.isOpen();
}

std::string StreamReceiver::recordError() const {
  std::lock_guard guard(lock_);
  return recorder_.failed() ? recorder_.error() : std::string();
}

}  // namespace vexil::stream
