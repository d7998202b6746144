#include "sim/TsGenerator.h"

#include <algorithm>

#include "stream/Psi.h"

namespace vexil::sim {
namespace {

using namespace vexil::stream;
using std::chrono::nanoseconds;

constexpr std::uint16_t kPidsPerInput = 0x100;
constexpr std::uint16_t kVideoOffset = 1;
constexpr std::uint16_t kAudioOffset = 2;
constexpr std::uint16_t kDataOffset = 0x10;
constexpr std::uint16_t kEmmOffset = 0xF0;
constexpr std::size_t kEmmLength = 32;

// PES header: start code prefix, stream id, length, flags, header data length, PTS.
constexpr std::uint8_t kVideoStreamId = 0xE0;
constexpr std::uint8_t kAudioStreamId = 0xC0;
constexpr std::uint8_t kDataStreamId = 0xBD;       // private_stream_1
constexpr std::size_t kPesFixedSize = 6;           // up to PES_packet_length
constexpr std::size_t kPesHeaderSize = 9;          // up to PES_header_data_length
constexpr std::uint8_t kPesFlags1 = 0x80;          // '10' marker bits, nothing else
constexpr std::uint8_t kPtsOnlyFlags = kPesPtsFlagMask;  // PTS_DTS_flags '10'

// Adaptation field with a PCR and stuffing filling the packet.
constexpr std::uint8_t kStuffing = 0xFF;
constexpr std::uint8_t kScrambledEven = 0x80;      // transport_scrambling_control '10'

// Payload filler: never 0x47, so a resynchronising reader is not misled by it.
constexpr std::uint8_t kFillerBase = 0x80;
constexpr std::uint8_t kFillerSpan = 0x40;

constexpr int kSyncLossLength = 5;  // bad sync bytes in a row, enough for a loss
constexpr std::uint8_t kBadSync = 0x46;

constexpr std::uint64_t ticksOf(std::chrono::milliseconds ms) {
  return static_cast<std::uint64_t>(ms.count()) * kClockHz / 1000;
}

}  // namespace

InputProgram InputProgram::forInput(int input) {
  const auto n = static_cast<std::uint16_t>(input);
  const auto base = static_cast<std::uint16_t>(kPidsPerInput * n);
  return {n, base, static_cast<std::uint16_t>(base + kVideoOffset),
          static_cast<std::uint16_t>(input % 2 ? base + kAudioOffset : 0),
          static_cast<std::uint16_t>(base + kDataOffset), static_cast<std::uint16_t>(base + kEmmOffset)};
}

TsGenerator::TsGenerator(int input, std::uint32_t packetsPerSecond)
    : program_(InputProgram::forInput(input)), clock_(packetsPerSecond) {
  const PatEntry entry{program_.programNumber, program_.pmtPid};
  pat_ = buildPat(program_.programNumber, std::span<const PatEntry>(&entry, 1));
  cat_ = buildCat(program_.emmPid);
  emm_ = buildEmm(kEmmLength);
  reshape({});
}

void TsGenerator::reshape(const StreamShape& shape) {
  const int asked = std::clamp(shape.pmtStreams, 0, kMaxPmtStreams);
  if (asked == shapedFor_) return;
  shapedFor_ = asked;
  Pmt pmt{program_.programNumber, program_.videoPid, {{kVideoStreamType, program_.videoPid}}};
  withAudio_ = program_.audioPid && asked != 1;
  if (withAudio_) pmt.streams.push_back({kAudioStreamType, program_.audioPid});
  dataPids_.clear();
  for (int n = static_cast<int>(pmt.streams.size()); n < asked; ++n) {
    dataPids_.push_back(static_cast<std::uint16_t>(program_.firstDataPid + dataPids_.size()));
    pmt.streams.push_back({kDataStreamType, dataPids_.back()});
  }
  pmt_ = buildPmt(pmt);
  nextData_ = 0;
}

bool TsGenerator::due(const Repeat& r, nanoseconds at, std::chrono::milliseconds period) const {
  return r.never || at - r.at >= period || clock_.steadyTicksAt(made_) - r.ticks >= ticksOf(period);
}

void TsGenerator::mark(Repeat& r, nanoseconds at) const {
  r = {false, at, clock_.steadyTicksAt(made_)};
}

void TsGenerator::queueTables(nanoseconds at, const StreamFaults& faults) {
  const auto send = [&](std::uint16_t pid, const std::vector<std::uint8_t>& section, bool countsForCrc) {
    std::vector<std::uint8_t> s = section;
    if (countsForCrc && faults.badCrcEvery && ++sectionsMade_ % faults.badCrcEvery == 0) spoilCrc(s);
    for (const Packet& p : sectionPackets(pid, s, cc_[pid])) queued_.push_back(p);
  };
  if (due(psiRepeat_, at, kPsiPeriod)) {
    mark(psiRepeat_, at);
    if (!(faults.patStopsAfter && at >= *faults.patStopsAfter)) send(kPatPid, pat_, true);
    if (!(faults.pmtStopsAfter && at >= *faults.pmtStopsAfter)) send(program_.pmtPid, pmt_, true);
  }
  if (faults.shape.withCat && due(catRepeat_, at, kCatPeriod)) {
    mark(catRepeat_, at);
    send(kCatPid, cat_, false);
    send(program_.emmPid, emm_, false);
  }
}

bool TsGenerator::pcrDue(nanoseconds at, const StreamFaults& faults) {
  if (pcrGap_ == Gap::Waiting && faults.pcrGapAfter && at >= *faults.pcrGapAfter && !pcrRepeat_.never)
    pcrGap_ = Gap::Open;
  if (pcrGap_ != Gap::Open) return due(pcrRepeat_, at, kPcrPeriod);
  // The gap ends on the last packet no further than kPcrGap from the PCR before it.
  if (clock_.steadyTicksAt(made_ + 1) - pcrRepeat_.ticks <= ticksOf(kPcrGap)) return false;
  pcrGap_ = Gap::Done;
  return true;
}

TsGenerator::Kind TsGenerator::pick(nanoseconds at, const StreamFaults& faults) {
  if (pcrDue(at, faults)) {
    mark(pcrRepeat_, at);
    return Kind::Pcr;
  }
  queueTables(at, faults);
  if (!queued_.empty()) return Kind::Table;
  const std::uint64_t slot = slot_++;
  if (slot % kNullEvery == kNullEvery - 1) return Kind::Null;
  if (!dataPids_.empty() && slot % kDataEvery == kDataEvery - 1) return Kind::Data;
  // Two elementary streams share out the rest three to one.
  if (withAudio_ && slot % 4 == 3) return Kind::Audio;
  return Kind::Video;
}

std::uint16_t TsGenerator::pidOf(Kind kind) const {
  switch (kind) {
    case Kind::Audio: return program_.audioPid;
    case Kind::Data: return dataPids_[nextData_];
    case Kind::Video:
    case Kind::Pcr: return program_.videoPid;
    default: return kNullPid;
  }
}

Packet TsGenerator::next(nanoseconds at, const StreamFaults& faults) {
  reshape(faults.shape);
  Kind kind = pick(at, faults);
  const std::uint16_t pid = pidOf(kind);
  if (kind == Kind::Data) nextData_ = (nextData_ + 1) % dataPids_.size();
  const bool dropped = pid != kNullPid && faults.droppedPid && *faults.droppedPid == pid &&
                       at >= faults.pidDropsAfter;
  if (dropped) kind = Kind::Null;  // the rate stays, the PID is gone

  const bool ptsGap = faults.ptsGapAfter && at >= *faults.ptsGapAfter && at < *faults.ptsGapAfter + kPtsGap;
  Packet p;
  switch (kind) {
    case Kind::Table:
      p = queued_.front();
      queued_.pop_front();
      break;
    case Kind::Pcr: p = pcrPacket(faults); break;
    case Kind::Video: p = elementary(pid, kVideoStreamId, !ptsGap); break;
    case Kind::Audio: p = elementary(pid, kAudioStreamId, true); break;
    case Kind::Data: p = dataPacket(pid); break;
    case Kind::Null:
      p.fill(kStuffing);
      writeHeader(p.data(), kNullPid, false, kPayloadOnly, 0);
      break;
  }
  const bool elementaryStream = kind == Kind::Video || kind == Kind::Audio || kind == Kind::Data;
  if (elementaryStream) ++elementaryMade_;
  applyFaults(p, elementaryStream, faults);
  ++made_;
  return p;
}

std::uint8_t TsGenerator::nextCc(std::uint16_t pid) {
  const std::uint8_t cc = cc_[pid];
  cc_[pid] = static_cast<std::uint8_t>((cc + 1) % kContinuityModulus);
  return cc;
}

Packet TsGenerator::pcrPacket(const StreamFaults& faults) {
  Packet p;
  p.fill(kStuffing);
  // Adaptation field only: the counter stays at that of the last payload packet.
  const auto last = static_cast<std::uint8_t>((cc_[program_.videoPid] + kContinuityModulus - 1) %
                                              kContinuityModulus);
  writeHeader(p.data(), program_.videoPid, false, kAdaptationOnly, last);
  p[kAdaptationLengthOffset] = static_cast<std::uint8_t>(kPacketSize - kAdaptationFlagsOffset);
  p[kAdaptationFlagsOffset] = kPcrFlagMask;
  const std::uint64_t number = ++pcrsMade_;
  if (faults.pcrJumpEvery && number % faults.pcrJumpEvery == 0) clock_.jump(ticksOf(kPcrJump));
  std::uint64_t ticks = clock_.ticksAt(made_);
  if (faults.pcrJitterEvery && number % faults.pcrJitterEvery == 0) ticks += kPcrJitterTicks;
  writePcrField(p.data() + kPcrOffset, ticks);
  return p;
}

Packet TsGenerator::elementary(std::uint16_t pid, std::uint8_t streamId, bool withPts) {
  std::uint32_t& count = pesCount_[pid == program_.videoPid ? 0 : 1];
  const bool start = count++ % kPesPackets == 0;
  return pesPacket(pid, streamId, start, withPts, 0);  // length 0: the PES runs to the next start
}

Packet TsGenerator::dataPacket(std::uint16_t pid) {
  // One whole PES a packet, with its PTS, so each data PID has both as often as it is sent.
  const std::size_t length = kPacketSize - kHeaderSize - kPesFixedSize;
  return pesPacket(pid, kDataStreamId, true, true, static_cast<std::uint16_t>(length));
}

Packet TsGenerator::pesPacket(std::uint16_t pid, std::uint8_t streamId, bool start, bool withPts,
                              std::uint16_t pesLength) {
  Packet p;
  const std::uint8_t cc = nextCc(pid);
  writeHeader(p.data(), pid, start, kPayloadOnly, cc);
  std::size_t at = kHeaderSize;
  if (start) {
    const std::uint8_t pes[kPesHeaderSize] = {0, 0, 1, streamId,
                                              static_cast<std::uint8_t>(pesLength >> 8),
                                              static_cast<std::uint8_t>(pesLength & 0xFF),
                                              kPesFlags1,
                                              withPts ? kPtsOnlyFlags : std::uint8_t{0},
                                              withPts ? static_cast<std::uint8_t>(kPesPtsSize) : std::uint8_t{0}};
    std::copy(std::begin(pes), std::end(pes), p.begin() + kHeaderSize);
    at += kPesHeaderSize;
    if (withPts) {
      const std::uint64_t pts = (clock_.ticksAt(made_) + ticksOf(kPtsLead)) / kTicksPer90k;
      writePtsField(p.data() + at, pts);
      at += kPesPtsSize;
    }
  }
  for (; at < kPacketSize; ++at) p[at] = static_cast<std::uint8_t>(kFillerBase + (cc + at) % kFillerSpan);
  return p;
}

void TsGenerator::applyFaults(Packet& p, bool elementaryStream, const StreamFaults& faults) {
  const auto every = [](std::uint64_t n, std::uint32_t period) { return period && n % period == 0; };
  const std::uint16_t pid = PacketView(p.data()).pid();
  if (elementaryStream && every(elementaryMade_, faults.continuityErrorEvery)) {
    // Skip one count from here on, as if a packet had been lost.
    p[3] = static_cast<std::uint8_t>((p[3] & ~kContinuityMask) | cc_[pid]);
    cc_[pid] = static_cast<std::uint8_t>((cc_[pid] + 1) % kContinuityModulus);
  }
  if (faults.shape.scrambledPid && *faults.shape.scrambledPid == pid && PacketView(p.data()).hasPayload())
    p[3] = static_cast<std::uint8_t>((p[3] & ~kScramblingMask) | kScrambledEven);
  if (every(made_ + 1, faults.transportErrorEvery)) setTransportError(p.data(), true);
  if (every(made_ + 1, faults.syncLossEvery)) syncLossLeft_ = kSyncLossLength;
  if (syncLossLeft_ > 0) {
    --syncLossLeft_;
    p[kSyncOffset] = kBadSync;
  } else if (every(made_ + 1, faults.syncErrorEvery)) {
    p[kSyncOffset] = kBadSync;
  }
}

}  // namespace vexil::sim
