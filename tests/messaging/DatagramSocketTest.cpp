// The bound socket both listeners stand on: binding, waiting, waking, receiving,
// sending and closing, the same on Linux and on Windows.
#include "messaging/DatagramSocket.h"

#include <pthread.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace vexil {
namespace {

using namespace std::chrono_literals;

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// Sends `bytes` to the loopback `port` from a socket of its own.
void sendBytes(std::uint16_t port, const std::vector<std::uint8_t>& bytes) {
  DatagramSocket sender;
  std::string error;
  ASSERT_TRUE(sender.open(loopback(0), {}, error)) << error;
  EXPECT_EQ(sender.sendTo(bytes.data(), bytes.size(), loopback(port)), 0);
}

void sendOneByte(std::uint16_t port) { sendBytes(port, {'x'}); }

TEST(DatagramSocket, BindsAFreePortAndForgetsItWhenClosed) {
  DatagramSocket socket;
  std::string error;
  ASSERT_TRUE(socket.open(loopback(0), {}, error)) << error;
  EXPECT_TRUE(socket.isOpen());
  EXPECT_NE(socket.localPort(), 0);
  EXPECT_EQ(socket.localAddress(), htonl(INADDR_LOOPBACK));
  socket.close();
  EXPECT_FALSE(socket.isOpen());
  EXPECT_EQ(socket.fd(), net::kNoSocket);
  EXPECT_EQ(socket.localPort(), 0);
  socket.close();  // a second close is harmless
}

TEST(DatagramSocket, RefusedOpensLeaveNothingOpen) {
  DatagramSocket first;
  std::string error;
  ASSERT_TRUE(first.open(loopback(0), {}, error));

  DatagramSocket taken;
  EXPECT_FALSE(taken.open(loopback(first.localPort()), {}, error));
  EXPECT_NE(error.find("bind"), std::string::npos) << error;
  EXPECT_FALSE(taken.isOpen());

  DatagramSocket refused;
  error.clear();
  const auto refuse = [](net::SocketHandle, std::string& why) {
    why = "not today";
    return false;
  };
  EXPECT_FALSE(refused.open(loopback(0), refuse, error));
  EXPECT_EQ(error, "not today");
  EXPECT_FALSE(refused.isOpen());
}

TEST(DatagramSocket, ConfigureSeesTheSocketBeforeItIsBound) {
  DatagramSocket socket;
  std::string error;
  std::uint16_t portSeen = 1;
  const auto look = [&](net::SocketHandle fd, std::string&) {
    sockaddr_in a{};
    net::SocketLength length = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    portSeen = ntohs(a.sin_port);
    return true;
  };
  ASSERT_TRUE(socket.open(loopback(0), look, error));
  EXPECT_EQ(portSeen, 0);  // not yet bound
}

TEST(DatagramSocket, WaitTellsReadableTimedOutAndStopped) {
  DatagramSocket socket;
  std::string error;
  ASSERT_TRUE(socket.open(loopback(0), {}, error));
  EXPECT_EQ(socket.wait(0), DatagramSocket::Wait::TimedOut);
  sendOneByte(socket.localPort());
  EXPECT_EQ(socket.wait(1000), DatagramSocket::Wait::Readable);

  // close() wakes a listener that waits without a limit, and waits for it to return.
  std::atomic<int> received{0};
  std::atomic<bool> stopped{false};
  std::atomic<bool> named{false};
  socket.startListener("vexil-test", [&] {
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    named = std::string(name) == "vexil-test";
    for (;;) {
      const auto woken = socket.wait(-1);
      if (woken == DatagramSocket::Wait::Stopped) break;
      if (woken != DatagramSocket::Wait::Readable) continue;
      std::uint8_t byte = 0;
      sockaddr_in from{};
      if (socket.receiveFrom(&byte, 1, from).length == 1) ++received;
    }
    stopped = true;
  });
  sendOneByte(socket.localPort());
  for (int i = 0; i < 200 && received.load() < 2; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(received.load(), 2);  // the one read before the listener started, and this one
  socket.close();  // returns only once the body has
  EXPECT_TRUE(stopped.load());
  EXPECT_TRUE(named.load());
}

TEST(DatagramSocket, ReceiveGivesTheBytesTheSenderAndNothingWhenNoneWaits) {
  DatagramSocket socket;
  DatagramSocket sender;
  std::string error;
  ASSERT_TRUE(socket.open(loopback(0), {}, error)) << error;
  ASSERT_TRUE(sender.open(loopback(0), {}, error)) << error;
  std::array<std::uint8_t, 64> buffer{};
  sockaddr_in from{};
  EXPECT_EQ(socket.receiveFrom(buffer.data(), buffer.size(), from).status, DatagramSocket::Received::Status::Nothing)
      << "a receive with nothing waiting returns at once";

  const std::vector<std::uint8_t> bytes{0x51, 0x56, 0x00, 0xFF, 0x0D, 0x0A};
  ASSERT_EQ(sender.sendTo(bytes.data(), bytes.size(), loopback(socket.localPort())), 0);
  ASSERT_EQ(socket.wait(1000), DatagramSocket::Wait::Readable);
  const auto got = socket.receiveFrom(buffer.data(), buffer.size(), from);
  ASSERT_EQ(got.status, DatagramSocket::Received::Status::Datagram);
  ASSERT_EQ(got.length, bytes.size());
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), buffer.begin())) << "bytes as sent, no line-end translation";
  EXPECT_EQ(ntohs(from.sin_port), sender.localPort());
  EXPECT_EQ(from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));

  const std::vector<std::uint8_t> empty;
  ASSERT_EQ(sender.sendTo(empty.data(), 0, loopback(socket.localPort())), 0);
  ASSERT_EQ(socket.wait(1000), DatagramSocket::Wait::Readable);
  const auto none = socket.receiveFrom(buffer.data(), buffer.size(), from);
  EXPECT_EQ(none.status, DatagramSocket::Received::Status::Datagram) << "an empty datagram is a datagram";
  EXPECT_EQ(none.length, 0u);
}

