// The UDP endpoint's contract across its two threads: a receiver that answers from the
// listener thread, while the owner reads errors, sends, and closes the endpoint.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "messaging/UdpEndpoint.h"

using namespace vexil;
using namespace std::chrono_literals;

namespace {

constexpr char kLoopback[] = "127.0.0.1";

TEST(UdpEndpointThreads, ReceiverAnswersWhileTheOwnerReadsErrorsAndCloses) {
  std::atomic<int> echoed{0};
  UdpEndpoint* self = nullptr;
  UdpEndpoint echo([&](const std::uint8_t* data, std::size_t captured, std::size_t,
                       const std::string& from, std::uint16_t port) {
    // Answers from the listener thread; a refused send is recorded as an error.
    if (self->sendTo(from, port, {data, captured})) ++echoed;
    (void)self->sendTo("not an address", port, {data, captured});
  });
  self = &echo;

  std::atomic<int> answers{0};
  UdpEndpoint client([&](const std::uint8_t*, std::size_t, std::size_t, const std::string&,
                         std::uint16_t) { ++answers; });
  ASSERT_TRUE(client.activate(0, kLoopback));
  const std::vector<std::uint8_t> frame(64, 0x5A);
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(echo.activate(0, kLoopback)) << echo.error();
    const std::uint16_t port = echo.localPort();
    const int before = echoed.load();
    for (int i = 0; i < 50; ++i) {
      ASSERT_TRUE(client.sendTo(kLoopback, port, frame)) << client.error();
      const std::string seen = echo.error();  // read while the listener may write it
      EXPECT_TRUE(seen.empty() || seen == "cannot resolve not an address") << seen;
    }
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (echoed.load() == before && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(1ms);
    }
    ASSERT_GT(echoed.load(), before);
    echo.deactivate();  // waits for a receiver that is sending
    EXPECT_EQ(echo.error(), "cannot resolve not an address");
  }
  client.deactivate();
  EXPECT_GT(echoed.load(), 0);
  EXPECT_GT(answers.load(), 0);
}

TEST(UdpEndpointThreads, SendOnAClosedEndpointFails) {
  UdpEndpoint endpoint([](const std::uint8_t*, std::size_t, std::size_t, const std::string&,
                          std::uint16_t) {});
  const std::uint8_t byte = 1;
  EXPECT_FALSE(endpoint.sendTo(kLoopback, 9, {&byte, 1}));
  EXPECT_EQ(endpoint.error(), "endpoint not active");
  ASSERT_TRUE(endpoint.activate(0, kLoopback));
  EXPECT_TRUE(endpoint.sendTo(kLoopback, endpoint.localPort() == 9 ? 10 : 9, {&byte, 1}));
  EXPECT_EQ(endpoint.error(), "");
}

}  // namespace
