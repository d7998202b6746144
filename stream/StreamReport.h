// One look at a monitored stream, and its text and JSON renderings for the command
// line. The verdict is worked out once here, so every line printed agrees with it.
#pragma once

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "stream/Indicators.h"
#include "stream/StreamAnalyser.h"
#include "stream/StreamMeter.h"

namespace vexil::stream {

/// Where the figures came from.
enum class SourceKind : std::uint8_t { Live, TsFile, Capture };

/// Everything the monitor shows at one moment. A plain copy: any thread.
struct StreamSnapshot {
  StreamTotals totals;
  std::vector<PidCounts> pids;
  StreamRates rates;
  IndicatorFlags red{};                // each indicator fired within the meter's hold
  std::deque<RatePoint> history;
  SourceKind source = SourceKind::Live;
  bool dropsKnown = true;              // the system reports the socket's drops
  std::uint64_t socketDrops = 0;       // datagrams the socket dropped for want of room
  std::uint64_t recordedPackets = 0;
  std::string recordError;             // non-empty: the recording failed, and why
  double bitsPerSecondFromPcr = 0;     // file analysis: the rate the clock was set from
};

/// "PAT", "CAT", "PMT", "ES 0x1B", "Null" or "" for what a PID carries.
std::string pidKindText(const PidCounts& pid);

/// A PID's share of all packets, 0..1 (0 while nothing has arrived).
double pidShare(const PidCounts& pid, const StreamTotals& totals);

/// Why a run failed, one reason a line, in the order they are printed; empty when it
/// passed. A run passes when packets arrived, no indicator fired, the socket dropped
/// nothing and a recording asked for was written whole.
std::vector<std::string> failureReasons(const StreamSnapshot& s);
inline bool checkPassed(const StreamSnapshot& s) { return failureReasons(s).empty(); }

/// The figures of a run of `seconds` as lines of text (rates averaged over the run).
std::string formatText(const StreamSnapshot& s, double seconds);
/// The same as one JSON object, keys in snake_case; "indicators" holds one integer per
/// indicator, "not_applicable" the keys of those that could not apply, "verdict" is
/// "pass" or "fail".
std::string formatJson(const StreamSnapshot& s, double seconds);

}  // namespace vexil::stream
