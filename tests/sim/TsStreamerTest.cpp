// The emulator on 127.0.0.1 streams after Send TS: the datagrams arrive at the asked
// port in the asked format and stop after Don't Send TS; the IPTV filters show in the
// counts; other destinations are refused.
#include <gtest/gtest.h>

#include <thread>

#include "messaging/DatagramSocket.h"
#include "sim/DeviceEmulator.h"
#include "stream/StreamReceiver.h"

using namespace vexil::sim;
using namespace vexil::stream;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr auto kStreamFor = 800ms;
constexpr std::uint8_t kIptv = 0x02;

Bytes header(const char* text) {
  std::string h = std::string("Palvox") + text;
  h.resize(21, ' ');
  Bytes b(h.begin(), h.end());
  b.push_back(0x01);
  return b;
}

Bytes sendTs(int source, std::uint8_t mode2, std::uint8_t mode1, std::uint8_t mode0,
             std::array<std::uint8_t, 4> ip, std::uint16_t port) {
  Bytes b = header(" Send TS");
  const Bytes head{0x30, 0x00, 0x1D, static_cast<std::uint8_t>(source), mode2, mode1, mode0, 0x02};
  b.insert(b.end(), head.begin(), head.end());
  b.insert(b.end(), 18, 0x00);
  b.insert(b.end(), ip.begin(), ip.end());
  b.push_back(static_cast<std::uint8_t>(port >> 8));
  b.push_back(static_cast<std::uint8_t>(port & 0xFF));
  const Bytes trailer{0x03, 0x00, 0x01, 0x00};
  b.insert(b.end(), trailer.begin(), trailer.end());
  return b;
}

Bytes dontSendTs(int source) {
  Bytes b = header(" Dont Send TS");
  const Bytes rest{0x31, 0x00, 0x01, static_cast<std::uint8_t>(source), 0x03, 0x00, 0x01, 0x00};
  b.insert(b.end(), rest.begin(), rest.end());
  return b;
}

class Streaming : public ::testing::Test {
 protected:
  void SetUp() override {
    DeviceState state = defaultDeviceState();
    state.inputs[0].state = 0;  // out of the box input 1 sends to a multicast group
    state.remux.channels[0].rateSwing = 0;
    emulator.setState(state);
    ASSERT_TRUE(emulator.start("127.0.0.1", 0)) << emulator.error();
    ASSERT_TRUE(receiver.start("127.0.0.1", 0)) << receiver.error();
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string error;
    ASSERT_TRUE(client.open(local, {}, error)) << error;
  }
  void TearDown() override {
    receiver.stop();
    emulator.stop();
    client.close();
  }

  // Sends a request and returns the length of the answer (0 when none came).
  std::size_t ask(const Bytes& request) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(emulator.port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    client.sendTo(request.data(), request.size(), to);
    if (client.wait(1000) != vexil::DatagramSocket::Wait::Readable) return 0;
    std::uint8_t answer[1500];
    sockaddr_in from{};
    const vexil::DatagramSocket::Received got = client.receiveFrom(answer, sizeof answer, from);
    return got.status == vexil::DatagramSocket::Received::Status::Datagram ? got.length : 0;
  }
  StreamTotals streamFor(std::uint8_t mode2, std::uint8_t mode1, std::uint8_t mode0) {
    EXPECT_EQ(ask(sendTs(1, mode2, mode1, mode0, {127, 0, 0, 1}, receiver.port())), 41u);
    std::this_thread::sleep_for(kStreamFor);
    return receiver.snapshot().totals;
  }

  DeviceEmulator emulator;
  StreamReceiver receiver;
  vexil::DatagramSocket client;
};

TEST_F(Streaming, SendTsStreamsAsAskedAndDontSendTsStopsIt) {
  const StreamTotals t = streamFor(kIptv, 0xE0, 0x00);  // 7 packets of 188 bytes
  EXPECT_GT(t.packets, 1000u);
  EXPECT_EQ(t.packetSize, 188u);
  EXPECT_EQ(t.bytes, t.datagrams * 7 * 188);
  EXPECT_EQ(t.lastDatagramPackets, 7u);
  EXPECT_EQ(t.count(Indicator::ContinuityCountError), 0u);
  EXPECT_EQ(t.count(Indicator::PatError), 0u);
  EXPECT_EQ(t.count(Indicator::PmtError), 0u);
  EXPECT_GT(t.nullPackets, 0u);
  EXPECT_EQ(emulator.state().inputs[0].state, 1);

  EXPECT_EQ(ask(dontSendTs(1)), 41u);
  std::this_thread::sleep_for(100ms);
  const std::uint64_t after = receiver.snapshot().totals.datagrams;
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(receiver.snapshot().totals.datagrams, after);
}

