// A UDP/IPv4 endpoint with a listener thread: the one place that speaks to the
// operating system's sockets.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "messaging/DatagramSocket.h"

namespace vexil {

/// Binds a port on all local IPv4 addresses (or one given address), sends datagrams
/// from it, and runs a listener thread that calls `Receiver` for every datagram that
/// arrives, with its true length even when it is larger than any buffer of ours.
/// Broadcast is not enabled, so sends to a broadcast address fail. A datagram this
/// endpoint sent to itself (its source is one of this machine's addresses and the bound
/// port) is never handed to the receiver: with the device address pointing at this
/// machine and nothing else on the port, the request must not pass for its own answer.
/// Member functions are called from one thread (the owner's), with one exception:
/// sendTo may also be called by the receiver, on the listener thread, to answer the
/// datagram it was handed (the emulator does); deactivate waits for the receiver, so the
/// socket stays open for such a send. The receiver runs on the listener thread.
class UdpEndpoint {
 public:
  /// Called on the listener thread with the datagram's bytes (at most `captured`
  /// bytes are valid) and its true length `length`.
  using Receiver = std::function<void(const std::uint8_t* data, std::size_t captured,
                                      std::size_t length, const std::string& fromAddress,
                                      std::uint16_t fromPort)>;

  explicit UdpEndpoint(Receiver receiver);
  ~UdpEndpoint();
  UdpEndpoint(const UdpEndpoint&) = delete;
  UdpEndpoint& operator=(const UdpEndpoint&) = delete;

  /// Binds `port` (0 picks a free one) on `bindAddress` ("0.0.0.0" for all local
  /// addresses) and starts the listener. False, with `error()` set, when the port is
  /// out of range or cannot be bound. An active endpoint whose listener has stopped on a
  /// socket error is closed and bound afresh.
  bool activate(int port, const std::string& bindAddress = "0.0.0.0");
  /// Closes the socket, stops the listener and waits until a receive under way has
  /// finished. Nothing arriving afterwards is seen.
  void deactivate();
  bool isActive() const { return socket_.isOpen(); }
  /// The port actually bound, while active.
  std::uint16_t localPort() const;

  /// Sends `data` as one datagram to `host` (dotted IPv4 text) and `port`. False, with `error()` set, if inactive, unresolvable, out of
  /// range, or refused by the network layer.
  bool sendTo(const std::string& host, int port, std::span<const std::uint8_t> data);

  /// Why the last activate or sendTo failed (empty after a success); any thread.
  std::string error() const;

 private:
  void listen();
  void setError(std::string text);
  bool fromSelf(const sockaddr_in& from) const;

  Receiver receiver_;
  DatagramSocket socket_;
  std::atomic<bool> listening_{false};  // false once the listener has given up
  std::vector<std::uint8_t> staging_;  // allocated once, reused by every receive
  mutable std::mutex errorLock_;  // sendTo may run on the listener thread
  std::string error_;
  // Set before the listener starts and read by it only: the bound port and this
  // machine's IPv4 addresses (network order) at the moment of binding.
  std::uint16_t boundPort_ = 0;
  std::uint32_t boundAddress_ = 0;  // network order; 0 for all local addresses
  std::vector<std::uint32_t> localAddresses_;
};

/// Reads dotted IPv4 text (a.b.c.d, decimal) into a network-order address. False when
/// the text is not such an address; names are never looked up.
bool resolveIPv4(const std::string& host, std::uint32_t& networkOrderAddress);

/// A UDP port on the loopback address that is free at this moment (0 when none can be
/// found). For tests, tools and the demo, which must stay on 127.0.0.0/8.
int freeLoopbackPort();

}  // namespace vexil
