#include "sim/TsTables.h"

#include <algorithm>

#include "stream/Psi.h"

namespace vexil::sim {
namespace {

using namespace vexil::stream;

constexpr std::uint8_t kCaDescriptorLength = 4;          // CA_system_ID, CA_PID
constexpr std::uint8_t kShortSectionBits = 0x70;         // syntax 0, private 1, reserved 11
constexpr std::uint8_t kStuffing = 0xFF;
constexpr std::uint8_t kEmmFiller = 0x5A;
constexpr std::uint8_t kSpoilMask = 0xFF;

void putU16(std::vector<std::uint8_t>& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v >> 8));
  b.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

void putLength(std::vector<std::uint8_t>& b, std::uint8_t flagBits, std::size_t length) {
  b[kSectionLengthOffset] = static_cast<std::uint8_t>(flagBits | ((length >> 8) & 0x0F));
  b[kSectionLengthOffset + 1] = static_cast<std::uint8_t>(length & 0xFF);
}

}  // namespace

std::vector<std::uint8_t> buildCat(std::uint16_t emmPid, std::uint16_t caSystemId) {
  std::vector<std::uint8_t> descriptor{kCaDescriptorTag, kCaDescriptorLength};
  putU16(descriptor, caSystemId);
  putU16(descriptor, static_cast<std::uint16_t>((kReservedPidBits << 8) | (emmPid & kPidFieldMask)));
  return stream::buildCat(descriptor);
}

std::vector<std::uint8_t> buildEmm(std::size_t length) {
  std::vector<std::uint8_t> b{kEmmTableId, kShortSectionBits, 0};
  b.insert(b.end(), length, kEmmFiller);
  putLength(b, kShortSectionBits, length);
  return b;
}

std::vector<Packet> sectionPackets(std::uint16_t pid, std::span<const std::uint8_t> section,
                                   std::uint8_t& continuity) {
  std::vector<Packet> out;
  std::size_t done = 0;
  while (done < section.size()) {
    const bool first = out.empty();
    Packet p;
    p.fill(kStuffing);
    writeHeader(p.data(), pid, first, kPayloadOnly, continuity);
    continuity = static_cast<std::uint8_t>((continuity + 1) % kContinuityModulus);
    std::size_t at = kHeaderSize;
    if (first) p[at++] = 0;  // pointer_field: the section starts at once
    const std::size_t n = std::min(kPacketSize - at, section.size() - done);
    std::copy_n(section.begin() + static_cast<std::ptrdiff_t>(done), n, p.begin() + static_cast<std::ptrdiff_t>(at));
    done += n;
    out.push_back(p);
  }
  return out;
}

void spoilCrc(std::vector<std::uint8_t>& section) {
  if (!section.empty()) section.back() ^= kSpoilMask;
}

}  // namespace vexil::sim
