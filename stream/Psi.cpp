#include "stream/Psi.h"

#include <array>

namespace vexil::stream {
namespace {

constexpr std::uint32_t kCrcPolynomial = 0x04C11DB7;
constexpr std::uint32_t kCrcInitial = 0xFFFFFFFF;
constexpr std::uint32_t kCrcTopBit = 0x80000000;

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
  std::array<std::uint32_t, 256> t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i << 24;
    for (int bit = 0; bit < 8; ++bit) c = (c & kCrcTopBit) ? (c << 1) ^ kCrcPolynomial : c << 1;
    t[i] = c;
  }
  return t;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

void putU16(std::vector<std::uint8_t>& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v >> 8));
  b.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

// table_id, syntax bits and a length to be filled in, then the long header.
std::vector<std::uint8_t> startSection(std::uint8_t tableId, std::uint16_t extension) {
  std::vector<std::uint8_t> b{tableId, kSectionSyntaxBits, 0};
  putU16(b, extension);
  b.push_back(kCurrentNextBits);
  b.push_back(0);  // section_number
  b.push_back(0);  // last_section_number
  return b;
}

void finishSection(std::vector<std::uint8_t>& b) {
  const std::size_t length = b.size() - kSectionHeaderSize + kCrcSize;
  b[kSectionLengthOffset] = static_cast<std::uint8_t>(kSectionSyntaxBits | ((length >> 8) & 0x0F));
  b[kSectionLengthOffset + 1] = static_cast<std::uint8_t>(length & 0xFF);
  const std::uint32_t crc = crc32Mpeg(b);
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(crc >> shift));
}

void putPid(std::vector<std::uint8_t>& b, std::uint8_t reservedBits, std::uint16_t pid) {
  putU16(b, static_cast<std::uint16_t>((reservedBits << 8) | (pid & kPidFieldMask)));
}

}  // namespace

std::uint32_t crc32Mpeg(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = kCrcInitial;
  for (std::uint8_t byte : bytes) crc = (crc << 8) ^ kCrcTable[((crc >> 24) ^ byte) & 0xFF];
  return crc;
}

std::optional<std::span<const std::uint8_t>> sectionInPayload(std::span<const std::uint8_t> payload) {
  if (payload.size() < kPointerFieldSize) return std::nullopt;
  const std::size_t start = kPointerFieldSize + payload[0];
  if (payload.size() < start + kSectionHeaderSize) return std::nullopt;
  const auto rest = payload.subspan(start);
  const std::size_t total = kSectionHeaderSize + (u16(rest, kSectionLengthOffset) & kSectionLengthMask);
  if (total > rest.size() || total < kLongHeaderSize + kCrcSize) return std::nullopt;
  const auto section = rest.first(total);
  if (crc32Mpeg(section) != 0) return std::nullopt;
  return section;
}

std::optional<std::vector<PatEntry>> readPat(std::span<const std::uint8_t> section) {
  if (section.size() < kLongHeaderSize + kCrcSize || section[kTableIdOffset] != kPatTableId)
    return std::nullopt;
  std::vector<PatEntry> out;
  const std::size_t end = section.size() - kCrcSize;
  for (std::size_t at = kLongHeaderSize; at + kPatEntrySize <= end; at += kPatEntrySize)
    out.push_back({u16(section, at), static_cast<std::uint16_t>(u16(section, at + 2) & kPidFieldMask)});
  return out;
}

std::optional<Pmt> readPmt(std::span<const std::uint8_t> section) {
  if (section.size() < kPmtFixedSize + kCrcSize || section[kTableIdOffset] != kPmtTableId)
    return std::nullopt;
  Pmt pmt;
  pmt.program = u16(section, kTableIdExtensionOffset);
  pmt.pcrPid = u16(section, kPcrPidOffset) & kPidFieldMask;
  const std::size_t end = section.size() - kCrcSize;
  std::size_t at = kPmtFixedSize + (u16(section, kProgramInfoLengthOffset) & kInfoLengthMask);
  while (at + kStreamEntrySize <= end) {
    pmt.streams.push_back(
        {section[at], static_cast<std::uint16_t>(u16(section, at + 1) & kPidFieldMask)});
    at += kStreamEntrySize + (u16(section, at + 3) & kInfoLengthMask);
  }
  return pmt;
}

std::vector<std::uint8_t> buildPat(std::uint16_t transportStreamId,
                                   std::span<const PatEntry> programs) {
  std::vector<std::uint8_t> b = startSection(kPatTableId, transportStreamId);
  for (const PatEntry& e : programs) {
    putU16(b, e.program);
    putPid(b, kReservedPidBits, e.pmtPid);
  }
  finishSection(b);
  return b;
}

std::vector<std::uint8_t> buildPmt(const Pmt& pmt) {
  std::vector<std::uint8_t> b = startSection(kPmtTableId, pmt.program);
  putPid(b, kReservedPidBits, pmt.pcrPid);
  putU16(b, static_cast<std::uint16_t>(kReservedInfoBits << 8));  // no program descriptors
  for (const PmtStream& s : pmt.streams) {
    b.push_back(s.streamType);
    putPid(b, kReservedPidBits, s.pid);
    putU16(b, static_cast<std::uint16_t>(kReservedInfoBits << 8));
  }
  finishSection(b);
  return b;
}

std::vector<std::uint8_t> buildCat(std::span<const std::uint8_t> descriptors) {
  std::vector<std::uint8_t> b = startSection(kCatTableId, kCatExtension);
  b.insert(b.end(), descriptors.begin(), descriptors.end());
  finishSection(b);
  return b;
}

}  // namespace vexil::stream
