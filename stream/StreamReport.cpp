#include "stream/StreamReport.h"

#include <cstdio>
#include <sstream>

namespace vexil::stream {
namespace {

constexpr double kBitsPerByte = 8;
constexpr int kPidHexDigits = 4;

std::string hexPid(std::uint16_t pid) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", kPidHexDigits, pid);
  return text;
}

std::string fixed(double v, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

double share(std::uint64_t part, std::uint64_t whole) {
  return whole ? static_cast<double>(part) / static_cast<double>(whole) : 0;
}

}  // namespace

double pidShare(const PidCounts& pid, const StreamTotals& totals) {
  return share(pid.packets, totals.packets);
}

namespace {

// Averages over the whole run, from the totals.
StreamRates runRates(const StreamTotals& t, double seconds) {
  StreamRates r;
  if (seconds > 0) {
    r.datagramsPerSecond = static_cast<double>(t.datagrams) / seconds;
    r.packetsPerSecond = static_cast<double>(t.packets) / seconds;
    r.bitsPerSecond = r.packetsPerSecond * kPacketSize * kBitsPerByte;
  }
  r.packetsPerDatagram = share(t.packets, t.datagrams);
  r.nullShare = share(t.nullPackets, t.packets);
  return r;
}

}  // namespace

std::string pidKindText(const PidCounts& pid) {
  switch (pid.kind) {
    case PidKind::Pat: return "PAT";
    case PidKind::Pmt: return "PMT";
    case PidKind::Null: return "Null";
    case PidKind::Elementary: {
      char text[16];
      std::snprintf(text, sizeof text, "ES 0x%02X", pid.streamType);
      return text;
    }
    case PidKind::Unknown: break;
  }
  return "";
}

bool checkPassed(const StreamTotals& t) {
  return t.packets > 0 && t.priority1.continuityError == 0 && t.priority1.syncByteError == 0 &&
         t.priority1.tsSyncLoss == 0;
}

std::string formatText(const StreamSnapshot& s, double seconds) {
  const StreamTotals& t = s.totals;
  const StreamRates r = runRates(t, seconds);
  std::ostringstream o;
  o << "Seconds:                " << fixed(seconds, 1) << "\n"
    << "Datagrams:              " << t.datagrams << " (" << fixed(r.datagramsPerSecond, 1) << "/s)\n"
    << "TS packets:             " << t.packets << " (" << fixed(r.packetsPerSecond, 1) << "/s)\n"
    << "Bit rate:               " << fixed(r.bitsPerSecond / 1e6, 3) << " Mb/s\n"
    << "Packet size:            " << t.packetSize << " bytes, " << fixed(r.packetsPerDatagram, 2)
    << " per datagram\n"
    << "Null packets:           " << t.nullPackets << " (" << fixed(r.nullShare * 100, 1) << " %)\n"
    << "Transport-error packets: " << t.transportErrorPackets << "\n"
    << "Truncated packets:      " << t.truncatedPackets << "\n"
    << "Socket drops:           " << s.socketDrops << "\n";
  if (s.recordedPackets) o << "Recorded packets:       " << s.recordedPackets << "\n";
  o << "TR 101 290 priority 1:\n";
  const auto counts = t.priority1.asArray();
  for (std::size_t i = 0; i < counts.size(); ++i)
    o << "  " << kPriority1Names[i] << ": " << counts[i] << (counts[i] ? "  FAIL" : "  ok") << "\n";
  o << "PID       packets    share  CC errors  TEI  carries\n";
  for (const PidCounts& p : s.pids) {
    char line[128];
    std::snprintf(line, sizeof line, "%s %9llu %7.2f %% %9llu %4llu  %s\n", hexPid(p.pid).c_str(),
                  static_cast<unsigned long long>(p.packets), pidShare(p, t) * 100,
                  static_cast<unsigned long long>(p.continuityErrors),
                  static_cast<unsigned long long>(p.transportErrors), pidKindText(p).c_str());
    o << line;
  }
  o << (checkPassed(t) ? "Result: PASS\n" : "Result: FAIL\n");
  return o.str();
}

std::string formatJson(const StreamSnapshot& s, double seconds) {
  const StreamTotals& t = s.totals;
  const StreamRates r = runRates(t, seconds);
  const Priority1& p = t.priority1;
  std::ostringstream o;
  o << "{\n"
    << "  \"seconds\": " << fixed(seconds, 3) << ",\n"
    << "  \"datagrams\": " << t.datagrams << ",\n"
    << "  \"bytes\": " << t.bytes << ",\n"
    << "  \"packets\": " << t.packets << ",\n"
    << "  \"datagrams_per_second\": " << fixed(r.datagramsPerSecond, 3) << ",\n"
    << "  \"packets_per_second\": " << fixed(r.packetsPerSecond, 3) << ",\n"
    << "  \"bits_per_second\": " << fixed(r.bitsPerSecond, 0) << ",\n"
    << "  \"packet_size\": " << t.packetSize << ",\n"
    << "  \"packets_per_datagram\": " << fixed(r.packetsPerDatagram, 3) << ",\n"
    << "  \"null_packets\": " << t.nullPackets << ",\n"
    << "  \"null_share\": " << fixed(r.nullShare, 5) << ",\n"
    << "  \"transport_error_packets\": " << t.transportErrorPackets << ",\n"
    << "  \"truncated_packets\": " << t.truncatedPackets << ",\n"
    << "  \"socket_drops\": " << s.socketDrops << ",\n"
    << "  \"recorded_packets\": " << s.recordedPackets << ",\n"
    << "  \"priority1\": {\"ts_sync_loss\": " << p.tsSyncLoss
    << ", \"sync_byte_error\": " << p.syncByteError << ", \"pat_error\": " << p.patError
    << ", \"continuity_count_error\": " << p.continuityError << ", \"pmt_error\": " << p.pmtError
    << ", \"pid_error\": " << p.pidError << "},\n"
    << "  \"pids\": [";
  for (std::size_t i = 0; i < s.pids.size(); ++i) {
    const PidCounts& c = s.pids[i];
    o << (i ? ",\n    " : "\n    ") << "{\"pid\": " << c.pid << ", \"packets\": " << c.packets
      << ", \"share\": " << fixed(pidShare(c, t), 5)
      << ", \"cc_errors\": " << c.continuityErrors << ", \"tei\": " << c.transportErrors
      << ", \"kind\": \"" << pidKindText(c) << "\"}";
  }
  o << (s.pids.empty() ? "],\n" : "\n  ],\n")
    << "  \"pass\": " << (checkPassed(t) ? "true" : "false") << "\n}\n";
  return o.str();
}

}  // namespace vexil::stream
