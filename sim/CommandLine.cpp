#include "sim/CommandLine.h"

#include <cstdint>
#include <limits>
#include <vector>

#include "messaging/IntegerText.h"
#include "messaging/TextSplit.h"
#include "sim/DeviceEmulator.h"
#include "sim/StreamOptions.h"

namespace vexil::sim {
namespace {

// Limits of the values the options take.
constexpr long long kMaxPort = 65535;
constexpr long long kMaxByte = 255;
constexpr long long kMaxModel = 7;
constexpr long long kMaxDatagram = 65507;       // largest UDP payload over IPv4
constexpr long long kMaxDelayMs = 3600 * 1000;  // an hour
constexpr long long kMaxDuplicates = 1000;
constexpr std::size_t kUserTextLength = 15;

// The board keeps its user text in Latin-1, and a terminal or console gives the
// argument in UTF-8: "Café" arrives as five bytes and must become the four the board
// holds, or every reader shows "CafÃ©". Text that is not UTF-8, or has a character
// beyond Latin-1, is kept byte for byte, as the board would take it from the wire.
std::string latin1FromUtf8(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    // Latin-1 beyond ASCII is U+0080..U+00FF: two bytes, C2 or C3 then a continuation.
    const bool twoByteLatin1 = (c == 0xC2 || c == 0xC3) && i + 1 < text.size() &&
                               (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80;
    if (!twoByteLatin1) return text;
    out.push_back(static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F)));
    ++i;
  }
  return out;
}
constexpr std::uint8_t kOpSetUserText = 0x12;

constexpr char kRuleSeparator = ':';
constexpr char kFaultSeparator = ',';
constexpr char kSelectorJoiner = '+';
constexpr char kValueSeparator = '=';
constexpr std::string_view kOpcodeSelector = "op=";
constexpr std::string_view kAnySelector = "any";

std::optional<long long> number(std::string_view text, long long lo, long long hi) {
  const auto v = parseIntegerText(text);
  if (!v || *v < lo || *v > hi) return std::nullopt;
  return *v;
}

bool fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

bool parseSelector(std::string_view text, RequestSelector& selector, std::string& error) {
  if (text == kAnySelector) return true;
  for (std::string_view part : splitText(text, kSelectorJoiner)) {
    if (part.substr(0, kOpcodeSelector.size()) == kOpcodeSelector) {
      const auto op = number(part.substr(kOpcodeSelector.size()), 0, kMaxByte);
      if (!op || selector.opcode)
        return fail(error, "bad opcode in request selector \"" + std::string(text) + "\"");
      selector.opcode = static_cast<std::uint8_t>(*op);
    } else {
      const auto n = number(part, 1, std::numeric_limits<std::int32_t>::max());
      if (!n || selector.number)
        return fail(error, "bad request number in request selector \"" + std::string(text) +
                               "\" (requests count from 1)");
      selector.number = static_cast<std::size_t>(*n);
    }
  }
  return true;
}

// One option of the command line: its name, whether it takes a value, and what it does.
struct Option {
  std::string_view name;
  bool takesValue;
  bool (*apply)(SimOptions& o, const std::string& value, std::string& error);
};

// The fault options for every request are the faults of --on under longer names.
template <const std::string_view& fault>
bool faultOption(SimOptions& o, const std::string& value, std::string& error) {
  const std::string token =
      value.empty() ? std::string(fault) : std::string(fault) + kValueSeparator + value;
  return addFault(o.faults.otherwise, token, error);
}
constexpr std::string_view kSilent = "silent";
constexpr std::string_view kLength = "length";
constexpr std::string_view kDelay = "delay";
constexpr std::string_view kOpcode = "opcode";
constexpr std::string_view kRefuse = "refuse";
constexpr std::string_view kRefuseUserText = "refuse-user-text";
constexpr std::string_view kDuplicates = "duplicates";
constexpr std::string_view kBefore = "before";
constexpr std::string_view kAfter = "after";
constexpr std::string_view kOtherPort = "other-port";
constexpr std::string_view kOk = "ok";

