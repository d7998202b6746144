// The board's status record, built from its state by the record layout.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "sim/DeviceState.h"

namespace vexil::sim {

/// Record sizes the board answers with.
inline constexpr std::size_t kStatusRecordLength = 534;
inline constexpr std::size_t kExtendedStatusRecordLength = 662;

/// The complete status answer: Palvox header with the board's user text, the `OpAck`
/// record and the status data; 662 bytes for model 7, 534 for the others, unless
/// `state.statusLength` says otherwise. Counters and rates are those at the board's
/// uptime, `state.uptime()`. Multi-byte numbers big-endian. Any thread; pure apart from the
/// clock.
std::vector<std::uint8_t> buildStatusRecord(const DeviceState& state);

/// The same record as the board would report it `uptime` after it started.
std::vector<std::uint8_t> buildStatusRecord(const DeviceState& state,
                                            std::chrono::milliseconds uptime);

/// The Ins. packet counter `uptime` after the board started: its start value plus the
/// packets inserted since, modulo 65536.
std::uint16_t insPacketCount(const DeviceState& state, std::chrono::milliseconds uptime);
/// The CRC error counter `uptime` after the board started, modulo 65536.
std::uint16_t crcErrorCount(const DeviceState& state, std::chrono::milliseconds uptime);
/// `nominal` moved by up to `swing` either way along a triangle wave with a period of
/// kSwingPeriod: nominal at 0, nominal + swing a quarter period later. Never below 0,
/// never above `ceiling`.
std::uint32_t swingingValue(std::uint32_t nominal, std::uint32_t swing, std::uint32_t ceiling,
                            std::chrono::milliseconds uptime);

inline constexpr std::chrono::milliseconds kSwingPeriod{8000};

}  // namespace vexil::sim
