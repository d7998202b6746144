#include "stream/StreamCheck.h"

#include <charconv>
#include <filesystem>
#include <thread>

#include "stream/FileCheck.h"
#include "stream/StreamReceiver.h"
#include "stream/StreamReport.h"

namespace vexil::stream {
namespace {

constexpr int kMaxPort = 65535;
constexpr double kMaxSeconds = 24 * 3600;
constexpr double kMaxBitrate = 10e9;
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

bool fail(std::string& error, const std::string& message) {
  error = message;
  return false;
}

// Takes the value of option `arg`; false, with `error` set, when it is wrong.
bool takeValue(const std::string& arg, const std::string& value, CheckOptions& o, std::string& error) {
  if (arg == "--port") {
    const auto p = portNumber(value);
    if (!p) return fail(error, "--port must be 1 to 65535, not \"" + value + "\"");
    o.port = *p;
  } else if (arg == "--seconds") {
    const auto s = positiveNumber(value, kMaxSeconds);
    if (!s) return fail(error, "--seconds must be a number above 0 and at most 86400, not \"" + value + "\"");
    o.seconds = *s;
  } else if (arg == "--bitrate") {
    const auto b = positiveNumber(value, kMaxBitrate);
    if (!b) return fail(error, "--bitrate must be bits per second above 0 and at most 1e10, not \"" + value + "\"");
    o.bitrate = *b;
  } else if (arg == "--address") {
    o.address = value;
  } else if (arg == "--source") {
    o.source = value;
  } else if (arg == "--interface") {
    o.interface = value;
  } else if (arg == "--metrics") {
    if (value.empty()) return fail(error, "--metrics needs ADDR:PORT");
    o.metrics = value;
  } else if (arg == "--file") {
    if (value.empty()) return fail(error, "--file needs a path");
    o.file = value;
  } else {
    o.recordPath = value;
  }
  return true;
}

bool isValued(const std::string& arg) {
  return arg == "--port" || arg == "--address" || arg == "--seconds" || arg == "--record" ||
         arg == "--source" || arg == "--interface" || arg == "--file" || arg == "--bitrate" ||
         arg == "--metrics";
}

int report(const StreamSnapshot& s, double seconds, bool json, std::ostream& out) {
  out << (json ? formatJson(s, seconds) : formatText(s, seconds));
  return checkPassed(s) ? kCheckPassed : kCheckFailed;
}

int runFile(const CheckOptions& options, std::ostream& out, std::ostream& err, std::string_view command,
            const SnapshotObserver& observer) {
  std::error_code ec;
  if (!std::filesystem::exists(options.file, ec)) {
    err << command << ": " << options.file << ": no such file\n";
    return kCheckUsage;
  }
  FileCheckOptions f;
  f.path = options.file;
  f.bitsPerSecond = options.bitrate;
  if (options.port > 0) f.port = static_cast<std::uint16_t>(options.port);
  FileCheckResult result;
  std::string error;
  if (!checkFile(f, result, error)) {
    err << command << ": " << error << "\n";
    return kCheckUsage;
  }
  if (result.snapshot.source == SourceKind::Capture && options.port <= 0)
    err << command << ": " << options.file << ": "
        << (result.capturePort ? "the stream on UDP port " + std::to_string(*result.capturePort) + " (the first that carries packets; --port picks another)"
                               : std::string("no UDP datagram carries transport-stream packets"))
        << "\n";
  if (!result.clockKnown)
    err << command << ": " << options.file
        << ": no PCRs to take the bit rate from; the timing indicators are not applicable (give --bitrate)\n";
  if (observer) observer(result.snapshot);
  return report(result.snapshot, result.seconds, options.json, out);
}

int runLive(const CheckOptions& options, std::ostream& out, std::ostream& err, std::string_view command,
            const SnapshotObserver& observer) {
  StreamReceiver receiver;
  if (!receiver.start(ListenEndpoint{options.address, options.port, options.source, options.interface})) {
    err << command << ": " << receiver.error() << "\n";
    return kCheckUsage;
  }
  std::string why;
  if (!options.recordPath.empty() && !receiver.startRecording(options.recordPath, why)) {
    err << command << ": cannot record: " << why << "\n";
    return kCheckUsage;
  }
  const auto started = Clock::now();
  const auto end = started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
  receiver.snapshot();
  for (auto next = started + kSampleEvery; next < end; next += kSampleEvery) {
    std::this_thread::sleep_until(next);
    const StreamSnapshot sample = receiver.snapshot();  // keeps the meter's history going
    if (observer) observer(sample);
  }
  std::this_thread::sleep_until(end);
  StreamSnapshot s = receiver.snapshot();
  if (observer) observer(s);
  receiver.stopRecording();
  s.recordError = receiver.recordError();
  receiver.stop();
  s.socketDrops = receiver.socketDrops();
  s.dropsKnown = receiver.dropsKnown();
  if (!s.recordError.empty()) err << command << ": recording failed: " << s.recordError << "\n";
  const ListenEndpoint endpoint{options.address, options.port, options.source, options.interface};
  if (s.totals.packets == 0)
    if (const std::string hint = loopbackMulticastHint(endpoint); !hint.empty()) err << command << ": " << hint << "\n";
  const double seconds = std::chrono::duration<double>(end - started).count();
  return report(s, seconds, options.json, out);
}

}  // namespace

std::optional<CheckOptions> parseCheckOptions(std::span<const std::string> args, std::string& error) {
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
    if (!isValued(arg)) {
      error = "unknown option " + arg + " (see --help)";
      return std::nullopt;
    }
    if (i + 1 >= args.size()) {
      error = arg + " needs a value";
      return std::nullopt;
    }
    if (!takeValue(arg, args[++i], o, error)) return std::nullopt;
  }
  if (!o.file.empty()) {
    if (o.seconds > 0 || !o.recordPath.empty() || !o.source.empty() || !o.interface.empty()) {
      error = "--file reads a recording: --seconds, --record, --source and --interface are for listening";
      return std::nullopt;
    }
    return o;
  }
  if (o.bitrate > 0) {
    error = "--bitrate is for --file";
    return std::nullopt;
  }
  if (o.port < 0 || o.seconds <= 0) {
    error = "--port and --seconds are required to listen, or --file to read a recording (see --help)";
    return std::nullopt;
  }
  if (const auto problem = endpointProblem(ListenEndpoint{o.address, o.port, o.source, o.interface})) {
    error = *problem;
    return std::nullopt;
  }
  return o;
}

