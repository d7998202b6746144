#include "ctl/CommandLine.h"

#include <algorithm>
#include <fstream>
#include <cmath>
#include <cstdlib>
#include <map>

#include "messaging/WireLayout.h"
#include "records/Database.h"

namespace vexil::ctl {
namespace {

constexpr int kPortMax = 0xFFFF;

struct OptionSpec {
  const char* name;
  bool takesValue;
  bool global;
};

// Every option, global or of a command; global ones may stand anywhere on the line.
constexpr OptionSpec kOptions[] = {
    {"--help", false, true},       {"--version", false, true},
    {"--device", true, true},
    {"--devices", true, true},     {"--host-port", true, true},
    {"--timeout", true, true},     {"--json", false, true},
    {"--jobs", true, true},        {"--time", true, false},
    {"--format", true, false},     {"--always", false, false},
    {"--dv-pin", false, false},    {"--source", true, false},
    {"--dest", true, false},       {"--size", true, false},
    {"--packets", true, false},    {"--remove-null", false, false},
    {"--remove-tsp-errors", false, false}, {"--packet-format", true, false},
    {"--text", true, false},       {"--log", true, false},
    {"--log-format", true, false}, {"--interval", true, false},
    {"--duration", true, false},   {"--metrics", true, false},
    {"--alarm-silent", true, false}, {"--alarm-crc", true, false},
    {"--alarm-overflow", true, false}, {"--alarm-buffer", true, false},
    {"--alarm-channel-state", true, false}, {"--alarm-link", true, false},
    {"--alarm-rate", true, false},
    {"--log-db", true, false},     {"--journal", true, false},
    {"--station", true, false},    {"--operator", true, false},
    {"--serial", true, false},     {"--since", true, false},
    {"--result", true, false},
};

const OptionSpec* findOption(const std::string& name) {
  for (const OptionSpec& o : kOptions) {
    if (name == o.name) return &o;
  }
  return nullptr;
}

// The command's own options in the order given; a later one of the same name wins.
using CommandOptions = std::map<std::string, std::string>;

struct Failure {
  std::string message;
};

// Throws Failure; caught once in parseCommandLine.
template <typename T>
T need(Checked<T> checked) {
  if (!checked) throw Failure{checked.error};
  return *checked.value;
}

void allowOnly(const CommandOptions& given, std::initializer_list<const char*> allowed,
               const std::string& command) {
  for (const auto& [name, value] : given) {
    if (std::find_if(allowed.begin(), allowed.end(),
                     [&](const char* a) { return name == a; }) == allowed.end()) {
      throw Failure{"option " + name + " does not apply to " + command};
    }
  }
}

void expectWords(const std::vector<std::string>& words, std::size_t count,
                 const std::string& usage) {
  if (words.size() != count) throw Failure{"usage: vexilctl " + usage};
}

// A board and where the command line named it, for the message when it is named twice.
struct NamedDevice {
  DeviceTarget target;
  std::string place;  // "--device 127.0.0.1:5000" or "boards.txt line 3"
};

std::vector<NamedDevice> readDeviceFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw Failure{"cannot read the device list " + path};
  std::vector<NamedDevice> devices;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    const std::size_t last = line.find_last_not_of(" \t\r");
    devices.push_back({need(checkDevice(line.substr(first, last - first + 1), wire::kDefaultPort)),
                       path + " line " + std::to_string(number)});
  }
  return devices;
}

