#include "messaging/DatagramSocket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace vexil {
namespace {

std::string systemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

DatagramSocket::~DatagramSocket() { close(); }

bool DatagramSocket::open(const sockaddr_in& local, const Configure& configure, std::string& error) {
  close();
  int wake[2];
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = systemError("cannot create the listener's wake-up pipe");
    return false;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const auto giveUp = [&](std::string why) {
    error = std::move(why);
    if (fd >= 0) ::close(fd);
    ::close(wake[0]);
    ::close(wake[1]);
    return false;
  };
  if (fd < 0) return giveUp(systemError("socket"));
  if (configure) {
    std::string why;
    if (!configure(fd, why)) return giveUp(why);
  }
  if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return giveUp(systemError("bind"));
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return giveUp(systemError("getsockname"));
  fd_ = fd;
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  localPort_ = ntohs(bound.sin_port);
  localAddress_ = bound.sin_addr.s_addr;
  return true;
}

void DatagramSocket::startListener(const char* name, std::function<void()> body) {
  listener_ = std::thread([name, body = std::move(body)] {
    // Named, so that `top -H` and the tests tell the program's threads apart.
    ::pthread_setname_np(::pthread_self(), name);
    body();
  });
}

DatagramSocket::Wait DatagramSocket::wait(int timeoutMs) {
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
}

void DatagramSocket::close() {
  if (fd_ < 0) return;
  const char wake = 1;
  // The pipe is non-blocking; a full pipe already wakes the listener.
  [[maybe_unused]] const auto written = write(wakeWrite_, &wake, 1);
  if (listener_.joinable()) listener_.join();
  ::close(fd_);
  ::close(wakeRead_);
  ::close(wakeWrite_);
  fd_ = wakeRead_ = wakeWrite_ = -1;
  localPort_ = 0;
  localAddress_ = 0;
}

}  // namespace vexil