std::string checkHelpText(std::string_view command) {
  const std::string c(command);
  return "Usage: " + c + " --port P [--address A] [--source S] [--interface I] --seconds N\n"
         "         [--json] [--record FILE] [--metrics [ADDR:]PORT]\n"
         "       " + c + " --file PATH [--bitrate BPS] [--port P] [--json]\n"
         R"(Checks a transport stream against ETSI TR 101 290 priorities 1 and 2.

Live, it listens for the stream in UDP datagrams (IPTV: whole 188- or 204-byte packets
per datagram; QV-Net: the stream cut into datagrams) for N seconds. With --file it
reads a recording at file speed: a file of 188- or 204-byte packets (detected), where
time is the byte position divided by the bit rate the stream's PCRs give, or a pcap or
pcapng capture of UDP datagrams, where time is the capture's.

  --port P        UDP port to listen on (1..65535); with a capture, the stream's
                  destination port (default: the first port whose datagrams hold
                  packets)
  --address A     local IPv4 address to bind (default 127.0.0.1; 0.0.0.0 for all), or
                  a multicast group to join (224.0.0.0 to 239.255.255.255)
  --source S      with a group: join it for this source only (source-specific)
  --interface I   with a group: the local address of the interface to join on
  --seconds N     how long to listen (may have decimals)
  --record FILE   also write the received packets to FILE (188-byte packets)
  --file PATH     analyse a recording instead of listening
  --bitrate BPS   with a .ts file: its rate in bits per second, instead of the PCRs'
  --metrics [ADDR:]PORT  serve Prometheus metrics at http://ADDR:PORT/metrics while
                  checking (ADDR defaults to 127.0.0.1): vexil_stream_indicator_errors_total
                  and vexil_stream_indicator_applicable {indicator, priority},
                  vexil_stream_packets_total, vexil_stream_up,
                  vexil_stream_pid_packets_total and
                  vexil_stream_pid_continuity_errors_total {pid}
  --json          print the figures as one JSON object: "packets", "indicators" (one
                  count per indicator), "not_applicable", "pids", "failures",
                  "verdict"

Indicators: ts_sync_loss, sync_byte_error, pat_error, continuity_count_error,
pmt_error, pid_error (priority 1); transport_error, crc_error, pcr_repetition_error,
pcr_discontinuity_indicator_error, pcr_accuracy_error, pts_error, cat_error
(priority 2). Silence longer than 0.5 s counts as a missing PAT.

Exit status: 0 when packets arrived, no indicator fired, the socket dropped nothing
and a recording was written whole; 1 otherwise; 2 on a usage error (a wrong option,
a missing file, an address that cannot be listened on).
)"
#ifdef _WIN32
         "\nOn Windows: " + c + " --port 5001 --seconds 60 --record C:\\Captures\\input1.ts\n"
         "Windows does not count a socket's dropped datagrams: the report says \"not reported\n"
         "by this system\" (null in JSON) instead of a number. pcap and pcapng captures need\n"
         "libpcap, which this build does not include (exit 2); .ts recordings are read.\n"
#endif
         ;
}

int runCheck(const CheckOptions& options, std::ostream& out, std::ostream& err, std::string_view command,
             const SnapshotObserver& observer) {
  return options.file.empty() ? runLive(options, out, err, command, observer)
                              : runFile(options, out, err, command, observer);
}

}  // namespace vexil::stream