template <typename T>
bool setNumber(T& field, const std::string& value, long long lo, long long hi, std::string& error) {
  const auto v = number(value, lo, hi);
  if (!v)
    return fail(error, "must be a number from " + std::to_string(lo) + " to " + std::to_string(hi));
  field = static_cast<T>(*v);
  return true;
}

bool setVersion(SimOptions& o, const std::string& value, std::string& error) {
  const std::size_t dot = value.find('.');
  const auto major = number(std::string_view(value).substr(0, dot), 0, kMaxByte);
  const auto minor = dot == std::string::npos
                         ? std::optional<long long>(0)
                         : number(std::string_view(value).substr(dot + 1), 0, kMaxByte);
  if (!major || !minor) return fail(error, "must be MAJOR.MINOR, each 0 to 255");
  o.state.versionMajor = static_cast<std::uint8_t>(*major);
  o.state.versionMinor = static_cast<std::uint8_t>(*minor);
  return true;
}

const Option kOptions[] = {
    {"--help", false,
     [](SimOptions& o, const std::string&, std::string&) { return o.help = true; }},
    {"--bind", true,
     [](SimOptions& o, const std::string& v, std::string& e) {
       if (!isLoopbackAddress(v)) return fail(e, "must be a loopback address, 127.x.x.x");
       o.bindAddress = v;
       return true;
     }},
    {"--port", true,
     [](SimOptions& o, const std::string& v, std::string& e) {
       return setNumber(o.port, v, 0, kMaxPort, e);
     }},
    {"--type", true,
     [](SimOptions& o, const std::string& v, std::string& e) {
       return setNumber(o.state.deviceType, v, 0, kMaxPort, e);
     }},
    {"--serial", true,
     [](SimOptions& o, const std::string& v, std::string& e) {
       // Any 32-bit pattern, e.g. $FFFFFFFE, through the signed number rule.
       return setNumber(o.state.serial, v, std::numeric_limits<std::int32_t>::min(),
                        std::numeric_limits<std::int32_t>::max(), e);
     }},
    {"--firmware", true, setVersion},
    // "--version" alone asks for the program's version; followed by a value it is the
    // older spelling of --firmware (see parseSimOptions).
    {"--version", false,
     [](SimOptions& o, const std::string&, std::string&) { return o.version = true; }},
    {"--model", true,
     [](SimOptions& o, const std::string& v, std::string& e) {
       return setNumber(o.state.model, v, 0, kMaxModel, e);
     }},
    {"--user-text", true,
     [](SimOptions& o, const std::string& v, std::string& e) {
       const std::string latin1 = latin1FromUtf8(v);
       if (latin1.size() > kUserTextLength) return fail(e, "is longer than 15 characters");
       o.state.userText = deviceText(latin1);
       return true;
     }},
    {"--status-length", true,
     [](SimOptions& o, const std::string& v, std::string& e) {
       std::size_t length = 0;
       if (!setNumber(length, v, 0, kMaxDatagram, e)) return false;
       o.state.statusLength = length;
       return true;
     }},
    {"--silent", false, faultOption<kSilent>},
    {"--answer-length", true, faultOption<kLength>},
    {"--delay", true, faultOption<kDelay>},
    {"--answer-opcode", true, faultOption<kOpcode>},
    {"--refuse", true, faultOption<kRefuse>},
    {"--refuse-user-text", false, faultOption<kRefuseUserText>},
    {"--duplicates", true, faultOption<kDuplicates>},
    {"--before", true, faultOption<kBefore>},
    {"--after", true, faultOption<kAfter>},
    {"--other-port", false, faultOption<kOtherPort>},
    {"--on", true,
     [](SimOptions& o, const std::string& v, std::string& e) {
       auto rule = parseFaultRule(v, e);
       if (rule) o.faults.rules.push_back(std::move(*rule));
       return rule.has_value();
     }},
};

}  // namespace

