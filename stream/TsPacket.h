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
