// The emulator's status record: every field at its offset in the record layout, the
// answer lengths, the bit packing of the extension, and counters and rates that move
// with the board's clock.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "messaging/Frames.h"
#include "sim/DeviceModel.h"
#include "sim/StatusRecord.h"

using namespace vexil::sim;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::uint32_t be(const Bytes& b, std::size_t at, std::size_t width) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < width; ++i) v = (v << 8) | b.at(at + i);
  return v;
}
Bytes slice(const Bytes& b, std::size_t at, std::size_t count) {
  return {b.begin() + static_cast<std::ptrdiff_t>(at),
          b.begin() + static_cast<std::ptrdiff_t>(at + count)};
}
bool allZero(const Bytes& b, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i)
    if (b.at(i) != 0) return false;
  return true;
}

// A board whose every field holds a value of its own, so a field written to the wrong
// offset shows up.
DeviceState distinctBoard() {
  DeviceState s;
  s.deviceType = 0x1BFB;
  s.serial = 0xFFFFFFFE;
  s.versionMajor = 3;
  s.versionMinor = 42;
  s.model = 7;
  s.userText = deviceText("Record Test");
  s.configWord = 0x0301;
  s.selector = 0xBEEF;
  s.gpo = 0x11;
  s.externalTrapState = 0x22;
  s.overflowState = 0x33;
  s.linkSpeed = 1;
  s.macMode = 2;
  s.primaryMac = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
  s.secondaryMac = {0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6};
  s.gatewayMode = 2;
  s.gatewayState = 3;
  s.gatewayMac = {0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6};
  s.gatewayIp = {10, 0, 0, 1};
  s.netMask = {255, 255, 240, 0};
  s.arpPeriod = 77;
  for (std::size_t n = 0; n < 4; ++n) {
    const auto k = static_cast<std::uint8_t>(n + 1);
    s.inputs[n] = InputChannel{{0xD0, 0, 0, 0, 0, k}, {239, 0, 0, k},
                               static_cast<std::uint16_t>(0x1100 + k), k, static_cast<std::uint8_t>(k + 4),
                               static_cast<std::uint8_t>(0x10 + k), static_cast<std::uint8_t>(0x20 + k),
                               static_cast<std::uint8_t>(0x30 + k)};
    s.outputs[n] = OutputChannel{{224, 1, 1, k}, static_cast<std::uint16_t>(0x2200 + k),
                                 static_cast<std::uint8_t>(0x80 | k)};
    s.remux.channelVersion[n] = static_cast<std::uint8_t>(40 + n);
  }
  s.tsPortHigh = 0x4001;
  s.tsPortLow = 0x4000;
  s.igmpPeriod = 9;
  s.igmpSwitchPresent = true;
  s.igmpSwitchMac = {0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6};
  s.igmpSwitchIp = {192, 168, 7, 7};
  s.iicDivider = 0x99;
  s.iicError = 0x5A;
  s.ncoFrequency = {1000000, -2147483647 - 1, 0x01020304, -1};
  s.trap = TrapFunction{{0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6}, {172, 16, 5, 5}, 0xC0, 2,
                        0x0A, 0x0B, 0x0C, 0x0D};
  for (std::size_t i = 0; i < 32; ++i) s.userData[i] = static_cast<std::uint8_t>(0x80 + i);
  s.insPacketCounter = 0x1234;
  s.insPacketsPerSecond = 0;
  s.crcErrorCounter = 0x5678;
  s.crcErrorsPerMinute = 0;
  s.remux.selfTest = 0x6B;
  s.remux.ethernetVersion = 31;
  s.remux.pcr12Version = 51;
  s.remux.pcr34Version = 52;
  s.remux.channels = {RemuxChannel{0xABCDE, 0, 1000, 0x10064, 0, true, false},
                      RemuxChannel{0, 0, 131072, 0x1FFFF, 0, false, true},
                      RemuxChannel{0xFFFFF, 0, 1, 0, 0, false, false},
                      RemuxChannel{17, 0, 65536, 0xFFFF, 0, true, true}};
  s.clock = frozenClock(0ms);
  return s;
}

