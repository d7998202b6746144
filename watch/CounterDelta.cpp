#include "watch/CounterDelta.h"

#include <algorithm>

namespace vexil::watch {

CounterStep CounterDelta::next(std::uint16_t value, std::uint32_t polls) {
  polls = std::max<std::uint32_t>(polls, 1);
  CounterStep step;
  if (last_) {
    const std::uint16_t last = *last_;
    if (value >= last) {
      step.increment = value - last;
    } else {
      const std::uint32_t forward = (value + kCounterModulo - last) % kCounterModulo;
      const std::uint64_t window = std::max<std::uint64_t>(
          kWrapWindow, std::uint64_t{kWrapRateFactor} * lastPerPoll_ * polls);
      if (forward <= window) {
        step.increment = forward;
      } else {
        // Counted since the reset, from zero.
        step.reset = true;
        step.increment = value;
      }
    }
    lastPerPoll_ = static_cast<std::uint32_t>(step.increment / polls);
  }
  last_ = value;
  return step;
}

}  // namespace vexil::watch
