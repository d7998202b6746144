// The port numbers of the settings dialog. Free of widgets.
#pragma once

#include <optional>
#include <string_view>

namespace vexil {

inline constexpr int kPortEntryMin = 1;
inline constexpr int kPortEntryMax = 65534;

/// The port a "Change" prompt's entry names: the entry converted by the integer-text
/// rule and accepted only in 1..65534. Empty when it does not convert or lies outside.
std::optional<int> takePortEntry(std::string_view entry);

}  // namespace vexil
