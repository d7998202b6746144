#include "stream/StreamAnalyser.h"

#include <algorithm>
#include <unordered_map>

#include "stream/Clocks.h"
#include "stream/Continuity.h"
#include "stream/FrameSync.h"
#include "stream/ProgramTables.h"
#include "stream/SectionDemux.h"

namespace vexil::stream {
namespace {

// PIDs whose sections are read besides the PAT and the PMTs, for their CRC errors.
constexpr std::uint16_t kNitPid = 0x0010;
constexpr std::uint16_t kSdtBatPid = 0x0011;
constexpr std::uint16_t kEitPid = 0x0012;
constexpr std::uint16_t kTdtTotPid = 0x0014;
constexpr std::uint16_t kSiPids[] = {kCatPid, kNitPid, kSdtBatPid, kEitPid, kTdtTotPid};
// How often deadlines are looked at while data flows (a table or clock that comes is
// judged exactly when it comes).
constexpr auto kCheckEvery = std::chrono::milliseconds(1);
constexpr double kNsPerSecond = 1e9;
constexpr double kBitsPerByte = 8;

}  // namespace

/// The parts of the analyser and the state that joins them. Receives the framing's
/// packets and the section reader's sections.
class AnalyserParts : public FrameEvents, public SectionHandler {
 public:
  explicit AnalyserParts(StreamAnalyser& owner)
      : owner(owner),
        clocks(pcrTicks(owner.limits_.pcrJump),
               static_cast<double>(owner.limits_.pcrAccuracy.count()) * kPcrHz / kNsPerSecond) {
    reset();
  }

  void reset() {
    frames.reset();
    continuity.reset();
    demux.reset();
    tables.reset();
    clocks.reset();
    pids.assign(kPidCount, PidState{});
    pat = {};
    pmts.clear();
    named.clear();
    pcrPids.clear();
    ptsPids.clear();
    namedDue = TimePoint::max();
    watchTables();
  }

  void watchTables() {
    demux.watch(kPatPid, true);
    for (std::uint16_t pid : kSiPids) demux.watch(pid, true);
  }

  // FrameEvents
  void framePacket(const std::uint8_t* packet, std::uint64_t offset, bool lasting) override {
    owner.processPacket(packet, offset, lasting, datagramTime, sink);
  }
  void syncByteErrors(std::uint64_t count, std::uint64_t offset) override {
    owner.fire(Indicator::SyncByteError, owner.timeOf(offset, datagramTime), count);
  }
  void syncLoss(std::uint64_t offset) override {
    owner.fire(Indicator::TsSyncLoss, owner.timeOf(offset, datagramTime));
  }

  // SectionHandler
  void section(std::uint16_t pid, std::span<const std::uint8_t> s, bool crcOk) override {
    const TableOutcome o = tables.section(pid, s, crcOk);
    const AnalyserLimits& limits = owner.limits_;
    if (o.crcError) owner.fire(Indicator::CrcError, now);
    if (o.patError) owner.fire(Indicator::PatError, now);
    if (o.catError) owner.fire(Indicator::CatError, now);
    if (o.patSeen) owner.fire(Indicator::PatError, now, pat.seen(now, limits.psiInterval));
    if (o.pmtSeen) {
      const auto it = pmts.find(pid);
      if (it != pmts.end()) owner.fire(Indicator::PmtError, now, it->second.seen(now, limits.psiInterval));
    }
    if (o.changed) tablesChanged();
  }

  // The PMT PIDs, named PIDs and PCR PIDs changed: deadlines follow them.
  void tablesChanged() {
    std::unordered_map<std::uint16_t, Deadline> newPmts;
    for (std::uint16_t pid : tables.pmtPids()) {
      const auto old = pmts.find(pid);
      newPmts[pid] = old != pmts.end() ? old->second : Deadline{now, 0};
    }
    for (const auto& [pid, d] : pmts)
      if (!newPmts.count(pid) && !isSiPid(pid)) demux.watch(pid, false);
    for (const auto& [pid, d] : newPmts) demux.watch(pid, true);
    pmts = std::move(newPmts);

    std::unordered_map<std::uint16_t, Deadline> newNamed;
    for (std::uint16_t pid : tables.namedPids()) {
      const auto old = named.find(pid);
      if (old != named.end()) {
        newNamed[pid] = old->second;
      } else {
        const PidState& p = pids[pid];
        newNamed[pid] = Deadline{p.packets > 0 ? std::max(p.lastSeen, now - owner.limits_.pidTimeout) : now, 0};
      }
    }
    named = std::move(newNamed);
    namedDue = TimePoint::min();  // gone through at the next look
    pcrPids = tables.pcrPids();
    // A PID no current PMT names owes no PTS; it is due again from its next one.
    if (!tables.namedPids().empty()) {
      std::erase_if(ptsPids, [this](std::uint16_t pid) {
        if (tables.isNamed(pid)) return false;
        pids[pid].ptsDue = false;
        return true;
      });
    }
  }

