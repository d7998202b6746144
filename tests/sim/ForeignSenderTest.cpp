// A request from a sender outside the loopback network changes nothing on the emulated
// board: it is dropped before the board reads it. The sender is this machine's own
// non-loopback address, sending to the emulator on 127.0.0.1, so nothing leaves the
// host.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <chrono>
#include <thread>

#include "instructions/GeneralInstructions.h"
#include "messaging/UdpEndpoint.h"
#include "sim/DeviceEmulator.h"

namespace vexil::sim {
namespace {

using namespace std::chrono_literals;

// An IPv4 address of this machine outside 127.0.0.0/8, or empty.
std::string ownNonLoopbackAddress() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return {};
  std::string found;
  for (const ifaddrs* a = list; a && found.empty(); a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
    char text[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    if (std::string(text).rfind("127.", 0) != 0) found = text;
  }
  ::freeifaddrs(list);
  return found;
}

TEST(ForeignSender, ItsInstructionIsDroppedBeforeTheBoardReadsIt) {
  const std::string own = ownNonLoopbackAddress();
  if (own.empty()) GTEST_SKIP() << "this machine has no address outside 127.0.0.0/8";
  DeviceEmulator board;
  ASSERT_TRUE(board.start("127.0.0.1", 0));
  const std::int32_t before = static_cast<std::int32_t>(board.state().serial);

  UdpEndpoint foreign([](const std::uint8_t*, std::size_t, std::size_t, const std::string&, std::uint16_t) {});
  ASSERT_TRUE(foreign.activate(0, own)) << foreign.error();
  ASSERT_TRUE(foreign.sendTo("127.0.0.1", board.port(), buildSetSerial("777").frame)) << foreign.error();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(board.requestCount(), 0u);
  EXPECT_EQ(static_cast<std::int32_t>(board.state().serial), before) << "the instruction was carried out";

  // The same from loopback is carried out, so the test can tell the two apart.
  UdpEndpoint local([](const std::uint8_t*, std::size_t, std::size_t, const std::string&, std::uint16_t) {});
  ASSERT_TRUE(local.activate(0, "127.0.0.1"));
  ASSERT_TRUE(local.sendTo("127.0.0.1", board.port(), buildSetSerial("777").frame));
  ASSERT_TRUE(board.waitForRequests(1, 2s));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(board.state().serial, 777u);
}

}  // namespace
}  // namespace vexil::sim
