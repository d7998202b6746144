// The ETSI TR 101 290 indicators of the first and second priority that the stream
// check counts: their order, their keys in JSON and their names on screen.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vexil::stream {

/// One indicator. The order is the order of every array indexed by it.
enum class Indicator : std::uint8_t {
  TsSyncLoss,                      // 1.1: two or more consecutive bad sync bytes
  SyncByteError,                   // 1.2: a packet position without 0x47
  PatError,                        // 1.3: PAT away > 0.5 s, not a PAT on PID 0, scrambled
  ContinuityCountError,            // 1.4: wrong order, a third copy, a lost packet
  PmtError,                        // 1.5: a PMT away > 0.5 s, or scrambled
  PidError,                        // 1.6: a PID a PMT names away > 5 s
  TransportError,                  // 2.1: transport_error_indicator set
  CrcError,                        // 2.2: a PSI/SI section with a wrong CRC_32
  PcrRepetitionError,              // 2.3a: PCRs of a PCR PID more than 40 ms apart
  PcrDiscontinuityIndicatorError,  // 2.3b: PCR step outside 0..100 ms, not announced
  PcrAccuracyError,                // 2.4: PCR off by more than 500 ns from the rate
  PtsError,                        // 2.5: PTSs of a PID more than 700 ms apart
  CatError,                        // 2.6: scrambled packets without a CAT, or no CAT on PID 1
};

inline constexpr std::size_t kIndicatorCount = 13;

/// What the stream check says of one indicator.
struct IndicatorInfo {
  Indicator id;
  int priority;           // 1 or 2
  std::string_view key;   // JSON key and script name
  std::string_view name;  // as shown to people
};

inline constexpr std::array<IndicatorInfo, kIndicatorCount> kIndicators{{
    {Indicator::TsSyncLoss, 1, "ts_sync_loss", "TS sync loss"},
    {Indicator::SyncByteError, 1, "sync_byte_error", "Sync byte error"},
    {Indicator::PatError, 1, "pat_error", "PAT error"},
    {Indicator::ContinuityCountError, 1, "continuity_count_error", "Continuity count error"},
    {Indicator::PmtError, 1, "pmt_error", "PMT error"},
    {Indicator::PidError, 1, "pid_error", "PID error"},
    {Indicator::TransportError, 2, "transport_error", "Transport error"},
    {Indicator::CrcError, 2, "crc_error", "CRC error"},
    {Indicator::PcrRepetitionError, 2, "pcr_repetition_error", "PCR repetition error"},
    {Indicator::PcrDiscontinuityIndicatorError, 2, "pcr_discontinuity_indicator_error",
     "PCR discontinuity indicator error"},
    {Indicator::PcrAccuracyError, 2, "pcr_accuracy_error", "PCR accuracy error"},
    {Indicator::PtsError, 2, "pts_error", "PTS error"},
    {Indicator::CatError, 2, "cat_error", "CAT error"},
}};

inline constexpr std::size_t indexOf(Indicator i) { return static_cast<std::size_t>(i); }

/// One count per indicator, in the order of Indicator.
using IndicatorCounts = std::array<std::uint64_t, kIndicatorCount>;
/// One flag per indicator, in the order of Indicator.
using IndicatorFlags = std::array<bool, kIndicatorCount>;

/// The indicator whose key is `key`, if any.
inline std::optional<Indicator> indicatorByKey(std::string_view key) {
  for (const IndicatorInfo& i : kIndicators)
    if (i.key == key) return i.id;
  return std::nullopt;
}

}  // namespace vexil::stream