  bool isSiPid(std::uint16_t pid) const {
    return pid == kPatPid || std::find(std::begin(kSiPids), std::end(kSiPids), pid) != std::end(kSiPids);
  }

  // The stream is back after a silence: the tables and clocks it carries are due
  // again from now.
  void rearm(TimePoint at) {
    for (auto& [pid, d] : pmts) d = Deadline{at, 0};
    for (auto& [pid, d] : named) d = Deadline{at, 0};
    namedDue = TimePoint::min();
    for (std::uint16_t pid : pcrPids) pids[pid].pcr = Deadline{at, 0};
    for (std::uint16_t pid : ptsPids) pids[pid].pts = Deadline{at, 0};
  }

  struct PidState {
    std::uint64_t packets = 0;
    std::uint64_t transportErrors = 0;
    std::uint64_t scrambled = 0;
    TimePoint lastSeen{};
    Deadline pcr;  // since the last PCR
    Deadline pts;  // since the last PTS
    bool pcrSeen = false;
    bool ptsSeen = false;
    bool ptsDue = false;  // in ptsPids: its PTSs must keep coming
  };

  // A packet without transport error, not of the null PID: scrambling, continuity,
  // clocks, PTS and sections.
  void content(const PacketView& v, PidState& s, std::uint64_t offset, bool lasting, TimePoint at) {
    const AnalyserLimits& limits = owner.limits_;
    const std::uint16_t pid = v.pid();
    const bool scrambled = v.scrambling() != 0;
    if (scrambled) {
      ++owner.totals_.scrambledPackets;
      ++s.scrambled;
      if (pid == kPatPid) owner.fire(Indicator::PatError, at);
      if (tables.isPmtPid(pid)) owner.fire(Indicator::PmtError, at);
      if (!tables.catPresent()) owner.fire(Indicator::CatError, at);
    }
    const ContinuityResult cc = continuity.check(v, lasting);
    if (cc == ContinuityResult::Duplicate) return;  // already read once
    if (cc == ContinuityResult::Error) {
      owner.fire(Indicator::ContinuityCountError, at);
      demux.interrupt(pid);
    }
    if (v.hasPcr()) {
      const PcrCheck c = clocks.check(pid, v.pcr(), offset, v.discontinuity());
      const bool pcrPid = tables.isPcrPid(pid);
      if (c.discontinuityError) owner.fire(Indicator::PcrDiscontinuityIndicatorError, at);
      if (c.accuracyError && pcrPid) owner.fire(Indicator::PcrAccuracyError, at);
      if (s.pcrSeen && pcrPid) owner.fire(Indicator::PcrRepetitionError, at, s.pcr.seen(at, limits.pcrInterval));
      s.pcr = Deadline{at, 0};
      s.pcrSeen = true;
    }
    const bool sections = demux.watching(pid);
    if (v.unitStart() && !scrambled && !sections) {
      const std::size_t from = v.payloadOffset();
      if (from < kPacketSize && pesHasPts(v.bytes() + from, kPacketSize - from)) {
        if (s.ptsDue) {
          owner.fire(Indicator::PtsError, at, s.pts.seen(at, limits.ptsInterval));
        } else {
          s.ptsDue = true;
          ptsPids.push_back(pid);
        }
        s.ptsSeen = true;
        s.pts = Deadline{at, 0};
      }
    }
    if (!scrambled && sections) {
      now = at;
      demux.feed(v, *this);
    }
  }

  // Every deadline against `at`; the PAT's alone while nothing arrives, as a stream
  // that stops is one fault, a missing PAT, not one of every table and clock.
  void checkDeadlines(TimePoint at, bool patOnly) {
    const AnalyserLimits& limits = owner.limits_;
    owner.fire(Indicator::PatError, at, pat.overdue(at, limits.psiInterval));
    if (patOnly) return;
    for (auto& [pid, d] : pmts) owner.fire(Indicator::PmtError, at, d.overdue(at, limits.psiInterval));
    // The PIDs the PMTs name, of which there may be thousands, are gone through only
    // when the earliest of them may be due.
    if (at > namedDue) checkNamed(at);
    for (std::uint16_t pid : pcrPids) {
      PidState& s = pids[pid];
      if (s.pcrSeen) owner.fire(Indicator::PcrRepetitionError, at, s.pcr.overdue(at, limits.pcrInterval));
    }
    for (std::uint16_t pid : ptsPids)
      owner.fire(Indicator::PtsError, at, pids[pid].pts.overdue(at, limits.ptsInterval));
  }

