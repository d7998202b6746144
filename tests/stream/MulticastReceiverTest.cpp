// Joining a multicast group: any source, one source only, the interface chosen, and
// the entries that cannot make an endpoint. The joins run inside a private network
// namespace of their own (loopback with the multicast flag and a route for
// 224.0.0.0/4), so nothing reaches a real network; where namespaces are not allowed the
// test says so and skips.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "stream/Psi.h"
#include "stream/StreamReceiver.h"
#include "stream/TsPacket.h"

using namespace vexil::stream;
using namespace std::chrono_literals;

namespace {

constexpr char kChildMark[] = "VEXIL_MULTICAST_NETNS_CHILD";
constexpr char kGroup[] = "239.1.1.1";
constexpr std::uint16_t kPid = 0x101;
constexpr int kDatagrams = 50;
constexpr int kPacketsPerDatagram = 7;

bool inChild() { return std::getenv(kChildMark) != nullptr; }

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

// Sends kDatagrams datagrams of clean packets of one PID to `group`:`port`, out of the
// loopback interface with a multicast TTL of 0, from `source`.
void sendTo(const char* group, std::uint16_t port, const char* source) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  inet_pton(AF_INET, source, &from.sin_addr);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
  in_addr loopback{};
  inet_pton(AF_INET, "127.0.0.1", &loopback);
  setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback);
  const unsigned char ttl = 0;
  setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  inet_pton(AF_INET, group, &to.sin_addr);
  std::uint8_t cc = 0;
  for (int d = 0; d < kDatagrams; ++d) {
    std::vector<std::uint8_t> datagram(kPacketsPerDatagram * kPacketSize, 0xAA);
    for (int p = 0; p < kPacketsPerDatagram; ++p) {
      writeHeader(datagram.data() + p * kPacketSize, kPid, false, kPayloadOnly, cc);
      cc = static_cast<std::uint8_t>((cc + 1) % kContinuityModulus);
    }
    ASSERT_EQ(sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(datagram.size()));
    std::this_thread::sleep_for(1ms);
  }
  close(fd);
}

std::uint64_t packetsReceived(const ListenEndpoint& endpoint, const char* source) {
  StreamReceiver receiver;
  EXPECT_TRUE(receiver.start(endpoint)) << receiver.error();
  sendTo(kGroup, receiver.port(), source);
  std::this_thread::sleep_for(200ms);
  const StreamSnapshot s = receiver.snapshot();
  receiver.stop();
  EXPECT_EQ(s.totals.count(Indicator::ContinuityCountError), 0u);
  return s.totals.packets;
}

}  // namespace

// The runner: the cases below again, inside a network namespace of their own.
TEST(Multicast, JoinsInsideAPrivateNetworkNamespace) {
  if (inChild()) GTEST_SKIP() << "inside the namespace already";
  std::string unshare;
  if (run("unshare -n true 2>/dev/null"))
    unshare = "unshare -n";
  else if (run("unshare -rn true 2>/dev/null"))
    unshare = "unshare -rn";
  else
    GTEST_SKIP() << "network namespaces are not allowed here (unshare -n and unshare -rn both refused)";
  if (!run("command -v ip >/dev/null")) GTEST_SKIP() << "iproute2's ip is not installed";
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  const std::string command = unshare + " env " + kChildMark + "=1 " + self + " --gtest_filter='MulticastInNamespace.*'";
  EXPECT_TRUE(run(command)) << command;
}

class MulticastInNamespace : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!inChild()) GTEST_SKIP() << "runs inside the namespace that Multicast.JoinsInsideAPrivateNetworkNamespace makes";
    ASSERT_TRUE(run("ip link set lo up && ip link set lo multicast on && "
                    "ip route add 224.0.0.0/4 dev lo && ip addr add 127.0.0.2/8 dev lo 2>/dev/null; true"));
  }
};

TEST_F(MulticastInNamespace, AnySourceJoinReceivesTheGroup) {
  EXPECT_EQ(packetsReceived({kGroup, 0, "", ""}, "127.0.0.1"), std::uint64_t{kDatagrams} * kPacketsPerDatagram);
}

TEST_F(MulticastInNamespace, JoinOnTheNamedInterface) {
  EXPECT_EQ(packetsReceived({kGroup, 0, "", "127.0.0.1"}, "127.0.0.1"),
            std::uint64_t{kDatagrams} * kPacketsPerDatagram);
}

TEST_F(MulticastInNamespace, SourceSpecificJoinTakesOnlyThatSource) {
  EXPECT_EQ(packetsReceived({kGroup, 0, "127.0.0.1", ""}, "127.0.0.1"),
            std::uint64_t{kDatagrams} * kPacketsPerDatagram);
  EXPECT_EQ(packetsReceived({kGroup, 0, "127.0.0.2", ""}, "127.0.0.1"), 0u);
}

TEST(MulticastEndpoint, EntriesThatMakeNoEndpointAreNamed) {
  EXPECT_FALSE(endpointProblem({kGroup, 1234, "", ""}));
  EXPECT_FALSE(endpointProblem({kGroup, 1234, "10.0.0.1", "127.0.0.1"}));
  EXPECT_FALSE(endpointProblem({"127.0.0.1", 0, "", ""}));
  EXPECT_TRUE(endpointProblem({"239.1.1", 1234, "", ""}));
  EXPECT_TRUE(endpointProblem({"127.0.0.1", 1234, "10.0.0.1", ""}));       // a source needs a group
  EXPECT_TRUE(endpointProblem({"127.0.0.1", 1234, "", "127.0.0.1"}));      // so does an interface
  EXPECT_TRUE(endpointProblem({kGroup, 1234, "239.2.2.2", ""}));           // a source is unicast
  EXPECT_TRUE(endpointProblem({kGroup, 1234, "", "not-an-address"}));
  EXPECT_TRUE(endpointProblem({kGroup, 65536, "", ""}));
  StreamReceiver receiver;
  EXPECT_FALSE(receiver.start(ListenEndpoint{"127.0.0.1", 0, "10.0.0.1", ""}));
  EXPECT_NE(receiver.error().find("multicast group"), std::string::npos) << receiver.error();
}
