// The typed status record: what it accepts, the extension's presence at its length
// boundary, the widest values its fields hold, codes without names, and agreement with
// the report's lines on the emulator's full record.
#include <gtest/gtest.h>

#include "messaging/StatusRecord.h"
#include "messaging/StatusReport.h"
#include "messaging/StatusReportLayout.h"
#include "sim/DeviceModel.h"
#include "sim/StatusRecord.h"
#include "tests/messaging/StatusReportBytes.h"

namespace vexil::status {
namespace {

using vexil::testing::hasLine;
using vexil::testing::RecordBytes;

constexpr std::size_t kShortest = 534;
constexpr std::size_t kWithExtension = 662;

TEST(StatusRecordAcceptance, TheShortestStatusAnswerAndNothingShorter) {
  EXPECT_TRUE(decodeStatusFields(RecordBytes(kShortest).reader()));
  EXPECT_FALSE(decodeStatusFields(RecordBytes(kShortest - 1).reader()));
  RecordBytes wrongOpcode(kShortest);
  wrongOpcode.u8(22, 0x00);
  EXPECT_FALSE(decodeStatusFields(wrongOpcode.reader()));
  EXPECT_FALSE(isStatusAnswer(wrongOpcode.reader()));
}

TEST(StatusRecordAcceptance, TheExtensionNeedsModelSevenAndSixHundredSixtyTwoBytes) {
  EXPECT_FALSE(decodeStatusFields(RecordBytes(kWithExtension - 1, 7).reader())->extension);
  EXPECT_TRUE(decodeStatusFields(RecordBytes(kWithExtension, 7).reader())->extension);
  EXPECT_FALSE(decodeStatusFields(RecordBytes(kWithExtension, 6).reader())->extension);
}

TEST(StatusRecordFields, WidestValuesOfTheExtensionBlocks) {
  RecordBytes r(kWithExtension, 7);
  const std::size_t block = kExtBlocks;  // channel 1
  r.u8(block + kExtRateHigh, 0xFF).u16(block + kExtRateLow, 0xFFFF);   // 20 bits: 0xFFFFF
  r.u8(block + kExtFlags, 0xFF).u16(block + kExtUsageLow, 0xFFFF);     // usage 0x1FFFF, both flags
  r.u8(block + kExtSizeHigh, 0xFF).u16(block + kExtSizeLow, 0xFFFF);   // size - 1 = 0x1FFFF
  const auto s = decodeStatusFields(r.reader());
  const ExtensionChannel& c = s->extension->channels[0];
  EXPECT_EQ(c.inputRatePacketsPerSecond, 0xFFFFFu);
  EXPECT_EQ(c.sdramUsagePackets, 0x1FFFFu);
  EXPECT_EQ(c.sdramSizePackets, 0x20000u) << "the record holds size - 1";
  EXPECT_TRUE(c.overflowLed);
  EXPECT_TRUE(c.overflowSinceReset);
  // Channel 2 is all zero: size 1 (never 0), nothing used.
  EXPECT_EQ(s->extension->channels[1].sdramSizePackets, 1u);
  EXPECT_DOUBLE_EQ(s->extension->channels[1].usageRatio(), 0.0);
}

TEST(StatusRecordFields, UsageAboveTheSizeIsKeptAsItComes) {
  RecordBytes r(kWithExtension, 7);
  r.u16(kExtBlocks + kExtUsageLow, 300).u16(kExtBlocks + kExtSizeLow, 99);  // size 100
  const auto s = decodeStatusFields(r.reader());
  EXPECT_DOUBLE_EQ(s->extension->channels[0].usageRatio(), 3.0);
}

TEST(StatusRecordFields, CodesWithoutANameKeepTheirCode) {
  RecordBytes r(kShortest, 5);
  r.u8(kMacMode, 3).u8(kGatewayState, 4).u8(kInputBlocks + kInState, 9).u8(kTrapState, 200);
  const auto s = decodeStatusFields(r.reader());
  EXPECT_FALSE(s->model.known());
  EXPECT_EQ(s->model.code, 5);
  EXPECT_FALSE(s->macMode.known());
  EXPECT_FALSE(s->gatewayState.known());
  EXPECT_EQ(s->inputs[0].state.code, 9);
  EXPECT_FALSE(s->inputs[0].state.known());
  EXPECT_EQ(s->trap.state.code, 200);
  // The report shows them as it always did.
  const PageUpdate u = decodeStatusRecord(r.reader(), "127.0.0.1", 56789);
  EXPECT_TRUE(hasLine(u.lines, "Model: Unknown (5)"));
  EXPECT_TRUE(hasLine(u.lines, "MAC Mode: Unknown (3)"));
  EXPECT_TRUE(hasLine(u.lines, " State: Unknown (9)"));
  EXPECT_TRUE(hasLine(u.lines, " State: 200 (Unknown)"));
}

TEST(StatusRecordFields, SignedSerialAndNcoAsTheInstructionsSendThem) {
  RecordBytes r(kShortest);
  r.u32(kSerial, 0xFFFFFFFE).u32(kNcoFrequencies + kNcoStride * 3, 0x80000000u);
  const auto s = decodeStatusFields(r.reader());
  EXPECT_EQ(s->serial, -2);
  EXPECT_EQ(s->ncoHz[3], INT32_MIN);
}

// The emulator's full record (model 7, every section): each value the record holds is
// the one the report's line shows.
TEST(StatusRecordAgreement, EveryValueMatchesTheReportsLine) {
  sim::DeviceState state = sim::defaultDeviceState();
  state.crcErrorCounter = 4321;
  state.crcErrorsPerMinute = 0;
  state.insPacketCounter = 65535;
  state.insPacketsPerSecond = 0;
  state.serial = 123456;
  state.linkSpeed = 3;
  state.clock = sim::frozenClock(std::chrono::milliseconds(0));
  const std::vector<std::uint8_t> bytes = sim::buildStatusRecord(state);
  const AnswerReader reader(bytes);
  const auto s = decodeStatusFields(reader);
  ASSERT_TRUE(s);
  const auto lines = decodeStatusRecord(reader, "127.0.0.1", 56789).lines;
  const auto shows = [&](const std::string& line) {
    EXPECT_TRUE(hasLine(lines, line)) << "no line \"" << line << "\"";
  };
  EXPECT_EQ(s->serial, 123456);
  shows("Device Serial: " + std::to_string(s->serial));
  shows("Device Type: " + std::to_string(s->type));
  shows("Device Version: " + s->version);
  EXPECT_EQ(s->crcErrorCounter, 4321);
  shows("CRC Error Counter: 4321");
  EXPECT_EQ(s->insPacketCounter, 65535);
  shows("Ins. Packet Counter: 65535");
  EXPECT_EQ(s->linkSpeed.name, "1000 Mbps");
  shows("Link: 1000 Mbps");
  EXPECT_EQ(s->model.name, "IP Remultiplexer");
  shows("Model: IP Remultiplexer");
  shows("Primary MAC: " + s->primaryMac);
  shows("Gateway IP: " + s->gatewayIp);
  shows("GatewayState: " + std::string(s->gatewayState.name) + " (" + std::to_string(s->gatewayState.code) + ")");
  shows(" State: " + std::string(s->inputs[0].state.name) + " (" + std::to_string(s->inputs[0].state.code) + ")");
  shows(" Dest. IP: " + s->inputs[0].destIp);
  shows(" Multicast IP: " + s->outputs[0].multicastIp);
  ASSERT_TRUE(s->extension);
  for (std::size_t n = 0; n < kChannelCount; ++n) {
    const ExtensionChannel& c = s->extension->channels[n];
    EXPECT_EQ(c.inputRatePacketsPerSecond, state.remux.channels[n].rate);
    EXPECT_EQ(c.sdramSizePackets, state.remux.channels[n].bufferSize);
    shows(" Input stream: " + std::to_string(c.inputRatePacketsPerSecond) + " packets/sec");
    shows(" SDRAM usage: " + std::to_string(c.sdramUsagePackets) + " packets");
  }
}

}  // namespace
}  // namespace vexil::status
