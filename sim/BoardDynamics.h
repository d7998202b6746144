// A board that lives while it is watched: input rates that wander, buffers that follow
// them, counters that move at chosen rates, and scripted moments (an overflow, a channel
// that stops, a link that changes, a reset, a silence) at chosen times after the
// emulator started. Everything is a function of that time, not of the queries, so what
// a watch sees can be compared exactly with what the emulator was told.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/DeviceState.h"

namespace vexil::sim {

using Seconds = std::chrono::duration<double>;

/// What the emulator is told to do over time.
struct DynamicsScript {
  bool wander = false;           // --dynamics: rates wander, usage follows
  std::uint32_t seed = 1;        // --seed
  struct Overflow { Seconds at; int channel; };
  struct Stop { Seconds at; int channel; };
  struct Link { Seconds at; std::uint8_t speed; };
  std::vector<Overflow> overflows;   // --overflow-at
  std::vector<Stop> stops;           // --stop-channel-at
  std::vector<Link> links;           // --link-at
  std::vector<Seconds> resets;       // --reset-at
  std::optional<Seconds> silentAt;   // --silent-at
  Seconds silentFor{0};              // --silent-for
  bool any() const {
    return wander || !overflows.empty() || !stops.empty() || !links.empty() ||
           !resets.empty() || silentAt.has_value();
  }
};

/// How far a wandering rate strays from its base, and how long the overflow LED stays
/// on after an overflow.
inline constexpr double kWanderShare = 0.10;
inline constexpr Seconds kOverflowLedOn{2.0};
/// The share of the buffer a wandering channel fills, from its lowest to highest rate.
inline constexpr double kFillLow = 0.20;
inline constexpr double kFillHigh = 0.50;

class BoardDynamics {
 public:
  explicit BoardDynamics(DynamicsScript script = {});

  /// Brings `state` to what the board shows `elapsed` after the emulator started:
  /// wandering rates and the usage that follows them, overflows, stopped channels, link
  /// speeds, resets whose time has come. Call with a non-decreasing `elapsed`.
  void apply(DeviceState& state, Seconds elapsed);
  /// Whether the board is silent at `elapsed`: [silentAt, silentAt + silentFor).
  bool silent(Seconds elapsed) const;
  /// The wandering rate of channel `index` (0..3) with base `base` at `elapsed`:
  /// a bounded random walk in steps of a second, the same for the same seed.
  std::uint32_t wanderingRate(std::size_t index, std::uint32_t base, Seconds elapsed);

  const DynamicsScript& script() const { return script_; }

 private:
  DynamicsScript script_;
  std::vector<double> walk_[4];       // per channel: the walk's share of the base, a second each
  std::size_t resetsDone_ = 0;
  std::optional<std::array<std::uint32_t, 4>> bases_;  // each channel's base rate, first seen
  std::array<std::uint32_t, 4> originalUsage_{};      // each channel's usage, first seen
  std::array<std::uint32_t, 4> originalSwing_{};      // and its swing
};

/// Reads the dynamics option at args[i] and its value (moving i past it). Nothing when
/// args[i] is not one; false, with `error` set, when its value is wrong; true when it
/// was taken. Counter rates go into `state`.
std::optional<bool> parseDynamicsOption(std::span<const std::string> args, std::size_t& i,
                                        DeviceState& state, DynamicsScript& script,
                                        std::string& error);

/// The --help section for the dynamics.
std::string_view dynamicsHelpText();

}  // namespace vexil::sim