// The same board twice would be configured twice, or watched as two: refused, naming
// both places.
void refuseTwice(const std::vector<NamedDevice>& named) {
  for (std::size_t i = 0; i < named.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (named[i].target == named[j].target)
        throw Failure{"board " + named[i].target.label() + " is named twice: " + named[j].place +
                      " and " + named[i].place};
}

void parseSet(Invocation& inv, const std::vector<std::string>& w) {
  if (w.empty()) throw Failure{"usage: vexilctl set serial|type|user-text|ip|netmask|gateway|nco ..."};
  const std::string& what = w[0];
  inv.commandName = "set " + what;
  if (what == "serial") {
    expectWords(w, 2, "set serial VALUE");
    need(checkUnsigned32(w[1], "serial"));
    inv.general = buildSetSerial(w[1]);
  } else if (what == "type") {
    expectWords(w, 2, "set type VALUE");
    need(checkInteger(w[1], "type", 0, 0xFFFF));
    inv.general = buildSetType(w[1]);
  } else if (what == "user-text") {
    expectWords(w, 2, "set user-text TEXT");
    inv.general = buildSetUserText(need(checkUserText(w[1], "user text")));
  } else if (what == "ip" || what == "netmask" || what == "gateway") {
    expectWords(w, 2, "set " + what + " A.B.C.D");
    const AddressRow row = what == "ip"        ? AddressRow::Ip
                           : what == "netmask" ? AddressRow::NetMask
                                               : AddressRow::Gateway;
    inv.general = buildSetAddress(row, need(checkAddress(w[1], what)));
  } else if (what == "nco") {
    expectWords(w, 3, "set nco CHANNEL HZ");
    const int channel = need(checkInteger(w[1], "NCO channel", kNcoChannelMin, kNcoChannelMax));
    const std::uint32_t hz = need(checkUnsigned32(w[2], "NCO frequency"));
    if (hz < kNcoMinHz || hz > kNcoMaxHz) {
      throw Failure{"NCO frequency " + w[2] + " is outside " + std::to_string(kNcoMinHz) + " .. " +
                    std::to_string(kNcoMaxHz) + " Hz (the page: \"Values are in Hz. Min = 120 Hz, Max = 62500000 Hz.\")"};
    }
    inv.general = buildSetNco(channel, w[2]);
  } else {
    throw Failure{"unknown setting '" + what + "' (serial, type, user-text, ip, netmask, gateway, nco)"};
  }
}

void parseReset(Invocation& inv, const std::vector<std::string>& w, const CommandOptions& o) {
  allowOnly(o, {"--time"}, "reset");
  expectWords(w, 1, "reset pdi|system|sdi [--time MS]");
  int index = 0;
  if (w[0] == "pdi") {
    index = kPdiResetIndex;
  } else if (w[0] == "system") {
    index = kSystemResetIndex;
  } else if (w[0] == "sdi") {
    index = kSdiResetIndex;
  } else {
    throw Failure{"unknown reset '" + w[0] + "' (pdi, system, sdi)"};
  }
  int time = kResetTimeDefaultMs;
  if (auto it = o.find("--time"); it != o.end()) {
    time = need(checkInteger(it->second, "reset time", kResetTimeMinMs, kResetTimeMaxMs));
  }
  inv.commandName = "reset " + w[0];
  inv.general = buildReset(index, time);
}

int choice(const CommandOptions& o, const char* option, std::initializer_list<const char*> names,
           int fallback) {
  const auto it = o.find(option);
  if (it == o.end()) return fallback;
  int index = 0;
  for (const char* name : names) {
    if (it->second == name) return index;
    ++index;
  }
  std::string list;
  for (const char* name : names) list += (list.empty() ? "" : ", ") + std::string(name);
  throw Failure{std::string(option) + " '" + it->second + "' is not one of " + list};
}

void parseSendTs(Invocation& inv, const std::vector<std::string>& w, const CommandOptions& o) {
  allowOnly(o,
            {"--format", "--always", "--dv-pin", "--source", "--dest", "--size", "--packets",
             "--remove-null", "--remove-tsp-errors", "--packet-format"},
            "send-ts");
  expectWords(w, 0, "send-ts --dest A.B.C.D:PORT [options]");
  SendTsEntries e;  // the window's first-start values
  e.tsFormat = choice(o, "--format", {"qvnet", "iptv"}, kTsFormatIptvIndex);
  e.instructionType = o.count("--always") ? kAlwaysSendTsIndex : 0;
  e.dataValidPin = o.count("--dv-pin") ? kDataValidPinEnabledIndex : 0;
  if (auto it = o.find("--source"); it != o.end()) {
    e.tsSource = need(checkInteger(it->second, "TS source", kTsSourceMin, kTsSourceMax)) - 1;
  }
  const auto dest = o.find("--dest");
  if (dest == o.end()) throw Failure{"send-ts needs --dest A.B.C.D:PORT"};
  const std::size_t colon = dest->second.find(':');
  if (colon == std::string::npos) throw Failure{"--dest '" + dest->second + "' has no :PORT"};
  e.destinationIp = need(checkAddress(dest->second.substr(0, colon), "destination"));
  e.destinationPort = dest->second.substr(colon + 1);
  need(checkInteger(e.destinationPort, "destination port", 1, kPortMax));

  const bool iptv = e.tsFormat == kTsFormatIptvIndex;
  for (const char* iptvOnly : {"--packets", "--remove-null", "--remove-tsp-errors", "--packet-format"}) {
    if (!iptv && o.count(iptvOnly)) throw Failure{std::string(iptvOnly) + " applies to --format iptv only"};
  }
  if (iptv && o.count("--size")) throw Failure{"--size applies to --format qvnet only"};
  if (auto it = o.find("--size"); it != o.end()) {
    e.qvNetSize = need(checkInteger(it->second, "QV-Net data size", kQvNetSizeMin, kQvNetSizeMax));
  }
  if (auto it = o.find("--packets"); it != o.end()) {
    e.packetNumber =
        need(checkInteger(it->second, "packet number", kPacketNumberMin, kPacketNumberMax)) - 1;
  }
  e.removeNullPackets = o.count("--remove-null") != 0;
  e.removeTspErrors = o.count("--remove-tsp-errors") != 0;
  e.packetFormat = choice(o, "--packet-format", {"188", "204"}, 0);
  inv.commandName = "send-ts";
  inv.sendTs = e;
}

void parseRaw(Invocation& inv, const std::vector<std::string>& w, const CommandOptions& o) {
  allowOnly(o, {"--text"}, "raw");
  if (w.size() > kTestRowCount) throw Failure{"raw takes at most 5 rows"};
  TestEntries entries;
  entries.userText = kDefaultTestText;
  if (auto it = o.find("--text"); it != o.end()) {
    entries.userText = need(checkUserText(it->second, "header text"));
  }
  for (std::size_t i = 0; i < w.size(); ++i) {
    entries.rows[i] = need(checkTestRow(w[i], static_cast<int>(i) + 1));
  }
  const TestMessage message = BuildTestMessage(entries);
  if (!message.problems.empty()) throw Failure{message.problems.front()};
  inv.commandName = "raw";
  inv.test = entries;
}

// The database a command names: --log URI or --log-db URI (not both), with --journal;
// nothing when it names none.
std::optional<DatabaseOptions> databaseOf(const CommandOptions& o) {
  const auto log = o.find("--log");
  const auto db = o.find("--log-db");
  const bool logIsDatabase = log != o.end() && records::isDatabaseUri(log->second);
  if (db != o.end() && log != o.end()) throw Failure{"give --log or --log-db, not both"};
  if (db != o.end() && db->second.empty()) throw Failure{"--log-db needs a connection URI (postgresql://...)"};
  if (db == o.end() && !logIsDatabase) {
    if (o.count("--journal")) throw Failure{"--journal applies to a database log (--log postgresql://...)"};
    return std::nullopt;
  }
  DatabaseOptions d;
  d.uri = db != o.end() ? db->second : log->second;
  if (const auto problem = records::connectionStringProblem(d.uri)) {
    throw Failure{"the connection URI " + records::displayDestination(d.uri) + " cannot be read: " + *problem};
  }
  if (auto it = o.find("--journal"); it != o.end()) {
    if (it->second.empty()) throw Failure{"--journal needs a file name"};
    d.journal = it->second;
  }
  return d;
}

void parseSetup(Invocation& inv, const std::vector<std::string>& w, const CommandOptions& o) {
  allowOnly(o, {"--log", "--log-format", "--log-db", "--journal", "--station", "--operator"}, "setup");
  expectWords(w, 0,
              "setup [--log FILE [--log-format csv|jsonl] | --log postgresql://... "
              "[--station NAME] [--operator NAME] [--journal FILE]]");
  inv.database = databaseOf(o);
  if (inv.database) {
    if (o.count("--log-format")) throw Failure{"--log-format applies to a file log, not a database"};
    if (auto it = o.find("--station"); it != o.end()) {
      inv.database->station = need(checkName(it->second, "station", kNameMaxCharacters));
    }
    if (auto it = o.find("--operator"); it != o.end()) {
      inv.database->operatorName = need(checkName(it->second, "operator", kNameMaxCharacters));
    }
  } else {
    for (const char* dbOnly : {"--station", "--operator"}) {
      if (o.count(dbOnly)) throw Failure{std::string(dbOnly) + " applies to a database log (--log postgresql://...)"};
    }
  }
  if (o.count("--log-format") && !o.count("--log")) throw Failure{"--log-format needs --log FILE"};
  if (auto it = o.find("--log"); it != o.end() && !inv.database) {
    if (it->second.empty()) throw Failure{"--log needs a file name or a postgresql:// URI"};
    LogOptions log;
    log.path = it->second;
    log.format = choice(o, "--log-format", {"csv", "jsonl"}, 0) == 0 ? LogFormat::Csv
                                                                      : LogFormat::JsonLines;
    inv.log = log;
  }
  inv.commandName = "setup";
}

void parseLog(Invocation& inv, const std::vector<std::string>& w, const CommandOptions& o) {
  const std::string usage =
      "log flush --log postgresql://... | log status [--log postgresql://...] | "
      "log query --log postgresql://...|FILE [--serial N] [--since TIME] [--station NAME] [--result R]";
  expectWords(w, 1, usage);
  LogCommandOptions& l = inv.logCommand;
  if (w[0] == "flush") {
    allowOnly(o, {"--log", "--log-db", "--journal"}, "log flush");
    l.action = LogAction::Flush;
    l.database = databaseOf(o);
    if (!l.database) throw Failure{"log flush needs the database: --log postgresql://..."};
  } else if (w[0] == "status") {
    allowOnly(o, {"--log", "--log-db", "--journal"}, "log status");
    l.action = LogAction::Status;
    if (o.count("--log") && !records::isDatabaseUri(o.at("--log"))) {
      throw Failure{"log status counts the records waiting for a database: --log postgresql://..."};
    }
    if (o.count("--journal") && !o.count("--log") && !o.count("--log-db")) {
      l.journal = o.at("--journal");
      if (l.journal->empty()) throw Failure{"--journal needs a file name"};
    } else {
      l.database = databaseOf(o);
    }
  } else if (w[0] == "query") {
    allowOnly(o, {"--log", "--log-db", "--serial", "--since", "--station", "--result"}, "log query");
    l.action = LogAction::Query;
    l.database = databaseOf(o);
    if (!l.database) {
      const auto it = o.find("--log");
      if (it == o.end() || it->second.empty()) throw Failure{"log query needs --log postgresql://... or --log FILE"};
      l.file = it->second;
      if (o.count("--station")) throw Failure{"a file log records no station; --station applies to a database"};
    }
    if (auto it = o.find("--serial"); it != o.end()) {
      const std::int32_t lo = INT32_MIN;
      l.filter.serial = need(checkInteger(it->second, "serial", lo, INT32_MAX));
    }
    if (auto it = o.find("--since"); it != o.end()) {
      l.filter.sinceMs = records::parseUtcTime(it->second);
      if (!l.filter.sinceMs) {
        throw Failure{"--since '" + it->second +
                      "' is not a time like 2026-12-09, 2026-12-09T14:30 or 2026-12-09T14:30:00+01:00 "
                      "(without a zone: UTC)"};
      }
    }
    if (auto it = o.find("--station"); it != o.end()) {
      l.filter.station = need(checkName(it->second, "station", kNameMaxCharacters));
    }
    if (auto it = o.find("--result"); it != o.end()) {
      static const char* const kResults[] = {"ok", "no-answer", "wrong-length", "rejected", "send-failed"};
      if (std::find(std::begin(kResults), std::end(kResults), it->second) == std::end(kResults)) {
        throw Failure{"--result '" + it->second + "' is not one of ok, no-answer, wrong-length, rejected, send-failed"};
      }
      l.filter.result = it->second;
    }
  } else {
    throw Failure{"unknown log command '" + w[0] + "' (flush, status, query)"};
  }
  inv.commandName = "log " + w[0];
}

// Seconds with decimals ("0.5", "2", "3600"), between `min` and `max`.
std::chrono::milliseconds seconds(const std::string& text, const char* what, double min, double max) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) ||
      value < min || value > max || text.find_first_of("xXpPnN") != std::string::npos) {
    throw Failure{std::string(what) + " '" + text + "' is not a number of seconds from " +
                  std::to_string(min).substr(0, 4) + " to " + std::to_string(static_cast<long>(max))};
  }
  return std::chrono::milliseconds(std::llround(value * 1000));
}