TEST(StatusRecordLayout, EnvelopeIdentityAndConfiguration) {
  const Bytes r = buildStatusRecord(distinctBoard());
  ASSERT_EQ(r.size(), 662u);
  EXPECT_EQ(std::string(r.begin(), r.begin() + 6), "Palvox");
  EXPECT_EQ(std::string(r.begin() + 6, r.begin() + 21), "Record Test    ");
  EXPECT_EQ(r[21], 0x01);
  EXPECT_EQ(r[22], 0xF0);
  EXPECT_EQ(be(r, 23, 2), 662u - 25u);
  EXPECT_EQ(r[25], 3);
  EXPECT_EQ(r[26], 42);
  EXPECT_EQ(be(r, 27, 4), 0xFFFFFFFEu);
  EXPECT_EQ(be(r, 31, 2), 0x1BFBu);
  EXPECT_EQ(be(r, 33, 2), 0x0301u);
  EXPECT_EQ(be(r, 35, 2), 0xBEEFu);
  EXPECT_EQ(r[37], 0x11);
  EXPECT_EQ(r[38], 0x22);
  EXPECT_EQ(r[39], 0x33);
  EXPECT_EQ(r[40], 0x47);  // link 1 in bits 7-6, model 7 in bits 2-0
}

TEST(StatusRecordLayout, NetworkFieldsAndAddressFields) {
  const Bytes r = buildStatusRecord(distinctBoard());
  EXPECT_EQ(r[41], 2);
  EXPECT_EQ(slice(r, 42, 6), (Bytes{0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}));
  EXPECT_EQ(slice(r, 65, 6), (Bytes{0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6}));
  EXPECT_EQ(r[89], 2);
  EXPECT_EQ(r[90], 3);
  EXPECT_EQ(slice(r, 91, 6), (Bytes{0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6}));
  EXPECT_TRUE(allZero(r, 97, 109));
  EXPECT_EQ(slice(r, 109, 4), (Bytes{10, 0, 0, 1}));
  EXPECT_TRUE(allZero(r, 113, 125));
  EXPECT_EQ(slice(r, 125, 4), (Bytes{255, 255, 240, 0}));
  EXPECT_EQ(r[129], 77);
}

TEST(StatusRecordLayout, InputAndOutputChannelBlocks) {
  const Bytes r = buildStatusRecord(distinctBoard());
  for (std::size_t n = 0; n < 4; ++n) {
    const auto k = static_cast<std::uint8_t>(n + 1);
    const std::size_t in = 131 + 32 * n;
    EXPECT_EQ(slice(r, in, 6), (Bytes{0xD0, 0, 0, 0, 0, k})) << n;
    EXPECT_TRUE(allZero(r, in + 6, in + 18)) << n;
    EXPECT_EQ(slice(r, in + 18, 4), (Bytes{239, 0, 0, k})) << n;
    EXPECT_EQ(be(r, in + 22, 2), 0x1100u + k) << n;
    EXPECT_EQ(r[in + 24], k) << n;
    EXPECT_EQ(r[in + 25], k + 4) << n;
    EXPECT_EQ(slice(r, in + 26, 3), (Bytes{static_cast<std::uint8_t>(0x10 + k),
                                           static_cast<std::uint8_t>(0x20 + k),
                                           static_cast<std::uint8_t>(0x30 + k)})) << n;
    const std::size_t out = 287 + 24 * n;
    EXPECT_TRUE(allZero(r, out, out + 12)) << n;
    EXPECT_EQ(slice(r, out + 12, 4), (Bytes{224, 1, 1, k})) << n;
    EXPECT_EQ(be(r, out + 16, 2), 0x2200u + k) << n;
    EXPECT_EQ(r[out + 18], 0x80 | k) << n;
  }
  EXPECT_EQ(be(r, 259, 2), 0x4001u);
  EXPECT_EQ(be(r, 261, 2), 0x4000u);
  EXPECT_EQ(r[263], 9);
  EXPECT_NE(r[264], 0);
  EXPECT_EQ(slice(r, 265, 6), (Bytes{0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6}));
  EXPECT_EQ(slice(r, 283, 4), (Bytes{192, 168, 7, 7}));

  DeviceState noSwitch = distinctBoard();
  noSwitch.igmpSwitchPresent = false;
  const Bytes q = buildStatusRecord(noSwitch);
  EXPECT_TRUE(allZero(q, 264, 287));
  EXPECT_EQ(slice(q, 287 + 12, 4), (Bytes{224, 1, 1, 1}));  // output 1 still at 287
}

