// Send TS to a multicast group: the streamer sends it out of the loopback interface
// with TTL 0 only. The group is received inside a private network namespace, where
// loopback may be given the multicast route a normal host lacks; this binary runs
// itself again there under unshare. A send the system refuses is logged once.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "sim/DeviceModel.h"
#include "sim/TsStreamer.h"
#include "stream/TsPacket.h"

using namespace vexil::sim;
using namespace std::chrono_literals;

namespace {

constexpr const char* kInsideVariable = "VEXIL_TS_NETNS";  // set in the namespace run
constexpr const char* kGroup = "239.1.1.1";
constexpr vexil::sim::IPv4 kGroupIp{239, 1, 1, 1};
constexpr std::size_t kDatagramSize = 7 * vexil::stream::kPacketSize;
constexpr std::uint8_t kIptv = 0x02;
constexpr std::uint8_t kSevenPackets = 0xE0;

bool inside() { return std::getenv(kInsideVariable) != nullptr; }

bool runs(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// "unshare -n" as root, "unshare -rn" otherwise; empty when namespaces are not allowed.
std::string unshare() {
  if (runs("unshare -n true")) return "unshare -n";
  if (runs("unshare -rn true")) return "unshare -rn";
  return {};
}

// This test binary, run again in a fresh network namespace for one test; its exit status.
int runInside(const std::string& test, std::string& skip) {
  const std::string how = unshare();
  if (how.empty()) {
    skip = "network namespaces are not allowed here (unshare -n and unshare -rn fail)";
    return 0;
  }
  if (!runs("command -v ip")) {
    skip = "iproute2's ip is not installed";
    return 0;
  }
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
    skip = "cannot find this test program to run it again";
    return 0;
  }
  return std::system((std::string(kInsideVariable) + "=1 " + how + " '" + self + "' --gtest_filter=" + test).c_str());
}

// A streamer sending input 1 to `ip`:`port`, seven packets a datagram, logging into `lines`.
struct Sender {
  Sender(vexil::sim::IPv4 ip, std::uint16_t port) {
    DeviceState state = defaultDeviceState();
    for (InputChannel& in : state.inputs) in.state = 0;
    InputChannel& one = state.inputs[0];
    one.destIp = ip;
    one.destPort = port;
    one.state = 1;
    one.mode2 = kIptv;
    one.mode1 = kSevenPackets;
    one.mode0 = 0x00;
    state.remux.channels[0].rate = 4000;
    state.remux.channels[0].rateSwing = 0;
    streamer.setLog([this](const std::string& line) {
      std::lock_guard guard(lock);
      lines.push_back(line);
    });
    streamer.update(state);
    streamer.start();
  }
  std::size_t linesWith(const std::string& text) {
    std::lock_guard guard(lock);
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
  }
  TsStreamer streamer;
  std::mutex lock;
  std::vector<std::string> lines;
};

TEST(MulticastThroughLoopback, GroupMemberOnLoopbackReceivesTheStreamWithTtlZero) {
  if (!inside()) {
    std::string skip;
    const int status = runInside("MulticastThroughLoopback.GroupMemberOnLoopbackReceivesTheStreamWithTtlZero", skip);
    if (!skip.empty()) GTEST_SKIP() << skip;
    EXPECT_EQ(status, 0) << "the namespace run failed; its output is above";
    return;
  }
  ASSERT_TRUE(runs("ip link set lo up && ip link set lo multicast on && ip route add 224.0.0.0/4 dev lo"));
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  socklen_t length = sizeof any;
  getsockname(fd, reinterpret_cast<sockaddr*>(&any), &length);
  ip_mreq join{};
  inet_pton(AF_INET, kGroup, &join.imr_multiaddr);
  inet_pton(AF_INET, "127.0.0.1", &join.imr_interface);
  ASSERT_EQ(setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join), 0);
  const int on = 1;
  setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
  timeval wait{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);

  Sender sender(kGroupIp, ntohs(any.sin_port));
  int received = 0;
  int ttlsSeen = 0;
  for (int i = 0; i < 20; ++i) {
    std::uint8_t data[2048];
    alignas(cmsghdr) std::uint8_t control[64];
    iovec iov{data, sizeof data};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(fd, &msg, 0);
    ASSERT_EQ(n, static_cast<ssize_t>(kDatagramSize)) << "datagram " << i;
    for (std::size_t at = 0; at < kDatagramSize; at += vexil::stream::kPacketSize) EXPECT_EQ(data[at], 0x47);
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
        int ttl = -1;
        std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
        EXPECT_EQ(ttl, 0) << "sent with a multicast TTL of 0";
        ++ttlsSeen;
      }
    ++received;
  }
  EXPECT_EQ(received, 20);
  EXPECT_EQ(ttlsSeen, 20);
  EXPECT_EQ(sender.streamer.refusedRoutes(), 0u);
  EXPECT_EQ(sender.linesWith("sending to multicast group 239.1.1.1:" + std::to_string(ntohs(any.sin_port)) +
                             " through loopback (TTL 0)"), 1u);
  sender.streamer.stop();
  close(fd);
}

TEST(MulticastThroughLoopback, RefusedWhenLoopbackCannotBeChosen) {
  if (!inside()) {
    std::string skip;
    const int status = runInside("MulticastThroughLoopback.RefusedWhenLoopbackCannotBeChosen", skip);
    if (!skip.empty()) GTEST_SKIP() << skip;
    EXPECT_EQ(status, 0) << "the namespace run failed; its output is above";
    return;
  }
  // A fresh namespace's loopback is down and has no 127.0.0.1 to send the group from.
  Sender sender(kGroupIp, 5001);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(sender.streamer.refusedRoutes(), 1u);
  EXPECT_EQ(sender.streamer.datagramsSent(1), 0u);
  EXPECT_EQ(sender.linesWith("multicast group 239.1.1.1:5001 refused"), 1u);
}

TEST(TsStreamerSendFailure, LoggedOnceHoweverOftenItFails) {
  Sender sender({127, 0, 0, 1}, 0);  // port 0: every send is refused
  std::this_thread::sleep_for(300ms);
  EXPECT_GT(sender.streamer.failedSends(), 10u);
  EXPECT_EQ(sender.streamer.datagramsSent(1), 0u);
  EXPECT_EQ(sender.linesWith("cannot send to 127.0.0.1:0"), 1u);
}

TEST(TsStreamerSendFailure, OtherUnicastDestinationsStillRefused) {
  Sender sender({10, 1, 2, 3}, 5000);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(sender.streamer.refusedRoutes(), 1u);
  EXPECT_EQ(sender.streamer.failedSends(), 0u);
  EXPECT_EQ(sender.linesWith("not on the loopback network"), 1u);
}

}  // namespace
