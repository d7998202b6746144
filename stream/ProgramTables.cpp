#include "stream/ProgramTables.h"

#include <algorithm>

#include "stream/TsPacket.h"

namespace vexil::stream {
namespace {

constexpr std::uint8_t kVersionMask = 0x3E;   // version_number, bits 5-1
constexpr int kVersionShift = 1;
constexpr std::uint8_t kCurrentNextMask = 0x01;

// The tables whose CRC errors TR 101 290 counts: PAT, CAT, PMT, NIT, SDT, BAT, EIT, TOT.
bool crcCounted(std::uint8_t tableId) {
  constexpr std::uint8_t kNitActual = 0x40, kNitOther = 0x41, kSdtActual = 0x42, kSdtOther = 0x46,
                         kBat = 0x4A, kEitFirst = 0x4E, kEitLast = 0x6F, kTot = 0x73;
  return tableId == kPatTableId || tableId == kCatTableId || tableId == kPmtTableId ||
         tableId == kNitActual || tableId == kNitOther || tableId == kSdtActual ||
         tableId == kSdtOther || tableId == kBat || (tableId >= kEitFirst && tableId <= kEitLast) ||
         tableId == kTot;
}

bool current(std::span<const std::uint8_t> s) {
  return s.size() >= kLongHeaderSize && (s[kVersionOffset] & kCurrentNextMask) != 0;
}

int version(std::span<const std::uint8_t> s) { return (s[kVersionOffset] & kVersionMask) >> kVersionShift; }

}  // namespace

ProgramTables::ProgramTables() { reset(); }

void ProgramTables::reset() {
  patVersion_ = -1;
  patSections_.clear();
  lastSections_.clear();
  programs_.clear();
  pmts_.clear();
  catPresent_ = false;
  pmtPids_.clear();
  namedPids_.clear();
  pcrPids_.clear();
  types_.clear();
  isPmtPid_.assign(kPidCount, 0);
  isPcrPid_.assign(kPidCount, 0);
  streamType_.assign(kPidCount, -1);
}

std::uint8_t ProgramTables::streamType(std::uint16_t pid) const {
  const std::int16_t t = streamType_[pid & 0x1FFF];
  return t < 0 ? 0 : static_cast<std::uint8_t>(t);
}

TableOutcome ProgramTables::section(std::uint16_t pid, std::span<const std::uint8_t> s, bool crcOk) {
  TableOutcome out;
  if (s.empty()) return out;
  const std::uint8_t tableId = s[kTableIdOffset];
  if (!crcOk) {
    out.crcError = crcCounted(tableId);
    return out;  // a damaged section says nothing
  }
  if (pid == kPatPid) {
    if (tableId != kPatTableId) {
      out.patError = true;
    } else if (current(s) && repeats(pid, s)) {
      out.patSeen = true;  // the same section again: nothing to read
    } else if (current(s) && readPatSection(s)) {
      out.patSeen = true;
      out.changed = rebuild();
      remember(pid, s);
    }
  } else if (pid == kCatPid) {
    if (tableId != kCatTableId) {
      out.catError = true;
    } else if (current(s)) {
      out.catSeen = true;
      catPresent_ = true;
    }
  } else if (isPmtPid(pid) && tableId == kPmtTableId && current(s)) {
    if (repeats(pid, s)) {
      out.pmtSeen = true;
    } else if (readPmtSection(pid, s)) {
      out.pmtSeen = true;
      out.changed = rebuild();
      remember(pid, s);
    }
  }
  return out;
}

bool ProgramTables::repeats(std::uint16_t pid, std::span<const std::uint8_t> s) const {
  const auto it = lastSections_.find(pid);
  return it != lastSections_.end() && std::equal(s.begin(), s.end(), it->second.begin(), it->second.end());
}

void ProgramTables::remember(std::uint16_t pid, std::span<const std::uint8_t> s) {
  // A PAT in several sections changes from one to the next: only one-section tables
  // are worth remembering.
  if (s[kLastSectionNumberOffset] == 0) lastSections_[pid].assign(s.begin(), s.end());
  else lastSections_.erase(pid);
}

bool ProgramTables::readPatSection(std::span<const std::uint8_t> s) {
  const auto entries = readPat(s);
  if (!entries) return false;
  const int v = version(s);
  if (v != patVersion_) {
    patSections_.clear();
    patVersion_ = v;
  }
  patSections_[s[kSectionNumberOffset]] = *entries;
  programs_.clear();
  for (const auto& [number, list] : patSections_)
    for (const PatEntry& e : list)
      if (e.program != kNetworkProgram) programs_[e.program] = e.pmtPid;
  return true;
}

bool ProgramTables::readPmtSection(std::uint16_t pid, std::span<const std::uint8_t> s) {
  const auto pmt = readPmt(s);
  if (!pmt) return false;
  ProgramMap& entry = pmts_[pmt->program];
  entry.pmtPid = pid;
  entry.pmt = *pmt;
  return true;
}

bool ProgramTables::rebuild() {
  std::vector<std::uint16_t> pmtPids;
  std::vector<std::uint16_t> named;
  std::vector<std::uint16_t> pcrPids;
  std::vector<std::pair<std::uint16_t, std::uint8_t>> types;
  for (const auto& [program, pmtPid] : programs_) {
    pmtPids.push_back(pmtPid);
    const auto it = pmts_.find(program);
    if (it == pmts_.end() || it->second.pmtPid != pmtPid) continue;  // no PMT for it yet
    const Pmt& pmt = it->second.pmt;
    if (pmt.pcrPid != kNullPid) pcrPids.push_back(pmt.pcrPid);
    for (const PmtStream& st : pmt.streams) {
      named.push_back(st.pid);
      types.emplace_back(st.pid, st.streamType);
    }
  }
  for (auto* list : {&pmtPids, &named, &pcrPids}) {
    std::sort(list->begin(), list->end());
    list->erase(std::unique(list->begin(), list->end()), list->end());
  }
  // Programs no longer in the PAT keep no PMT.
  for (auto it = pmts_.begin(); it != pmts_.end();)
    it = programs_.count(it->first) ? std::next(it) : pmts_.erase(it);
  std::sort(types.begin(), types.end());
  const bool changed = pmtPids != pmtPids_ || named != namedPids_ || pcrPids != pcrPids_ || types != types_;
  if (!changed) return false;
  for (std::uint16_t p : pmtPids_) isPmtPid_[p] = 0;
  for (std::uint16_t p : pcrPids_) isPcrPid_[p] = 0;
  for (const auto& [p, type] : types_) streamType_[p] = -1;
  pmtPids_ = std::move(pmtPids);
  namedPids_ = std::move(named);
  pcrPids_ = std::move(pcrPids);
  types_ = std::move(types);
  for (std::uint16_t p : pmtPids_) isPmtPid_[p] = 1;
  for (std::uint16_t p : pcrPids_) isPcrPid_[p] = 1;
  for (const auto& [p, type] : types_) streamType_[p] = type;
  return true;
}

}  // namespace vexil::stream