TEST(DatagramSocket, ADatagramLargerThanTheBufferIsNeverTakenForAShortOne) {
  DatagramSocket socket;
  std::string error;
  ASSERT_TRUE(socket.open(loopback(0), {}, error)) << error;
  std::array<std::uint8_t, 16> buffer{};
  sockaddr_in from{};
  for (const std::size_t size : {std::size_t{16}, std::size_t{17}, std::size_t{1500}}) {
    sendBytes(socket.localPort(), std::vector<std::uint8_t>(size, 0x47));
    ASSERT_EQ(socket.wait(1000), DatagramSocket::Wait::Readable) << size;
    const auto got = socket.receiveFrom(buffer.data(), buffer.size(), from);
    ASSERT_EQ(got.status, DatagramSocket::Received::Status::Datagram) << size;
    if (size <= buffer.size())
      EXPECT_EQ(got.length, size);
    else
      EXPECT_GT(got.length, buffer.size()) << size << " bytes: the length must show it did not fit";
    EXPECT_EQ(buffer[0], 0x47) << "the first bytes are kept";
  }
}

TEST(DatagramSocket, SendingToAClosedPortDoesNotStopTheReceiver) {
  // Both systems report an ICMP port-unreachable for an earlier send on a later
  // receive (ECONNREFUSED, WSAECONNRESET): it is not a datagram and not a failure.
  DatagramSocket socket;
  std::string error;
  ASSERT_TRUE(socket.open(loopback(0), {}, error)) << error;
  DatagramSocket gone;
  ASSERT_TRUE(gone.open(loopback(0), {}, error)) << error;
  const std::uint16_t closedPort = gone.localPort();
  gone.close();
  const std::uint8_t byte = 1;
  socket.sendTo(&byte, 1, loopback(closedPort));
  std::this_thread::sleep_for(50ms);
  std::array<std::uint8_t, 8> buffer{};
  sockaddr_in from{};
  const auto first = socket.receiveFrom(buffer.data(), buffer.size(), from);
  EXPECT_NE(first.status, DatagramSocket::Received::Status::Failed) << first.error;
  sendOneByte(socket.localPort());
  ASSERT_EQ(socket.wait(1000), DatagramSocket::Wait::Readable);
  auto next = socket.receiveFrom(buffer.data(), buffer.size(), from);
  if (next.status == DatagramSocket::Received::Status::Nothing) next = socket.receiveFrom(buffer.data(), buffer.size(), from);
  EXPECT_EQ(next.status, DatagramSocket::Received::Status::Datagram);
  EXPECT_EQ(next.length, 1u);
}

}  // namespace
}  // namespace vexil
