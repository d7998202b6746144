// Random datagrams of random lengths through both answer decoders. Each datagram lies
// in a heap block of exactly its own size, so under the address sanitizer any read past
// its end is caught. Beyond not crashing, the reports must keep their shape, and the
// bytes that no field names must not change them.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "instructions/DeviceQuery.h"

using namespace vexil;

namespace {

constexpr int kRounds = 4000;
constexpr std::size_t kMaxDatagram = 1500;
constexpr std::size_t kBaseLines = 158;      // a report without extension, QV-Net inputs
constexpr std::size_t kMostExtraLines = 14;  // IPTV (2) and always-send (1) x 4, IGMP switch (2)
constexpr std::size_t kExtensionLines = 43;

// Byte ranges of a status answer that no field of the report names.
constexpr std::pair<std::size_t, std::size_t> kUnreadRanges[] = {
    {0, 22},    {23, 25},   {48, 65},   {71, 89},   {97, 109},  {113, 125}, {130, 131},
    {137, 149}, {160, 163}, {169, 181}, {192, 195}, {201, 213}, {224, 227}, {233, 245},
    {256, 259}, {271, 283}, {287, 299}, {306, 311}, {311, 323}, {330, 335}, {335, 347},
    {354, 359}, {359, 371}, {378, 385}, {387, 389}, {413, 425}, {429, 431}, {437, 439},
    {473, 535}, {579, kMaxDatagram}};

std::size_t randomLength(std::mt19937& rng) {
  // Half of the lengths near the boundaries that matter, half anywhere.
  static constexpr std::size_t edges[] = {0, 22, 23, 24, 25, 26, 472, 533, 534, 535, 578, 661, 662, 1500};
  if (rng() % 2 == 0) return edges[rng() % std::size(edges)];
  return rng() % (kMaxDatagram + 1);
}

std::vector<std::uint8_t> randomBytes(std::mt19937& rng, std::size_t length) {
  std::vector<std::uint8_t> b(length);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  if (length > 22 && rng() % 8 != 0) b[22] = 0xF0;  // mostly status answers
  if (length > 40 && rng() % 3 == 0) b[40] |= 0x07;  // often the IP remultiplexer
  return b;
}

PageUpdate decodeExact(const std::vector<std::uint8_t>& bytes, bool qvNet) {
  // A block of exactly the datagram's size: nothing readable lies beyond it.
  const std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[std::max<std::size_t>(bytes.size(), 1)]);
  std::copy(bytes.begin(), bytes.end(), block.get());
  const AnswerReader reader({block.get(), bytes.size()});
  return qvNet ? decodeQvNetAck(reader, "127.0.0.1", 56789)
               : decodeStatusRecord(reader, "127.0.0.1", 56789);
}

TEST(ReportFuzz, StatusDecoderKeepsItsShapeForAnyInput) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < kRounds; ++round) {
    const std::size_t length = randomLength(rng);
    const auto bytes = randomBytes(rng, length);
    const PageUpdate u = decodeExact(bytes, false);
    ASSERT_TRUE(u.clearMemo);
    const bool accepted = length >= 534 && bytes[22] == 0xF0;
    ASSERT_EQ(u.deviceCaption.has_value(), accepted) << "length " << length;
    if (!accepted) {
      ASSERT_EQ(u.lines.size(), 2u);
      ASSERT_EQ(u.lines[1], "Message length (UDP): " + std::to_string(length) + " bytes");
      continue;
    }
    const bool extension = (bytes[40] & 0x07) == 7 && length >= 662;
    const std::size_t base = extension ? kBaseLines + kExtensionLines : kBaseLines;
    ASSERT_GE(u.lines.size(), base) << "length " << length;
    ASSERT_LE(u.lines.size(), base + kMostExtraLines) << "length " << length;
    ASSERT_EQ(u.lines.front(), "Palvox ACK received (" + std::to_string(length) + ").");
    ASSERT_EQ(std::count(u.lines.begin(), u.lines.end(), "IP REMULTIPLEXER EXTENSION"),
              extension ? 1 : 0);
  }
}

TEST(ReportFuzz, UnnamedBytesNeverChangeTheStatusReport) {
  std::mt19937 rng(77);
  for (int round = 0; round < kRounds / 4; ++round) {
    const std::size_t length = 534 + rng() % (kMaxDatagram - 534 + 1);
    auto bytes = randomBytes(rng, length);
    bytes[22] = 0xF0;
    const PageUpdate before = decodeExact(bytes, false);
    for (const auto& [from, to] : kUnreadRanges) {
      for (std::size_t i = from; i < std::min(to, length); ++i) {
        if (i != 22) bytes[i] = static_cast<std::uint8_t>(rng());
      }
    }
    const PageUpdate after = decodeExact(bytes, false);
    ASSERT_EQ(before.lines, after.lines) << "length " << length;
  }
}

TEST(ReportFuzz, QvNetDecoderForAnyInput) {
  std::mt19937 rng(5);
  for (int round = 0; round < kRounds; ++round) {
    const std::size_t length = randomLength(rng);
    auto bytes = randomBytes(rng, length);
    const PageUpdate u = decodeExact(bytes, true);
    ASSERT_TRUE(u.clearMemo);
    if (length != 25) {
      ASSERT_EQ(u.lines.size(), 2u);
      ASSERT_FALSE(u.deviceCaption.has_value());
      continue;
    }
    ASSERT_EQ(u.lines.size(), 7u);
    // Only bytes 16-19, 23 and 24 count.
    for (std::size_t i : {0u, 5u, 15u, 20u, 21u, 22u}) bytes[i] ^= 0x5A;
    ASSERT_EQ(decodeExact(bytes, true).lines, u.lines);
  }
}

}  // namespace
