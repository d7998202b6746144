// Talks to a board on 127.0.0.1 from a socket of its own and keeps every datagram that
// went either way, as a capture would see them.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "tests/wireshark/PcapWriter.h"

namespace vexil::test {

/// One UDP socket on 127.0.0.1 (a port the system picks). Not thread-safe.
class LoopbackSession {
 public:
  explicit LoopbackSession(std::uint16_t boardPort);
  ~LoopbackSession();
  LoopbackSession(const LoopbackSession&) = delete;
  LoopbackSession& operator=(const LoopbackSession&) = delete;

  bool ok() const { return socket_ >= 0; }
  std::uint16_t port() const { return port_; }

  /// Sends `frame` to the board and waits up to `wait` for its answer. Returns the
  /// answer (empty when none came); both directions are kept.
  std::vector<std::uint8_t> exchange(std::span<const std::uint8_t> frame,
                                     std::chrono::milliseconds wait = std::chrono::seconds(1));

  const std::vector<CapturedDatagram>& captured() const { return captured_; }

 private:
  int socket_ = -1;
  std::uint16_t port_ = 0;
  std::uint16_t boardPort_;
  std::vector<CapturedDatagram> captured_;
};

}  // namespace vexil::test
