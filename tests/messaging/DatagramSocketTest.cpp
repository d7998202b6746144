// The bound socket both listeners stand on: binding, waiting, waking and closing.
#include "messaging/DatagramSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

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

void sendOneByte(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  const sockaddr_in to = loopback(port);
  const char byte = 'x';
  EXPECT_EQ(sendto(fd, &byte, 1, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to), 1);
  close(fd);
}

TEST(DatagramSocket, BindsAFreePortAndForgetsItWhenClosed) {
  DatagramSocket socket;
  std::string error;
  ASSERT_TRUE(socket.open(loopback(0), {}, error)) << error;
  EXPECT_TRUE(socket.isOpen());
  EXPECT_NE(socket.localPort(), 0);
  EXPECT_EQ(socket.localAddress(), htonl(INADDR_LOOPBACK));
  socket.close();
  EXPECT_FALSE(socket.isOpen());
  EXPECT_EQ(socket.fd(), -1);
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
  const auto refuse = [](int, std::string& why) {
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
  const auto look = [&](int fd, std::string&) {
    sockaddr_in a{};
    socklen_t length = sizeof a;
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
      char byte = 0;
      if (recv(socket.fd(), &byte, 1, MSG_DONTWAIT) == 1) ++received;
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

}  // namespace
}  // namespace vexil
