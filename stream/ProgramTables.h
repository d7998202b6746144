// The programs of a transport stream as its tables say them: the PAT (in one or more
// sections), the PMT of each program, and whether a CAT is present. From them come the
// PMT PIDs, the PIDs the programs name and their PCR PIDs, rebuilt whenever a table
// changes, so a PID a new PMT version no longer names is forgotten.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <unordered_map>
#include <vector>

#include "stream/Indicators.h"
#include "stream/Psi.h"

namespace vexil::stream {

/// What reading a section found.
struct TableOutcome {
  bool patSeen = false;        // a valid current PAT section on PID 0
  bool pmtSeen = false;        // a valid current PMT section on a PMT PID
  bool catSeen = false;        // a valid current CAT section on PID 1
  bool changed = false;        // the PMT PIDs, named PIDs or PCR PIDs changed
  bool patError = false;       // a section other than a PAT on PID 0
  bool catError = false;       // a section other than a CAT on PID 1
  bool crcError = false;       // a PSI/SI section with a wrong CRC_32
};

/// Not thread-safe.
class ProgramTables {
 public:
  ProgramTables();
  void reset();

  /// Reads one whole section of `pid` (from the section reader).
  TableOutcome section(std::uint16_t pid, std::span<const std::uint8_t> section, bool crcOk);

  bool isPmtPid(std::uint16_t pid) const { return isPmtPid_[pid & 0x1FFF] != 0; }
  bool isNamed(std::uint16_t pid) const { return streamType_[pid & 0x1FFF] >= 0; }
  bool isPcrPid(std::uint16_t pid) const { return isPcrPid_[pid & 0x1FFF] != 0; }
  /// The stream_type a PMT gives `pid` (0 when none names it).
  std::uint8_t streamType(std::uint16_t pid) const;
  bool catPresent() const { return catPresent_; }

  /// In PID order.
  const std::vector<std::uint16_t>& pmtPids() const { return pmtPids_; }
  const std::vector<std::uint16_t>& namedPids() const { return namedPids_; }
  const std::vector<std::uint16_t>& pcrPids() const { return pcrPids_; }

 private:
  struct ProgramMap {
    std::uint16_t pmtPid = 0;
    Pmt pmt;
  };
  bool readPatSection(std::span<const std::uint8_t> section);
  bool readPmtSection(std::uint16_t pid, std::span<const std::uint8_t> section);
  bool rebuild();
  // Whether `s` is the same as the last section read on `pid`, and remembering it.
  bool repeats(std::uint16_t pid, std::span<const std::uint8_t> s) const;
  void remember(std::uint16_t pid, std::span<const std::uint8_t> s);

  int patVersion_ = -1;
  std::map<std::uint8_t, std::vector<PatEntry>> patSections_;  // by section_number
  std::map<std::uint16_t, std::uint16_t> programs_;            // program -> PMT PID
  std::unordered_map<std::uint16_t, ProgramMap> pmts_;         // by program number
  bool catPresent_ = false;
  std::vector<std::uint16_t> pmtPids_;
  std::vector<std::uint16_t> namedPids_;
  std::vector<std::uint16_t> pcrPids_;
  std::vector<std::uint8_t> isPmtPid_;   // kPidCount flags
  std::vector<std::uint8_t> isPcrPid_;   // kPidCount flags
  std::vector<std::int16_t> streamType_; // kPidCount: the type a PMT gives, -1 for none
  std::vector<std::pair<std::uint16_t, std::uint8_t>> types_;  // the same, in PID order
  std::unordered_map<std::uint16_t, std::vector<std::uint8_t>> lastSections_;  // by PID
};

}  // namespace vexil::stream
