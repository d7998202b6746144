// The board's status record, built from its state by the record layout.
#pragma once

#include <cstdint>
#include <vector>

#include "DeviceState.h"

namespace vexil::sim {

/// Record sizes the board answers with.
inline constexpr std::size_t kStatusRecordLength = 534;
inline constexpr std::size_t kExtendedStatusRecordLength = 662;

/// The complete status answer: Palvox header with the board's user text, the `OpAck`
/// record and the status data; 662 bytes for model 7, 534 for the others.
std::vector<std::uint8_t> buildStatusRecord(const DeviceState& state);

}  // namespace vexil::sim
