// The program clock of a synthetic stream: a 27 MHz count that advances by the same
// number of ticks for every packet made, so a PCR sits exactly where the byte count and
// the nominal rate put it; and the PCR and PTS fields that carry it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "stream/TsPacket.h"

namespace vexil::sim {

// The clock's units and field sizes are those the analyser reads (stream/TsPacket.h).
inline constexpr std::uint64_t kClockHz = stream::kPcrHz;           // PCR ticks per second
inline constexpr std::uint64_t kTicksPer90k = stream::kPcrPerBase;   // base and PTS run at 90 kHz
inline constexpr std::uint64_t kPtsModulus = stream::kPcrBaseModulus;  // 33-bit PTS

/// Ticks (27 MHz) at the start of each packet of a stream sent at a constant nominal
/// packet rate: ticks(k) = k * 27e6 / rate, computed from the packet count each time so
/// fractions of a tick never accumulate. A change of rate goes on from the tick reached;
/// jumps add to every later reading. Not thread-safe.
class ProgramClock {
 public:
  explicit ProgramClock(std::uint32_t packetsPerSecond);

  /// Takes a new nominal rate (packets/s, 0 is taken as 1) from packet `packet` on.
  void setRate(std::uint32_t packetsPerSecond, std::uint64_t packet);
  std::uint32_t rate() const { return rate_; }
  /// Moves the clock ahead by `ticks` for every later reading.
  void jump(std::uint64_t ticks) { offset_ += ticks; }
  /// Ticks at the start of packet `packet` (not wrapped; `packet` never before the last
  /// setRate).
  std::uint64_t ticksAt(std::uint64_t packet) const;
  /// The same without the jumps: time along the stream as the rate puts it.
  std::uint64_t steadyTicksAt(std::uint64_t packet) const;

 private:
  std::uint32_t rate_;
  std::uint64_t basePacket_ = 0;  // packet of the last rate change
  std::uint64_t baseTicks_ = 0;   // steady ticks reached there
  std::uint64_t offset_ = 0;      // sum of the jumps
};

/// Writes program_clock_reference (base = ticks / 300, extension = ticks % 300, wrapped
/// at 2^33 * 300) into the stream::kPcrSize bytes at `f`.
void writePcrField(std::uint8_t* f, std::uint64_t ticks);
/// Reads the six bytes at `f` back into ticks.
std::uint64_t readPcrField(const std::uint8_t* f);
/// Writes a PTS (90 kHz, wrapped at 2^33) into the stream::kPesPtsSize bytes at `f`: the 4-bit prefix
/// '0010' (PTS only), then bits 32-30, 29-15 and 14-0, each group ended by a marker 1.
void writePtsField(std::uint8_t* f, std::uint64_t pts);
/// Reads the five bytes at `f` back into a PTS; nothing is checked.
std::uint64_t readPtsField(const std::uint8_t* f);

}  // namespace vexil::sim