bool addFault(Faults& f, std::string_view fault, std::string& error) {
  const std::size_t eq = fault.find(kValueSeparator);
  const std::string_view name = fault.substr(0, eq);
  const bool hasValue = eq != std::string_view::npos;
  const std::string_view value = hasValue ? fault.substr(eq + 1) : std::string_view{};
  const std::string quoted = "\"" + std::string(fault) + "\"";

  const bool flag = name == kOk || name == kSilent || name == kRefuseUserText || name == kOtherPort;
  if (flag) {
    if (hasValue) return fail(error, "fault " + quoted + " takes no value");
    if (name == kSilent) f.silent = true;
    if (name == kRefuseUserText) f.refusedOpcodes.push_back(kOpSetUserText);
    if (name == kOtherPort) f.fromOtherPort = true;
    return true;  // "ok" adds nothing: a board that behaves
  }
  struct Valued {
    std::string_view name;
    long long lo, hi;
  };
  const Valued valued[] = {{kLength, 0, kMaxDatagram},       {kDelay, 0, kMaxDelayMs},
                           {kOpcode, 0, kMaxByte},           {kRefuse, 0, kMaxByte},
                           {kDuplicates, 0, kMaxDuplicates}, {kBefore, 0, kMaxDatagram},
                           {kAfter, 0, kMaxDatagram}};
  for (const Valued& v : valued) {
    if (name != v.name) continue;
    const auto n = hasValue ? number(value, v.lo, v.hi) : std::nullopt;
    if (!n)
      return fail(error, "fault " + quoted + " needs " + std::string(name) + "=N with N from " +
                             std::to_string(v.lo) + " to " + std::to_string(v.hi));
    if (name == kLength) f.answerLength = static_cast<std::size_t>(*n);
    if (name == kDelay) f.delay = std::chrono::milliseconds(*n);
    if (name == kOpcode) f.answerOpcode = static_cast<std::uint8_t>(*n);
    if (name == kRefuse) f.refusedOpcodes.push_back(static_cast<std::uint8_t>(*n));
    if (name == kDuplicates) f.duplicates = static_cast<int>(*n);
    if (name == kBefore) f.before.push_back(static_cast<std::size_t>(*n));
    if (name == kAfter) f.after.push_back(static_cast<std::size_t>(*n));
    return true;
  }
  return fail(error, "unknown fault " + quoted + " (see --help)");
}

std::optional<FaultRule> parseFaultRule(std::string_view text, std::string& error) {
  const std::size_t colon = text.find(kRuleSeparator);
  if (colon == std::string_view::npos || colon + 1 == text.size()) {
    fail(error, "rule \"" + std::string(text) + "\" must be SELECTOR:FAULT[,FAULT...]");
    return std::nullopt;
  }
  FaultRule rule;
  if (!parseSelector(text.substr(0, colon), rule.when, error)) return std::nullopt;
  for (std::string_view fault : splitText(text.substr(colon + 1), kFaultSeparator))
    if (!addFault(rule.faults, fault, error)) return std::nullopt;
  return rule;
}

std::optional<SimOptions> parseSimOptions(std::span<const std::string> args, std::string& error) {
  SimOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const Option* option = nullptr;
    for (const Option& candidate : kOptions)
      if (arg == candidate.name || (arg == "-h" && candidate.name == "--help")) option = &candidate;
    if (!option) {
      if (const auto taken = parseStreamOption(args, i, o.state, o.streamFaults, error)) {
        if (*taken) continue;
        return std::nullopt;
      }
      if (const auto taken = parseDynamicsOption(args, i, o.state, o.dynamics, error)) {
        if (*taken) continue;
        return std::nullopt;
      }
      fail(error, "unknown option " + arg + " (see --help)");
      return std::nullopt;
    }
    std::string value;
    if (arg == "--version" && i + 1 < args.size() && !args[i + 1].starts_with("-")) {
      if (!setVersion(o, args[++i], value)) {
        fail(error, "invalid value for --version \"" + args[i] + "\": " + value);
        return std::nullopt;
      }
      continue;
    }
    if (option->takesValue) {
      if (i + 1 >= args.size()) {
        fail(error, arg + " needs a value (see --help)");
        return std::nullopt;
      }
      value = args[++i];
    }
    std::string why;
    if (!option->apply(o, value, why)) {
      fail(error, "invalid value for " + arg + " \"" + value + "\": " + why);
      return std::nullopt;
    }
  }
  return o;
}

