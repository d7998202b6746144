// The board's 16-bit counters (CRC errors, inserted packets) turned into increments
// between two polls: a wrap through 65535 counts as the few steps it took, and a counter
// that falls far is a board reset, counted from zero, never as 65,000 errors.
#pragma once

#include <cstdint>
#include <optional>

namespace vexil::watch {

inline constexpr std::uint32_t kCounterModulo = 0x10000;
/// A fall through the wrap is taken as counting on when it covers at most this many
/// steps, or four times the counter's last increment per poll (times the polls
/// between) if that is more; further, it is a
/// reset. A quiet counter that falls is always a reset; a busy one may wrap.
inline constexpr std::uint32_t kWrapWindow = 1024;
inline constexpr std::uint32_t kWrapRateFactor = 4;

struct CounterStep {
  std::uint64_t increment = 0;
  bool reset = false;
};

/// Follows one counter across polls.
class CounterDelta {
 public:
  /// The step from the last value given to `value`, `polls` polls later (more than one
  /// after a silence). The first value gives no increment.
  CounterStep next(std::uint16_t value, std::uint32_t polls = 1);

 private:
  std::optional<std::uint16_t> last_;
  std::uint32_t lastPerPoll_ = 0;  // the last increment, per poll
};

}  // namespace vexil::watch