TEST(StatusRecordLayout, PeripheralsTrapCountersAndUserData) {
  const Bytes r = buildStatusRecord(distinctBoard());
  EXPECT_EQ(r[385], 0x99);
  EXPECT_EQ(r[386], 0x5A);
  EXPECT_EQ(be(r, 389, 4), 1000000u);
  EXPECT_EQ(slice(r, 393, 4), (Bytes{0x80, 0, 0, 0}));
  EXPECT_EQ(be(r, 397, 4), 0x01020304u);
  EXPECT_EQ(be(r, 401, 4), 0xFFFFFFFFu);
  EXPECT_EQ(be(r, 405, 2), 0x1234u);
  EXPECT_EQ(slice(r, 407, 6), (Bytes{0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6}));
  EXPECT_TRUE(allZero(r, 413, 425));
  EXPECT_EQ(slice(r, 425, 4), (Bytes{172, 16, 5, 5}));
  EXPECT_EQ(slice(r, 431, 6), (Bytes{0xC0, 2, 0x0A, 0x0B, 0x0C, 0x0D}));
  EXPECT_EQ(be(r, 439, 2), 0x5678u);
  for (std::size_t i = 0; i < 32; ++i) EXPECT_EQ(r[441 + i], 0x80 + i) << i;
  EXPECT_TRUE(allZero(r, 473, 535));
}

