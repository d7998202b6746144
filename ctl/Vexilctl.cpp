#include "ctl/Vexilctl.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>

#include "ctl/CommandLine.h"
#include "ctl/Fleet.h"
#include "ctl/Help.h"
#include "ctl/Json.h"
#include "ctl/LogCommand.h"
#include "ctl/ProductionLog.h"
#include "ctl/WatchCommand.h"
#include "instructions/DeviceAddress.h"
#include "records/DatabaseLog.h"
#include "settings/IniFile.h"
#include "settings/StoredSettings.h"
#include "stream/StreamCheck.h"
#include "watch/StreamMetrics.h"

namespace vexil::ctl {
namespace {

constexpr char kProgram[] = "vexilctl";
constexpr char kName[] = "vexilctl: ";
constexpr char kStreamCheckCommand[] = "stream-check";

// The board the settings file names, as the window's main page forms it.
void takeBoardFromSettings(const Environment& env, Invocation& inv, int& hostPort) {
  const settings::IniFile file(env.settingsPath);
  const settings::StoredSettings stored = settings::loadSettings(file);
  const int lastOctet = settings::clampToRange(stored.ipExt, kLastOctetMin, kLastOctetMax);
  inv.devices.push_back({deviceAddressText(stored.ipBase, lastOctet), stored.devicePort});
  hostPort = inv.hostPort.value_or(stored.myPort);
}

// The arguments of stream-check when it is the command: what follows it, with --json
// and --help given before it carried over. The global options that name boards or
// their timing may stand before it as before any command; they concern no board here.
std::optional<std::vector<std::string>> streamCheckArguments(const std::vector<std::string>& args) {
  static const std::set<std::string> kValued = {"--device", "--devices", "--host-port", "--timeout", "--jobs"};
  std::vector<std::string> carried;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (kValued.count(arg)) {
      ++i;
    } else if (arg == "--json" || arg == "--help" || arg == "-h") {
      carried.push_back(arg == "-h" ? "--help" : arg);
    } else if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos &&
               kValued.count(arg.substr(0, arg.find('=')))) {
      continue;
    } else if (arg == kStreamCheckCommand) {
      std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      rest.insert(rest.end(), carried.begin(), carried.end());
      return rest;
    } else {
      return std::nullopt;  // another command, or an option the command line reader judges
    }
  }
  return std::nullopt;
}

void printResult(const DeviceResult& r, bool prefixed, bool json, std::ostream& out) {
  if (json) {
    out << r.json << '\n';
    return;
  }
  // The page's last line for a board that did not answer is the no-answer text; it goes
  // to stderr once, with the wait it really was. What came before it (the set-up's
  // board, read before its second step went unanswered) is a result and stays.
  const std::size_t shown =
      r.kind == ResultKind::NoAnswer && !r.lines.empty() ? r.lines.size() - 1 : r.lines.size();
  const std::string prefix = prefixed ? r.target.label() + ": " : std::string();
  for (std::size_t i = 0; i < shown; ++i) out << prefix << latin1ToUtf8(r.lines[i]) << '\n';
}

}  // namespace

int runVexilctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                const Environment& env) {
  // stream-check listens rather than talks to a board: it takes its own options.
  if (const auto check = streamCheckArguments(args)) {
    const std::string command = std::string(kProgram) + " " + kStreamCheckCommand;
    std::string error;
    const auto options = stream::parseCheckOptions(*check, error);
    if (!options) {
      err << command << ": " << error << "\n";
      return stream::kCheckUsage;
    }
    if (options->help) {
      out << stream::checkHelpText(command);
      return stream::kCheckPassed;
    }
    return watch::runCheckWithMetrics(*options, out, err, command);
  }
  ParsedCommandLine parsed = parseCommandLine(args);
  if (!parsed.invocation) {
    err << kName << parsed.error << "\n";
    return kExitUsage;
  }
  Invocation& inv = *parsed.invocation;
  if (inv.version) {
    out << kProgram << " " << VEXIL_VERSION << "\n";
    return kExitAcknowledged;
  }
  if (inv.help) {
    const auto text = helpText(inv.helpTopic);
    if (!text) {
      err << kName << "no help for '" << inv.helpTopic << "': no such command\n";
      return kExitUsage;
    }
    out << *text;
    return kExitAcknowledged;
  }

  // The log commands read and send records; they talk to no board.
  if (inv.command == Command::Log) return runLogCommand(inv, out, err);

  int hostPort = inv.hostPort.value_or(0);
  if (inv.devices.empty()) {
    // A board nobody named is never guessed: without a settings file that names one,
    // nothing is sent.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(env.settingsPath, ec)) {
      err << kName << "no board named: give --device ADDR[:PORT] or --devices FILE, or run "
          << "it where " << env.settingsPath << " names the board\n";
      return kExitUsage;
    }
    takeBoardFromSettings(env, inv, hostPort);
  }
  if (inv.command == Command::Watch) return runWatch(inv, hostPort, out, err);

  ProductionLog log;
  std::string logError;
  if (inv.log && !log.open(*inv.log, logError)) {
    err << kName << logError << "\n";
    return kExitUsage;
  }
  // A database log: every record journalled first, then sent; a server that is away
  // only delays the sending. The connection is made while the boards are set up.
  std::unique_ptr<records::DatabaseLog> database;
  if (inv.database) {
    const std::string journal = inv.database->journal.empty()
                                    ? records::defaultJournalPath(inv.database->uri)
                                    : inv.database->journal;
    database = std::make_unique<records::DatabaseLog>(inv.database->uri, journal);
    std::string notice;
    if (!database->open(logError, notice)) {
      err << kName << logError << "\n";
      return kExitUsage;
    }
    if (!notice.empty()) err << kName << notice << "\n";
  }
  std::mutex logLock;  // guards logError only; the lines themselves never interleave
  bool logFailed = false;
  const DeviceFinished onFinished = [&](const DeviceResult& r) {
    const auto now = std::chrono::system_clock::now();
    // Each log on its own: a file log that cannot be written keeps no row from the
    // database, nor the other way round.
    std::string fileError, databaseError;
    const bool fileOk = !inv.log || log.append(logRecordOf(r, now), fileError);
    const bool databaseOk =
        !database || database->append(setupRecordOf(r, now, *inv.database), databaseError);
    if (!fileOk || !databaseOk) {
      std::lock_guard guard(logLock);
      logFailed = true;
      logError = fileOk ? databaseError : fileError;
    }
  };

  const std::vector<DeviceResult> results = runOnDevices(inv, inv.devices, hostPort, onFinished);
  const bool prefixed = results.size() > 1;
  for (const DeviceResult& r : results) {
    printResult(r, prefixed, inv.json, out);
    if (r.kind != ResultKind::Ok) {
      err << kName << r.target.label() << ": " << resultName(r.kind) << ": "
          << latin1ToUtf8(r.message) << "\n";
    }
  }
  out.flush();
  bool databaseRefuses = false;
  if (database) {
    std::string why;
    if (const std::size_t waiting = database->sendWaiting(why); waiting != 0) {
      databaseRefuses = database->refused();
      if (databaseRefuses) {
        err << kName << "the production database " << database->destination()
            << " refuses the records: " << why << "\n";
      }
      // The command that sends them, quoted for the shell, with the journal named when it
      // is not the destination's own (a flush without it would look in the wrong one).
      const auto quoted = [](const std::string& text) {
        std::string q = "'";
        for (const char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
      };
      const bool ownJournal = database->journalPath() != records::defaultJournalPath(inv.database->uri);
      err << kName << waiting << (waiting == 1 ? " record waits" : " records wait") << " in "
          << database->journalPath() << (databaseRefuses ? "" : " (" + why + ")")
          << "; vexilctl log flush --log " << quoted(database->destination())
          << (ownJournal ? " --journal " + quoted(database->journalPath()) : std::string())
          << " sends them\n";
    } else if (std::string compactError; !database->compact(compactError)) {
      err << kName << compactError << "\n";
    }
  }
  int status = worstExitCode(results);
  if (databaseRefuses) status = kExitUsage;
  if (logFailed) {
    err << kName << logError << "\n";
    status = kExitUsage;
  }
  return status;
}

}  // namespace vexil::ctl
