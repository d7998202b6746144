// A fake board on 127.0.0.1 for the page tests: it answers each request with the next
// reply of a script (bytes, a delay, or silence), whatever the request holds, so a test
// can play answers that the emulated board would never give.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "messaging/DatagramSocket.h"

namespace vexil::test {

struct Reply {
  std::optional<std::vector<std::uint8_t>> bytes;  // unset: no answer
  std::chrono::milliseconds delay{0};
};

/// Replies to the n-th request with script[n]; requests beyond the script get none.
/// Sends only back to the loopback sender of the request.
class ScriptedDevice {
 public:
  explicit ScriptedDevice(std::vector<Reply> script);
  ~ScriptedDevice();
  ScriptedDevice(const ScriptedDevice&) = delete;
  ScriptedDevice& operator=(const ScriptedDevice&) = delete;

  bool ok() const { return socket_.isOpen(); }
  std::uint16_t port() const { return port_; }
  std::vector<std::vector<std::uint8_t>> requests() const;
  std::size_t requestCount() const;

 private:
  void run();

  DatagramSocket socket_;
  std::uint16_t port_ = 0;
  std::vector<Reply> script_;
  mutable std::mutex lock_;
  std::vector<std::vector<std::uint8_t>> requests_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// ---- Answers as the board lays them out ------------------------------------------

/// A Palvox status answer of `length` bytes: the board's `userText` at 6, `opcode` at 22
/// (OpAck for a valid answer), the version at 25 and 26 and the device type at 31.
std::vector<std::uint8_t> statusAnswer(std::size_t length, std::uint16_t type, std::uint8_t major,
                                       std::uint8_t minor, const std::string& userText,
                                       std::uint8_t opcode = 0xF0);

/// The short answer to an instruction, 41 bytes unless `length` says otherwise: the
/// board's `userText` at 6 and `opcode` at 22.
std::vector<std::uint8_t> shortAnswer(const std::string& userText, std::uint8_t opcode = 0xF0,
                                      std::size_t length = 41);

}  // namespace vexil::test