TEST(StatusRecordLayout, ExtensionHeaderAndChannelPacking) {
  const Bytes r = buildStatusRecord(distinctBoard());
  EXPECT_EQ(r[535], 0x6B);
  EXPECT_EQ(r[536], 31);
  EXPECT_EQ(slice(r, 537, 4), (Bytes{40, 41, 42, 43}));
  EXPECT_EQ(r[541], 51);
  EXPECT_EQ(r[542], 52);
  // Rate 0xABCDE, usage 0x10064, size 1000, LED on: the worked block of the layout.
  EXPECT_EQ(slice(r, 543, 9), (Bytes{0x0A, 0xBC, 0xDE, 0x03, 0x00, 0x64, 0x00, 0x03, 0xE7}));
  // Usage 0x1FFFF, size 131072 (stored as 0x1FFFF), overflow since reset.
  EXPECT_EQ(slice(r, 552, 9), (Bytes{0x00, 0x00, 0x00, 0x05, 0xFF, 0xFF, 0x01, 0xFF, 0xFF}));
  // Rate at its 20-bit top, size 1 (stored as 0).
  EXPECT_EQ(slice(r, 561, 9), (Bytes{0x0F, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(slice(r, 570, 9), (Bytes{0x00, 0x00, 0x11, 0x06, 0xFF, 0xFF, 0x00, 0xFF, 0xFF}));
  EXPECT_TRUE(allZero(r, 579, 662));
}

TEST(StatusRecordLayout, OutOfRangeBufferSizesAreKeptToWhatTheFieldHolds) {
  DeviceState s = distinctBoard();
  s.remux.channels[0].bufferSize = 0;       // no buffer is smaller than one packet
  s.remux.channels[1].bufferSize = 500000;  // nor larger than 131072
  s.remux.channels[2].rate = 0x1FFFFF;      // more than 20 bits of rate
  const Bytes r = buildStatusRecord(s);
  EXPECT_EQ(slice(r, 543 + 6, 3), (Bytes{0x00, 0x00, 0x00}));
  EXPECT_EQ(slice(r, 552 + 6, 3), (Bytes{0x01, 0xFF, 0xFF}));
  EXPECT_EQ(slice(r, 561, 3), (Bytes{0x0F, 0xFF, 0xFF}));
}

TEST(StatusRecordLength, ModelsAndOverrides) {
  DeviceState s = distinctBoard();
  for (std::uint8_t model = 0; model <= 7; ++model) {
    s.model = model;
    const Bytes r = buildStatusRecord(s);
    EXPECT_EQ(r.size(), model == 7 ? 662u : 534u) << int(model);
    EXPECT_EQ(r[40] & 0x07, model);
    EXPECT_EQ(be(r, 23, 2), r.size() - 25);
  }
  s.model = 3;  // a board without the extension asked to answer at full length
  s.statusLength = 662;
  Bytes r = buildStatusRecord(s);
  ASSERT_EQ(r.size(), 662u);
  EXPECT_TRUE(allZero(r, 534, 662));
  s.model = 7;
  s.statusLength = 661;  // one byte short of the extension
  r = buildStatusRecord(s);
  ASSERT_EQ(r.size(), 661u);
  EXPECT_EQ(r[535], 0x6B);
  s.statusLength = 1500;
  EXPECT_TRUE(allZero(buildStatusRecord(s), 662, 1500));
  s.statusLength = 10;
  EXPECT_EQ(buildStatusRecord(s), Bytes({'P', 'a', 'l', 'v', 'o', 'x', 'R', 'e', 'c', 'o'}));
}

TEST(StatusRecordTime, CountersGrowWithTheClockAndWrap) {
  DeviceState s = distinctBoard();
  s.insPacketCounter = 65000;
  s.insPacketsPerSecond = 120;
  s.crcErrorCounter = 65535;
  s.crcErrorsPerMinute = 2;
  EXPECT_EQ(insPacketCount(s, 0ms), 65000);
  EXPECT_EQ(insPacketCount(s, 999ms), 65119);   // 119.88 packets so far
  EXPECT_EQ(insPacketCount(s, 4000ms), 65480);
  EXPECT_EQ(insPacketCount(s, 5000ms), 64);     // 65600 wraps
  EXPECT_EQ(insPacketCount(s, -5000ms), 65000); // no time before power-on
  EXPECT_EQ(crcErrorCount(s, 29999ms), 65535);
  EXPECT_EQ(crcErrorCount(s, 30000ms), 0);
  EXPECT_EQ(crcErrorCount(s, 10min), 19);
  const Bytes r = buildStatusRecord(s, 5000ms);
  EXPECT_EQ(be(r, 405, 2), 64u);
  EXPECT_EQ(be(r, 439, 2), 65535u);
}

TEST(StatusRecordTime, RatesAndUsageSwingAroundNominal) {
  EXPECT_EQ(swingingValue(1000, 200, 0xFFFFF, 0ms), 1000u);
  EXPECT_EQ(swingingValue(1000, 200, 0xFFFFF, 1000ms), 1100u);
  EXPECT_EQ(swingingValue(1000, 200, 0xFFFFF, 2000ms), 1200u);
  EXPECT_EQ(swingingValue(1000, 200, 0xFFFFF, 4000ms), 1000u);
  EXPECT_EQ(swingingValue(1000, 200, 0xFFFFF, 6000ms), 800u);
  EXPECT_EQ(swingingValue(1000, 200, 0xFFFFF, 8000ms), 1000u);
  EXPECT_EQ(swingingValue(1000, 200, 0xFFFFF, 82000ms), 1200u);
  EXPECT_EQ(swingingValue(100, 500, 0xFFFFF, 6000ms), 0u);        // never below 0
  EXPECT_EQ(swingingValue(0xFFFF0, 500, 0xFFFFF, 2000ms), 0xFFFFFu);  // nor above the field
  for (int ms = 0; ms < 16000; ms += 123) {
    const std::uint32_t v = swingingValue(5000, 300, 0xFFFFF, std::chrono::milliseconds(ms));
    EXPECT_GE(v, 4700u);
    EXPECT_LE(v, 5300u);
  }
}

TEST(StatusRecordTime, TheBoardClockDrivesTheRecord) {
  auto now = std::make_shared<std::atomic<long long>>(0);
  DeviceState s = distinctBoard();
  s.insPacketCounter = 0;
  s.insPacketsPerSecond = 1000;
  s.remux.channels[0].rate = 5000;
  s.remux.channels[0].rateSwing = 400;
  s.clock = [now] { return std::chrono::milliseconds(now->load()); };
  const Bytes first = buildStatusRecord(s);
  EXPECT_EQ(be(first, 405, 2), 0u);
  EXPECT_EQ(be(first, 544, 2), 5000u);
  *now = 2000;
  const Bytes later = buildStatusRecord(s);
  EXPECT_EQ(be(later, 405, 2), 2000u);
  EXPECT_EQ(be(later, 544, 2), 5400u);
  // A frozen clock gives the same record every time.
  s.clock = frozenClock(2000ms);
  EXPECT_EQ(buildStatusRecord(s), later);
  // A running clock starts near 0 and moves forward.
  DeviceState running = distinctBoard();
  running.clock = runningClock();
  EXPECT_LT(running.clock(), 1000ms);
}

TEST(StatusRecordTime, TheBoardAnswersTheStatusQueryWithThisRecord) {
  DeviceState s = distinctBoard();
  s.clock = frozenClock(12345ms);
  s.insPacketsPerSecond = 7;
  DeviceModel board(s);
  const Bytes answer = board.handle(vexil::StatusQuery());
  EXPECT_EQ(answer, buildStatusRecord(s, 12345ms));
  EXPECT_EQ(be(answer, 405, 2), 0x1234u + 86u);  // 7 packets a second for 12.345 s
}

}  // namespace
