#include "tests/instructions/ScriptedDevice.h"

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
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  std::string error;
  if (!socket_.open(a, {}, error)) return;
  port_ = socket_.localPort();
  thread_ = std::thread([this] { run(); });
}

ScriptedDevice::~ScriptedDevice() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  socket_.close();
}

void ScriptedDevice::run() {
  std::vector<std::uint8_t> buffer(kMaxDatagram);
  while (!stop_) {
    if (socket_.wait(kPollMs) != DatagramSocket::Wait::Readable) continue;
    sockaddr_in from{};
    const DatagramSocket::Received got = socket_.receiveFrom(buffer.data(), buffer.size(), from);
    if (got.status != DatagramSocket::Received::Status::Datagram) continue;
    const auto n = static_cast<std::ptrdiff_t>(std::min(got.length, buffer.size()));
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
    socket_.sendTo(reply.data(), reply.size(), from);
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
