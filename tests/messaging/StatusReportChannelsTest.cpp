// The channel, port, peripheral, trap and extension sections of the status report.
#include <gtest/gtest.h>

#include "instructions/DeviceQuery.h"
#include "tests/messaging/StatusReportBytes.h"

using namespace vexil;
using vexil::testing::hasLine;
using vexil::testing::linesAfter;
using vexil::testing::RecordBytes;
using Lines = std::vector<std::string>;

namespace {

Lines lines(const RecordBytes& r) { return decodeStatusRecord(r.reader(), "1.2.3.4", 1).lines; }

// Offsets of the channel blocks.
constexpr std::size_t inputBlock(int n) { return 131 + 32 * static_cast<std::size_t>(n - 1); }
constexpr std::size_t outputBlock(int n) { return 287 + 24 * static_cast<std::size_t>(n - 1); }
constexpr std::size_t extensionBlock(int n) { return 543 + 9 * static_cast<std::size_t>(n - 1); }

TEST(InputChannels, BlockFieldsOfEachChannel) {
  RecordBytes r(534);
  for (int n = 1; n <= 4; ++n) {
    const std::size_t b = inputBlock(n);
    const auto k = static_cast<std::uint8_t>(n);
    r.bytes(b, {0x01, 0x00, 0x5E, 0x00, 0x00, k});
    for (std::size_t i = 6; i < 18; ++i) r.u8(b + i, 0x99);  // never shown
    r.bytes(b + 18, {239, 1, 1, k}).u16(b + 22, static_cast<std::uint16_t>(5000 + n));
    r.u8(b + 24, static_cast<std::uint8_t>(n - 1)).u8(b + 25, static_cast<std::uint8_t>(n + 1));
    r.bytes(b + 29, {0xFF, 0xFF, 0xFF});  // not read
  }
  const Lines l = lines(r);
  EXPECT_EQ(linesAfter(l, "TS Input Channel 1", 11),
            (Lines{" Dest. MAC: 01:00:5E:00:00:01", " Dest. IP: 239.1.1.1", " Dest. Port: 5001",
                   " Dest. Mode: Me (0)", " State: Searching MAC (2)", " Mode[2]: h00",
                   "  DV pin Disabled", "  QV-Net Format (Size = 0)", " Mode[1]: h00",
                   " Mode[0]: h00", " "}));
  EXPECT_EQ(linesAfter(l, "TS Input Channel 2", 5),
            (Lines{" Dest. MAC: 01:00:5E:00:00:02", " Dest. IP: 239.1.1.2", " Dest. Port: 5002",
                   " Dest. Mode: Broadcast (1)", " State: Searching Gateway (3)"}));
  EXPECT_EQ(linesAfter(l, " Dest. Port: 5003", 2),
            (Lines{" Dest. Mode: IP (2)", " State: Unknown (4)"}));
  EXPECT_EQ(linesAfter(l, " Dest. Port: 5004", 2),
            (Lines{" Dest. Mode: Manual (3)", " State: Unknown (5)"}));
}

TEST(InputChannels, EnumerationsOfModeAndState) {
  RecordBytes r(534);
  r.u8(inputBlock(1) + 24, 4).u8(inputBlock(1) + 25, 0);
  r.u8(inputBlock(2) + 24, 255).u8(inputBlock(2) + 25, 1);
  const Lines l = lines(r);
  EXPECT_EQ(linesAfter(l, " Dest. Port: 0", 2),
            (Lines{" Dest. Mode: Unknown (4)", " State: Stopped (0)"}));
  EXPECT_TRUE(hasLine(l, " Dest. Mode: Unknown (255)"));
  EXPECT_TRUE(hasLine(l, " State: Sending TS (1)"));
}

TEST(InputChannels, ModeBytesWorkedExamples) {
  RecordBytes r(534);
  r.bytes(inputBlock(1) + 26, {0x03, 0x41, 0x00});
  r.bytes(inputBlock(2) + 26, {0x04, 0x05, 0x94});
  r.bytes(inputBlock(3) + 26, {0x06, 0xE2, 0x7F});  // IPTV 188, packet number 7, remover on
  r.bytes(inputBlock(4) + 26, {0x00, 0xFF, 0xFF});
  const Lines l = lines(r);
  EXPECT_EQ(linesAfter(l, " Mode[2]: h03", 6),
            (Lines{"  DV pin Enabled", "  IPTV Format (204 byte)", "   Packet Number: 2",
                   "   Null Packet Remover Off", " Mode[1]: h41", " Mode[0]: h00"}));
  EXPECT_EQ(linesAfter(l, " Mode[2]: h04", 5),
            (Lines{"  DV pin Disabled", "  QV-Net Format (Size = 1428)", "  Always Send TS",
                   " Mode[1]: h05", " Mode[0]: h94"}));
  EXPECT_EQ(linesAfter(l, " Mode[2]: h06", 7),
            (Lines{"  DV pin Disabled", "  IPTV Format (188 byte)", "   Packet Number: 7",
                   "   Null Packet Remover On", "  Always Send TS", " Mode[1]: hE2",
                   " Mode[0]: h7F"}));
  EXPECT_EQ(linesAfter(l, "TS Input Channel 4", 10).back(), " Mode[0]: hFF");
  EXPECT_TRUE(hasLine(l, "  QV-Net Format (Size = 65535)"));
}

TEST(PortsAndIgmp, SwitchAbsentGivesOneLineAndOutputsStayInPlace) {
  RecordBytes r(534);
  r.u16(259, 65535).u16(261, 1).u8(263, 0);
  // Switch fields filled but the switch byte is 0: none of them is shown.
  r.bytes(265, {1, 2, 3, 4, 5, 6}).bytes(283, {9, 9, 9, 9});
  r.bytes(outputBlock(1) + 12, {239, 9, 8, 7}).u16(outputBlock(1) + 16, 4321);
  const Lines l = lines(r);
  EXPECT_EQ(linesAfter(l, "TS Port High: 65535", 7),
            (Lines{"TS Port Low: 1", "Auto IGMP Report: off", "IGMP Switch: unknown", " ",
                   "TS Output Channel 1", " Multicast IP: 239.9.8.7", " Receive Port: 4321"}));
}

TEST(PortsAndIgmp, SwitchPresentAndReportPeriod) {
  RecordBytes r(534);
  r.u8(263, 255).u8(264, 0x80).bytes(265, {0x00, 0x0C, 0x29, 0xAB, 0xCD, 0xEF});
  for (std::size_t i = 271; i < 283; ++i) r.u8(i, 0x55);
  r.bytes(283, {192, 168, 1, 254});
  EXPECT_EQ(linesAfter(lines(r), "TS Port Low: 0", 5),
            (Lines{"IGMP Report Period: 102000 ms", "IGMP Switch: present",
                   " IGMP Switch MAC: 00:0C:29:AB:CD:EF", " IGMP Switch IP: 192.168.1.254", " "}));
  r.u8(263, 1);
  EXPECT_TRUE(hasLine(lines(r), "IGMP Report Period: 400 ms"));
}

TEST(OutputChannels, ModeFlagLines) {
  RecordBytes r(534);
  r.u8(outputBlock(1) + 18, 0xA5).u8(outputBlock(2) + 18, 0x10);
  r.u8(outputBlock(3) + 18, 0x4A).u8(outputBlock(4) + 18, 0xFF);
  const Lines l = lines(r);
  EXPECT_EQ(linesAfter(l, " Mode: hA5", 7),
            (Lines{"  Channel Enabled", "  Simple TS", "  Auto Format",
                   "  DV pin Disabled (gated TS clock)", "  Null Packet Inserter On",
                   "  TSP Error Remover Off", "  Null Packet Remover On"}));
  EXPECT_EQ(linesAfter(l, " Mode: h10", 7),
            (Lines{"  Channel Disabled", "  Simple TS", "  Manual Format (204 byte)",
                   "  DV pin Disabled (gated TS clock)", "  Null Packet Inserter Off",
                   "  TSP Error Remover Off", "  Null Packet Remover Off"}));
  EXPECT_EQ(linesAfter(l, " Mode: h4A", 7),
            (Lines{"  Channel Disabled", "  Multicast TS", "  Manual Format (188 byte)",
                   "  DV pin Enabled (countinuous TS clock)", "  Null Packet Inserter Off",
                   "  TSP Error Remover On", "  Null Packet Remover Off"}));
  // With auto format the packet size bit is not shown at all.
  EXPECT_EQ(linesAfter(l, " Mode: hFF", 7),
            (Lines{"  Channel Enabled", "  Multicast TS", "  Auto Format",
                   "  DV pin Enabled (countinuous TS clock)", "  Null Packet Inserter On",
                   "  TSP Error Remover On", "  Null Packet Remover On"}));
}

TEST(Peripherals, IicDividerBoundsAndNcoSignedness) {
  RecordBytes r(534);
  r.u8(385, 0).u8(386, 0x0F);
  r.bytes(389, {0x00, 0x0F, 0x42, 0x40}).bytes(393, {0x80, 0x00, 0x00, 0x00});
  r.u32(397, 0xFFFFFFFF).u32(401, 0x7FFFFFFF);
  const Lines l = lines(r);
  EXPECT_EQ(linesAfter(l, "IIC port", 3),
            (Lines{" FrqDiv: 0", " IIC frequency: 6250000 Hz", " IIC Error: h0F"}));
  EXPECT_EQ(linesAfter(l, "NCO frequency", 4),
            (Lines{" Channel 1: 1000000 Hz", " Channel 2: -2147483648 Hz", " Channel 3: -1 Hz",
                   " Channel 4: 2147483647 Hz"}));
  r.u8(385, 255);
  EXPECT_EQ(linesAfter(lines(r), " FrqDiv: 255", 1), (Lines{" IIC frequency: 24414 Hz"}));
  r.u8(385, 1);
  EXPECT_EQ(linesAfter(lines(r), " FrqDiv: 1", 1), (Lines{" IIC frequency: 3125000 Hz"}));
}

TEST(TrapFunction, ModeStateMasksAndAddresses) {
  RecordBytes r(534);
  r.bytes(407, {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01});
  for (std::size_t i = 413; i < 425; ++i) r.u8(i, 0x42);
  r.bytes(425, {172, 16, 0, 9}).u8(431, 0xC0).u8(432, 2);
  r.bytes(433, {0x01, 0x02, 0x03, 0x04});
  EXPECT_EQ(linesAfter(lines(r), "Trap Function", 10),
            (Lines{" Mode: hC0", "  Enabled", "  SNMP type", " State: 2 (Searching MAC)",
                   " External Trap Mask: h01", " Overflow Trap Mask: h02", " External Trap: h03",
                   " Overflow Trap: h04", " Trap MAC: DE:AD:BE:EF:00:01", " Trap IP: 172.16.0.9"}));
  const std::array<std::pair<std::uint8_t, const char*>, 6> states{{
      {0, " State: 0 (Off)"}, {1, " State: 1 (Sending)"}, {3, " State: 3 (Searching Gateway)"},
      {4, " State: 4 (Unknown)"}, {9, " State: 9 (Unknown)"}, {255, " State: 255 (Unknown)"}}};
  for (const auto& [state, line] : states) {
    r.u8(432, state).u8(431, 0x3F);
    const Lines l = lines(r);
    EXPECT_TRUE(hasLine(l, line)) << int(state);
    EXPECT_EQ(linesAfter(l, " Mode: h3F", 2), (Lines{"  Disabled", "  UDP type"}));
  }
}

TEST(Extension, HeaderAndWorkedChannelBlock) {
  RecordBytes r(662, 7);
  r.u8(534, 0xEE).u8(535, 0x5A).u8(536, 12).bytes(537, {1, 2, 3, 4}).u8(541, 200).u8(542, 255);
  r.bytes(extensionBlock(1), {0xF1, 0x00, 0x10, 0x07, 0x00, 0x64, 0x00, 0x03, 0xE7});
  const Lines l = lines(r);
  EXPECT_EQ(linesAfter(l, " Trap IP: 0.0.0.0", 21),
            (Lines{" ", "IP REMULTIPLEXER EXTENSION", " SelfTest: h5A",
                   " Ethernet Controller & PID Filter version: V12", " Channel 1 version: V1",
                   " Channel 2 version: V2", " Channel 3 version: V3", " Channel 4 version: V4",
                   " PCR Corrector 1-2 version: V200", " PCR Corrector 3-4 version: V255", " ",
                   "Channel 1", " Input stream: 65552 packets/sec", " Overflow LED: On",
                   " Overflow after reset: Yes", " SDRAM size: 1000 packets",
                   " SDRAM usage: 65636 packets", " 6563% used", " ", "Channel 2",
                   " Input stream: 0 packets/sec"}));
  // An all-zero block: size 1, nothing used.
  EXPECT_EQ(linesAfter(l, "Channel 4", 7),
            (Lines{" Input stream: 0 packets/sec", " Overflow LED: Off",
                   " Overflow after reset: No", " SDRAM size: 1 packets",
                   " SDRAM usage: 0 packets", " 0% used", " "}));
  EXPECT_EQ(l.back(), " ");
}

TEST(Extension, LargestFieldValues) {
  RecordBytes r(662, 7);
  // Every bit set: rate 20 bits, usage 17 bits, size 17 bits plus one; ignored bits too.
  r.bytes(extensionBlock(2), {0xFF, 0xFF, 0xFF, 0xF9, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  // Size bits set, usage 0: size 131072.
  r.bytes(extensionBlock(3), {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF});
  const Lines l = lines(r);
  EXPECT_EQ(linesAfter(l, "Channel 2", 7),
            (Lines{" Input stream: 1048575 packets/sec", " Overflow LED: Off",
                   " Overflow after reset: No", " SDRAM size: 131072 packets",
                   " SDRAM usage: 131071 packets", " 99% used", " "}));
  EXPECT_EQ(linesAfter(l, "Channel 3", 6).back(), " 0% used");
  EXPECT_TRUE(hasLine(l, " SDRAM size: 131072 packets"));
}

}  // namespace
