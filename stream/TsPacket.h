// MPEG transport-stream packet layout: every constant of the packet header and of the
// adaptation field is named here once, beside the one accessor that reads it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexil::stream {

// ---- Packet sizes -----------------------------------------------------------------
inline constexpr std::size_t kPacketSize = 188;        // ISO/IEC 13818-1 packet
inline constexpr std::size_t kParityBytes = 16;        // Reed-Solomon parity of DVB
inline constexpr std::size_t kRsPacketSize = kPacketSize + kParityBytes;  // 204
inline constexpr std::size_t kHeaderSize = 4;
inline constexpr std::uint8_t kSyncByte = 0x47;

// ---- PIDs -------------------------------------------------------------------------
inline constexpr std::uint16_t kPatPid = 0x0000;
inline constexpr std::uint16_t kCatPid = 0x0001;
inline constexpr std::uint16_t kNullPid = 0x1FFF;
inline constexpr std::size_t kPidCount = 0x2000;       // 13-bit PID space

// ---- Header fields ----------------------------------------------------------------
inline constexpr std::size_t kSyncOffset = 0;
inline constexpr std::uint8_t kTeiMask = 0x80;          // byte 1, bit 7
inline constexpr std::uint8_t kPusiMask = 0x40;         // byte 1, bit 6
inline constexpr std::uint8_t kPidHighMask = 0x1F;      // byte 1, PID bits 12-8
inline constexpr std::uint8_t kScramblingMask = 0xC0;   // byte 3, bits 7-6
inline constexpr std::uint8_t kAdaptationMask = 0x30;   // byte 3, bits 5-4
inline constexpr int kAdaptationShift = 4;
inline constexpr std::uint8_t kContinuityMask = 0x0F;   // byte 3, bits 3-0
inline constexpr std::uint8_t kContinuityModulus = 16;

// adaptation_field_control values (2 bits).
inline constexpr std::uint8_t kPayloadOnly = 0x1;
inline constexpr std::uint8_t kAdaptationOnly = 0x2;
inline constexpr std::uint8_t kAdaptationAndPayload = 0x3;

// ---- Adaptation field ---------------------------------------------------------------
inline constexpr std::size_t kAdaptationLengthOffset = 4;
inline constexpr std::size_t kAdaptationFlagsOffset = 5;
inline constexpr std::uint8_t kDiscontinuityMask = 0x80;  // flags byte, bit 7
inline constexpr std::uint8_t kPcrFlagMask = 0x10;        // flags byte, bit 4
inline constexpr std::size_t kPcrOffset = kAdaptationFlagsOffset + 1;
inline constexpr std::size_t kPcrSize = 6;                // 33-bit base, 6 reserved, 9-bit extension
inline constexpr std::uint64_t kPcrPerBase = 300;         // the base counts at 27 MHz / 300
inline constexpr std::uint64_t kPcrHz = 27'000'000;
inline constexpr std::uint64_t kPcrBaseModulus = std::uint64_t{1} << 33;
inline constexpr std::uint64_t kPcrModulus = kPcrBaseModulus * kPcrPerBase;

// ---- PES header (ISO/IEC 13818-1, 2.4.3.6) --------------------------------------------
inline constexpr std::size_t kPesStreamIdOffset = 3;       // after the 00 00 01 start code
inline constexpr std::size_t kPesFlags2Offset = 7;         // PTS_DTS_flags in bits 7-6
inline constexpr std::uint8_t kPesPtsFlagMask = 0x80;
inline constexpr std::size_t kPesPtsOffset = 9;
inline constexpr std::size_t kPesPtsSize = 5;
// Stream ids whose PES header has no optional fields (and so no PTS).
inline constexpr std::uint8_t kProgramStreamMap = 0xBC;
inline constexpr std::uint8_t kPaddingStream = 0xBE;
inline constexpr std::uint8_t kPrivateStream2 = 0xBF;
inline constexpr std::uint8_t kEcmStream = 0xF0;
inline constexpr std::uint8_t kEmmStream = 0xF1;
inline constexpr std::uint8_t kDsmccStream = 0xF2;
inline constexpr std::uint8_t kH2221TypeE = 0xF8;
inline constexpr std::uint8_t kProgramStreamDirectory = 0xFF;

/// Read-only view of one 188-byte packet at `p` (the caller guarantees 188 bytes).
/// Every accessor reads one field; nothing is checked beyond what its name says.
class PacketView {
 public:
  explicit PacketView(const std::uint8_t* p) : p_(p) {}

