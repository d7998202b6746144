#include "sim/ProgramClock.h"

#include <algorithm>

namespace vexil::sim {
namespace {

constexpr std::uint8_t kPcrReservedBits = 0x7E;  // six reserved bits between base and ext
constexpr std::uint8_t kPtsOnlyPrefix = 0x20;    // '0010' in the first byte's top nibble
constexpr std::uint8_t kMarkerBit = 0x01;
constexpr int kPtsHighShift = 30;                // bits 32-30 in the first byte
constexpr int kPtsMidShift = 15;                 // bits 29-15 in bytes 1-2
constexpr std::uint64_t kPtsPartMask = 0x7FFF;   // 15 bits
constexpr std::uint64_t kPtsHighMask = 0x07;     // 3 bits

}  // namespace

ProgramClock::ProgramClock(std::uint32_t packetsPerSecond) : rate_(std::max<std::uint32_t>(packetsPerSecond, 1)) {}

void ProgramClock::setRate(std::uint32_t packetsPerSecond, std::uint64_t packet) {
  const std::uint32_t rate = std::max<std::uint32_t>(packetsPerSecond, 1);
  if (rate == rate_) return;
  baseTicks_ = steadyTicksAt(packet);
  basePacket_ = packet;
  rate_ = rate;
}

std::uint64_t ProgramClock::steadyTicksAt(std::uint64_t packet) const {
  // Whole seconds apart so the product stays far from overflow however long it runs.
  const std::uint64_t n = packet - basePacket_;
  return baseTicks_ + (n / rate_) * kClockHz + (n % rate_) * kClockHz / rate_;
}

std::uint64_t ProgramClock::ticksAt(std::uint64_t packet) const { return steadyTicksAt(packet) + offset_; }

void writePcrField(std::uint8_t* f, std::uint64_t ticks) {
  const std::uint64_t pcr = ticks % stream::kPcrModulus;
  const std::uint64_t base = pcr / kTicksPer90k;
  const std::uint64_t ext = pcr % kTicksPer90k;
  f[0] = static_cast<std::uint8_t>(base >> 25);
  f[1] = static_cast<std::uint8_t>(base >> 17);
  f[2] = static_cast<std::uint8_t>(base >> 9);
  f[3] = static_cast<std::uint8_t>(base >> 1);
  f[4] = static_cast<std::uint8_t>(((base & 1) << 7) | kPcrReservedBits | ((ext >> 8) & 1));
  f[5] = static_cast<std::uint8_t>(ext & 0xFF);
}

std::uint64_t readPcrField(const std::uint8_t* f) {
  const std::uint64_t base = (std::uint64_t{f[0]} << 25) | (std::uint64_t{f[1]} << 17) |
                             (std::uint64_t{f[2]} << 9) | (std::uint64_t{f[3]} << 1) | (f[4] >> 7);
  const std::uint64_t ext = (std::uint64_t{f[4] & 1u} << 8) | f[5];
  return base * kTicksPer90k + ext;
}

void writePtsField(std::uint8_t* f, std::uint64_t pts) {
  const std::uint64_t v = pts % kPtsModulus;
  const std::uint64_t mid = (v >> kPtsMidShift) & kPtsPartMask;
  const std::uint64_t low = v & kPtsPartMask;
  f[0] = static_cast<std::uint8_t>(kPtsOnlyPrefix | (((v >> kPtsHighShift) & kPtsHighMask) << 1) | kMarkerBit);
  f[1] = static_cast<std::uint8_t>(mid >> 7);
  f[2] = static_cast<std::uint8_t>(((mid << 1) & 0xFE) | kMarkerBit);
  f[3] = static_cast<std::uint8_t>(low >> 7);
  f[4] = static_cast<std::uint8_t>(((low << 1) & 0xFE) | kMarkerBit);
}

std::uint64_t readPtsField(const std::uint8_t* f) {
  const std::uint64_t high = (f[0] >> 1) & kPtsHighMask;
  const std::uint64_t mid = (std::uint64_t{f[1]} << 7) | (f[2] >> 1);
  const std::uint64_t low = (std::uint64_t{f[3]} << 7) | (f[4] >> 1);
  return (high << kPtsHighShift) | (mid << kPtsMidShift) | low;
}

}  // namespace vexil::sim
