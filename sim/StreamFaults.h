// Ways the emulated board's transport streams can go wrong, so that each first-priority
// indicator of a stream monitor can be turned red on purpose.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace vexil::sim {

/// Faults of the streams of every input. Counts are "one in N" (0: never) and hit
/// exactly every Nth packet or datagram, so a test knows how many to expect. Times
/// count from the moment the input started sending.
struct StreamFaults {
  std::uint32_t transportErrorEvery = 0;  // set transport_error_indicator on every Nth packet
  std::uint32_t continuityErrorEvery = 0; // every Nth elementary-stream packet skips a count
  std::uint32_t syncErrorEvery = 0;       // every Nth packet's sync byte is wrong
  std::uint32_t syncLossEvery = 0;        // every Nth packet starts 5 wrong sync bytes in a row
  std::uint32_t loseDatagramEvery = 0;    // every Nth datagram is not sent
  std::uint32_t reorderEvery = 0;         // every Nth datagram goes out after the next one
  std::optional<std::chrono::milliseconds> patStopsAfter;  // no PAT from then on
  std::optional<std::chrono::milliseconds> pmtStopsAfter;  // no PMT from then on
  std::optional<std::uint16_t> droppedPid;                 // a PID that disappears...
  std::chrono::milliseconds pidDropsAfter{0};              // ...this long after the start
};

}  // namespace vexil::sim
