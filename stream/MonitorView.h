// What the Stream Monitor window shows, worked out from one snapshot: the texts of its
// figures, the look, count and last time of each indicator, the cells of the PID table
// and the texts of its status line. No Qt: the window only moves these into widgets.
// The rule it keeps: nothing looks healthy that has not been seen.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "stream/Indicators.h"
#include "stream/StreamReceiver.h"
#include "stream/StreamReport.h"

namespace vexil::stream {

/// How an indicator is drawn: not seen (grey: cannot apply yet, or no stream to judge),
/// quiet (green: applies, stream present, no increase within the hold) or fired (red).
enum class IndicatorLook : std::uint8_t { NotSeen, Quiet, Fired };

/// One indicator as shown.
struct IndicatorView {
  IndicatorLook look = IndicatorLook::NotSeen;
  std::string count;      // the count, or "n/a" while the indicator cannot apply
  std::string lastFired;  // local time "hh:mm:ss" of the last increase, or "never"
};

/// The figures of the Stream box, in display order.
enum class MonitorFigure : std::uint8_t {
  Datagrams,
  Packets,
  BitRate,
  PacketSize,
  PacketsPerDatagram,
  NullShare,
  TransportErrors,
  ContinuityErrors,
  SyncLosses,
  SocketDrops,
  Recorded,
  Count
};
inline constexpr std::size_t kMonitorFigureCount = static_cast<std::size_t>(MonitorFigure::Count);
inline constexpr std::array<const char*, kMonitorFigureCount> kMonitorFigureNames = {
    "Datagrams/s",
    "TS packets/s",
    "Bit rate",
    "Packet size",
    "Packets per datagram",
    "Null packets",
    "Transport-error packets",
    "Continuity errors",
    "Sync byte errors / losses",
    "Socket drops",
    "Recorded packets"};

/// The columns of the PID table, in display order.
enum class PidColumn : std::uint8_t {
  Pid,
  Packets,
  Share,
  Continuity,
  Scrambled,
  Clocks,
  Carries,
  Count
};
inline constexpr std::size_t kPidColumnCount = static_cast<std::size_t>(PidColumn::Count);
inline constexpr std::array<const char*, kPidColumnCount> kPidColumnNames = {
    "PID", "Packets", "Share", "CC errors", "Scrambled", "PCR/PTS", "Carries"};
using PidRow = std::array<std::string, kPidColumnCount>;

inline constexpr const char* kNotApplicableText = "n/a";
inline constexpr const char* kNeverText = "never";

/// One moment read from both clocks: converts the analyser's steady times to local times.
struct ClockPair {
  TimePoint steady{};
  std::chrono::system_clock::time_point wall{};
  static ClockPair now() { return {Clock::now(), std::chrono::system_clock::now()}; }
};

/// Everything the window shows of one snapshot.
struct MonitorView {
  std::array<std::string, kMonitorFigureCount> figures;
  bool dropsRed = false;  // the socket dropped datagrams
  std::array<IndicatorView, kIndicatorCount> indicators;
  bool noStream = false;  // listening, and nothing arrives
  std::string status;     // non-empty: what the status line must say now
};

namespace monitor_detail {

inline std::string fixed(double v, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

inline std::string number(std::uint64_t v) { return std::to_string(v); }

constexpr double kMega = 1e6;
constexpr double kPercent = 100;
constexpr int kRateDecimals = 1;
constexpr int kBitRateDecimals = 3;
constexpr int kAverageDecimals = 2;
constexpr int kShareDecimals = 2;
constexpr int kPidHexDigits = 4;

}  // namespace monitor_detail

/// The local wall-clock time "hh:mm:ss" of steady-clock instant `at`, read against `now`.
inline std::string localTimeText(TimePoint at, const ClockPair& now) {
  const auto wall =
      now.wall - std::chrono::duration_cast<std::chrono::system_clock::duration>(now.steady - at);
  const std::time_t seconds =
      std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(wall));
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

/// Indicator `i` of `s`. Red when the meter says it fired within its hold; otherwise
/// grey with "n/a" while it cannot apply, grey with its count while no stream is there
/// to judge (nothing arrived yet, or the stream stopped), green only when it applies
/// and the stream is present.
inline IndicatorView indicatorView(const StreamSnapshot& s, Indicator i, const ClockPair& now) {
  const StreamTotals& t = s.totals;
  IndicatorView v;
  const bool applies = t.isApplicable(i);
  v.count = applies ? monitor_detail::number(t.count(i)) : kNotApplicableText;
  const auto& last = t.lastFired[indexOf(i)];
  v.lastFired = last ? localTimeText(*last, now) : kNeverText;
  if (s.red[indexOf(i)])
    v.look = IndicatorLook::Fired;
  else if (applies && !t.noStream && t.packets > 0)
    v.look = IndicatorLook::Quiet;
  return v;
}

/// The status line while a recording fails: why.
inline std::string recordFailedText(const std::string& why) { return "Recording failed: " + why; }

/// The whole window's figures and indicators of `s`; `listening` says whether the
/// receiver runs (the "No stream" warning is shown only then).
inline MonitorView monitorView(const StreamSnapshot& s, bool listening, const ClockPair& now) {
  using namespace monitor_detail;
  using F = MonitorFigure;
  const StreamTotals& t = s.totals;
  const StreamRates& r = s.rates;
  MonitorView v;
  auto set = [&v](F f, std::string text) {
    v.figures[static_cast<std::size_t>(f)] = std::move(text);
  };
  set(F::Datagrams, fixed(r.datagramsPerSecond, kRateDecimals));
  set(F::Packets, fixed(r.packetsPerSecond, kRateDecimals));
  set(F::BitRate, fixed(r.bitsPerSecond / kMega, kBitRateDecimals) + " Mb/s");
  set(F::PacketSize, t.packetSize ? number(t.packetSize) + " bytes" : "-");
  set(F::PacketsPerDatagram, fixed(r.packetsPerDatagram, kAverageDecimals));
  set(F::NullShare, fixed(r.nullShare * kPercent, kRateDecimals) + " %");
  set(F::TransportErrors, number(t.transportErrorPackets));
  set(F::ContinuityErrors, number(t.count(Indicator::ContinuityCountError)));
  set(F::SyncLosses,
      number(t.count(Indicator::SyncByteError)) + " / " + number(t.count(Indicator::TsSyncLoss)));
  set(F::SocketDrops, s.dropsKnown ? number(s.socketDrops) : kNotApplicableText);
  set(F::Recorded, number(s.recordedPackets));
  v.dropsRed = s.dropsKnown && s.socketDrops > 0;
  for (const IndicatorInfo& info : kIndicators)
    v.indicators[indexOf(info.id)] = indicatorView(s, info.id, now);
  v.noStream = listening && t.noStream;
  if (!s.recordError.empty()) v.status = recordFailedText(s.recordError);
  return v;
}

/// The PID table's cells for `pid`: "0x0101 (257)", packets, share, continuity errors,
/// scrambled packets, "PCR", "PTS" or "PCR PTS", and what it carries.
inline PidRow pidRow(const PidCounts& pid, const StreamTotals& totals) {
  using namespace monitor_detail;
  char id[32];
  std::snprintf(id, sizeof id, "0x%0*X (%u)", kPidHexDigits, pid.pid,
                static_cast<unsigned>(pid.pid));
  std::string clocks = pid.carriesPcr ? "PCR" : "";
  if (pid.carriesPts) clocks += clocks.empty() ? "PTS" : " PTS";
  return {id,
          number(pid.packets),
          fixed(pidShare(pid, totals) * kPercent, kShareDecimals) + " %",
          number(pid.continuityErrors),
          number(pid.scrambledPackets),
          clocks,
          pidKindText(pid)};
}

/// The address the monitor first offers for a Send TS destination of `destination`:
/// the group itself when the board sends to a multicast group (joined, not bound),
/// loopback otherwise, where the emulator's unicast streams arrive.
inline std::string firstListenAddress(const std::string& destination) {
  return isMulticastGroup(destination) ? destination : "127.0.0.1";
}

/// The status line once listening on `e`, bound to `boundPort`.
inline std::string listeningText(const ListenEndpoint& e, std::uint16_t boundPort) {
  std::string text = "Listening on " + e.address + ":" + std::to_string(boundPort);
  if (!isMulticastGroup(e.address)) return text + " (UDP).";
  text += " (UDP, multicast group";
  if (!e.source.empty()) text += ", source " + e.source;
  if (!e.interface.empty()) text += ", interface " + e.interface;
  return text + ").";
}

/// The status line when a recording ends: its packets, or why it failed.
inline std::string recordOutcomeText(std::uint64_t written, const std::string& error) {
  if (!error.empty()) return recordFailedText(error);
  return "Recorded " + std::to_string(written) + " packets.";
}

}  // namespace vexil::stream
