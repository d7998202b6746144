#include "stream/FrameSync.h"

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
  // A long chunk (a file) is judged by its first packets.
  constexpr std::size_t kLooked = 8;
  const std::size_t end = std::min(d.size(), kLooked * size);
  for (std::size_t at = 0; at < end; at += size)
    if (!syncAt(d, at)) return false;
  return true;
}

// How far the grid of `size` runs on from a bad position at `from`: the number of bad
// positions before one that starts two good ones in a row (or before the end of the
// data); 0 when no such position comes within kGridLookAhead. The look-ahead is long
// enough for any burst a link may throw; it is taken at most once per resync, which
// in garbage comes about once in 64 KB.
constexpr std::size_t kGridLookAhead = 8192;
std::size_t badRunOnGrid(std::span<const std::uint8_t> d, std::size_t from, std::size_t size) {
  for (std::size_t j = 1; j <= kGridLookAhead; ++j) {
    const std::size_t at = from + j * size;
    if (at == d.size()) return j;
    if (at > d.size()) return 0;
    if (d[at] == kSyncByte && (at + size >= d.size() || d[at + size] == kSyncByte)) return j;
  }
  return 0;
}

}  // namespace

void FrameSync::reset() { *this = FrameSync{}; }

void FrameSync::presetGrid(std::size_t packetSize) {
  packetSize_ = packetSize;
  synced_ = true;
}

void FrameSync::feed(std::span<const std::uint8_t> d, FrameEvents& events) {
  const std::uint64_t base = fed_;
  fed_ += d.size();
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
      events.framePacket(carry_.data(), carryOffset_, false);
      pos = need;
    } else {
      ++truncated_;
    }
    carry_.clear();
  }
  const std::uint8_t* bytes = d.data();
  const std::size_t length = d.size();
  while (length - pos >= size) {
    if (bytes[pos] == kSyncByte) {
      if (goodRun_ < kSyncRegainAfter || badRun_ != 0) goodSync();
      events.framePacket(bytes + pos, base + pos, true);
      pos += size;
    } else if (const std::size_t bad = synced_ ? badRunOnGrid(d, pos, size) : 0) {
      // Still on the grid: only these packets' sync bytes are wrong.
      for (std::size_t i = 0; i < bad; ++i, pos += size) {
        badSync(base + pos, events);
        events.framePacket(bytes + pos, base + pos, true);
      }
    } else {
      pos = resync(d, pos, events);
    }
  }
  if (pos < length) {
    if (bytes[pos] == kSyncByte) {
      carry_.assign(d.begin() + static_cast<std::ptrdiff_t>(pos), d.end());
      carryOffset_ = base + pos;
    } else {
      skipped_ += length - pos;
    }
  }
}

void FrameSync::detectPacketSize(std::span<const std::uint8_t> d) {
  if (!carry_.empty() || d.empty()) return;
  if (d[0] != kSyncByte) {
    // Before the first packet: the first place a grid of either size starts.
    if (packetSize_ == 0)
      if (const auto grid = findPacketGrid(d)) packetSize_ = grid->size;
    return;
  }
  if (packetSize_ != 0 && d.size() > 2 * kRsPacketSize * 8) return;  // a file chunk: keep it
  const bool as204 = d.size() % kRsPacketSize == 0 && gridHolds(d, kRsPacketSize);
  const bool as188 = d.size() % kPacketSize == 0 && gridHolds(d, kPacketSize);
  if (as204 && !as188) {
    packetSize_ = kRsPacketSize;
  } else if (as188) {
    packetSize_ = kPacketSize;
  } else if (packetSize_ == 0) {
    // No whole number of packets: judge by where the next sync bytes are.
    const bool grid204 = gridHolds(d, kRsPacketSize) || (syncAt(d, kRsPacketSize) && !syncAt(d, kPacketSize));
    packetSize_ = grid204 && !gridHolds(d, kPacketSize) ? kRsPacketSize : kPacketSize;
  }
}

std::optional<PacketGrid> findPacketGrid(std::span<const std::uint8_t> data) {
  constexpr int kGridPackets = 5;  // packets in a row that make a grid
  for (std::size_t at = 0; at < data.size(); ++at) {
    if (data[at] != kSyncByte) continue;
    int best = 0;
    std::size_t bestSize = 0;
    for (const std::size_t size : {kPacketSize, kRsPacketSize}) {
      int run = 0;
      std::size_t p = at;
      for (; p < data.size() && run < kGridPackets && data[p] == kSyncByte; p += size) ++run;
      // The run ends at the end of the data (a whole packet or less left), or holds for
      // five packets.
      const bool whole = run >= kGridPackets || p >= data.size();
      const bool lonePacket = run == 1 && data.size() - at < 2 * size;  // all there is
      if (whole && (run >= 2 || lonePacket) && run > best) {
        best = run;
        bestSize = size;
      }
    }
    if (bestSize) return PacketGrid{at, bestSize};
  }
  return std::nullopt;
}

std::size_t FrameSync::resync(std::span<const std::uint8_t> d, std::size_t badAt, FrameEvents& events) {
  const std::size_t size = gridSize();
  // Bytes before the first packet ever found are no sync error: listening began there.
  if (synced_) badSync(fed_ - d.size() + badAt, events);
  // The next sync byte followed by another a packet later (or by the end of the data).
  for (std::size_t at = badAt + 1; at < d.size(); ++at) {
    if (d[at] == kSyncByte && (at + size >= d.size() || d[at + size] == kSyncByte)) {
      skipped_ += at - badAt;
      return at;
    }
  }
  skipped_ += d.size() - badAt;
  return d.size();
}

void FrameSync::goodSync() {
  synced_ = true;
  badRun_ = 0;
  if (++goodRun_ >= kSyncRegainAfter) syncLost_ = false;
}

void FrameSync::badSync(std::uint64_t offset, FrameEvents& events) {
  events.syncByteErrors(1, offset);
  goodRun_ = 0;
  if (++badRun_ >= kSyncLossAfter && !syncLost_) {
    syncLost_ = true;
    events.syncLoss(offset);
  }
}

}  // namespace vexil::stream
