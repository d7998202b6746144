#include "stream/StreamAnalyser.h"

#include <algorithm>

#include "stream/Psi.h"

namespace vexil::stream {
namespace {

bool syncAt(std::span<const std::uint8_t> d, std::size_t at) {
  return at < d.size() && d[at] == kSyncByte;
}

// Grid positions 0, size, 2 * size ... inside `d` that all hold a sync byte, at least
// two of them (or one packet filling the datagram).
bool gridHolds(std::span<const std::uint8_t> d, std::size_t size) {
  if (d.size() == size) return syncAt(d, 0);
  if (d.size() < 2 * size) return false;
  for (std::size_t at = 0; at < d.size(); at += size)
    if (!syncAt(d, at)) return false;
  return true;
}

}  // namespace

StreamAnalyser::StreamAnalyser(AnalyserLimits limits) : limits_(limits) { reset(); }

void StreamAnalyser::reset() {
  totals_ = {};
  pids_.assign(kPidCount, PidState{});
  isPmtPid_.assign(kPidCount, 0);
  started_ = false;
  pat_ = {};
  pmts_.clear();
  streams_.clear();
  carry_.clear();
  goodRun_ = 0;
  badRun_ = 0;
}

void StreamAnalyser::feed(std::span<const std::uint8_t> d, TimePoint at, PacketSink* sink) {
  ++totals_.datagrams;
  totals_.bytes += d.size();
  checkDeadlines(at);
  const std::uint64_t before = totals_.packets;
  detectPacketSize(d);
  const std::size_t size = gridSize();

  std::size_t pos = 0;
  if (!carry_.empty()) {
    const std::size_t need = size - carry_.size();
    // The datagram goes on where the last one stopped when the packet it completes is
    // followed by a sync byte (or ends it).
    if (d.size() >= need && (d.size() == need || syncAt(d, need))) {
      carry_.insert(carry_.end(), d.begin(), d.begin() + static_cast<std::ptrdiff_t>(need));
      goodSync();
      processPacket(carry_.data(), at, sink);
      pos = need;
    } else {
      ++totals_.truncatedPackets;
    }
    carry_.clear();
  }
  while (d.size() - pos >= size) {
    if (d[pos] == kSyncByte) {
      goodSync();
      processPacket(d.data() + pos, at, sink);
      pos += size;
    } else {
      pos = resync(d, pos);
    }
  }
  if (pos < d.size()) {
    if (d[pos] == kSyncByte)
      carry_.assign(d.begin() + static_cast<std::ptrdiff_t>(pos), d.end());
    else
      totals_.skippedBytes += d.size() - pos;
  }
  totals_.lastDatagramPackets = static_cast<std::size_t>(totals_.packets - before);
}

void StreamAnalyser::detectPacketSize(std::span<const std::uint8_t> d) {
  if (!carry_.empty() || d.empty() || d[0] != kSyncByte) return;
  const bool as204 = d.size() % kRsPacketSize == 0 && gridHolds(d, kRsPacketSize);
  const bool as188 = d.size() % kPacketSize == 0 && gridHolds(d, kPacketSize);
  if (as204 && !as188) {
    totals_.packetSize = kRsPacketSize;
  } else if (as188) {
    totals_.packetSize = kPacketSize;
  } else if (totals_.packetSize == 0) {
    // A datagram that is no whole number of packets: judge by the second sync byte.
    totals_.packetSize = syncAt(d, kRsPacketSize) && !syncAt(d, kPacketSize) ? kRsPacketSize
                                                                             : kPacketSize;
  }
}

std::size_t StreamAnalyser::resync(std::span<const std::uint8_t> d, std::size_t badAt) {
  const std::size_t size = gridSize();
  // Still on the grid: the sync bytes further on are where they belong, so only the
  // packets in between are bad.
  for (std::size_t at = badAt + size; at < d.size(); at += size) {
    if (d[at] == kSyncByte) {
      badSync((at - badAt) / size);
      return at;
    }
  }
  // The grid ends with the datagram: the bad packets run to its end.
  if ((d.size() - badAt) % size == 0) {
    badSync((d.size() - badAt) / size);
    return d.size();
  }
  // Off the grid: the next sync byte followed by another a packet later.
  badSync(1);
  for (std::size_t at = badAt + 1; at < d.size(); ++at) {
    if (d[at] == kSyncByte && (at + size >= d.size() || d[at + size] == kSyncByte)) {
      totals_.skippedBytes += at - badAt;
      return at;
    }
  }
  totals_.skippedBytes += d.size() - badAt;
  return d.size();
}

void StreamAnalyser::goodSync() {
  badRun_ = 0;
  if (++goodRun_ >= kSyncRegainAfter) totals_.syncLost = false;
}

void StreamAnalyser::badSync(std::uint64_t packets) {
  totals_.priority1.syncByteError += packets;
  goodRun_ = 0;
  badRun_ += static_cast<int>(std::min<std::uint64_t>(packets, kSyncLossAfter));
  if (badRun_ >= kSyncLossAfter && !totals_.syncLost) {
    totals_.syncLost = true;
    ++totals_.priority1.tsSyncLoss;
  }
}

void StreamAnalyser::processPacket(const std::uint8_t* p, TimePoint at, PacketSink* sink) {
  const PacketView v(p);
  const std::uint16_t pid = v.pid();
  PidState& s = pids_[pid];
  ++totals_.packets;
  ++s.packets;
  s.lastSeen = at;
  if (v.transportError()) {
    ++totals_.transportErrorPackets;
    ++s.transportErrors;
  }
  if (pid == kNullPid) {
    ++totals_.nullPackets;  // a null packet's counter means nothing
  } else {
    checkContinuity(v, s);
    if (pid == kPatPid || isPmtPid_[pid]) handlePsi(v, at);
  }
  if (sink) sink->packet(p);
}

void StreamAnalyser::checkContinuity(const PacketView& v, PidState& s) {
  const auto cc = static_cast<std::int8_t>(v.continuity());
  const std::int8_t last = s.lastCc;
  const bool wasDuplicate = s.duplicateSeen;
  s.lastCc = cc;
  s.duplicateSeen = false;
  if (last < 0 || v.discontinuity()) return;  // first packet, or announced jump
  bool ok;
  if (!v.hasPayload()) {
    ok = cc == last;  // packets without payload do not advance the counter
  } else if (cc == last) {
    ok = !wasDuplicate;  // one repeat is allowed, a third copy is not
    s.duplicateSeen = true;
  } else {
    ok = cc == (last + 1) % kContinuityModulus;
  }
  if (!ok) {
    // One error per break: the counter goes on from the value just seen.
    ++s.continuityErrors;
    ++totals_.priority1.continuityError;
  }
}

void StreamAnalyser::handlePsi(const PacketView& v, TimePoint at) {
  const std::uint16_t pid = v.pid();
  Priority1& p1 = totals_.priority1;
  if (v.scrambling() != 0) {
    ++(pid == kPatPid ? p1.patError : p1.pmtError);
    return;
  }
  if (!v.unitStart()) return;
  const std::size_t from = v.payloadOffset();
  const auto section =
      sectionInPayload(std::span<const std::uint8_t>(v.bytes() + from, kPacketSize - from));
  if (!section) return;
  const std::uint8_t tableId = (*section)[kTableIdOffset];
  if (pid == kPatPid) {
    const auto programs = readPat(*section);
    if (!programs) {
      ++p1.patError;  // only the PAT may travel on PID 0
      return;
    }
    pat_.since = at;
    pat_.counted = 0;
    std::vector<Deadline> pmts;
    for (const PatEntry& e : *programs) {
      if (e.program == kNetworkProgram) continue;
      auto old = std::find_if(pmts_.begin(), pmts_.end(), [&](const Deadline& d) { return d.pid == e.pmtPid; });
      pmts.push_back(old != pmts_.end() ? *old : Deadline{e.pmtPid, 0, at, 0});
    }
    std::fill(isPmtPid_.begin(), isPmtPid_.end(), 0);
    for (const Deadline& d : pmts) isPmtPid_[d.pid] = 1;
    pmts_ = std::move(pmts);
    return;
  }
  if (tableId != kPmtTableId) return;
  const auto pmt = readPmt(*section);
  if (!pmt) return;
  for (Deadline& d : pmts_)
    if (d.pid == pid) d = Deadline{pid, 0, at, 0};
  for (const PmtStream& s : pmt->streams) {
    auto known = std::find_if(streams_.begin(), streams_.end(), [&](const Deadline& d) { return d.pid == s.pid; });
    if (known == streams_.end()) {
      const TimePoint seen = pids_[s.pid].packets > 0 ? pids_[s.pid].lastSeen : at;
      streams_.push_back(Deadline{s.pid, s.streamType, seen, 0});
    } else {
      known->streamType = s.streamType;
    }
  }
}

std::uint64_t StreamAnalyser::overdue(Deadline& d, TimePoint at,
                                      std::chrono::nanoseconds limit) const {
  // One error for every whole limit that has passed beyond the first: away for just
  // the limit is still in time.
  const auto away = at - d.since;
  if (away <= limit) return 0;
  const auto due = static_cast<std::uint64_t>((away - std::chrono::nanoseconds(1)) / limit);
  const std::uint64_t fresh = due > d.counted ? due - d.counted : 0;
  d.counted = std::max(d.counted, due);
  return fresh;
}

void StreamAnalyser::checkDeadlines(TimePoint at) {
  if (!started_) {
    started_ = true;
    pat_.since = at;
  }
  Priority1& p1 = totals_.priority1;
  p1.patError += overdue(pat_, at, limits_.psiInterval);
  for (Deadline& d : pmts_) p1.pmtError += overdue(d, at, limits_.psiInterval);
  for (Deadline& d : streams_) {
    const PidState& s = pids_[d.pid];
    if (s.packets > 0 && s.lastSeen > d.since) {
      d.since = s.lastSeen;
      d.counted = 0;
    }
    p1.pidError += overdue(d, at, limits_.pidTimeout);
  }
}

std::vector<PidCounts> StreamAnalyser::pidTable() const {
  std::vector<PidCounts> rows;
  for (std::size_t pid = 0; pid < kPidCount; ++pid)
    if (pids_[pid].packets > 0) rows.push_back(this->pid(static_cast<std::uint16_t>(pid)));
  return rows;
}

PidCounts StreamAnalyser::pid(std::uint16_t pid) const {
  const PidState& s = pids_[pid & kPidFieldMask];
  PidCounts c{pid, PidKind::Unknown, 0, s.packets, s.continuityErrors, s.transportErrors};
  if (pid == kPatPid) {
    c.kind = PidKind::Pat;
  } else if (pid == kNullPid) {
    c.kind = PidKind::Null;
  } else if (isPmtPid_[pid]) {
    c.kind = PidKind::Pmt;
  } else {
    for (const Deadline& d : streams_)
      if (d.pid == pid) {
        c.kind = PidKind::Elementary;
        c.streamType = d.streamType;
      }
  }
  return c;
}

std::vector<std::uint16_t> StreamAnalyser::referencedPids() const {
  std::vector<std::uint16_t> out;
  for (const Deadline& d : streams_) out.push_back(d.pid);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace vexil::stream