bool onOff(const CommandOptions& o, const char* option, bool fallback) {
  const auto it = o.find(option);
  if (it == o.end()) return fallback;
  if (it->second == "on") return true;
  if (it->second == "off") return false;
  throw Failure{std::string(option) + " '" + it->second + "' is not on or off"};
}

// A number of packets per second for --alarm-rate: empty (no bound) or a decimal.
double rateBound(const std::string& text, const std::string& whole) {
  if (text.empty()) return 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value) || value < 0 ||
      value > kRateBoundMax || text.find_first_of("xXpPnN") != std::string::npos) {
    throw Failure{"--alarm-rate '" + whole + "' is not MIN:MAX packets/s (either may be empty), or off"};
  }
  return value;
}

void parseWatch(Invocation& inv, const std::vector<std::string>& w, const CommandOptions& o) {
  allowOnly(o,
            {"--interval", "--duration", "--log", "--metrics", "--alarm-silent", "--alarm-crc",
             "--alarm-overflow", "--alarm-buffer", "--alarm-channel-state", "--alarm-link",
             "--alarm-rate"},
            "watch");
  expectWords(w, 0, "watch [--interval S] [--duration S] [--log FILE.csv|FILE.jsonl] [--metrics ADDR:PORT] [alarm options]");
  WatchOptions& opt = inv.watch;
  if (auto it = o.find("--interval"); it != o.end()) {
    opt.interval = seconds(it->second, "--interval", watch::kIntervalMinSeconds, watch::kIntervalMaxSeconds);
  }
  if (auto it = o.find("--duration"); it != o.end()) {
    opt.duration = seconds(it->second, "--duration", watch::kIntervalMinSeconds, kWatchDurationMaxSeconds);
  }
  if (auto it = o.find("--log"); it != o.end()) {
    if (it->second.empty()) throw Failure{"--log needs a file name ending in .csv or .jsonl"};
    const std::string& path = it->second;
    const auto ends = [&](std::string_view e) {
      return path.size() > e.size() && path.compare(path.size() - e.size(), e.size(), e) == 0;
    };
    if (!ends(".csv") && !ends(".jsonl")) {
      throw Failure{"--log '" + path + "' must end in .csv (CSV) or .jsonl (JSON Lines)"};
    }
    opt.logPath = path;
  }
  if (auto it = o.find("--metrics"); it != o.end()) {
    std::string error;
    opt.metrics = watch::parseMetricsAddress(it->second, error);
    if (!opt.metrics) throw Failure{error};
  }
  watch::AlarmSettings& a = opt.alarms;
  if (auto it = o.find("--alarm-silent"); it != o.end()) {
    a.silentPolls = need(checkInteger(it->second, "--alarm-silent polls", 0, kAlarmCountMax));
  }
  if (auto it = o.find("--alarm-crc"); it != o.end()) {
    a.crcIncrements = need(checkInteger(it->second, "--alarm-crc increments", 0, kAlarmCountMax));
  }
  if (auto it = o.find("--alarm-buffer"); it != o.end()) {
    a.bufferPercent = need(checkInteger(it->second, "--alarm-buffer percent", 0, kBufferPercentMax));
  }
  a.overflow = onOff(o, "--alarm-overflow", a.overflow);
  a.channelState = onOff(o, "--alarm-channel-state", a.channelState);
  a.link = onOff(o, "--alarm-link", a.link);
  if (auto it = o.find("--alarm-rate"); it != o.end()) {
    const std::string& band = it->second;
    if (band == "off") {
      a.rateMin = a.rateMax = 0;
    } else {
      const std::size_t colon = band.find(':');
      if (colon == std::string::npos) {
        throw Failure{"--alarm-rate '" + band + "' is not MIN:MAX packets/s (either may be empty), or off"};
      }
      a.rateMin = rateBound(band.substr(0, colon), band);
      a.rateMax = rateBound(band.substr(colon + 1), band);
      if (a.rateMax > 0 && a.rateMin > a.rateMax) {
        throw Failure{"--alarm-rate '" + band + "': MIN is above MAX"};
      }
    }
  }
  // The wait for each answer ends before the next poll: a --timeout longer than the
  // interval is refused, the default one shortened to it.
  if (inv.timeout > opt.interval) {
    if (inv.timeoutGiven) {
      throw Failure{"--timeout " + std::to_string(inv.timeout.count()) +
                    " ms is longer than the --interval: each poll must end before the next"};
    }
    inv.timeout = opt.interval;
  }
  inv.commandName = "watch";
}

