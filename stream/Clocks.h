// The clocks of a transport stream: the PCRs of each PID (their steps and their
// accuracy against the rate they give) and how long a PID goes without a PTS or a
// table goes without repeating.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "stream/TsPacket.h"

namespace vexil::stream {

/// Something that must come back within a limit: a table, a PID, a clock.
struct Deadline {
  std::chrono::steady_clock::time_point since{};  // last seen, or when it became due
  std::uint64_t counted = 0;                      // errors already counted for this absence

  /// New errors at `at`: one for every whole `limit` that has passed beyond the first
  /// (away for just the limit is still in time; 2.2 limits away is 2).
  std::uint64_t overdue(std::chrono::steady_clock::time_point at, std::chrono::nanoseconds limit);
  /// Seen at `at`: counts what is still owed for the absence, then starts again.
  std::uint64_t seen(std::chrono::steady_clock::time_point at, std::chrono::nanoseconds limit);
};

/// What one PCR showed.
struct PcrCheck {
  bool discontinuityError = false;  // a step outside 0 .. jump limit, not announced
  bool accuracyError = false;       // off from where the rate of the last interval puts it
};

/// The PCRs of every PID. Not thread-safe.
///
/// A PCR is compared with the one before it on its PID: the step must lie within
/// 0 .. `jumpTicks` unless discontinuity_indicator announces a new time base. Its
/// accuracy is judged against the constant rate the stream's own PCRs give: the line
/// fitted through the last kWindow PCRs of the PID (byte position against PCR) must
/// meet it within `accuracyTicks`. A PCR that misses is left out of the line, and the
/// line starts again from the next one, so a single bad PCR is one error and a change
/// of rate is one error, not one at every PCR after it.
class PcrChecker {
 public:
  static constexpr std::size_t kWindow = 32;     // PCRs the line is fitted through
  static constexpr std::size_t kJudgedFrom = 4;  // PCRs on the line before one is judged

  PcrChecker(std::uint64_t jumpTicks, double accuracyTicks);
  void reset();
  /// The PCR `pcr` (27 MHz) of `pid`, in the packet at byte `offset` of the stream.
  PcrCheck check(std::uint16_t pid, std::uint64_t pcr, std::uint64_t offset, bool discontinuity);

 private:
  struct Point {
    double bytes = 0;  // since the line's first PCR
    double ticks = 0;  // since the line's first PCR, across the wrap
  };
  struct State {
    bool known = false;          // a PCR on the current time base
    std::uint64_t pcr = 0;       // the last one, and where it was
    std::uint64_t offset = 0;
    std::uint64_t originOffset = 0;  // the line's first PCR
    double originTicks = 0;          // its PCR, unwrapped, against the last one's
    double lastTicks = 0;            // the last PCR, unwrapped from the origin
    std::vector<Point> line;         // up to kWindow points, oldest first
  };
  void restart(State& s, std::uint64_t pcr, std::uint64_t offset) const;
  bool offTheLine(const State& s, double bytes, double ticks) const;

  std::uint64_t jumpTicks_;
  double accuracyTicks_;
  std::vector<State> states_;  // kPidCount entries
};

/// PCR ticks in a duration (27 MHz).
constexpr std::uint64_t pcrTicks(std::chrono::nanoseconds d) {
  return static_cast<std::uint64_t>(d.count()) * kPcrHz / 1'000'000'000;
}

}  // namespace vexil::stream
