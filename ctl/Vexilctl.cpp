#include "ctl/Vexilctl.h"

#include <chrono>
#include <mutex>
#include <ostream>

#include "ctl/CommandLine.h"
#include "ctl/Fleet.h"
#include "ctl/Help.h"
#include "ctl/Json.h"
#include "ctl/ProductionLog.h"
#include "instructions/DeviceAddress.h"
#include "settings/IniFile.h"
#include "settings/StoredSettings.h"
#include "stream/StreamCheck.h"

namespace vexil::ctl {
namespace {

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

void printResult(const DeviceResult& r, bool prefixed, bool json, std::ostream& out) {
  if (json) {
    out << r.json << '\n';
    return;
  }
  const std::string prefix = prefixed ? r.target.label() + ": " : std::string();
  for (const std::string& line : r.lines) out << prefix << latin1ToUtf8(line) << '\n';
}

}  // namespace

int runVexilctl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                const Environment& env) {
  // stream-check listens rather than talks to a board: it takes its own options.
  if (!args.empty() && args.front() == kStreamCheckCommand) {
    const std::span<const std::string> rest(args.begin() + 1, args.end());
    std::string error;
    const auto options = stream::parseCheckOptions(rest, error);
    if (!options) {
      err << kName << kStreamCheckCommand << ": " << error << "\n";
      return stream::kCheckUsage;
    }
    if (options->help) {
      out << stream::checkHelpText();
      return stream::kCheckPassed;
    }
    return stream::runCheck(*options, out, err);
  }
  ParsedCommandLine parsed = parseCommandLine(args);
  if (!parsed.invocation) {
    err << kName << parsed.error << "\n";
    return kExitUsage;
  }
  Invocation& inv = *parsed.invocation;
  if (inv.help) {
    const auto text = helpText(inv.helpTopic);
    if (!text) {
      err << kName << "no help for '" << inv.helpTopic << "': no such command\n";
      return kExitUsage;
    }
    out << *text;
    return kExitAcknowledged;
  }

  int hostPort = inv.hostPort.value_or(0);
  if (inv.devices.empty()) takeBoardFromSettings(env, inv, hostPort);

  ProductionLog log;
  std::string logError;
  if (inv.log && !log.open(*inv.log, logError)) {
    err << kName << logError << "\n";
    return kExitUsage;
  }
  std::mutex logLock;  // guards logError only; the lines themselves never interleave
  bool logFailed = false;
  const DeviceFinished onFinished = [&](const DeviceResult& r) {
    if (!inv.log) return;
    std::string error;
    if (!log.append(logRecordOf(r, std::chrono::system_clock::now()), error)) {
      std::lock_guard guard(logLock);
      logFailed = true;
      logError = error;
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
  int status = worstExitCode(results);
  if (logFailed) {
    err << kName << logError << "\n";
    status = kExitUsage;
  }
  return status;
}

}  // namespace vexil::ctl
