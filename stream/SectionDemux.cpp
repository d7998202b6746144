#include "stream/SectionDemux.h"

#include "stream/Psi.h"

namespace vexil::stream {
namespace {

constexpr std::uint8_t kStuffingTableId = 0xFF;
constexpr std::uint8_t kSyntaxIndicatorMask = 0x80;  // byte 1, bit 7
constexpr std::uint8_t kTotTableId = 0x73;           // a short section with a CRC_32

std::size_t sectionSize(std::span<const std::uint8_t> header) {
  return kSectionHeaderSize +
         (((std::size_t{header[kSectionLengthOffset]} << 8) | header[kSectionLengthOffset + 1]) &
          kSectionLengthMask);
}

}  // namespace

bool sectionCrcOk(std::span<const std::uint8_t> section) {
  if (section.size() < kSectionHeaderSize) return false;
  const bool hasCrc = (section[kSectionLengthOffset] & kSyntaxIndicatorMask) != 0 ||
                      section[kTableIdOffset] == kTotTableId;
  if (!hasCrc) return true;
  return section.size() >= kSectionHeaderSize + kCrcSize && crc32Mpeg(section) == 0;
}

SectionDemux::SectionDemux() : pids_(kPidCount) {}

void SectionDemux::reset() {
  for (PidState& s : pids_) {
    s.watched = false;
    s.assembling = false;
    s.buffer.clear();
  }
}

void SectionDemux::watch(std::uint16_t pid, bool on) {
  PidState& s = pids_[pid & 0x1FFF];
  s.watched = on;
  if (!on) {
    s.assembling = false;
    s.buffer.clear();
  }
}

void SectionDemux::interrupt(std::uint16_t pid) {
  PidState& s = pids_[pid & 0x1FFF];
  s.assembling = false;
  s.buffer.clear();
}

void SectionDemux::feed(const PacketView& v, SectionHandler& handler) {
  const std::uint16_t pid = v.pid();
  PidState& s = pids_[pid];
  if (!s.watched) return;
  const std::size_t from = v.payloadOffset();
  if (from >= kPacketSize) return;
  std::span<const std::uint8_t> payload(v.bytes() + from, kPacketSize - from);
  if (!v.unitStart()) {
    if (!s.assembling) return;
    s.buffer.insert(s.buffer.end(), payload.begin(), payload.end());
    finishIfWhole(pid, s, handler);
    return;  // no section begins in a packet without payload_unit_start
  }
  const std::size_t pointer = payload[0];
  payload = payload.subspan(kPointerFieldSize);
  if (pointer > payload.size()) {  // a pointer beyond the packet: nothing here can be trusted
    interrupt(pid);
    return;
  }
  if (s.assembling) {
    s.buffer.insert(s.buffer.end(), payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(pointer));
    if (!finishIfWhole(pid, s, handler)) interrupt(pid);  // the next section starts: this one is cut
  }
  startSections(pid, payload.subspan(pointer), handler);
}

void SectionDemux::startSections(std::uint16_t pid, std::span<const std::uint8_t> bytes,
                                 SectionHandler& handler) {
  PidState& s = pids_[pid];
  while (s.watched && !bytes.empty() && bytes[kTableIdOffset] != kStuffingTableId) {
    if (bytes.size() < kSectionHeaderSize) {
      s.buffer.assign(bytes.begin(), bytes.end());
      s.assembling = true;
      return;
    }
    const std::size_t size = sectionSize(bytes);
    if (size > kMaxSectionSize) return;  // not a section: drop the rest of the packet
    if (size > bytes.size()) {
      s.buffer.assign(bytes.begin(), bytes.end());
      s.assembling = true;
      return;
    }
    const auto section = bytes.first(size);
    handler.section(pid, section, sectionCrcOk(section));
    bytes = bytes.subspan(size);
  }
}

bool SectionDemux::finishIfWhole(std::uint16_t pid, PidState& s, SectionHandler& handler) {
  if (s.buffer.size() < kSectionHeaderSize) return false;
  const std::size_t size = sectionSize(s.buffer);
  if (size > kMaxSectionSize) {
    interrupt(pid);
    return true;
  }
  if (s.buffer.size() < size) return false;
  s.assembling = false;
  // Copy out first: the handler may change what this demux watches.
  const std::vector<std::uint8_t> section(s.buffer.begin(), s.buffer.begin() + static_cast<std::ptrdiff_t>(size));
  s.buffer.clear();
  handler.section(pid, section, sectionCrcOk(section));
  return true;
}

}  // namespace vexil::stream