TEST_F(Streaming, RateAgreesWithTheStatusRecord) {
  const auto before = receiver.snapshot().totals.packets;
  ASSERT_EQ(ask(sendTs(1, kIptv, 0xE0, 0x00, {127, 0, 0, 1}, receiver.port())), 41u);
  std::this_thread::sleep_for(2s);
  const double perSecond = static_cast<double>(receiver.snapshot().totals.packets - before) / 2;
  const double rate = emulator.state().remux.channels[0].rate;  // steady: no swing
  EXPECT_NEAR(perSecond, rate, rate * 0.1);
}

TEST_F(Streaming, PacketsOf204TwoPerDatagram) {
  const StreamTotals t = streamFor(kIptv, 0x41, 0x00);
  EXPECT_EQ(t.packetSize, 204u);
  EXPECT_EQ(t.bytes, t.datagrams * 2 * 204);
  EXPECT_EQ(t.count(Indicator::ContinuityCountError), 0u);
}

TEST_F(Streaming, NullRemoverLeavesNoNullPackets) {
  const StreamTotals t = streamFor(kIptv, 0xE2, 0x00);
  EXPECT_GT(t.packets, 1000u);
  EXPECT_EQ(t.nullPackets, 0u);
  EXPECT_EQ(t.count(Indicator::ContinuityCountError), 0u);  // null packets carry no count
}

TEST_F(Streaming, ErrorRemoverLeavesNoErroredPackets) {
  StreamFaults f;
  f.transportErrorEvery = 50;
  emulator.streamer().setFaults(f);
  const StreamTotals with = streamFor(kIptv, 0xE0, 0x00);
  EXPECT_GT(with.transportErrorPackets, 0u);
  // Counted afresh once the new mode has replaced the old one.
  ASSERT_EQ(ask(sendTs(1, kIptv, 0xE4, 0x00, {127, 0, 0, 1}, receiver.port())), 41u);
  std::this_thread::sleep_for(100ms);
  receiver.reset();
  std::this_thread::sleep_for(kStreamFor);
  const StreamTotals without = receiver.snapshot().totals;
  EXPECT_GT(without.packets, 1000u);
  EXPECT_EQ(without.transportErrorPackets, 0u);
  // What the remover took out leaves gaps in the counters it had.
  EXPECT_GT(without.count(Indicator::ContinuityCountError), 0u);
}

TEST_F(Streaming, QvNetCutsTheStreamIntoDatagramsOfItsSize) {
  const StreamTotals t = streamFor(0x00, 0x05, 0x94);  // 1428 bytes
  EXPECT_GT(t.datagrams, 10u);
  EXPECT_EQ(t.bytes, t.datagrams * 1428);
  EXPECT_EQ(t.truncatedPackets, 0u);
  EXPECT_EQ(t.count(Indicator::ContinuityCountError), 0u);
  EXPECT_EQ(t.count(Indicator::SyncByteError), 0u);
}

TEST_F(Streaming, LostDatagramsShowAsContinuityErrors) {
  StreamFaults f;
  f.loseDatagramEvery = 20;
  emulator.streamer().setFaults(f);
  const StreamTotals t = streamFor(kIptv, 0xE0, 0x00);
  EXPECT_GT(t.count(Indicator::ContinuityCountError), 0u);
  EXPECT_EQ(t.count(Indicator::SyncByteError), 0u);
}

TEST_F(Streaming, DestinationOffTheLoopbackNetworkIsRefused) {
  ASSERT_EQ(ask(sendTs(2, kIptv, 0xE0, 0x00, {10, 1, 2, 3}, 5000)), 41u);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(emulator.streamer().refusedRoutes(), 1u);
  EXPECT_EQ(emulator.streamer().datagramsSent(2), 0u);
  EXPECT_EQ(emulator.state().inputs[1].state, 1);  // the board took the route
}

TEST_F(Streaming, StreamsStopWhenTheEmulatorStops) {
  streamFor(kIptv, 0xE0, 0x00);
  emulator.stop();
  std::this_thread::sleep_for(100ms);
  const std::uint64_t after = receiver.snapshot().totals.datagrams;
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(receiver.snapshot().totals.datagrams, after);
}

}  // namespace
