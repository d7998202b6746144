#include "stream/StreamCheck.h"

#include <charconv>
#include <thread>

#include "stream/StreamReceiver.h"
#include "stream/StreamReport.h"

namespace vexil::stream {
namespace {

constexpr int kMaxPort = 65535;
constexpr double kMaxSeconds = 24 * 3600;
constexpr auto kSampleEvery = std::chrono::milliseconds(1000);

std::optional<double> positiveNumber(const std::string& text, double most) {
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || !(v > 0) || v > most)
    return std::nullopt;
  return v;
}

std::optional<int> portNumber(const std::string& text) {
  int v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < 1 || v > kMaxPort)
    return std::nullopt;
  return v;
}

}  // namespace

std::optional<CheckOptions> parseCheckOptions(std::span<const std::string> args,
                                              std::string& error) {
  CheckOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      return o;
    }
    if (arg == "--json") {
      o.json = true;
      continue;
    }
    const bool valued = arg == "--port" || arg == "--address" || arg == "--seconds" || arg == "--record";
    if (!valued) {
      error = "unknown option " + arg + " (see --help)";
      return std::nullopt;
    }
    if (i + 1 >= args.size()) {
      error = arg + " needs a value";
      return std::nullopt;
    }
    const std::string& value = args[++i];
    if (arg == "--port") {
      const auto p = portNumber(value);
      if (!p) {
        error = "--port must be 1 to 65535, not \"" + value + "\"";
        return std::nullopt;
      }
      o.port = *p;
    } else if (arg == "--seconds") {
      const auto s = positiveNumber(value, kMaxSeconds);
      if (!s) {
        error = "--seconds must be a number above 0 and at most 86400, not \"" + value + "\"";
        return std::nullopt;
      }
      o.seconds = *s;
    } else if (arg == "--address") {
      o.address = value;
    } else {
      o.recordPath = value;
    }
  }
  if (o.port < 0 || o.seconds <= 0) {
    error = "--port and --seconds are required (see --help)";
    return std::nullopt;
  }
  return o;
}

std::string_view checkHelpText() {
  return R"(Usage: vexil-stream-check --port P [--address A] --seconds N [--json] [--record FILE]
Listens for a transport stream in UDP datagrams (IPTV: whole 188- or 204-byte packets
per datagram; QV-Net: the stream cut into datagrams) for N seconds and reports the
datagram, packet and bit rates, the packet size, null packets, transport-error
packets, continuity errors per PID and the ETSI TR 101 290 priority 1 indicators.

  --port P        UDP port to listen on (1..65535)
  --address A     local IPv4 address to bind (default 127.0.0.1; 0.0.0.0 for all)
  --seconds N     how long to listen (may have decimals)
  --json          print the figures as one JSON object
  --record FILE   also write the received packets to FILE (188-byte packets)

Exit status: 0 when packets arrived and no continuity or sync error was seen,
1 otherwise, 2 on a usage error.
)";
}

int runCheck(const CheckOptions& options, std::ostream& out, std::ostream& err) {
  StreamReceiver receiver;
  if (!receiver.start(options.address, options.port)) {
    err << "vexil-stream-check: " << receiver.error() << "\n";
    return kCheckUsage;
  }
  std::string why;
  if (!options.recordPath.empty() && !receiver.startRecording(options.recordPath, why)) {
    err << "vexil-stream-check: cannot record: " << why << "\n";
    return kCheckUsage;
  }
  const auto started = Clock::now();
  const auto end = started + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(options.seconds));
  receiver.snapshot();
  for (auto next = started + kSampleEvery; next < end; next += kSampleEvery) {
    std::this_thread::sleep_until(next);
    receiver.snapshot();  // keeps the meter's history going
  }
  std::this_thread::sleep_until(end);
  StreamSnapshot s = receiver.snapshot();
  receiver.stopRecording();
  receiver.stop();
  s.socketDrops = receiver.socketDrops();
  const double seconds = std::chrono::duration<double>(end - started).count();
  out << (options.json ? formatJson(s, seconds) : formatText(s, seconds));
  return checkPassed(s.totals) ? kCheckPassed : kCheckFailed;
}

}  // namespace vexil::stream
