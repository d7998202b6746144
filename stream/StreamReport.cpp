#include "stream/StreamReport.h"

#include <cstdio>
#include <sstream>

namespace vexil::stream {
namespace {

constexpr double kBitsPerByte = 8;
constexpr int kPidHexDigits = 4;
constexpr int kNameWidth = 34;

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

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (const unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

const char* sourceName(SourceKind k) {
  switch (k) {
    case SourceKind::TsFile: return "file";
    case SourceKind::Capture: return "capture";
    case SourceKind::Live: break;
  }
  return "live";
}

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

// "FAIL" for a count, "ok" for none where the indicator applies, "n/a" otherwise.
const char* indicatorMark(const StreamTotals& t, std::size_t i) {
  if (t.indicators[i] > 0) return "FAIL";
  return t.applicable[i] ? "ok" : "n/a";
}

}  // namespace

double pidShare(const PidCounts& pid, const StreamTotals& totals) {
  return share(pid.packets, totals.packets);
}

std::string pidKindText(const PidCounts& pid) {
  switch (pid.kind) {
    case PidKind::Pat: return "PAT";
    case PidKind::Cat: return "CAT";
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

std::vector<std::string> failureReasons(const StreamSnapshot& s) {
  std::vector<std::string> out;
  const StreamTotals& t = s.totals;
  if (t.packets == 0) out.push_back("no transport-stream packets arrived");
  for (std::size_t i = 0; i < kIndicatorCount; ++i)
    if (t.indicators[i] > 0)
      out.push_back(std::string(kIndicators[i].name) + ": " + std::to_string(t.indicators[i]));
  if (s.socketDrops > 0) out.push_back("the socket dropped " + std::to_string(s.socketDrops) + " datagrams");
  if (!s.recordError.empty()) out.push_back("recording failed: " + s.recordError);
  return out;
}

std::string formatText(const StreamSnapshot& s, double seconds) {
  const StreamTotals& t = s.totals;
  const StreamRates r = runRates(t, seconds);
  const bool live = s.source == SourceKind::Live;
  std::ostringstream o;
  o << "Seconds:                 " << fixed(seconds, 1) << (live ? "" : " (stream time)") << "\n";
  if (s.source != SourceKind::TsFile)
    o << "Datagrams:               " << t.datagrams << " (" << fixed(r.datagramsPerSecond, 1) << "/s)\n";
  o << "TS packets:              " << t.packets << " (" << fixed(r.packetsPerSecond, 1) << "/s)\n"
    << "Bit rate:                " << fixed(r.bitsPerSecond / 1e6, 3) << " Mb/s";
  if (s.bitsPerSecondFromPcr > 0) o << " (clock from the PCRs: " << fixed(s.bitsPerSecondFromPcr / 1e6, 3) << " Mb/s)";
  o << "\n"
    << "Packet size:             " << t.packetSize << " bytes";
  if (s.source != SourceKind::TsFile) o << ", " << fixed(r.packetsPerDatagram, 2) << " per datagram";
  o << "\n"
    << "Null packets:            " << t.nullPackets << " (" << fixed(r.nullShare * 100, 1) << " %)\n"
    << "Transport-error packets: " << t.transportErrorPackets << "\n"
    << "Scrambled packets:       " << t.scrambledPackets << "\n"
    << "Truncated packets:       " << t.truncatedPackets << "\n";
  if (live) {
    o << "Socket drops:            ";
    if (s.dropsKnown)
      o << s.socketDrops << (s.socketDrops ? "  FAIL" : "") << "\n";
    else
      o << "not reported by this system\n";
    if (t.noStream) o << "Stream:                  No stream at the end of the run\n";
  }
  if (!s.recordError.empty())
    o << "Recording:               FAILED: " << s.recordError << "\n";
  else if (s.recordedPackets)
    o << "Recorded packets:        " << s.recordedPackets << "\n";
  for (int priority = 1; priority <= 2; ++priority) {
    o << "TR 101 290 priority " << priority << ":\n";
    for (std::size_t i = 0; i < kIndicatorCount; ++i) {
      if (kIndicators[i].priority != priority) continue;
      const std::string name(kIndicators[i].name);
      o << "  " << name << ":" << std::string(static_cast<std::size_t>(kNameWidth) - name.size(), ' ');
      if (t.applicable[i] || t.indicators[i])
        o << t.indicators[i] << "  " << indicatorMark(t, i) << "\n";
      else
        o << "n/a\n";
    }
  }
  o << "PID       packets    share  CC errors  TEI  scrambled  carries\n";
  for (const PidCounts& p : s.pids) {
    char line[160];
    std::snprintf(line, sizeof line, "%s %9llu %7.2f %% %9llu %4llu %10llu  %s%s%s\n", hexPid(p.pid).c_str(),
                  static_cast<unsigned long long>(p.packets), pidShare(p, t) * 100,
                  static_cast<unsigned long long>(p.continuityErrors),
                  static_cast<unsigned long long>(p.transportErrors),
                  static_cast<unsigned long long>(p.scrambledPackets), pidKindText(p).c_str(),
                  p.carriesPcr ? " PCR" : "", p.carriesPts ? " PTS" : "");
    o << line;
  }
  const std::vector<std::string> reasons = failureReasons(s);
  if (reasons.empty()) {
    o << "Result: PASS\n";
  } else {
    o << "Result: FAIL (";
    for (std::size_t i = 0; i < reasons.size(); ++i) o << (i ? "; " : "") << reasons[i];
    o << ")\n";
  }
  return o.str();
}

std::string formatJson(const StreamSnapshot& s, double seconds) {
  const StreamTotals& t = s.totals;
  const StreamRates r = runRates(t, seconds);
  const std::vector<std::string> reasons = failureReasons(s);
  std::ostringstream o;
  o << "{\n"
    << "  \"source\": \"" << sourceName(s.source) << "\",\n"
    << "  \"seconds\": " << fixed(seconds, 3) << ",\n"
    << "  \"datagrams\": " << t.datagrams << ",\n"
    << "  \"bytes\": " << t.bytes << ",\n"
    << "  \"packets\": " << t.packets << ",\n"
    << "  \"datagrams_per_second\": " << fixed(r.datagramsPerSecond, 3) << ",\n"
    << "  \"packets_per_second\": " << fixed(r.packetsPerSecond, 3) << ",\n"
    << "  \"bits_per_second\": " << fixed(r.bitsPerSecond, 0) << ",\n"
    << "  \"pcr_bits_per_second\": " << fixed(s.bitsPerSecondFromPcr, 0) << ",\n"
    << "  \"packet_size\": " << t.packetSize << ",\n"
    << "  \"packets_per_datagram\": " << fixed(r.packetsPerDatagram, 3) << ",\n"
    << "  \"null_packets\": " << t.nullPackets << ",\n"
    << "  \"null_share\": " << fixed(r.nullShare, 5) << ",\n"
    << "  \"transport_error_packets\": " << t.transportErrorPackets << ",\n"
    << "  \"scrambled_packets\": " << t.scrambledPackets << ",\n"
    << "  \"truncated_packets\": " << t.truncatedPackets << ",\n"
    << "  \"skipped_bytes\": " << t.skippedBytes << ",\n"
    << "  \"socket_drops\": " << (s.source == SourceKind::Live && s.dropsKnown ? std::to_string(s.socketDrops) : "null") << ",\n"
    << "  \"no_stream\": " << (s.source == SourceKind::Live && t.noStream ? "true" : "false") << ",\n"
    << "  \"recorded_packets\": " << s.recordedPackets << ",\n"
    << "  \"record_error\": " << (s.recordError.empty() ? "null" : jsonString(s.recordError)) << ",\n"
    << "  \"indicators\": {";
  for (std::size_t i = 0; i < kIndicatorCount; ++i)
    o << (i ? ", " : "") << "\"" << kIndicators[i].key << "\": " << t.indicators[i];
  o << "},\n  \"not_applicable\": [";
  bool first = true;
  for (std::size_t i = 0; i < kIndicatorCount; ++i) {
    if (t.applicable[i] || t.indicators[i]) continue;
    o << (first ? "" : ", ") << "\"" << kIndicators[i].key << "\"";
    first = false;
  }
  o << "],\n  \"pids\": [";
  for (std::size_t i = 0; i < s.pids.size(); ++i) {
    const PidCounts& c = s.pids[i];
    o << (i ? ",\n    " : "\n    ") << "{\"pid\": " << c.pid << ", \"packets\": " << c.packets
      << ", \"share\": " << fixed(pidShare(c, t), 5) << ", \"cc_errors\": " << c.continuityErrors
      << ", \"transport_errors\": " << c.transportErrors << ", \"scrambled\": " << c.scrambledPackets
      << ", \"pcr\": " << (c.carriesPcr ? "true" : "false") << ", \"pts\": " << (c.carriesPts ? "true" : "false")
      << ", \"kind\": \"" << pidKindText(c) << "\"}";
  }
  o << (s.pids.empty() ? "],\n" : "\n  ],\n") << "  \"failures\": [";
  for (std::size_t i = 0; i < reasons.size(); ++i) o << (i ? ", " : "") << jsonString(reasons[i]);
  o << "],\n"
    << "  \"verdict\": \"" << (reasons.empty() ? "pass" : "fail") << "\"\n}\n";
  return o.str();
}

}  // namespace vexil::stream
