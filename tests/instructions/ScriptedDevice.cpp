#include "tests/instructions/ScriptedDevice.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace vexil::test {
namespace {

constexpr int kPollMs = 10;
constexpr std::size_t kMaxDatagram = 65536;

void put(std::vector<std::uint8_t>& b, std::size_t at, const std::string& text) {
  std::vector<std::uint8_t> field(15, ' ');
  std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 15), field.begin());
  for (std::size_t i = 0; i < field.size() && at + i < b.size(); ++i) b[at + i] = field[i];
}

std::vector<std::uint8_t> palvoxAnswer(std::size_t length, const std::string& userText,
                                       std::uint8_t opcode) {
  std::vector<std::uint8_t> b(length, 0);
  const char magic[] = "Palvox";
  for (std::size_t i = 0; i < 6 && i < length; ++i) b[i] = static_cast<std::uint8_t>(magic[i]);
  put(b, 6, userText);
  if (length > 21) b[21] = 0x01;
  if (length > 22) b[22] = opcode;
  return b;
}

}  // namespace

ScriptedDevice::ScriptedDevice(std::vector<Reply> script) : script_(std::move(script)) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd_ < 0) return;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { run(); });
}

ScriptedDevice::~ScriptedDevice() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) ::close(fd_);
}

void ScriptedDevice::run() {
  std::vector<std::uint8_t> buffer(kMaxDatagram);
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n =
        ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) continue;
    std::size_t index;
    {
      std::lock_guard guard(lock_);
      requests_.emplace_back(buffer.begin(), buffer.begin() + n);
      index = requests_.size() - 1;
    }
    if (index >= script_.size() || !script_[index].bytes) continue;
    if ((ntohl(from.sin_addr.s_addr) >> 24) != 127) continue;  // loopback senders only
    std::this_thread::sleep_for(script_[index].delay);
    const std::vector<std::uint8_t>& reply = *script_[index].bytes;
    ::sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
  }
}

std::vector<std::vector<std::uint8_t>> ScriptedDevice::requests() const {
  std::lock_guard guard(lock_);
  return requests_;
}

std::size_t ScriptedDevice::requestCount() const {
  std::lock_guard guard(lock_);
  return requests_.size();
}

std::vector<std::uint8_t> statusAnswer(std::size_t length, std::uint16_t type, std::uint8_t major,
                                       std::uint8_t minor, const std::string& userText,
                                       std::uint8_t opcode) {
  std::vector<std::uint8_t> b = palvoxAnswer(length, userText, opcode);
  if (length > 26) {
    b[25] = major;
    b[26] = minor;
  }
  if (length > 32) {
    b[31] = static_cast<std::uint8_t>(type >> 8);
    b[32] = static_cast<std::uint8_t>(type & 0xFF);
  }
  return b;
}

std::vector<std::uint8_t> shortAnswer(const std::string& userText, std::uint8_t opcode,
                                      std::size_t length) {
  return palvoxAnswer(length, userText, opcode);
}

}  // namespace vexil::test
