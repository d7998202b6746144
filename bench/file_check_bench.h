// The file-check bench's stream: one programme at a constant rate, packet by packet.
// PAT and PMT every 100 ms, a video PID that is also the PCR PID with a PCR every 20 ms
// and a PES with a PTS every 40 ms (25 frames/s), and 1 packet in 20 a null packet.
// Every time stamp follows from the packet's position at the constant rate, so the
// PCRs are exact and an analyser should find nothing wrong.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "stream/Psi.h"
#include "stream/TsPacket.h"

namespace vexil::bench {

using namespace vexil::stream;

inline constexpr std::uint16_t kBenchPmtPid = 0x100;
inline constexpr std::uint16_t kBenchVideoPid = 0x101;
inline constexpr std::uint16_t kBenchProgram = 1;
inline constexpr std::uint16_t kBenchTransportStreamId = 1;
inline constexpr std::uint8_t kStreamTypeH264 = 0x1B;
inline constexpr std::uint8_t kVideoStreamId = 0xE0;
inline constexpr std::uint64_t kMillisecond = kPcrHz / 1000;  // in 27 MHz ticks
inline constexpr std::uint64_t kPsiInterval = 100 * kMillisecond;
inline constexpr std::uint64_t kPcrInterval = 20 * kMillisecond;
inline constexpr std::uint64_t kFrameInterval = 40 * kMillisecond;
inline constexpr std::uint64_t kPtsAhead = 700 * kMillisecond;  // decoder delay
inline constexpr std::uint64_t kFirstPcr = 10'000 * kMillisecond;
inline constexpr std::uint64_t kNullEvery = 20;
inline constexpr std::uint64_t kPtsModulus = kPcrBaseModulus;  // 33 bits at 90 kHz
inline constexpr std::uint8_t kElementaryFill = 0xA5;
inline constexpr std::uint8_t kStuffing = 0xFF;

// PES header with a PTS only: start code, stream id, length 0 (unbounded, allowed for
// video), '10' marker byte, PTS_DTS_flags '10', header_data_length 5, the PTS.
inline constexpr std::uint8_t kPesMarkerByte = 0x80;
inline constexpr std::uint8_t kPtsOnlyPrefix = 0x21;  // '0010', then a marker bit
inline constexpr std::uint8_t kMarkerBit = 0x01;
inline constexpr std::uint8_t kPcrReservedBits = 0x7E;
inline constexpr std::size_t kPcrAdaptationLength = 1 + kPcrSize;  // flags byte and PCR

/// Writes the 33-bit PTS at `p` in the PES header's five bytes with marker bits.
inline void writePts(std::uint8_t* p, std::uint64_t pts) {
  p[0] = static_cast<std::uint8_t>(kPtsOnlyPrefix | ((pts >> 29) & 0x0E));
  p[1] = static_cast<std::uint8_t>(pts >> 22);
  p[2] = static_cast<std::uint8_t>(kMarkerBit | ((pts >> 14) & 0xFE));
  p[3] = static_cast<std::uint8_t>(pts >> 7);
  p[4] = static_cast<std::uint8_t>(kMarkerBit | ((pts << 1) & 0xFE));
}

/// Writes the PCR `ticks` (27 MHz) at `p`: 33-bit base, 6 reserved bits, 9-bit extension.
inline void writePcr(std::uint8_t* p, std::uint64_t ticks) {
  const std::uint64_t base = (ticks / kPcrPerBase) % kPcrBaseModulus;
  const std::uint64_t extension = ticks % kPcrPerBase;
  p[0] = static_cast<std::uint8_t>(base >> 25);
  p[1] = static_cast<std::uint8_t>(base >> 17);
  p[2] = static_cast<std::uint8_t>(base >> 9);
  p[3] = static_cast<std::uint8_t>(base >> 1);
  p[4] = static_cast<std::uint8_t>(((base & 1) << 7) | kPcrReservedBits | (extension >> 8));
  p[5] = static_cast<std::uint8_t>(extension);
}

/// The stream, one 188-byte packet per call. Not thread-safe.
class ConstantRateStream {
 public:
  explicit ConstantRateStream(double bitsPerSecond)
      : ticksPerPacket_(static_cast<double>(kPacketSize * 8 * kPcrHz) / bitsPerSecond) {
    const PatEntry program{kBenchProgram, kBenchPmtPid};
    pat_ = buildPat(kBenchTransportStreamId, std::span<const PatEntry>(&program, 1));
    pmt_ = buildPmt(Pmt{kBenchProgram, kBenchVideoPid, {{kStreamTypeH264, kBenchVideoPid}}});
  }

  void next(std::uint8_t* out) {
    const auto now =
        static_cast<std::uint64_t>(std::llround(static_cast<double>(index_) * ticksPerPacket_));
    if (now >= nextPat_) {
      section(out, kPatPid, patCc_, pat_);
      nextPat_ += kPsiInterval;
    } else if (now >= nextPmt_) {
      section(out, kBenchPmtPid, pmtCc_, pmt_);
      nextPmt_ += kPsiInterval;
    } else if (index_ % kNullEvery == kNullEvery - 1) {
      std::memset(out, kStuffing, kPacketSize);
      writeHeader(out, kNullPid, false, kPayloadOnly, 0);
    } else {
      video(out, now);
    }
    ++index_;
  }

 private:
  static void section(std::uint8_t* out, std::uint16_t pid, std::uint8_t& cc,
                      const std::vector<std::uint8_t>& bytes) {
    std::memset(out, kStuffing, kPacketSize);
    writeHeader(out, pid, true, kPayloadOnly, cc++);
    out[kHeaderSize] = 0;  // pointer_field: the section starts at once
    std::memcpy(out + kHeaderSize + kPointerFieldSize, bytes.data(), bytes.size());
  }

  void video(std::uint8_t* out, std::uint64_t now) {
    const bool pcr = now >= nextPcr_;
    const bool frame = now >= nextFrame_;
    std::memset(out, kElementaryFill, kPacketSize);
    writeHeader(out, kBenchVideoPid, frame, pcr ? kAdaptationAndPayload : kPayloadOnly, videoCc_++);
    std::size_t at = kHeaderSize;
    if (pcr) {
      out[kAdaptationLengthOffset] = kPcrAdaptationLength;
      out[kAdaptationFlagsOffset] = kPcrFlagMask;
      writePcr(out + kPcrOffset, kFirstPcr + now);
      at = kAdaptationFlagsOffset + kPcrAdaptationLength;
      nextPcr_ += kPcrInterval;
    }
    if (frame) {
      std::uint8_t* pes = out + at;
      const std::array<std::uint8_t, kPesPtsOffset> head = {
          0, 0, 1, kVideoStreamId, 0, 0, kPesMarkerByte, kPesPtsFlagMask, kPesPtsSize};
      std::memcpy(pes, head.data(), head.size());
      writePts(pes + kPesPtsOffset,
               ((kFirstPcr + nextFrame_ + kPtsAhead) / kPcrPerBase) % kPtsModulus);
      nextFrame_ += kFrameInterval;
    }
  }

  double ticksPerPacket_;
  std::vector<std::uint8_t> pat_, pmt_;
  std::uint64_t index_ = 0;
  std::uint64_t nextPat_ = 0, nextPmt_ = 0, nextPcr_ = 0, nextFrame_ = 0;
  std::uint8_t patCc_ = 0, pmtCc_ = 0, videoCc_ = 0;  // written modulo 16 by writeHeader
};

}  // namespace vexil::bench
