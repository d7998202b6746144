// Captions that follow the position of a page's scroll bar. Free of widgets.
#pragma once

#include <string>

namespace vexil {

/// Range of the reset-time scroll bar, in milliseconds.
inline constexpr int kResetTimeMin = 1;
inline constexpr int kResetTimeMax = 255;
/// Range of the QV-Net data-size scroll bar, in bytes.
inline constexpr int kQvNetSizeMin = 256;
inline constexpr int kQvNetSizeMax = 1428;

/// "Reset Time: " + position + " ms".
std::string resetTimeCaption(int position);

/// "QV-Net Data Size is " + position + " bytes" (no full stop).
std::string qvNetSizeCaption(int position);

}  // namespace vexil
