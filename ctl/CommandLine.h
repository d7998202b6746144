// vexilctl's command line: the global options, the command and its own options, every
// value checked (StrictEntries.h) and turned into what the page logic needs, before any
// device is asked anything.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "ctl/StrictEntries.h"
#include "instructions/GeneralInstructions.h"
#include "instructions/InstructionTest.h"
#include "instructions/TsRouting.h"
#include "records/RecordFilter.h"
#include "watch/MetricsServer.h"
#include "watch/WatchTypes.h"

namespace vexil::ctl {

enum class Command { Identify, Status, Set, Reset, SendTs, StopTs, Raw, Setup, Watch, Log };

enum class LogFormat { Csv, JsonLines };

/// Where `setup --log` appends its lines.
struct LogOptions {
  std::string path;
  LogFormat format = LogFormat::Csv;
};

/// Where `setup --log postgresql://...` (or --log-db) sends its records.
struct DatabaseOptions {
  std::string uri;           // a libpq connection URI, passed through as given
  std::string journal;       // --journal FILE; empty: the default journal of the URI
  std::string station;       // --station NAME; empty: this host's name
  std::string operatorName;  // --operator NAME; empty: not recorded
};

/// What `log flush|status|query` does and of which log.
enum class LogAction { Flush, Status, Query };
struct LogCommandOptions {
  LogAction action = LogAction::Status;
  std::optional<std::string> file;        // query: --log FILE, a file log
  std::optional<DatabaseOptions> database;  // --log URI / --log-db URI (and --journal)
  std::optional<std::string> journal;     // status: --journal FILE without a database
  records::RecordFilter filter;           // query
};

/// Longest --station and --operator names, in characters.
inline constexpr std::size_t kNameMaxCharacters = 64;

/// Limits of the global options.
inline constexpr int kTimeoutMinMs = 1;
inline constexpr int kTimeoutMaxMs = 60000;
inline constexpr int kJobsMax = 1024;
inline constexpr int kDefaultJobs = 64;
/// Limits and default of `reset --time`, the window's reset-time scroll bar.
inline constexpr int kResetTimeMinMs = 1;
inline constexpr int kResetTimeMaxMs = 255;
inline constexpr int kResetTimeDefaultMs = 10;
/// Limits of the Send TS options, the window's scroll bar and radio groups.
inline constexpr int kQvNetSizeMin = 256;
inline constexpr int kQvNetSizeMax = 1428;
inline constexpr int kPacketNumberMin = 1;
inline constexpr int kPacketNumberMax = 7;
inline constexpr int kTsSourceMin = 1;
inline constexpr int kTsSourceMax = 4;
inline constexpr int kNcoChannelMin = 1;
inline constexpr int kNcoChannelMax = 4;
/// The NCO range the General page states ("Min = 120 Hz, Max = 62500000 Hz").
inline constexpr std::uint32_t kNcoMinHz = 120;
inline constexpr std::uint32_t kNcoMaxHz = 62500000;
/// Limits of the watch's options.
inline constexpr double kWatchDurationMaxSeconds = 366.0 * 86400;  // a year of soak
inline constexpr int kAlarmCountMax = 65535;
inline constexpr int kBufferPercentMax = 1000;  // usage may exceed the size
inline constexpr double kRateBoundMax = 1048575;  // the 20-bit rate field's largest value
/// The Instruction Test's header text when --text is not given: the box's own text.
inline constexpr char kDefaultTestText[] = "Quenthaven Bt.";

/// What `watch` is told beyond the boards and the wait.
struct WatchOptions {
  std::chrono::milliseconds interval{1000};
  std::optional<std::chrono::milliseconds> duration;  // nothing: until interrupted
  std::optional<std::string> logPath;                 // ends in .csv or .jsonl
  std::optional<watch::MetricsAddress> metrics;
  watch::AlarmSettings alarms;
};

/// One run of vexilctl, every value checked.
struct Invocation {
  // Global options.
  bool help = false;
  bool version = false;   // --version, -V: the program's version
  std::string helpTopic;  // a command's name, or empty for the whole program
  std::vector<DeviceTarget> devices;  // empty: the settings file names one
  std::optional<int> hostPort;        // 0: any free port
  std::chrono::milliseconds timeout{1000};
  bool timeoutGiven = false;  // --timeout was on the line
  bool json = false;
  int jobs = kDefaultJobs;

  // The command and what it sends.
  Command command = Command::Status;
  std::string commandName;     // "status", "set serial", "reset system", ...
  GeneralRequest general;      // set, reset
  SendTsEntries sendTs;        // send-ts
  int stopSourceIndex = 0;     // stop-ts: item index, source - 1
  TestEntries test;            // raw
  std::optional<LogOptions> log;  // setup --log FILE
  std::optional<DatabaseOptions> database;  // setup --log postgresql://... / --log-db
  LogCommandOptions logCommand;   // log flush|status|query
  WatchOptions watch;             // watch
};

/// The outcome of reading the command line: the invocation, or the usage error.
struct ParsedCommandLine {
  std::optional<Invocation> invocation;
  std::string error;
};

/// Reads `args` (without the program name). `--devices FILE` is read here; a file that
/// cannot be read is a usage error like any other.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

}  // namespace vexil::ctl
