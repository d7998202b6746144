#include "tests/wireshark/LoopbackSession.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vexil::test {
namespace {
constexpr std::size_t kLargestDatagram = 65535;
}  // namespace

LoopbackSession::LoopbackSession(std::uint16_t boardPort) : boardPort_(boardPort) {
  socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (socket_ < 0) return;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof local;
  if (::bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
    ::close(socket_);
    socket_ = -1;
    return;
  }
  port_ = ntohs(local.sin_port);
}

LoopbackSession::~LoopbackSession() {
  if (socket_ >= 0) ::close(socket_);
}

std::vector<std::uint8_t> LoopbackSession::exchange(std::span<const std::uint8_t> frame,
                                                    std::chrono::milliseconds wait) {
  sockaddr_in board{};
  board.sin_family = AF_INET;
  board.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  board.sin_port = htons(boardPort_);
  if (::sendto(socket_, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&board),
               sizeof board) != static_cast<ssize_t>(frame.size())) {
    return {};
  }
  CapturedDatagram request;
  request.sourcePort = port_;
  request.destinationPort = boardPort_;
  request.payload.assign(frame.begin(), frame.end());
  captured_.push_back(std::move(request));

  pollfd readable{socket_, POLLIN, 0};
  if (::poll(&readable, 1, static_cast<int>(wait.count())) != 1) return {};
  std::vector<std::uint8_t> answer(kLargestDatagram);
  sockaddr_in from{};
  socklen_t size = sizeof from;
  const ssize_t got = ::recvfrom(socket_, answer.data(), answer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &size);
  if (got < 0) return {};
  answer.resize(static_cast<std::size_t>(got));
  CapturedDatagram reply;
  reply.sourceAddress = ntohl(from.sin_addr.s_addr);
  reply.sourcePort = ntohs(from.sin_port);
  reply.destinationPort = port_;
  reply.payload = answer;
  captured_.push_back(std::move(reply));
  return answer;
}

}  // namespace vexil::test
