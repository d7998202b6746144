#include "messaging/UdpEndpoint.h"

#ifdef _WIN32
#include <iphlpapi.h>
#else
#include <ifaddrs.h>
#endif

#include <cerrno>
#include <chrono>
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
#ifdef _WIN32
std::vector<std::uint32_t> askForMachineAddresses() {
  std::vector<std::uint32_t> addresses;
  ULONG size = 16 * 1024;
  std::vector<std::uint8_t> room;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    room.resize(size);
    result = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                  nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(room.data()), &size);
  }
  if (result != NO_ERROR) return addresses;
  for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(room.data()); a != nullptr; a = a->Next) {
    for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
      if (u->Address.lpSockaddr != nullptr && u->Address.lpSockaddr->sa_family == AF_INET)
        addresses.push_back(reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr)->sin_addr.s_addr);
    }
  }
  return addresses;
}

// GetAdaptersAddresses takes tens of milliseconds (under Wine more), and vexilctl binds
// one endpoint per board at once: the answer is shared for a moment instead of asked
// for by every endpoint. Addresses that change take effect a second later.
std::vector<std::uint32_t> machineAddresses() {
  static std::mutex lock;
  static std::vector<std::uint32_t> known;
  static std::chrono::steady_clock::time_point askedAt;
  constexpr auto kFreshFor = std::chrono::seconds(1);
  std::lock_guard guard(lock);
  const auto now = std::chrono::steady_clock::now();
  if (known.empty() || now - askedAt > kFreshFor) {
    known = askForMachineAddresses();
    askedAt = now;
  }
  return known;
}
#else
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
#endif

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
    : receiver_(std::move(receiver)), staging_(kStagingSize) {}

UdpEndpoint::~UdpEndpoint() { deactivate(); }

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
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, bindAddress.c_str(), &local.sin_addr) != 1) {
    setError("invalid bind address: " + bindAddress);
    return false;
  }
  const auto configure = [](net::SocketHandle fd, std::string&) {
    // Best effort: a smaller buffer only makes a lost answer under a flood more likely.
    net::setIntOption(fd, SOL_SOCKET, SO_RCVBUF, kReceiveBufferBytes);
    return true;
  };
  std::string why;
  if (!socket_.open(local, configure, why)) {
    setError(why);
    return false;
  }
  boundPort_ = socket_.localPort();
  boundAddress_ = socket_.localAddress();
  localAddresses_ = machineAddresses();
  listening_ = true;
  socket_.startListener("vexil-udp", [this] { listen(); });
  return true;
}

void UdpEndpoint::deactivate() { socket_.close(); }

std::uint16_t UdpEndpoint::localPort() const { return isActive() ? socket_.localPort() : 0; }

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
  std::uint32_t address = 0;
  if (!resolveIPv4(host, address)) {
    setError("cannot resolve " + host);
    return false;
  }
  to.sin_addr.s_addr = address;
  if (const int code = socket_.sendTo(data.data(), data.size(), to); code != 0) {
    setError(net::socketErrorText("sendto", code));
    return false;
  }
  return true;
}

void UdpEndpoint::listen() {
  struct MarkStopped {
    std::atomic<bool>& flag;
    ~MarkStopped() { flag = false; }
  } markStopped{listening_};
  for (;;) {
    const DatagramSocket::Wait woken = socket_.wait(-1);
    if (woken == DatagramSocket::Wait::TimedOut) continue;
    if (woken != DatagramSocket::Wait::Readable) return;  // asked to stop, or the socket failed
    sockaddr_in from{};
    // The true length even when the datagram did not fit, so an oversize datagram can
    // never pass for a shorter one.
    const DatagramSocket::Received got = socket_.receiveFrom(staging_.data(), staging_.size(), from);
    if (got.status == DatagramSocket::Received::Status::Nothing) continue;
    if (got.status == DatagramSocket::Received::Status::Failed) return;
    if (fromSelf(from)) continue;
    const std::size_t length = got.length;
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