  /// Sync byte - 8 bits.
  bool hasSync() const { return p_[kSyncOffset] == kSyncByte; }
  /// transport_error_indicator - 1 bit.
  bool transportError() const { return (p_[1] & kTeiMask) != 0; }
  /// payload_unit_start_indicator - 1 bit.
  bool unitStart() const { return (p_[1] & kPusiMask) != 0; }
  /// PID - 13 bits.
  std::uint16_t pid() const {
    return static_cast<std::uint16_t>(((p_[1] & kPidHighMask) << 8) | p_[2]);
  }
  /// transport_scrambling_control - 2 bits.
  std::uint8_t scrambling() const { return static_cast<std::uint8_t>((p_[3] & kScramblingMask) >> 6); }
  /// adaptation_field_control - 2 bits.
  std::uint8_t adaptationControl() const {
    return static_cast<std::uint8_t>((p_[3] & kAdaptationMask) >> kAdaptationShift);
  }
  /// continuity_counter - 4 bits.
  std::uint8_t continuity() const { return p_[3] & kContinuityMask; }
  bool hasPayload() const { return (adaptationControl() & kPayloadOnly) != 0; }
  bool hasAdaptation() const { return (adaptationControl() & kAdaptationOnly) != 0; }
  /// discontinuity_indicator - 1 bit, in an adaptation field of at least one byte.
  bool discontinuity() const {
    return hasAdaptation() && p_[kAdaptationLengthOffset] > 0 &&
           (p_[kAdaptationFlagsOffset] & kDiscontinuityMask) != 0;
  }
  /// adaptation_field_length - 8 bits; 0 without an adaptation field.
  std::size_t adaptationLength() const { return hasAdaptation() ? p_[kAdaptationLengthOffset] : 0; }
  /// PCR_flag - 1 bit, in an adaptation field long enough to hold the PCR.
  bool hasPcr() const {
    return hasAdaptation() && p_[kAdaptationLengthOffset] >= 1 + kPcrSize &&
           p_[kAdaptationLengthOffset] < kPacketSize - kHeaderSize &&
           (p_[kAdaptationFlagsOffset] & kPcrFlagMask) != 0;
  }
  /// program_clock_reference - base * 300 + extension, in 27 MHz ticks (when hasPcr()).
  std::uint64_t pcr() const {
    const std::uint8_t* f = p_ + kPcrOffset;
    const std::uint64_t base = (std::uint64_t{f[0]} << 25) | (std::uint64_t{f[1]} << 17) |
                               (std::uint64_t{f[2]} << 9) | (std::uint64_t{f[3]} << 1) | (f[4] >> 7);
    const std::uint64_t extension = (std::uint64_t{f[4]} & 0x01) << 8 | f[5];
    return base * kPcrPerBase + extension;
  }
  /// Offset of the payload in the packet; kPacketSize when there is none or the
  /// adaptation field claims the whole packet.
  std::size_t payloadOffset() const {
    if (!hasPayload()) return kPacketSize;
    if (!hasAdaptation()) return kHeaderSize;
    const std::size_t at = kAdaptationFlagsOffset + p_[kAdaptationLengthOffset];
    return at < kPacketSize ? at : kPacketSize;
  }
  const std::uint8_t* bytes() const { return p_; }

 private:
  const std::uint8_t* p_;
};

/// Whether a payload that starts a PES packet carries a PTS (start code, a stream id
/// with optional header fields, PTS_DTS_flags '1x', and room for the PTS).
inline bool pesHasPts(const std::uint8_t* payload, std::size_t size) {
  if (size < kPesPtsOffset + kPesPtsSize || payload[0] != 0 || payload[1] != 0 || payload[2] != 1)
    return false;
  switch (payload[kPesStreamIdOffset]) {
    case kProgramStreamMap: case kPaddingStream: case kPrivateStream2: case kEcmStream:
    case kEmmStream: case kDsmccStream: case kH2221TypeE: case kProgramStreamDirectory:
      return false;
    default:
      return (payload[kPesFlags2Offset] & kPesPtsFlagMask) != 0;
  }
}

/// Writes the four header bytes of a packet.
inline void writeHeader(std::uint8_t* p, std::uint16_t pid, bool unitStart, std::uint8_t adaptation,
                        std::uint8_t continuity) {
  p[kSyncOffset] = kSyncByte;
  p[1] = static_cast<std::uint8_t>((unitStart ? kPusiMask : 0) | ((pid >> 8) & kPidHighMask));
  p[2] = static_cast<std::uint8_t>(pid & 0xFF);
  p[3] = static_cast<std::uint8_t>((adaptation << kAdaptationShift) | (continuity & kContinuityMask));
}

/// Sets or clears transport_error_indicator.
inline void setTransportError(std::uint8_t* p, bool on) {
  p[1] = static_cast<std::uint8_t>(on ? (p[1] | kTeiMask) : (p[1] & ~kTeiMask));
}

}  // namespace vexil::stream
