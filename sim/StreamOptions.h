// The vexil-sim options for the board's transport streams: input rates and faults.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sim/DeviceState.h"
#include "sim/StreamFaults.h"

namespace vexil::sim {

/// Reads the stream option at args[i] and its value (moving i past it). Nothing when
/// args[i] is not a stream option; false, with `error` set, when its value is wrong;
/// true when it was taken.
std::optional<bool> parseStreamOption(std::span<const std::string> args, std::size_t& i,
                                      DeviceState& state, StreamFaults& faults,
                                      std::string& error);

/// The --help section for the streams.
std::string_view streamHelpText();

}  // namespace vexil::sim
