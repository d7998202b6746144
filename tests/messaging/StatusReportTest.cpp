// The status record decoder: worked values, the length and marker boundaries, the
// extension conditions and the rule that nothing beyond the datagram is read.
#include <gtest/gtest.h>

#include <array>

#include "instructions/DeviceQuery.h"
#include "tests/messaging/StatusReportBytes.h"

using namespace vexil;
using vexil::testing::hasLine;
using vexil::testing::linesAfter;
using vexil::testing::RecordBytes;
using Lines = std::vector<std::string>;

namespace {

constexpr const char* kAddress = "10.123.13.101";
constexpr int kPort = 56789;

// Line counts of a report whose input channels are all in QV-Net format without
// "Always Send TS" and whose IGMP switch is absent.
constexpr std::size_t kLinesWithoutExtension = 158;
constexpr std::size_t kExtensionLines = 43;

PageUpdate decode(const RecordBytes& r) { return decodeStatusRecord(r.reader(), kAddress, kPort); }
Lines lines(const RecordBytes& r) { return decode(r).lines; }

TEST(StatusHeader, WorkedHeaderAndCaption) {
  RecordBytes r(662, 7);
  r.u8(25, 1).u8(26, 5).u32(27, 5000).u16(31, 7163);
  const PageUpdate u = decode(r);
  EXPECT_TRUE(u.clearMemo);
  ASSERT_GE(u.lines.size(), 7u);
  const Lines head(u.lines.begin(), u.lines.begin() + 7);
  EXPECT_EQ(head, (Lines{"Palvox ACK received (662).", "Device IP: 10.123.13.101",
                         "Device Port: 56789", "", "Device Version: 1.05",
                         "Device Serial: 5000", "Device Type: 7163"}));
  EXPECT_EQ(u.deviceCaption, "Device: QV-7163  v1.05");
}

TEST(StatusHeader, SerialIsSignedAndVersionMinorWraps) {
  RecordBytes r(534);
  r.bytes(27, {0xFF, 0xFF, 0xFF, 0xFE});
  EXPECT_TRUE(hasLine(lines(r), "Device Serial: -2"));

  const std::array<std::pair<int, const char*>, 4> minors{
      {{0, "1.00"}, {99, "1.99"}, {100, "1.00"}, {255, "1.55"}}};
  for (const auto& [minor, text] : minors) {
    r.u8(25, 1).u8(26, static_cast<std::uint8_t>(minor));
    const PageUpdate u = decode(r);
    EXPECT_TRUE(hasLine(u.lines, std::string("Device Version: ") + text)) << minor;
    EXPECT_EQ(u.deviceCaption, std::string("Device: QV-0  v") + text);
  }
}

TEST(StatusConfiguration, WordFlagsInTableOrder) {
  RecordBytes r(534);
  r.u16(33, 0x0301);
  EXPECT_EQ(linesAfter(lines(r), "Device Type: 0", 5),
            (Lines{"Configuration Word: h0301", " Device Locked",
                   " QV-Net Replace compatibility on", " QV-Net Other compatibility off",
                   " SDI IRQ Type is Palvox"}));
  r.u16(33, 0x0002);
  EXPECT_EQ(linesAfter(lines(r), "Configuration Word: h0002", 4),
            (Lines{" Device Unlocked", " QV-Net Replace compatibility off",
                   " QV-Net Other compatibility on", " SDI IRQ Type is QV-Net"}));
}

TEST(StatusConfiguration, StatusBytesLinkAndModel) {
  RecordBytes r(534);
  r.u16(35, 0xA5C3).u8(37, 0x0A).u8(38, 0x80).u8(39, 0x01).u8(40, 0x87);
  EXPECT_EQ(linesAfter(lines(r), " SDI IRQ Type is QV-Net", 6),
            (Lines{"Selector: hA5C3", "GPO: h0A", "External Trap State: h80",
                   "Overflow State: h01", "Link: 100 Mbps", "Model: IP Remultiplexer"}));
  r.u8(40, 0x05);
  EXPECT_EQ(linesAfter(lines(r), "Overflow State: h01", 2),
            (Lines{"Link Off", "Model: Unknown (5)"}));

  const std::array<std::pair<std::uint8_t, Lines>, 5> more{{
      {0x40, {"Link: 10 Mbps", "Model: 4I (4In + 1Out)"}},
      {0xC1, {"Link: 1000 Mbps", "Model: 4O (4Out)"}},
      {0x3A, {"Link Off", "Model: 2D (2In + 2Out)"}},  // bits 5-3 are not read
      {0x03, {"Link Off", "Model: 2L (2In + 2Out with loopback)"}},
      {0x04, {"Link Off", "Model: Unknown (4)"}},
  }};
  for (const auto& [byte, expected] : more) {
    r.u8(40, byte);
    EXPECT_EQ(linesAfter(lines(r), "Overflow State: h01", 2), expected) << int(byte);
  }
}

TEST(StatusConfiguration, CountersAndUserData) {
  RecordBytes r(534);
  r.u16(405, 65535).u16(439, 258);
  for (std::uint8_t i = 0; i < 32; ++i) r.u8(441 + i, static_cast<std::uint8_t>(i * 8 + 1));
  EXPECT_EQ(linesAfter(lines(r), "Model: 4I (4In + 1Out)", 6),
            (Lines{"Ins. Packet Counter: 65535", "CRC Error Counter: 258", "UserData (hex):",
                   "  01091119212931394149515961697179",
                   "  81899199A1A9B1B9C1C9D1D9E1E9F1F9", " "}));
}

TEST(StatusNetwork, MacsGatewayNetMaskAndArp) {
  RecordBytes r(534);
  r.u8(41, 1).bytes(42, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
  r.bytes(65, {0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA});
  r.u8(89, 2).u8(90, 3).bytes(91, {1, 2, 3, 4, 5, 6});
  // The first twelve bytes of an address field are never shown.
  for (std::size_t i = 97; i < 109; ++i) r.u8(i, 0x77);
  for (std::size_t i = 113; i < 125; ++i) r.u8(i, 0x77);
  r.bytes(109, {10, 123, 13, 1}).bytes(125, {255, 255, 254, 0}).u8(129, 30);
  EXPECT_EQ(linesAfter(lines(r), "  00000000000000000000000000000000", 13),
            (Lines{"  00000000000000000000000000000000", " ", "MAC Mode: Manual (1)",
                   "Primary MAC: 00:1A:2B:3C:4D:5E", "Secondary MAC: FF:EE:DD:CC:BB:AA", " ",
                   "GatewayMode: Auto (2)", "GatewayState: Searching IP (3)",
                   "Gateway MAC: 01:02:03:04:05:06", "Gateway IP: 10.123.13.1",
                   "NetMask: 255.255.254.0", "ARP Adv. Time: 30 sec", " "}));
  r.u8(129, 0);
  EXPECT_TRUE(hasLine(lines(r), "ARP Advertisement: off"));
}

TEST(StatusNetwork, EnumerationsNameKnownValuesOnly) {
  const std::array<std::tuple<std::uint8_t, const char*, const char*, const char*>, 5> rows{{
      {0, "MAC Mode: QV Auto (0)", "GatewayMode: No gateway (0)", "GatewayState: No gateway (0)"},
      {1, "MAC Mode: Manual (1)", "GatewayMode: Manual IP (1)", "GatewayState: Known gateway (1)"},
      {2, "MAC Mode: Auto (2)", "GatewayMode: Auto (2)", "GatewayState: Searching MAC (2)"},
      {3, "MAC Mode: Unknown (3)", "GatewayMode: Unknown (3)", "GatewayState: Searching IP (3)"},
      {200, "MAC Mode: Unknown (200)", "GatewayMode: Unknown (200)",
       "GatewayState: Unknown (200)"},
  }};
  for (const auto& [value, mac, mode, state] : rows) {
    RecordBytes r(534);
    r.u8(41, value).u8(89, value).u8(90, value);
    const Lines l = lines(r);
    EXPECT_TRUE(hasLine(l, mac)) << int(value);
    EXPECT_TRUE(hasLine(l, mode)) << int(value);
    EXPECT_TRUE(hasLine(l, state)) << int(value);
  }
}

TEST(StatusAcceptance, LengthAndMarkerBoundaries) {
  const PageUpdate short533 = decode(RecordBytes(533));
  EXPECT_TRUE(short533.clearMemo);
  EXPECT_EQ(short533.lines,
            (Lines{"Unknown message received.", "Message length (UDP): 533 bytes"}));
  EXPECT_FALSE(short533.deviceCaption.has_value());

  const PageUpdate ok534 = decode(RecordBytes(534));
  EXPECT_EQ(ok534.lines.front(), "Palvox ACK received (534).");
  EXPECT_EQ(ok534.lines.size(), kLinesWithoutExtension);
  EXPECT_TRUE(ok534.deviceCaption.has_value());

  for (std::uint8_t marker : {0x00, 0xEF, 0xF1, 0x03}) {
    RecordBytes r(700);
    r.u8(22, marker);
    const PageUpdate u = decode(r);
    EXPECT_EQ(u.lines, (Lines{"Unknown message received.", "Message length (UDP): 700 bytes"}));
    EXPECT_FALSE(u.deviceCaption.has_value());
  }
  EXPECT_EQ(lines(RecordBytes(0)),
            (Lines{"Unknown message received.", "Message length (UDP): 0 bytes"}));
  EXPECT_EQ(lines(RecordBytes(22)),
            (Lines{"Unknown message received.", "Message length (UDP): 22 bytes"}));
}

TEST(StatusAcceptance, ExtensionOnlyForModelSevenFromSixHundredSixtyTwoBytes) {
  EXPECT_EQ(lines(RecordBytes(661, 7)).size(), kLinesWithoutExtension);
  EXPECT_FALSE(hasLine(lines(RecordBytes(661, 7)), "IP REMULTIPLEXER EXTENSION"));
  const Lines full = lines(RecordBytes(662, 7));
  EXPECT_EQ(full.size(), kLinesWithoutExtension + kExtensionLines);
  EXPECT_EQ(full[kLinesWithoutExtension + 1], "IP REMULTIPLEXER EXTENSION");
  EXPECT_EQ(lines(RecordBytes(1500, 7)).size(), kLinesWithoutExtension + kExtensionLines);
  for (std::uint8_t model = 0; model < 7; ++model) {
    for (std::size_t length : {534u, 662u, 1500u}) {
      EXPECT_EQ(lines(RecordBytes(length, model)).size(), kLinesWithoutExtension)
          << "model " << int(model) << ", " << length << " bytes";
    }
  }
}

TEST(StatusSafety, BytesBeyondTheDatagramChangeNothing) {
  // The same record in a receive buffer zeroed beyond it and in one poisoned beyond it:
  // the decoder sees only the datagram, so both reports are the same.
  for (std::size_t length : {534u, 600u, 661u, 662u}) {
    std::array<std::uint8_t, 1500> clean{};
    std::array<std::uint8_t, 1500> poisoned{};
    poisoned.fill(0xFF);
    for (std::size_t i = 0; i < length; ++i) {
      clean[i] = poisoned[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    clean[22] = poisoned[22] = 0xF0;
    clean[40] = poisoned[40] = 0x87;  // model 7: the extension would be read if long enough
    const auto a = decodeStatusRecord(AnswerReader({clean.data(), length}), kAddress, kPort);
    const auto b = decodeStatusRecord(AnswerReader({poisoned.data(), length}), kAddress, kPort);
    EXPECT_EQ(a.lines, b.lines) << length;
    EXPECT_EQ(a.deviceCaption, b.deviceCaption) << length;
  }
  // A 533-byte datagram is rejected even though the buffer beyond it holds a record.
  std::array<std::uint8_t, 1500> stale{};
  stale[22] = 0xF0;
  const auto u = decodeStatusRecord(AnswerReader({stale.data(), 533}), kAddress, kPort);
  EXPECT_EQ(u.lines.size(), 2u);
}

}  // namespace