void parseCommand(Invocation& inv, const std::string& command, const std::vector<std::string>& w,
                  const CommandOptions& o) {
  if (command == "identify" || command == "status") {
    allowOnly(o, {}, command);
    expectWords(w, 0, command);
    inv.command = command == "identify" ? Command::Identify : Command::Status;
    inv.commandName = command;
  } else if (command == "set") {
    allowOnly(o, {}, command);
    inv.command = Command::Set;
    parseSet(inv, w);
  } else if (command == "reset") {
    inv.command = Command::Reset;
    parseReset(inv, w, o);
  } else if (command == "send-ts") {
    inv.command = Command::SendTs;
    parseSendTs(inv, w, o);
  } else if (command == "stop-ts") {
    allowOnly(o, {}, command);
    expectWords(w, 1, "stop-ts SOURCE");
    inv.command = Command::StopTs;
    inv.stopSourceIndex = need(checkInteger(w[0], "TS source", kTsSourceMin, kTsSourceMax)) - 1;
    inv.commandName = "stop-ts";
  } else if (command == "raw") {
    inv.command = Command::Raw;
    parseRaw(inv, w, o);
  } else if (command == "setup") {
    inv.command = Command::Setup;
    parseSetup(inv, w, o);
  } else if (command == "watch") {
    inv.command = Command::Watch;
    parseWatch(inv, w, o);
  } else if (command == "log") {
    inv.command = Command::Log;
    parseLog(inv, w, o);
  } else {
    throw Failure{"unknown command '" + command + "' (see vexilctl --help)"};
  }
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
  Invocation inv;
  std::optional<std::string> command;
  std::vector<std::string> words;
  CommandOptions commandOptions;
  bool onlyWords = false;  // after "--" nothing is an option
  std::vector<NamedDevice> named;
  try {
    for (std::size_t i = 0; i < args.size(); ++i) {
      std::string arg = args[i];
      if (arg == "--" && !onlyWords) {
        onlyWords = true;
        continue;
      }
      if (arg == "-h" && !onlyWords) arg = "--help";
      if (arg == "-V" && !onlyWords) arg = "--version";
      if (onlyWords || arg.rfind("--", 0) != 0) {
        if (!command) {
          command = arg;
        } else {
          words.push_back(arg);
        }
        continue;
      }
      std::optional<std::string> value;
      if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg.resize(eq);
      }
      const OptionSpec* option = findOption(arg);
      if (!option) throw Failure{"unknown option " + arg};
      if (option->takesValue && !value) {
        if (i + 1 >= args.size()) throw Failure{"option " + arg + " needs a value"};
        value = args[++i];
      }
      if (!option->takesValue && value) throw Failure{"option " + arg + " takes no value"};
      if (!option->global) {
        commandOptions[arg] = value.value_or("");
      } else if (arg == "--help") {
        inv.help = true;
      } else if (arg == "--version") {
        inv.version = true;
      } else if (arg == "--device") {
        named.push_back({need(checkDevice(*value, wire::kDefaultPort)), "--device " + *value});
      } else if (arg == "--devices") {
        std::vector<NamedDevice> listed = readDeviceFile(*value);
        if (listed.empty()) throw Failure{"the device list " + *value + " names no device"};
        for (NamedDevice& d : listed) named.push_back(std::move(d));
      } else if (arg == "--host-port") {
        inv.hostPort = need(checkInteger(*value, "host port", 0, kPortMax));
      } else if (arg == "--timeout") {
        inv.timeout = std::chrono::milliseconds(
            need(checkInteger(*value, "timeout", kTimeoutMinMs, kTimeoutMaxMs)));
        inv.timeoutGiven = true;
      } else if (arg == "--json") {
        inv.json = true;
      } else if (arg == "--jobs") {
        inv.jobs = need(checkInteger(*value, "jobs", 1, kJobsMax));
      }
    }
    refuseTwice(named);
    for (NamedDevice& d : named) inv.devices.push_back(std::move(d.target));
    if (inv.version) return {inv, {}};
    if (command == "help") {
      inv.help = true;
      inv.helpTopic = words.empty() ? std::string() : words.front();
      return {inv, {}};
    }
    if (inv.help) {
      inv.helpTopic = command.value_or("");
      return {inv, {}};
    }
    if (!command) throw Failure{"no command given (see vexilctl --help)"};
    parseCommand(inv, *command, words, commandOptions);
    // The watch polls every board from one port; every other command gives each board
    // a port of its own.
    if (inv.command != Command::Watch && inv.hostPort && *inv.hostPort != 0 &&
        inv.devices.size() > 1) {
      throw Failure{"--host-port names one port, but each of the " +
                    std::to_string(inv.devices.size()) +
                    " devices needs a port of its own; leave it out"};
    }
  } catch (const Failure& f) {
    return {std::nullopt, f.message};
  }
  return {inv, {}};
}

}  // namespace vexil::ctl