std::string_view simHelpText() {
  return R"(Usage: vexil-sim [options]
Emulates a Vexil board: answers the QV-Net identity query, the Palvox status query
and Palvox instructions on one UDP port on the loopback network, until interrupted
(Ctrl+C). It answers only senders on 127.0.0.0/8.

The board:
  --bind ADDRESS        loopback address to listen on, 127.x.x.x (default 127.0.0.1)
  --port N              UDP port to listen on (default 56789; 0 picks a free one).
                        The program's host port must differ from it: run beside the
                        program with e.g. --port 56790 and set the program's Device
                        Port to 56790 in its Settings.
  --type N              device type (default 7163)
  --serial N            serial number, a signed 32-bit number or $hex (default 5000)
  --firmware M.N        firmware version, major.minor (default 1.5, shown as 1.05);
                        --version M.N is the older spelling
  --model N             model 0..7 (default 7, the IP remultiplexer)
  --user-text TEXT      the board's user text, at most 15 characters
                        (default "Vexil Emulator")
  --status-length N     bytes of the status answer, its length field to match
                        (default 662 for model 7, 534 for the others)

Faults for every request (numbers take decimal or $hex / 0x hex):
  --silent              never answer
  --answer-length N     cut or zero-fill every answer to N bytes (0..65507)
  --delay MS            answer MS milliseconds late
  --answer-opcode B     put byte B at offset 22 of every answer (the board sends 0xF0)
  --refuse-user-text    acknowledge Set User Text (0x12) but keep the old user text
  --refuse OP           acknowledge instructions with opcode OP but do not carry them
                        out (may be repeated)
  --duplicates N        send every answer N extra times
  --before SIZE         send a filler datagram of SIZE bytes before each answer
  --after SIZE          send a filler datagram of SIZE bytes after each answer
  --other-port          answer from a second port instead of the listening one

Faults for chosen requests:
  --on SELECTOR:FAULT[,FAULT...]
                        gives the requests SELECTOR picks these faults instead of
                        the ones above. May be repeated; the first rule that picks
                        a request decides, and requests no rule picks get the
                        faults above.
     SELECTOR   N         the Nth request received (counting from 1, every datagram)
                op=B      every Palvox request carrying an instruction with opcode B
                N+op=B    the Nth request, if it carries opcode B
                any       every request
     FAULT      ok            no fault: answer as the board does
                silent        no answer
                length=N      answer cut or zero-filled to N bytes
                delay=MS      answer MS milliseconds late
                opcode=B      byte B at offset 22 of the answer
                refuse-user-text, refuse=OP
                              acknowledge but do not carry out (0x12 / opcode OP)
                duplicates=N, before=SIZE, after=SIZE, other-port
                              as the options above

  --help                show this text
  --version             show the program's version

Examples:
  vexil-sim --port 56790
      a good board beside the program (set its Device Port to 56790)
  vexil-sim --port 56790 --on 2:length=20
      a good status answer, then a 20-byte answer to the configuration
  vexil-sim --port 56790 --on op=0x12:opcode=0x00
      a good status answer, then byte 22 wrong in the answer to Set User Text
  vexil-sim --port 56790 --refuse-user-text --type 7058
      a board of type 7058 that acknowledges Set User Text but keeps its text
)";
}

std::string portNotice(const std::string& bindAddress, std::uint16_t port) {
  std::string text = "vexil-sim: holds UDP port " + std::to_string(port) + " on " + bindAddress +
                     ". The program beside it sends to its Device Port and listens on its " +
                     "Host Computer Port: set the Device Port to " + std::to_string(port) +
                     " and keep the Host Computer Port different (Settings).\n";
  if (port == wire::kDefaultPort)
    text += "vexil-sim: " + std::to_string(port) +
            " is also the program's default Host Computer Port, so the two collide on one "
            "machine: change the Host Computer Port in the program's Settings, or start "
            "vexil-sim with --port 56790 and set the program's Device Port to 56790.\n";
  return text;
}

}  // namespace vexil::sim
