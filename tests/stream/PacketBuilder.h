// Packets, sections and datagrams made byte by byte for the analyser tests. The
// sections are written here from their layout, not with the library's builders, so a
// fault in those cannot hide a fault in the reader.
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "stream/Psi.h"
#include "stream/StreamAnalyser.h"
#include "stream/TsPacket.h"

namespace vexil::stream::testing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint16_t kPmtPid = 0x100;
inline constexpr std::uint16_t kVideoPid = 0x101;
inline constexpr std::uint16_t kAudioPid = 0x102;
inline constexpr std::uint16_t kSdtPid = 0x0011;
inline constexpr std::uint16_t kTdtPid = 0x0014;

inline constexpr std::uint8_t kCatTableId = 0x01;
inline constexpr std::uint8_t kSdtTableId = 0x42;
inline constexpr std::uint8_t kTdtTableId = 0x70;
inline constexpr std::uint8_t kTotTableId = 0x73;
inline constexpr std::uint8_t kVideoType = 0x02;
inline constexpr std::uint8_t kAudioType = 0x03;
inline constexpr std::size_t kPayloadSize = kPacketSize - kHeaderSize;  // 184
inline constexpr std::uint8_t kScrambledEven = 0x2;                      // '10'

// Adaptation field flags and the PCR that follows them (its size and range in TsPacket.h).
inline constexpr std::uint8_t kPcrFlag = 0x10;
inline constexpr std::uint64_t kPcrTicksPerBase = 300;
inline constexpr std::uint64_t kTicksPerMs = 27'000;                     // 27 MHz clock
inline constexpr std::uint64_t kPtsTicksPerMs = 90;                      // 90 kHz clock

// PES header with a PTS only.
inline constexpr std::uint8_t kVideoStreamId = 0xE0;
inline constexpr std::uint8_t kPesMarkerBits = 0x80;   // '10' before the flags
inline constexpr std::uint8_t kPtsOnlyFlags = 0x80;    // PTS_DTS_flags '10'
inline constexpr std::uint8_t kPtsLength = 5;
inline constexpr std::uint8_t kPtsPrefix = 0x20;       // '0010' before PTS bits 32-30

/// A time `ms` milliseconds after an arbitrary start.
inline TimePoint at(long long ms) { return TimePoint{} + std::chrono::milliseconds(ms); }
inline TimePoint atUs(long long us) { return TimePoint{} + std::chrono::microseconds(us); }

// ---- Packets ----------------------------------------------------------------------

/// A payload-only packet of `pid` with counter `cc`, payload bytes `fill`.
inline Bytes packet(std::uint16_t pid, std::uint8_t cc, bool tei = false, std::uint8_t fill = 0xAA) {
  Bytes p(kPacketSize, fill);
  writeHeader(p.data(), pid, false, kPayloadOnly, cc);
  setTransportError(p.data(), tei);
  return p;
}

/// A packet with only an adaptation field, optionally announcing a discontinuity.
inline Bytes adaptationOnly(std::uint16_t pid, std::uint8_t cc, bool discontinuity = false) {
  Bytes p(kPacketSize, 0xFF);
  writeHeader(p.data(), pid, false, kAdaptationOnly, cc);
  p[kAdaptationLengthOffset] = kPacketSize - kAdaptationFlagsOffset;
  p[kAdaptationFlagsOffset] = discontinuity ? kDiscontinuityMask : 0;
  return p;
}

/// A payload packet whose adaptation field sets discontinuity_indicator.
inline Bytes withDiscontinuity(std::uint16_t pid, std::uint8_t cc) {
  Bytes p(kPacketSize, 0xAA);
  writeHeader(p.data(), pid, false, kAdaptationAndPayload, cc);
  p[kAdaptationLengthOffset] = 1;
  p[kAdaptationFlagsOffset] = kDiscontinuityMask;
  return p;
}

