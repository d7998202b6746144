// Reading the generator's packets back for the tests, field by field and without the
// analyser: the PCR, the PTS of a PES start, and sections joined across packets.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "sim/ProgramClock.h"
#include "sim/TsGenerator.h"
#include "stream/Psi.h"
#include "stream/TsPacket.h"

namespace vexil::sim::testing {

inline constexpr std::size_t kPesHeaderLengthOffset = 8;    // PES_header_data_length
inline constexpr std::uint8_t kPtsPrefixMask = 0xF1;        // '0010' and the first marker
inline constexpr std::uint8_t kPtsPrefix = 0x21;

/// A packet as made, with its place in the stream and the stream time it was made at.
struct Made {
  Packet packet;
  std::uint64_t index = 0;
  std::chrono::nanoseconds at{};
  stream::PacketView view() const { return stream::PacketView(packet.data()); }
};

/// `count` packets of input `input` at a nominal `rate`, made `spacing` apart in stream time.
inline std::vector<Made> make(int input, std::uint32_t rate, std::size_t count, const StreamFaults& faults = {},
                              std::chrono::nanoseconds spacing = std::chrono::nanoseconds(0)) {
  if (spacing.count() == 0) spacing = std::chrono::nanoseconds(1'000'000'000 / rate);
  TsGenerator g(input, rate);
  std::vector<Made> out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto at = spacing * static_cast<std::int64_t>(i);
    out.push_back({g.next(at, faults), i, at});
  }
  return out;
}

/// The PCR of a packet's adaptation field, in 27 MHz ticks, as the analyser reads it.
inline std::optional<std::uint64_t> pcrOf(const Made& m) {
  const auto v = m.view();
  if (!v.hasPcr()) return std::nullopt;
  return v.pcr();
}

/// Whether a packet starts a PES (payload_unit_start and the start code prefix).
inline bool startsPes(const Made& m) {
  const auto v = m.view();
  const std::size_t at = v.payloadOffset();
  const std::uint8_t* b = m.packet.data();
  return v.unitStart() && at + stream::kPesPtsOffset <= stream::kPacketSize && b[at] == 0 && b[at + 1] == 0 &&
         b[at + 2] == 1;
}

/// The PTS of a PES start; nothing when it has none or its prefix and marker are wrong.
inline std::optional<std::uint64_t> ptsOf(const Made& m) {
  if (!startsPes(m)) return std::nullopt;
  const std::size_t at = m.view().payloadOffset();
  const std::uint8_t* pes = m.packet.data() + at;
  if (!stream::pesHasPts(pes, stream::kPacketSize - at) || pes[kPesHeaderLengthOffset] < stream::kPesPtsSize)
    return std::nullopt;
  if ((pes[stream::kPesPtsOffset] & kPtsPrefixMask) != kPtsPrefix) return std::nullopt;
  return readPtsField(pes + stream::kPesPtsOffset);
}

/// One section as joined from the packets of its PID, with the packets it took.
struct Section {
  std::vector<std::uint8_t> bytes;
  std::uint64_t firstPacket = 0;
  int packets = 0;
  bool crcGood() const { return stream::crc32Mpeg(bytes) == 0; }
};

/// Every whole section on `pid`: started by a packet with payload_unit_start (after its
/// pointer_field) and run on in the packets that follow until section_length is met.
inline std::vector<Section> sectionsOn(const std::vector<Made>& stream, std::uint16_t pid) {
  std::vector<Section> out;
  std::optional<Section> open;
  for (const Made& m : stream) {
    const auto v = m.view();
    if (v.pid() != pid || !v.hasPayload()) continue;
    const std::uint8_t* b = m.packet.data();
    std::size_t at = v.payloadOffset();
    if (v.unitStart()) {
      at += stream::kPointerFieldSize + b[at];
      open = Section{{}, m.index, 0};
    }
    if (!open) continue;
    open->bytes.insert(open->bytes.end(), b + at, b + stream::kPacketSize);
    ++open->packets;
    if (open->bytes.size() < stream::kSectionHeaderSize) continue;
    const std::size_t length = stream::kSectionHeaderSize +
        (((open->bytes[1] << 8) | open->bytes[2]) & stream::kSectionLengthMask);
    if (open->bytes.size() < length) continue;
    open->bytes.resize(length);
    out.push_back(*open);
    open.reset();
  }
  return out;
}

/// How many packets of each PID.
inline std::map<std::uint16_t, std::uint64_t> pidCounts(const std::vector<Made>& stream) {
  std::map<std::uint16_t, std::uint64_t> counts;
  for (const Made& m : stream) ++counts[m.view().pid()];
  return counts;
}

}  // namespace vexil::sim::testing
