// A bound UDP/IPv4 socket with its wake-up channel and listener thread: the piece the
// device endpoint and the stream receiver both stand on, on Linux and on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "portable/Sockets.h"

namespace vexil {

/// Owns one bound UDP socket, a wake-up channel (a pipe on Linux, a loopback socket on
/// Windows, where only sockets can be waited on together) and the thread that listens. The owner opens it, starts the listener, and closes it; the listener's
/// body loops on wait() and reads from fd() until wait() says to stop. open, startListener
/// and close are called from the owner's thread; wait from the listener.
class DatagramSocket {
 public:
  /// What a wait ended with.
  enum class Wait {
    Readable,  // a datagram (or a pending error) is ready to be read
    Stopped,   // close() asks the listener to return
    TimedOut,  // the time given passed with nothing to read
    Failed,    // the socket reports an error or hang-up with nothing to read
  };
  /// Sets options on the fresh socket before it is bound. False, with `error` set,
  /// refuses the socket.
  using Configure = std::function<bool(net::SocketHandle socket, std::string& error)>;

  DatagramSocket() = default;
  ~DatagramSocket();
  DatagramSocket(const DatagramSocket&) = delete;
  DatagramSocket& operator=(const DatagramSocket&) = delete;

  /// Creates the socket, lets `configure` set its options and binds it to `local`.
  /// False, with `error` set, when any step fails; nothing is left open then.
  bool open(const sockaddr_in& local, const Configure& configure, std::string& error);
  bool isOpen() const { return fd_ != net::kNoSocket; }
  /// The socket, for the reads, sends and options of its owner; kNoSocket when closed.
  net::SocketHandle fd() const { return fd_; }
  /// The port and address (network order; 0 for all local addresses) actually bound.
  std::uint16_t localPort() const { return localPort_; }
  std::uint32_t localAddress() const { return localAddress_; }

  /// Starts `body` on a thread named `name` (at most 15 characters, as `top -H` shows).
  void startListener(const char* name, std::function<void()> body);
  /// Waits until the socket can be read, close() is called, or `timeoutMs` passes
  /// (negative: no limit). Interrupted waits are resumed.
  Wait wait(int timeoutMs);
  /// Wakes the listener, waits for its body to return, and closes the socket.
  void close();

  /// What one receive gave: the datagram's true length (even when larger than the
  /// buffer, which then holds its first bytes), or why nothing was read.
  struct Received {
    enum class Status { Datagram, Nothing, Failed } status = Status::Nothing;
    std::size_t length = 0;
    int error = 0;  // Failed: the system's error code
  };
  /// Reads one waiting datagram without blocking into `buffer`, with its sender.
  /// Nothing when no datagram waits or the error only means "try again" (an ICMP
  /// port-unreachable for an earlier send).
  Received receiveFrom(std::uint8_t* buffer, std::size_t size, sockaddr_in& from);
  /// Sends one datagram to `to`; the system's error code, or 0 when all bytes went.
  int sendTo(const std::uint8_t* data, std::size_t size, const sockaddr_in& to);

 private:
  net::SocketHandle fd_ = net::kNoSocket;
#ifdef _WIN32
  net::SocketHandle wake_ = net::kNoSocket;  // bound to loopback, sent to by close()
#else
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
#endif
  std::uint16_t localPort_ = 0;
  std::uint32_t localAddress_ = 0;
  std::thread listener_;
};

}  // namespace vexil