/// A packet whose adaptation field carries `pcr` (27 MHz ticks, taken modulo the PCR's
/// range). With `payload` the rest of the packet is payload (the counter advances),
/// otherwise stuffing (the counter stays).
inline Bytes pcrPacket(std::uint16_t pid, std::uint8_t cc, std::uint64_t pcr, bool payload = false,
                       bool discontinuity = false) {
  Bytes p(kPacketSize, 0xFF);
  writeHeader(p.data(), pid, false, payload ? kAdaptationAndPayload : kAdaptationOnly, cc);
  const std::size_t fieldLength = payload ? 1 + kPcrSize : kPacketSize - kAdaptationFlagsOffset;
  p[kAdaptationLengthOffset] = static_cast<std::uint8_t>(fieldLength);
  p[kAdaptationFlagsOffset] = static_cast<std::uint8_t>(kPcrFlag | (discontinuity ? kDiscontinuityMask : 0));
  pcr %= kPcrModulus;
  const std::uint64_t base = pcr / kPcrTicksPerBase;
  const std::uint64_t ext = pcr % kPcrTicksPerBase;
  std::uint8_t* f = p.data() + kAdaptationFlagsOffset + 1;
  f[0] = static_cast<std::uint8_t>(base >> 25);
  f[1] = static_cast<std::uint8_t>(base >> 17);
  f[2] = static_cast<std::uint8_t>(base >> 9);
  f[3] = static_cast<std::uint8_t>(base >> 1);
  f[4] = static_cast<std::uint8_t>(((base & 1) << 7) | 0x7E | ((ext >> 8) & 1));
  f[5] = static_cast<std::uint8_t>(ext & 0xFF);
  if (payload)
    std::fill(p.begin() + static_cast<std::ptrdiff_t>(kAdaptationFlagsOffset + fieldLength), p.end(), 0xAA);
  return p;
}

/// A packet starting a video PES packet whose header carries `pts` (90 kHz ticks).
inline Bytes ptsPacket(std::uint16_t pid, std::uint8_t cc, std::uint64_t pts) {
  Bytes p(kPacketSize, 0xAA);
  writeHeader(p.data(), pid, true, kPayloadOnly, cc);
  const std::uint8_t header[] = {
      0x00, 0x00, 0x01, kVideoStreamId, 0x00, 0x00, kPesMarkerBits, kPtsOnlyFlags, kPtsLength,
      static_cast<std::uint8_t>(kPtsPrefix | ((pts >> 29) & 0x0E) | 1),
      static_cast<std::uint8_t>(pts >> 22),
      static_cast<std::uint8_t>(((pts >> 14) & 0xFE) | 1),
      static_cast<std::uint8_t>(pts >> 7),
      static_cast<std::uint8_t>(((pts << 1) & 0xFE) | 1)};
  std::copy(std::begin(header), std::end(header), p.begin() + kHeaderSize);
  return p;
}

/// Sets transport_scrambling_control to `bits` (0..3).
inline Bytes scrambled(Bytes p, std::uint8_t bits = kScrambledEven) {
  p[3] = static_cast<std::uint8_t>((p[3] & ~kScramblingMask) | (bits << 6));
  return p;
}

// ---- Sections -------------------------------------------------------------------

/// A section with the long header (section_syntax_indicator 1) and its CRC_32.
inline Bytes longSection(std::uint8_t tableId, std::uint16_t extension, std::uint8_t version,
                         const Bytes& body, bool current = true) {
  const std::size_t length = 5 + body.size() + kCrcSize;  // after the length field
  Bytes s{tableId, static_cast<std::uint8_t>(kSectionSyntaxBits | (length >> 8)),
          static_cast<std::uint8_t>(length & 0xFF), static_cast<std::uint8_t>(extension >> 8),
          static_cast<std::uint8_t>(extension & 0xFF),
          static_cast<std::uint8_t>(0xC0 | ((version & 0x1F) << 1) | (current ? 1 : 0)), 0x00, 0x00};
  s.insert(s.end(), body.begin(), body.end());
  const std::uint32_t crc = crc32Mpeg(s);
  for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<std::uint8_t>(crc >> shift));
  return s;
}

/// The same section with its last CRC byte changed.
inline Bytes badCrc(Bytes section) {
  section.back() ^= 0x5A;
  return section;
}

inline void putPid(Bytes& b, std::uint16_t pid) {
  b.push_back(static_cast<std::uint8_t>(kReservedPidBits | (pid >> 8)));
  b.push_back(static_cast<std::uint8_t>(pid & 0xFF));
}

inline Bytes patSection(const std::vector<PatEntry>& programs, std::uint8_t version = 0,
                        std::uint16_t tsId = 1) {
  Bytes body;
  for (const PatEntry& e : programs) {
    body.push_back(static_cast<std::uint8_t>(e.program >> 8));
    body.push_back(static_cast<std::uint8_t>(e.program & 0xFF));
    putPid(body, e.pmtPid);
  }
  return longSection(kPatTableId, tsId, version, body);
}

inline Bytes pmtSection(std::uint16_t program, std::uint16_t pcrPid, const std::vector<PmtStream>& streams,
                        std::uint8_t version = 0) {
  Bytes body;
  putPid(body, pcrPid);
  body.push_back(kReservedInfoBits);  // program_info_length 0
  body.push_back(0x00);
  for (const PmtStream& s : streams) {
    body.push_back(s.streamType);
    putPid(body, s.pid);
    body.push_back(kReservedInfoBits);  // ES_info_length 0
    body.push_back(0x00);
  }
  return longSection(kPmtTableId, program, version, body);
}

