#include "messaging/UdpEndpoint.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vexil {
namespace {

// Large enough for any UDP datagram, so a datagram is never cut to fit.
constexpr std::size_t kStagingSize = 65536;
constexpr int kMaxPort = 65535;
// Room for the answer behind a burst of other datagrams (oversize ones included) that
// arrive during one wait; the kernel may grant less (net.core.rmem_max).
constexpr int kReceiveBufferBytes = 1 << 20;
constexpr std::uint32_t kLoopbackNet = 0x7F000000;  // 127.0.0.0/8, host order
constexpr std::uint32_t kLoopbackMask = 0xFF000000;

// This machine's IPv4 addresses, network order; the loopback network counts as a whole.
std::vector<std::uint32_t> machineAddresses() {
  std::vector<std::uint32_t> addresses;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return addresses;
  for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr != nullptr && a->ifa_addr->sa_family == AF_INET) {
      addresses.push_back(reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
    }
  }
  freeifaddrs(list);
  return addresses;
}

std::string systemError(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

bool resolveIPv4(const std::string& host, std::uint32_t& networkOrderAddress) {
  // Device addresses are dotted IPv4 text. Names are not looked up: a mistyped address
  // fails at once instead of waiting on a name server, and nothing but the request
  // itself ever leaves the machine.
  in_addr numeric{};
  if (inet_pton(AF_INET, host.c_str(), &numeric) != 1) return false;
  networkOrderAddress = numeric.s_addr;
  return true;
}

UdpEndpoint::UdpEndpoint(Receiver receiver)
    : receiver_(std::move(receiver)), staging_(kStagingSize) {
  int fds[2];
  if (pipe(fds) == 0) {
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
    fcntl(wakeRead_, F_SETFL, O_NONBLOCK);
    fcntl(wakeWrite_, F_SETFL, O_NONBLOCK);
  }
}

UdpEndpoint::~UdpEndpoint() {
  deactivate();
  if (wakeRead_ >= 0) close(wakeRead_);
  if (wakeWrite_ >= 0) close(wakeWrite_);
}

bool UdpEndpoint::activate(int port, const std::string& bindAddress) {
  if (isActive()) {
    if (listening_) return true;
    deactivate();  // the listener stopped on a socket error: start over
  }
  setError({});
  if (port < 0 || port > kMaxPort) {
    setError("port out of range: " + std::to_string(port));
    return false;
  }
  if (wakeRead_ < 0) {
    setError("cannot create the listener's wake-up pipe");
    return false;
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, bindAddress.c_str(), &local.sin_addr) != 1) {
    setError("invalid bind address: " + bindAddress);
    return false;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    setError(systemError("socket"));
    return false;
  }
  // Best effort: a smaller buffer only makes a lost answer under a flood more likely.
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes, sizeof kReceiveBufferBytes);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    setError(systemError("bind"));
    close(fd);
    return false;
  }
  sockaddr_in bound{};
  socklen_t boundLength = sizeof bound;
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength);
  boundPort_ = ntohs(bound.sin_port);
  boundAddress_ = bound.sin_addr.s_addr;
  localAddresses_ = machineAddresses();
  fd_ = fd;
  listening_ = true;
  listener_ = std::thread(&UdpEndpoint::listen, this);
  return true;
}

void UdpEndpoint::deactivate() {
  if (!isActive()) return;
  const char wake = 1;
  // The pipe is non-blocking and drained below; a full pipe already wakes the listener.
  [[maybe_unused]] const auto written = write(wakeWrite_, &wake, 1);
  if (listener_.joinable()) listener_.join();
  close(fd_);
  fd_ = -1;
  char drain[64];
  while (read(wakeRead_, drain, sizeof drain) > 0) {
  }
}

std::uint16_t UdpEndpoint::localPort() const {
  if (!isActive()) return 0;
  sockaddr_in local{};
  socklen_t len = sizeof local;
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &len) != 0) return 0;
  return ntohs(local.sin_port);
}

bool UdpEndpoint::sendTo(const std::string& host, int port,
                         std::span<const std::uint8_t> data) {
  setError({});
  if (!isActive()) {
    setError("endpoint not active");
    return false;
  }
  if (port < 0 || port > kMaxPort) {
    setError("port out of range: " + std::to_string(port));
    return false;
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  if (!resolveIPv4(host, to.sin_addr.s_addr)) {
    setError("cannot resolve " + host);
    return false;
  }
  const ssize_t sent = sendto(fd_, data.data(), data.size(), 0,
                              reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (sent < 0 || static_cast<std::size_t>(sent) != data.size()) {
    setError(systemError("sendto"));
    return false;
  }
  return true;
}

void UdpEndpoint::listen() {
  // Named, so that `top -H` and the tests tell the program's threads apart.
  ::pthread_setname_np(::pthread_self(), "vexil-udp");
  struct MarkStopped {
    std::atomic<bool>& flag;
    ~MarkStopped() { flag = false; }
  } markStopped{listening_};
  pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
  for (;;) {
    fds[0].revents = fds[1].revents = 0;
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;  // asked to stop
    if ((fds[0].revents & POLLIN) == 0) {
      if (fds[0].revents != 0) return;  // socket error or hang-up
      continue;
    }
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    // MSG_TRUNC makes recvfrom report the datagram's true length even when it did not
    // fit, so an oversize datagram can never pass for a shorter one.
    const ssize_t n = recvfrom(fd_, staging_.data(), staging_.size(), MSG_TRUNC,
                               reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == ECONNREFUSED) continue;
      return;
    }
    if (fromSelf(from)) continue;
    const auto length = static_cast<std::size_t>(n);
    const std::size_t captured = length < staging_.size() ? length : staging_.size();
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    receiver_(staging_.data(), captured, length, text, ntohs(from.sin_port));
  }
}

std::string UdpEndpoint::error() const {
  std::lock_guard guard(errorLock_);
  return error_;
}

void UdpEndpoint::setError(std::string text) {
  std::lock_guard guard(errorLock_);
  error_ = std::move(text);
}

bool UdpEndpoint::fromSelf(const sockaddr_in& from) const {
  if (ntohs(from.sin_port) != boundPort_) return false;
  // Bound to one address, only that address is this socket; bound to all, any address
  // of this machine with the bound port is (no other socket can hold the port then).
  if (boundAddress_ != 0) return from.sin_addr.s_addr == boundAddress_;
  if ((ntohl(from.sin_addr.s_addr) & kLoopbackMask) == kLoopbackNet) return true;
  for (const std::uint32_t address : localAddresses_) {
    if (address == from.sin_addr.s_addr) return true;
  }
  return false;
}

int freeLoopbackPort() {
  UdpEndpoint probe([](const std::uint8_t*, std::size_t, std::size_t, const std::string&,
                       std::uint16_t) {});
  if (!probe.activate(0, "127.0.0.1")) return 0;
  const int port = probe.localPort();
  probe.deactivate();
  return port;
}

}  // namespace vexil