  void checkNamed(TimePoint at) {
    const AnalyserLimits& limits = owner.limits_;
    namedDue = TimePoint::max();
    for (auto& [pid, d] : named) {
      const PidState& s = pids[pid];
      if (s.packets > 0 && s.lastSeen > d.since) d = Deadline{s.lastSeen, 0};
      owner.fire(Indicator::PidError, at, d.overdue(at, limits.pidTimeout));
      namedDue = std::min(namedDue, d.since + static_cast<std::int64_t>(d.counted + 1) * limits.pidTimeout);
    }
  }

  StreamAnalyser& owner;
  FrameSync frames;
  ContinuityChecker continuity;
  SectionDemux demux;
  ProgramTables tables;
  PcrChecker clocks;
  std::vector<PidState> pids;
  Deadline pat;
  std::unordered_map<std::uint16_t, Deadline> pmts;   // by PMT PID
  std::unordered_map<std::uint16_t, Deadline> named;  // by PID a PMT names
  std::vector<std::uint16_t> pcrPids;
  std::vector<std::uint16_t> ptsPids;  // PIDs that have carried a PTS
  // The datagram being fed and the time of the packet being analysed.
  TimePoint datagramTime{};
  TimePoint now{};
  TimePoint namedDue = TimePoint::max();  // no named PID can be due before this
  PacketSink* sink = nullptr;
};

StreamAnalyser::StreamAnalyser(AnalyserLimits limits)
    : limits_(limits), parts_(std::make_unique<AnalyserParts>(*this)) {}

StreamAnalyser::~StreamAnalyser() = default;

void StreamAnalyser::reset() {
  totals_ = {};
  parts_->reset();
  started_ = false;
  lastCheck_ = {};
}

void StreamAnalyser::start(TimePoint at) {
  reset();
  started_ = true;
  parts_->pat = Deadline{at, 0};
  parts_->now = at;
  lastCheck_ = at;
  updateApplicable();
}

void StreamAnalyser::setByteClock(double bitsPerSecond, TimePoint origin) {
  byteClockBps_ = bitsPerSecond > 0 ? bitsPerSecond : 0;
  nsPerByte_ = byteClockBps_ > 0 ? kBitsPerByte * kNsPerSecond / byteClockBps_ : 0;
  byteClockOrigin_ = origin;
}

void StreamAnalyser::presetPacketGrid(std::size_t packetSize) { parts_->frames.presetGrid(packetSize); }

TimePoint StreamAnalyser::timeOf(std::uint64_t offset, TimePoint datagramTime) const {
  if (byteClockBps_ <= 0) return datagramTime;
  const double ns = static_cast<double>(offset) * nsPerByte_;
  return byteClockOrigin_ + std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(static_cast<std::int64_t>(ns)));
}

void StreamAnalyser::fire(Indicator i, TimePoint at, std::uint64_t times) {
  if (times == 0) return;
  totals_.indicators[indexOf(i)] += times;
  totals_.lastFired[indexOf(i)] = at;
}

void StreamAnalyser::feed(std::span<const std::uint8_t> d, TimePoint at, PacketSink* sink) {
  const TimePoint first = timeOf(parts_->frames.bytesFed(), at);
  if (!started_) start(first);
  ++totals_.datagrams;
  totals_.bytes += d.size();
  // Back after a silence longer than the PAT interval, whether or not anyone looked
  // during it: the silence counts as missing PATs, and the rest is due from now.
  if (totals_.lastDatagramAt && (totals_.noStream || first - *totals_.lastDatagramAt > limits_.psiInterval)) {
    parts_->checkDeadlines(first, true);
    parts_->rearm(first);
  }
  if (first - lastCheck_ >= kCheckEvery || first < lastCheck_) checkDeadlines(first);
  const std::uint64_t before = totals_.packets;
  AnalyserParts& parts = *parts_;
  parts.datagramTime = at;
  parts.sink = sink;
  parts.frames.feed(d, parts);
  parts.continuity.release();
  parts.sink = nullptr;
  totals_.packetSize = parts.frames.packetSize();
  totals_.syncLost = parts.frames.syncLost();
  totals_.truncatedPackets = parts.frames.truncatedPackets();
  totals_.skippedBytes = parts.frames.skippedBytes();
  totals_.lastDatagramPackets = static_cast<std::size_t>(totals_.packets - before);
  const TimePoint last = byteClockBps_ > 0 ? std::max(parts.now, first) : at;
  totals_.lastDatagramAt = last;
  totals_.noStream = false;
  updateApplicable();
}

