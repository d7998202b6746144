// Ways the emulated board's transport streams can go wrong, so that each first- and
// second-priority indicator of a stream monitor can be turned red on purpose, and the
// shape of the stream those indicators are read on.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace vexil::sim {

/// What each input's program carries besides its video and audio. Not a fault: a
/// stream with a CAT, scrambled packets or a long PMT is clean when it is whole.
struct StreamShape {
  int pmtStreams = 0;                        // streams the PMT names (0: video and audio only)
  bool withCat = false;                      // a CAT naming an EMM PID every 100 ms
  std::optional<std::uint16_t> scrambledPid; // payloads of this PID marked scrambled (even key)
};

/// Faults of the streams of every input. Counts are "one in N" (0: never) and hit
/// exactly every Nth packet, datagram, PCR or section, so a test knows how many to
/// expect. Times count from the moment the input started sending.
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

  // Second priority.
  std::optional<std::chrono::milliseconds> pcrGapAfter;  // once: 100 ms without PCR from then
  std::uint32_t pcrJumpEvery = 0;    // every Nth PCR 200 ms ahead, the clock going on from there
  std::uint32_t pcrJitterEvery = 0;  // every Nth PCR 54 ticks (2 us) late, the next back on time
  std::optional<std::chrono::milliseconds> ptsGapAfter;  // once: video without PTS for 1 s
  std::uint32_t badCrcEvery = 0;     // every Nth PAT or PMT section has a spoilt CRC_32

  StreamShape shape;
};

}  // namespace vexil::sim
