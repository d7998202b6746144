// One whole status report end to end: the Query operation on the engine asks the
// emulator on loopback, whose board is in a fixed, known state with its clock frozen,
// and every line shown is compared with the expected report kept in the test data.
// That report was written out by hand from the board's values, not produced by the
// decoder.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "instructions/DeviceQuery.h"
#include "messaging/PlainEngineHost.h"
#include "sim/DeviceEmulator.h"

using namespace vexil;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

namespace {

constexpr const char* kPortMarker = "@DEVICE_PORT@";

sim::DeviceState benchBoard() {
  sim::DeviceState s;
  s.deviceType = 7163;
  s.serial = 4000000000u;  // shown as the signed number -294967296
  s.versionMajor = 2;
  s.versionMinor = 110;
  s.model = 7;
  s.userText = sim::deviceText("Bench Board 01");
  s.configWord = 0x0301;
  s.selector = 0x00A5;
  s.gpo = 0x3C;
  s.externalTrapState = 0x01;
  s.overflowState = 0x02;
  s.linkSpeed = 3;
  s.macMode = 2;
  s.primaryMac = {0x00, 0x50, 0xC2, 0x3A, 0x10, 0x01};
  s.secondaryMac = {0x00, 0x50, 0xC2, 0x3A, 0x10, 0x02};
  s.gatewayMode = 1;
  s.gatewayState = 1;
  s.gatewayMac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  s.gatewayIp = {10, 123, 13, 1};
  s.netMask = {255, 255, 255, 0};
  s.arpPeriod = 30;
  s.inputs = {
      sim::InputChannel{{0x01, 0x00, 0x5E, 0x01, 0x01, 0x01}, {239, 1, 1, 1}, 5001, 2, 1,
                        0x03, 0x41, 0x00},
      sim::InputChannel{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x60}, {10, 123, 13, 20}, 5002, 3, 0,
                        0x04, 0x05, 0x94},
      sim::InputChannel{{}, {}, 0, 0, 2, 0x00, 0x00, 0x00},
      sim::InputChannel{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {255, 255, 255, 255}, 65535, 7,
                        3, 0x07, 0xE3, 0x10}};
  s.tsPortHigh = 6100;
  s.tsPortLow = 6000;
  s.igmpPeriod = 25;
  s.igmpSwitchPresent = true;
  s.igmpSwitchMac = {0x00, 0x0C, 0x29, 0xAB, 0xCD, 0xEF};
  s.igmpSwitchIp = {10, 123, 13, 2};
  s.outputs = {sim::OutputChannel{{239, 2, 2, 1}, 6001, 0xA5},
               sim::OutputChannel{{0, 0, 0, 0}, 6002, 0x10},
               sim::OutputChannel{{239, 2, 2, 3}, 6003, 0x4A},
               sim::OutputChannel{{239, 2, 2, 4}, 6004, 0xFF}};
  s.iicDivider = 255;
  s.iicError = 0x00;
  s.ncoFrequency = {1000000, -2147483647 - 1, 27000000, -1};
  s.trap = sim::TrapFunction{{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, {10, 123, 13, 200}, 0x80, 9,
                             0x0F, 0xF0, 0x01, 0x00};
  for (std::size_t i = 0; i < s.userData.size(); ++i) s.userData[i] = static_cast<std::uint8_t>(i);
  // 91 s after power-on: 65000 + 120 x 91 = 75920, which wraps to 10384; 7 + 2 x 91 / 60
  // gives 10. A quarter and a half of the 8 s swing period: rates and usages stand at
  // half their swing above nominal.
  s.insPacketCounter = 65000;
  s.insPacketsPerSecond = 120;
  s.crcErrorCounter = 7;
  s.crcErrorsPerMinute = 2;
  s.clock = sim::frozenClock(91000ms);
  s.remux = sim::RemuxExtension{
      0x00, 3, {2, 2, 2, 5}, 1, 4,
      {sim::RemuxChannel{3500, 200, 65536, 12000, 3000, false, false},
       sim::RemuxChannel{65552, 0, 1000, 65636, 0, true, true},
       sim::RemuxChannel{0, 0, 1, 0, 0, false, false},
       sim::RemuxChannel{1048575, 10, 131072, 131071, 0, false, true}}};
  return s;
}

Lines expectedReport(std::uint16_t devicePort) {
  const char* dir = std::getenv("VEXIL_TEST_DATA");
  std::ifstream in(std::string(dir ? dir : "tests/data") + "/status_report_model7.txt");
  EXPECT_TRUE(in.good()) << "expected report not found";
  Lines lines;
  for (std::string line; std::getline(in, line);) {
    const auto marker = line.find(kPortMarker);
    if (marker != std::string::npos)
      line.replace(marker, std::string(kPortMarker).size(), std::to_string(devicePort));
    lines.push_back(line);
  }
  return lines;
}

TEST(StatusReportEndToEnd, EveryLineOfAModelSevenReport) {
  sim::DeviceEmulator device(benchBoard());
  ASSERT_TRUE(device.start("127.0.0.1", 0)) << device.error();
  PlainEngineHost host;
  TransactionEngine engine(host);
  engine.SetDevicePort(device.port());
  engine.SetHostPort(0);
  std::vector<PageUpdate> updates;
  DeviceQuery query(engine, [] { return std::string("127.0.0.1"); },
                    [&](const PageUpdate& u) { updates.push_back(u); });

  query.query(1);
  ASSERT_TRUE(host.runUntil([&] { return updates.size() >= 2; }, 3s));
  const PageUpdate report = updates[1];  // a copy: later updates grow the vector
  EXPECT_TRUE(report.clearMemo);
  EXPECT_EQ(report.deviceCaption, "Device: QV-7163  v2.10");

  const Lines expected = expectedReport(device.port());
  ASSERT_EQ(expected.size(), 209u);
  ASSERT_EQ(report.lines.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(report.lines[i], expected[i]) << "line " << i + 1;
  }

  // The same board asked again gives the same report: the frozen clock holds the counters.
  query.query(1);
  ASSERT_TRUE(host.runUntil([&] { return updates.size() >= 4; }, 3s));
  EXPECT_EQ(updates[3].lines, report.lines);
}

}  // namespace
