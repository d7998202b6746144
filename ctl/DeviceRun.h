// One command on one device: the page logic of the window on an engine of its own, its
// outcome judged by the page's own rules and turned into an exit status, the lines for
// the terminal and the device's JSON object.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ctl/CommandLine.h"
#include "ctl/StrictEntries.h"

namespace vexil::ctl {

/// Exit statuses, also each device's own.
inline constexpr int kExitAcknowledged = 0;  // the device acknowledged, or answered as required
inline constexpr int kExitNotAcknowledged = 1;  // no answer, or an answer the page rejects
inline constexpr int kExitUsage = 2;  // usage error, or the request could not be sent

/// How a device's part of the run ended.
enum class ResultKind {
  Ok,           // acknowledged, or answered as the command requires
  NoAnswer,     // nothing came from the device within the wait
  WrongLength,  // an instruction answered by a datagram that is not the 41-byte ACK
  Rejected,     // an answer the page rejects (unknown message, wrong type, wrong text)
  SendFailed,   // the request could not be sent
};
/// "ok", "no-answer", "wrong-length", "rejected", "send-failed".
const char* resultName(ResultKind kind);
int exitCodeOf(ResultKind kind);

/// The board the set-up's status answer named.
struct BoardIdentity {
  std::uint16_t type = 0;
  std::string version;  // "1.05"
  std::int32_t serial = 0;
};

struct DeviceResult {
  DeviceTarget target;
  ResultKind kind = ResultKind::NoAnswer;
  std::string message;             // the page's last words, and why when it failed
  std::vector<std::string> lines;  // what the command prints (8-bit, Latin-1)
  std::string json;                // the device's JSON object, one line
  std::optional<BoardIdentity> identity;  // setup only, when the board was read
  std::optional<std::string> userText;    // setup only: the user text the board reported after the write (Latin-1)
  int exitCode() const { return exitCodeOf(kind); }
};

/// Runs `invocation`'s command against `target` on the calling thread, which becomes
/// the interface thread of an engine of its own, bound to `hostPort` (0: any free port)
/// and taking answers only from the target's address. Returns when the command's last
/// outcome has been shown: at most two waits of the invocation's timeout.
DeviceResult runOnDevice(const Invocation& invocation, const DeviceTarget& target, int hostPort);

}  // namespace vexil::ctl