void StreamAnalyser::advance(TimePoint now) {
  if (!started_) start(now);
  if (!totals_.lastDatagramAt || now - *totals_.lastDatagramAt > limits_.psiInterval) totals_.noStream = true;
  // Only the PAT is judged between datagrams: the other tables and clocks are judged
  // when data comes again (a gap of the stream counts then), or start again after a
  // silence that showed as "No stream".
  parts_->checkDeadlines(now, true);
  updateApplicable();
}

void StreamAnalyser::processPacket(const std::uint8_t* p, std::uint64_t offset, bool lasting,
                                   TimePoint datagramTime, PacketSink* sink) {
  AnalyserParts& parts = *parts_;
  const TimePoint at = timeOf(offset, datagramTime);
  if (byteClockBps_ > 0 && at - lastCheck_ >= kCheckEvery) checkDeadlines(at);
  parts.now = std::max(parts.now, at);
  const PacketView v(p);
  const std::uint16_t pid = v.pid();
  AnalyserParts::PidState& s = parts.pids[pid];
  ++totals_.packets;
  ++s.packets;
  s.lastSeen = at;
  if (pid == kNullPid) ++totals_.nullPackets;
  if (v.transportError()) {
    // Nothing in a damaged packet can be trusted but its being there: its counter is
    // not checked, and the next packet of its PID is taken as it comes.
    ++totals_.transportErrorPackets;
    ++s.transportErrors;
    fire(Indicator::TransportError, at);
    parts.demux.interrupt(pid);
    parts.continuity.damaged(v);
  } else if (pid != kNullPid) {
    parts.content(v, s, offset, lasting, at);
  }
  if (sink) sink->packet(p);
}

void StreamAnalyser::checkDeadlines(TimePoint at) {
  lastCheck_ = at;
  parts_->checkDeadlines(at, false);
}

void StreamAnalyser::updateApplicable() {
  const AnalyserParts& parts = *parts_;
  const bool packets = totals_.packets > 0;
  const bool pcr = !parts.pcrPids.empty();
  IndicatorFlags& a = totals_.applicable;
  for (Indicator i : {Indicator::TsSyncLoss, Indicator::SyncByteError, Indicator::ContinuityCountError,
                      Indicator::TransportError, Indicator::CrcError, Indicator::CatError})
    a[indexOf(i)] = a[indexOf(i)] || packets;
  a[indexOf(Indicator::PatError)] = started_;
  a[indexOf(Indicator::PmtError)] = a[indexOf(Indicator::PmtError)] || !parts.pmts.empty();
  a[indexOf(Indicator::PidError)] = a[indexOf(Indicator::PidError)] || !parts.named.empty();
  for (Indicator i : {Indicator::PcrRepetitionError, Indicator::PcrDiscontinuityIndicatorError,
                      Indicator::PcrAccuracyError})
    a[indexOf(i)] = a[indexOf(i)] || pcr;
  a[indexOf(Indicator::PtsError)] = a[indexOf(Indicator::PtsError)] || !parts.ptsPids.empty();
}

std::vector<PidCounts> StreamAnalyser::pidTable() const {
  std::vector<PidCounts> rows;
  for (std::size_t pid = 0; pid < kPidCount; ++pid)
    if (parts_->pids[pid].packets > 0) rows.push_back(this->pid(static_cast<std::uint16_t>(pid)));
  return rows;
}

PidCounts StreamAnalyser::pid(std::uint16_t pid) const {
  pid &= 0x1FFF;
  const AnalyserParts& parts = *parts_;
  const AnalyserParts::PidState& s = parts.pids[pid];
  PidCounts c;
  c.pid = pid;
  c.packets = s.packets;
  c.continuityErrors = parts.continuity.errors(pid);
  c.transportErrors = s.transportErrors;
  c.scrambledPackets = s.scrambled;
  c.carriesPcr = s.pcrSeen;
  c.carriesPts = s.ptsSeen;
  if (pid == kPatPid) {
    c.kind = PidKind::Pat;
  } else if (pid == kCatPid) {
    c.kind = PidKind::Cat;
  } else if (pid == kNullPid) {
    c.kind = PidKind::Null;
  } else if (parts.tables.isPmtPid(pid)) {
    c.kind = PidKind::Pmt;
  } else if (parts.tables.isNamed(pid)) {
    c.kind = PidKind::Elementary;
    c.streamType = parts.tables.streamType(pid);
  }
  return c;
}

std::vector<std::uint16_t> StreamAnalyser::referencedPids() const { return parts_->tables.namedPids(); }

std::vector<std::uint16_t> StreamAnalyser::pmtPids() const { return parts_->tables.pmtPids(); }

}  // namespace vexil::stream
