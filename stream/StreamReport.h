// One look at a monitored stream, and its text and JSON renderings for the command
// line.
#pragma once

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "stream/StreamAnalyser.h"
#include "stream/StreamMeter.h"

namespace vexil::stream {

/// Everything the monitor shows at one moment. A plain copy: any thread.
struct StreamSnapshot {
  StreamTotals totals;
  std::vector<PidCounts> pids;
  StreamRates rates;
  std::array<bool, Priority1::kCount> red{};
  std::deque<RatePoint> history;
  std::uint64_t socketDrops = 0;      // datagrams the socket dropped for want of room
  std::uint64_t recordedPackets = 0;
};

/// Names of the six first-priority indicators, in the order of Priority1::asArray.
inline constexpr std::array<const char*, Priority1::kCount> kPriority1Names{
    "TS sync loss", "Sync byte error", "PAT error", "Continuity count error", "PMT error",
    "PID error"};

/// "PAT", "PMT", "ES 0x1B", "Null" or "" for what a PID carries.
std::string pidKindText(const PidCounts& pid);

/// A PID's share of all packets, 0..1 (0 while nothing has arrived).
double pidShare(const PidCounts& pid, const StreamTotals& totals);

/// Whether a check run passed: packets arrived and neither continuity nor sync went
/// wrong.
bool checkPassed(const StreamTotals& totals);

/// The figures of a run of `seconds` as lines of text (rates averaged over the run).
std::string formatText(const StreamSnapshot& s, double seconds);
/// The same as one JSON object.
std::string formatJson(const StreamSnapshot& s, double seconds);

}  // namespace vexil::stream