/// A CAT naming one conditional-access system whose EMMs come on `emmPid`.
inline Bytes catSection(std::uint16_t emmPid = 0x1F0, std::uint8_t version = 0) {
  constexpr std::uint8_t kCaDescriptor = 0x09;
  Bytes body{kCaDescriptor, 4, 0x0B, 0x00};  // CA_system_id 0x0B00
  putPid(body, emmPid);
  return longSection(kCatTableId, 0xFFFF, version, body);
}

/// A TOT: UTC time and an empty descriptor loop, with a CRC_32 though its
/// section_syntax_indicator is 0.
inline Bytes totSection() {
  Bytes s{kTotTableId, 0x70, 0x00, 0xE7, 0x3C, 0x12, 0x00, 0x00, kReservedInfoBits, 0x00};
  s[2] = static_cast<std::uint8_t>(s.size() - kSectionHeaderSize + kCrcSize);
  const std::uint32_t crc = crc32Mpeg(s);
  for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<std::uint8_t>(crc >> shift));
  return s;
}

/// A TDT: UTC time only, no CRC.
inline Bytes tdtSection() { return {kTdtTableId, 0x70, 0x05, 0xE7, 0x3C, 0x12, 0x00, 0x00}; }

/// `sections` one after another from the first payload byte of a run of packets of
/// `pid` with counters from `cc`: a packet in which a section starts has
/// payload_unit_start and a pointer_field to it; the last packet is filled with 0xFF.
inline std::vector<Bytes> sectionPackets(std::uint16_t pid, std::uint8_t cc, const std::vector<Bytes>& sections) {
  Bytes stream;
  std::vector<std::size_t> starts;
  for (const Bytes& s : sections) {
    starts.push_back(stream.size());
    stream.insert(stream.end(), s.begin(), s.end());
  }
  std::vector<Bytes> out;
  for (std::size_t pos = 0; pos < stream.size();) {
    Bytes p(kPacketSize, 0xFF);
    std::size_t startHere = stream.size();
    for (std::size_t s : starts)
      if (s >= pos && s < pos + kPayloadSize - kPointerFieldSize) {
        startHere = s;
        break;
      }
    const bool unitStart = startHere < stream.size();
    if (!unitStart)
      for (std::size_t s : starts)
        if (s == pos + kPayloadSize - kPointerFieldSize) throw std::logic_error("section start unreachable");
    writeHeader(p.data(), pid, unitStart, kPayloadOnly, static_cast<std::uint8_t>(cc++ % kContinuityModulus));
    std::size_t at = kHeaderSize;
    if (unitStart) p[at++] = static_cast<std::uint8_t>(startHere - pos);
    const std::size_t n = std::min(kPacketSize - at, stream.size() - pos);
    std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(pos), n, p.begin() + static_cast<std::ptrdiff_t>(at));
    pos += n;
    out.push_back(std::move(p));
  }
  return out;
}

/// A packet carrying one section from its first payload byte.
inline Bytes sectionPacket(std::uint16_t pid, std::uint8_t cc, const Bytes& section) {
  return sectionPackets(pid, cc, {section}).front();
}

/// The test stream's PAT: program 1 on kPmtPid.
inline Bytes patPacket(std::uint8_t cc) { return sectionPacket(kPatPid, cc, patSection({{1, kPmtPid}})); }

/// The test stream's PMT: video on kVideoPid, which also carries the PCR.
inline Bytes pmtPacket(std::uint8_t cc) {
  return sectionPacket(kPmtPid, cc, pmtSection(1, kVideoPid, {{kVideoType, kVideoPid}}));
}

inline Bytes catPacket(std::uint8_t cc) { return sectionPacket(kCatPid, cc, catSection()); }

// ---- Datagrams and counters -----------------------------------------------------

/// Packets one after another in one datagram; 204-byte packets get 16 parity bytes.
inline Bytes datagram(const std::vector<Bytes>& packets, std::size_t size = kPacketSize) {
  Bytes d;
  for (const Bytes& p : packets) {
    d.insert(d.end(), p.begin(), p.end());
    d.insert(d.end(), size - kPacketSize, 0x00);
  }
  return d;
}

/// The next continuity counter of each PID, as a well-behaved sender keeps them.
class Counters {
 public:
  std::uint8_t operator()(std::uint16_t pid) {
    const std::uint8_t cc = next_[pid];
    next_[pid] = static_cast<std::uint8_t>((cc + 1) % kContinuityModulus);
    return cc;
  }
  /// The counter of the last payload packet (for packets without payload).
  std::uint8_t last(std::uint16_t pid) const {
    return static_cast<std::uint8_t>((next_[pid] + kContinuityModulus - 1) % kContinuityModulus);
  }

 private:
  std::array<std::uint8_t, kPidCount> next_{};
};

}  // namespace vexil::stream::testing
