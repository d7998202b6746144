// Packets and datagrams made byte by byte for the analyser tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "stream/Psi.h"
#include "stream/StreamAnalyser.h"
#include "stream/TsPacket.h"

namespace vexil::stream::testing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint16_t kPmtPid = 0x100;
inline constexpr std::uint16_t kVideoPid = 0x101;

/// A payload-only packet of `pid` with counter `cc`, payload bytes 0xAA.
inline Bytes packet(std::uint16_t pid, std::uint8_t cc, bool tei = false) {
  Bytes p(kPacketSize, 0xAA);
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

/// A packet carrying one section from its first payload byte.
inline Bytes sectionPacket(std::uint16_t pid, std::uint8_t cc, const Bytes& section) {
  Bytes p(kPacketSize, 0xFF);
  writeHeader(p.data(), pid, true, kPayloadOnly, cc);
  p[kHeaderSize] = 0;
  std::copy(section.begin(), section.end(), p.begin() + kHeaderSize + 1);
  return p;
}

inline Bytes patPacket(std::uint8_t cc) {
  const PatEntry e{1, kPmtPid};
  return sectionPacket(kPatPid, cc, buildPat(1, std::span<const PatEntry>(&e, 1)));
}

inline Bytes pmtPacket(std::uint8_t cc) {
  return sectionPacket(kPmtPid, cc, buildPmt(Pmt{1, kVideoPid, {{0x02, kVideoPid}}}));
}

/// Packets one after another in one datagram; 204-byte packets get 16 parity bytes.
inline Bytes datagram(const std::vector<Bytes>& packets, std::size_t size = kPacketSize) {
  Bytes d;
  for (const Bytes& p : packets) {
    d.insert(d.end(), p.begin(), p.end());
    d.insert(d.end(), size - kPacketSize, 0x00);
  }
  return d;
}

/// A time `ms` milliseconds after an arbitrary start.
inline TimePoint at(long long ms) { return TimePoint{} + std::chrono::milliseconds(ms); }

}  // namespace vexil::stream::testing
