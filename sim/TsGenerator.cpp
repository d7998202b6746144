#include "sim/TsGenerator.h"

#include <algorithm>

#include "stream/Psi.h"

namespace vexil::sim {
namespace {

using namespace vexil::stream;

constexpr std::uint16_t kPidsPerInput = 0x100;
constexpr std::uint16_t kVideoOffset = 1;
constexpr std::uint16_t kAudioOffset = 2;

// PES header: start code prefix, stream id, length 0 (unbounded), flags, no fields.
constexpr std::uint8_t kVideoStreamId = 0xE0;
constexpr std::uint8_t kAudioStreamId = 0xC0;
constexpr std::size_t kPesHeaderSize = 9;
constexpr std::uint8_t kPesFlags1 = 0x80;  // '10' marker bits, nothing else

// Adaptation field with a PCR and stuffing filling the packet.
constexpr std::uint8_t kPcrFlag = 0x10;
constexpr std::size_t kPcrOffset = kAdaptationFlagsOffset + 1;
constexpr std::uint8_t kStuffing = 0xFF;
constexpr std::uint64_t kPcrHz = 27'000'000;
constexpr std::uint64_t kPcrBaseDivisor = 300;     // the base runs at 90 kHz
constexpr std::uint8_t kPcrReservedBits = 0x7E;
constexpr std::uint64_t kNsPerSecond = 1'000'000'000;

// Payload filler: never 0x47, so a resynchronising reader is not misled by it.
constexpr std::uint8_t kFillerBase = 0x80;
constexpr std::uint8_t kFillerSpan = 0x40;

constexpr int kSyncLossLength = 5;  // bad sync bytes in a row, enough for a loss
constexpr std::uint8_t kBadSync = 0x46;

}  // namespace

InputProgram InputProgram::forInput(int input) {
  const auto n = static_cast<std::uint16_t>(input);
  const auto base = static_cast<std::uint16_t>(kPidsPerInput * n);
  return {n, base, static_cast<std::uint16_t>(base + kVideoOffset),
          static_cast<std::uint16_t>(input % 2 ? base + kAudioOffset : 0)};
}

TsGenerator::TsGenerator(int input) : program_(InputProgram::forInput(input)) {
  const PatEntry entry{program_.programNumber, program_.pmtPid};
  pat_ = buildPat(program_.programNumber, std::span<const PatEntry>(&entry, 1));
  Pmt pmt{program_.programNumber, program_.videoPid, {{kVideoStreamType, program_.videoPid}}};
  if (program_.audioPid) pmt.streams.push_back({kAudioStreamType, program_.audioPid});
  pmt_ = buildPmt(pmt);
}

TsGenerator::Kind TsGenerator::pick(std::chrono::nanoseconds at, const StreamFaults& faults) {
  if (pending_ == 0 && at - lastPsi_ >= kPsiPeriod) {
    lastPsi_ = at;
    pending_ = 3;
  }
  while (pending_ > 0) {
    const int step = pending_--;
    if (step == 3 && !(faults.patStopsAfter && at >= *faults.patStopsAfter)) return Kind::Pat;
    if (step == 2 && !(faults.pmtStopsAfter && at >= *faults.pmtStopsAfter)) return Kind::Pmt;
    if (step == 1) return Kind::Pcr;
  }
  const std::uint64_t slot = slot_++;
  if (slot % kNullEvery == kNullEvery - 1) return Kind::Null;
  // Two elementary streams share out the rest three to one.
  if (program_.audioPid && slot % 4 == 3) return Kind::Audio;
  return Kind::Video;
}

Packet TsGenerator::next(std::chrono::nanoseconds at, const StreamFaults& faults) {
  Kind kind = pick(at, faults);
  const auto pidOf = [this](Kind k) { return k == Kind::Audio ? program_.audioPid : program_.videoPid; };
  const bool dropped = (kind == Kind::Video || kind == Kind::Audio || kind == Kind::Pcr) &&
                       faults.droppedPid && *faults.droppedPid == pidOf(kind) &&
                       at >= faults.pidDropsAfter;
  if (dropped) kind = Kind::Null;  // the rate stays, the PID is gone

  Packet p;
  switch (kind) {
    case Kind::Pat: p = section(kPatPid, pat_); break;
    case Kind::Pmt: p = section(program_.pmtPid, pmt_); break;
    case Kind::Pcr: p = pcrPacket(at); break;
    case Kind::Video: p = elementary(program_.videoPid, kVideoStreamId); break;
    case Kind::Audio: p = elementary(program_.audioPid, kAudioStreamId); break;
    case Kind::Null:
      p.fill(kStuffing);
      writeHeader(p.data(), kNullPid, false, kPayloadOnly, 0);
      break;
  }
  ++made_;
  applyFaults(p, kind == Kind::Video || kind == Kind::Audio, faults);
  return p;
}

std::uint8_t TsGenerator::nextCc(std::uint16_t pid) {
  const std::uint8_t cc = cc_[pid];
  cc_[pid] = static_cast<std::uint8_t>((cc + 1) % kContinuityModulus);
  return cc;
}

Packet TsGenerator::section(std::uint16_t pid, const std::vector<std::uint8_t>& section) {
  Packet p;
  p.fill(kStuffing);
  writeHeader(p.data(), pid, true, kPayloadOnly, nextCc(pid));
  p[kHeaderSize] = 0;  // pointer_field: the section starts at once
  std::copy(section.begin(), section.end(), p.begin() + kHeaderSize + kPointerFieldSize);
  return p;
}

Packet TsGenerator::pcrPacket(std::chrono::nanoseconds at) {
  Packet p;
  p.fill(kStuffing);
  // Adaptation field only: the counter stays at that of the last payload packet.
  const auto last = static_cast<std::uint8_t>((cc_[program_.videoPid] + kContinuityModulus - 1) %
                                              kContinuityModulus);
  writeHeader(p.data(), program_.videoPid, false, kAdaptationOnly, last);
  p[kAdaptationLengthOffset] = static_cast<std::uint8_t>(kPacketSize - kAdaptationFlagsOffset);
  p[kAdaptationFlagsOffset] = kPcrFlag;
  const std::uint64_t pcr = static_cast<std::uint64_t>(at.count()) * (kPcrHz / 1'000'000) / (kNsPerSecond / 1'000'000);
  const std::uint64_t base = pcr / kPcrBaseDivisor;
  const std::uint64_t ext = pcr % kPcrBaseDivisor;
  std::uint8_t* f = p.data() + kPcrOffset;
  f[0] = static_cast<std::uint8_t>(base >> 25);
  f[1] = static_cast<std::uint8_t>(base >> 17);
  f[2] = static_cast<std::uint8_t>(base >> 9);
  f[3] = static_cast<std::uint8_t>(base >> 1);
  f[4] = static_cast<std::uint8_t>(((base & 1) << 7) | kPcrReservedBits | ((ext >> 8) & 1));
  f[5] = static_cast<std::uint8_t>(ext & 0xFF);
  return p;
}

Packet TsGenerator::elementary(std::uint16_t pid, std::uint8_t streamId) {
  Packet p;
  std::uint32_t& count = pesCount_[pid == program_.videoPid ? 0 : 1];
  const bool start = count++ % kPesPackets == 0;
  const std::uint8_t cc = nextCc(pid);
  writeHeader(p.data(), pid, start, kPayloadOnly, cc);
  std::size_t at = kHeaderSize;
  if (start) {
    const std::uint8_t pes[kPesHeaderSize] = {0, 0, 1, streamId, 0, 0, kPesFlags1, 0, 0};
    std::copy(std::begin(pes), std::end(pes), p.begin() + kHeaderSize);
    at += kPesHeaderSize;
  }
  for (; at < kPacketSize; ++at)
    p[at] = static_cast<std::uint8_t>(kFillerBase + (cc + at) % kFillerSpan);
  ++elementaryMade_;
  return p;
}

void TsGenerator::applyFaults(Packet& p, bool elementaryStream, const StreamFaults& faults) {
  const auto every = [](std::uint64_t n, std::uint32_t period) { return period && n % period == 0; };
  if (elementaryStream && every(elementaryMade_, faults.continuityErrorEvery)) {
    // Skip one count from here on, as if a packet had been lost.
    const std::uint16_t pid = PacketView(p.data()).pid();
    p[3] = static_cast<std::uint8_t>((p[3] & ~kContinuityMask) | cc_[pid]);
    cc_[pid] = static_cast<std::uint8_t>((cc_[pid] + 1) % kContinuityModulus);
  }
  if (every(made_, faults.transportErrorEvery)) setTransportError(p.data(), true);
  if (every(made_, faults.syncLossEvery)) syncLossLeft_ = kSyncLossLength;
  if (syncLossLeft_ > 0) {
    --syncLossLeft_;
    p[kSyncOffset] = kBadSync;
  } else if (every(made_, faults.syncErrorEvery)) {
    p[kSyncOffset] = kBadSync;
  }
}

}  // namespace vexil::sim
