#include "stream/StreamReceiver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace vexil::stream {
namespace {

constexpr int kBatch = 64;                        // datagrams per recvmmsg
constexpr std::size_t kDatagramRoom = 65536;      // the largest UDP payload fits
constexpr int kReceiveBuffer = 8 * 1024 * 1024;   // bytes asked of the kernel
constexpr std::size_t kControlRoom = CMSG_SPACE(sizeof(std::uint32_t));

std::int64_t threadCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

}  // namespace

StreamReceiver::StreamReceiver(AnalyserLimits limits) : analyser_(limits) {}

StreamReceiver::~StreamReceiver() { stop(); }

bool StreamReceiver::start(const std::string& address, int port) {
  stop();
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<std::uint16_t>(port));
  if (port < 0 || port > 65535 || inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
    error_ = "not an IPv4 address and port: " + address + ":" + std::to_string(port);
    return false;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
  // Beyond rmem_max only with the privilege to force it; the plain request otherwise.
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBuffer, sizeof kReceiveBuffer) != 0)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
  if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    error_ = "cannot bind " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
    close(fd);
    return false;
  }
  socklen_t length = sizeof local;
  getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
  int wake[2];
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    error_ = std::strerror(errno);
    close(fd);
    return false;
  }
  fd_ = fd;
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  port_ = ntohs(local.sin_port);
  drops_ = 0;
  cpuNs_ = 0;
  thread_ = std::thread([this] { run(); });
  return true;
}

void StreamReceiver::stop() {
  if (fd_ < 0) return;
  const char byte = 0;
  [[maybe_unused]] const ssize_t written = write(wakeWrite_, &byte, 1);
  thread_.join();
  close(fd_);
  close(wakeRead_);
  close(wakeWrite_);
  fd_ = wakeRead_ = wakeWrite_ = -1;
  stopRecording();
}

void StreamReceiver::run() {
  std::vector<std::uint8_t> buffers(kBatch * kDatagramRoom);
  std::vector<std::uint8_t> control(kBatch * kControlRoom);
  std::vector<iovec> iov(kBatch);
  std::vector<mmsghdr> msgs(kBatch);
  const std::int64_t cpuAtStart = threadCpuNs();
  pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[1].revents) return;
    for (;;) {
      for (int i = 0; i < kBatch; ++i) {
        iov[i] = {buffers.data() + i * kDatagramRoom, kDatagramRoom};
        msgs[i] = {};
        msgs[i].msg_hdr.msg_iov = &iov[i];
        msgs[i].msg_hdr.msg_iovlen = 1;
        msgs[i].msg_hdr.msg_control = control.data() + i * kControlRoom;
        msgs[i].msg_hdr.msg_controllen = kControlRoom;
      }
      const int n = recvmmsg(fd_, msgs.data(), kBatch, MSG_DONTWAIT, nullptr);
      if (n <= 0) break;
      const TimePoint at = Clock::now();
      {
        std::lock_guard guard(lock_);
        PacketSink* sink = recorder_.isOpen() ? &recorder_ : nullptr;
        for (int i = 0; i < n; ++i)
          analyser_.feed({buffers.data() + i * kDatagramRoom, msgs[i].msg_len}, at, sink);
      }
      // The kernel reports its running count of drops with each datagram.
      const msghdr& last = msgs[n - 1].msg_hdr;
      for (cmsghdr* c = CMSG_FIRSTHDR(&last); c; c = CMSG_NXTHDR(const_cast<msghdr*>(&last), c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
          std::uint32_t dropped = 0;
          std::memcpy(&dropped, CMSG_DATA(c), sizeof dropped);
          drops_ = dropped;
        }
      }
      cpuNs_ = threadCpuNs() - cpuAtStart;
      if (n < kBatch) break;
    }
  }
}

StreamSnapshot StreamReceiver::snapshot() {
  std::lock_guard guard(lock_);
  StreamSnapshot s;
  s.totals = analyser_.totals();
  meter_.sample(s.totals, Clock::now());
  s.pids = analyser_.pidTable();
  s.rates = meter_.rates();
  s.red = meter_.red();
  s.history = meter_.history();
  s.socketDrops = drops_.load();
  s.recordedPackets = recorder_.packets();
  return s;
}

void StreamReceiver::reset() {
  std::lock_guard guard(lock_);
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

}  // namespace vexil::stream
