#include "messaging/DatagramSocket.h"

#include <pthread.h>  // winpthreads on Windows

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <utility>

namespace vexil {
namespace {

#ifdef _WIN32
// A socket on 127.0.0.1 that close() sends one byte to: WSAPoll waits on sockets only.
net::SocketHandle openWakeSocket(std::string& error) {
  const net::SocketHandle s = net::openUdpSocket();
  if (s == net::kNoSocket) {
    error = net::socketErrorText("cannot create the listener's wake-up socket");
    return s;
  }
  sockaddr_in loopback{};
  loopback.sin_family = AF_INET;
  loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  u_long nonBlocking = 1;
  if (bind(s, reinterpret_cast<const sockaddr*>(&loopback), sizeof loopback) != 0 ||
      ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    error = net::socketErrorText("cannot bind the listener's wake-up socket");
    net::closeSocket(s);
    return net::kNoSocket;
  }
  return s;
}
#endif

}  // namespace

DatagramSocket::~DatagramSocket() { close(); }

bool DatagramSocket::open(const sockaddr_in& local, const Configure& configure, std::string& error) {
  close();
  if (!net::startSockets(error)) return false;
#ifdef _WIN32
  const net::SocketHandle wake = openWakeSocket(error);
  if (wake == net::kNoSocket) return false;
  const auto closeWake = [wake] { net::closeSocket(wake); };
#else
  int wake[2];
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = net::socketErrorText("cannot create the listener's wake-up pipe");
    return false;
  }
  const auto closeWake = [&wake] {
    ::close(wake[0]);
    ::close(wake[1]);
  };
#endif
  const net::SocketHandle fd = net::openUdpSocket();
  const auto giveUp = [&](std::string why) {
    error = std::move(why);
    net::closeSocket(fd);
    closeWake();
    return false;
  };
  if (fd == net::kNoSocket) return giveUp(net::socketErrorText("socket"));
  if (configure) {
    std::string why;
    if (!configure(fd, why)) return giveUp(why);
  }
  if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return giveUp(net::socketErrorText("bind"));
  sockaddr_in bound{};
  net::SocketLength length = sizeof bound;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return giveUp(net::socketErrorText("getsockname"));
#ifdef _WIN32
  // Reads never block: the listener reads only after a wait said a datagram is there,
  // and drains the socket until it would block.
  u_long nonBlocking = 1;
  if (ioctlsocket(fd, FIONBIO, &nonBlocking) != 0) return giveUp(net::socketErrorText("ioctlsocket"));
  wake_ = wake;
#else
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
#endif
  fd_ = fd;
  localPort_ = ntohs(bound.sin_port);
  localAddress_ = bound.sin_addr.s_addr;
  return true;
}

void DatagramSocket::startListener(const char* name, std::function<void()> body) {
  listener_ = std::thread([name, body = std::move(body)] {
    // Named, so that `top -H` (or a Windows debugger) tells the program's threads apart.
    ::pthread_setname_np(::pthread_self(), name);
    body();
  });
}

DatagramSocket::Wait DatagramSocket::wait(int timeoutMs) {
#ifdef _WIN32
  WSAPOLLFD fds[2] = {{fd_, POLLRDNORM, 0}, {wake_, POLLRDNORM, 0}};
  const int ready = WSAPoll(fds, 2, timeoutMs);
  if (ready == SOCKET_ERROR) return Wait::Failed;
  if (fds[1].revents != 0) return Wait::Stopped;
  if (ready == 0) return Wait::TimedOut;
  if ((fds[0].revents & POLLRDNORM) != 0) return Wait::Readable;
  // Winsock flags a pending ICMP error as POLLERR; the receive takes it and goes on.
  if ((fds[0].revents & POLLERR) != 0) return Wait::Readable;
  return Wait::Failed;
#else
  pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
  for (;;) {
    const int ready = poll(fds, 2, timeoutMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return Wait::Failed;
    }
    if (fds[1].revents != 0) return Wait::Stopped;
    if (ready == 0) return Wait::TimedOut;
    if ((fds[0].revents & POLLIN) != 0) return Wait::Readable;
    return Wait::Failed;  // an error or hang-up with nothing to read
  }
#endif
}

DatagramSocket::Received DatagramSocket::receiveFrom(std::uint8_t* buffer, std::size_t size, sockaddr_in& from) {
  Received r;
  net::SocketLength fromLength = sizeof from;
#ifdef _WIN32
  const int n = recvfrom(fd_, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0,
                         reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (n == SOCKET_ERROR) {
    const int code = net::lastSocketError();
    if (net::isOversizeReceiveError(code)) {
      // Winsock cuts the datagram to the buffer and gives no true length: it is at least
      // one byte more than the buffer holds, which is all "oversize" needs.
      r.status = Received::Status::Datagram;
      r.length = size + 1;
      return r;
    }
    if (net::isTransientReceiveError(code)) return r;
    r.status = Received::Status::Failed;
    r.error = code;
    return r;
  }
#else
  // MSG_TRUNC makes recvfrom report the datagram's true length even when it did not
  // fit, so an oversize datagram can never pass for a shorter one.
  const ssize_t n = recvfrom(fd_, buffer, size, MSG_TRUNC | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (n < 0) {
    const int code = net::lastSocketError();
    if (net::isTransientReceiveError(code)) return r;
    r.status = Received::Status::Failed;
    r.error = code;
    return r;
  }
#endif
  r.status = Received::Status::Datagram;
  r.length = static_cast<std::size_t>(n);
  return r;
}

int DatagramSocket::sendTo(const std::uint8_t* data, std::size_t size, const sockaddr_in& to) {
#ifdef _WIN32
  const int sent = ::sendto(fd_, reinterpret_cast<const char*>(data), static_cast<int>(size), 0,
                            reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (sent == SOCKET_ERROR) return net::lastSocketError();
#else
  const ssize_t sent = ::sendto(fd_, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (sent < 0) return net::lastSocketError();
#endif
  return static_cast<std::size_t>(sent) == size ? 0 : EMSGSIZE;
}

void DatagramSocket::close() {
  if (fd_ == net::kNoSocket) return;
  const char wake = 1;
#ifdef _WIN32
  sockaddr_in self{};
  net::SocketLength length = sizeof self;
  if (getsockname(wake_, reinterpret_cast<sockaddr*>(&self), &length) == 0)
    ::sendto(wake_, &wake, 1, 0, reinterpret_cast<const sockaddr*>(&self), sizeof self);
  if (listener_.joinable()) listener_.join();
  net::closeSocket(wake_);
  wake_ = net::kNoSocket;
#else
  // The pipe is non-blocking; a full pipe already wakes the listener.
  [[maybe_unused]] const auto written = write(wakeWrite_, &wake, 1);
  if (listener_.joinable()) listener_.join();
  ::close(wakeRead_);
  ::close(wakeWrite_);
  wakeRead_ = wakeWrite_ = -1;
#endif
  net::closeSocket(fd_);
  fd_ = net::kNoSocket;
  localPort_ = 0;
  localAddress_ = 0;
}

}  // namespace vexil
