#include "ctl/DeviceRun.h"

#include <cstring>

#include "ctl/Json.h"
#include "ctl/StatusJson.h"
#include "messaging/StatusRecord.h"
#include "instructions/DeviceQuery.h"
#include "instructions/ManufacturerSetup.h"
#include "instructions/PanelTexts.h"
#include "messaging/PlainEngineHost.h"
#include "messaging/ReportText.h"
#include "messaging/StatusReportLayout.h"
#include "messaging/TransactionEngine.h"

namespace vexil::ctl {
namespace {

using S = TransactionState;

// Beyond the waits themselves, time for the dispatches and a late completion request.
constexpr std::chrono::seconds kSettleMargin{2};
constexpr int kMostWaitsPerCommand = 2;  // the set-up's test query and configuration
constexpr int kQvNetRadioIndex = 0;
constexpr int kPalvoxRadioIndex = 1;
// The page names a board in LabelTest1 this way only once it has read its status answer.
constexpr char kTargetBoardPrefix[] = "Target Device: QV-";
// The page shows the board's answered text after this label.
constexpr char kUserTextLabel[] = "User Text: ";

std::string waitText(const Invocation& inv) {
  return "within " + std::to_string(inv.timeout.count()) + " ms";
}

// An engine of its own on the calling thread, for one device.
class Session {
 public:
  Session(const Invocation& inv, const DeviceTarget& target, int hostPort) : inv_(inv) {
    engine.SetHostPort(hostPort);
    engine.SetDevicePort(target.port);
    engine.SetAnswerTimeout(inv.timeout);
    // One board's answer, or a stray datagram, must never pass for another's.
    engine.acceptOnlyFrom(target.address);
  }
  // Runs the interface thread until no dispatch is pending: the last outcome has run
  // and started nothing more.
  void settle() {
    host.runUntil([this] { return !host.timerActive(); },
                  kMostWaitsPerCommand * inv_.timeout + kSettleMargin);
  }
  bool sendFailed() const { return !engine.lastError().empty(); }

  PlainEngineHost host;  // declared first: the engine detaches from it when destroyed
  TransactionEngine engine{host};

 private:
  const Invocation& inv_;
};

void failSend(DeviceResult& r, const Session& s, const char* pageText) {
  r.kind = ResultKind::SendFailed;
  r.message = std::string(pageText) + " (" + s.engine.lastError() + ")";
}

void runQuery(const Invocation& inv, int hostPort, DeviceResult& r, JsonObject& json) {
  Session s(inv, r.target, hostPort);
  std::vector<PageUpdate> shown;
  const bool identify = inv.command == Command::Identify;
  {
    DeviceQuery query(s.engine, [&] { return r.target.address; },
                      [&](const PageUpdate& u) { shown.push_back(u); });
    query.query(identify ? kQvNetRadioIndex : kPalvoxRadioIndex);
    if (s.sendFailed()) {
      failSend(r, s, "Communication Error! Check your network connection!");
      return;
    }
    s.settle();
  }
  const S state = s.engine.state();
  const PageUpdate& outcome = shown.back();
  r.lines = outcome.lines;
  if (state == S::QueryQvNetSent || state == S::QueryStatusSent) {
    r.kind = ResultKind::NoAnswer;
    r.message = "No answer received " + waitText(inv) + ".";
    return;
  }
  // The decoders name the device in LabelD only for an answer they accept.
  if (!outcome.deviceCaption) {
    r.kind = ResultKind::Rejected;
    r.message = outcome.lines.empty() ? "Unknown message received." : outcome.lines.front();
    if (outcome.lines.size() > 1) r.message += " " + outcome.lines[1];
    return;
  }
  r.kind = ResultKind::Ok;
  r.message = *outcome.deviceCaption;
  const Answer answer = s.engine.lastAnswer();
  json.raw(identify ? "identity" : "report",
           identify ? qvNetAckJson(answer.reader()) : statusRecordJson(answer.reader()));
}

// An instruction answered by the 41-byte ACK: the General and Send TS pages.
template <typename Page, typename Request>
void runInstruction(const Invocation& inv, int hostPort, DeviceResult& r, const Request& request,
                    bool sendOnly, S answeredState) {
  Session s(inv, r.target, hostPort);
  std::optional<PanelUpdate> last;
  {
    Page page(s.engine, [&] { return r.target.address; },
              [&](const PanelUpdate& u) {
                if (u.text) last = u;
              });
    page.send(request);
    if (s.sendFailed()) {
      failSend(r, s, panel::kSendFailed);
      return;
    }
    if (!sendOnly) s.settle();
  }
  const std::string shownText = last && last->text ? *last->text : std::string();
  r.lines = {shownText};
  if (sendOnly || s.engine.state() == answeredState) {
    r.kind = ResultKind::Ok;
    r.message = shownText;
    return;
  }
  if (s.engine.answerAcceptedAt()) {
    r.kind = ResultKind::WrongLength;
    r.message = shownText + " (an answer of " + std::to_string(s.engine.lastLength()) +
                " bytes, not the " + std::to_string(wire::kShortAnswerLength) + "-byte ACK)";
  } else {
    r.kind = ResultKind::NoAnswer;
    r.message = shownText + " (no answer " + waitText(inv) + ")";
  }
}

void runRaw(const Invocation& inv, int hostPort, DeviceResult& r, JsonObject& json) {
  Session s(inv, r.target, hostPort);
  std::vector<PageUpdate> shown;
  TestMessage message;
  {
    InstructionTest page(s.engine, [&] { return r.target.address; },
                         [&](const PageUpdate& u) { shown.push_back(u); });
    message = page.send(inv.test);
    if (s.sendFailed()) {
      failSend(r, s, "Communication Error ! Message cannot be sent.");
      return;
    }
    s.settle();
  }
  r.lines = dumpLines(message, DumpStyle::View);
  const std::vector<std::string>& outcome = shown.back().lines;
  r.lines.insert(r.lines.end(), outcome.begin(), outcome.end());
  json.text("request", hexString(message.message));
  if (s.engine.state() != S::InstructionTestAnswered) {
    r.kind = ResultKind::NoAnswer;
    r.message = "No answer received " + waitText(inv) + ".";
    return;
  }
  const Answer answer = s.engine.lastAnswer();
  r.kind = ResultKind::Ok;
  r.message = outcome.front();
  json.number("answer_length", static_cast<std::int64_t>(answer.length()))
      .text("answer", hexString(answer.bytes()));
}

std::optional<BoardIdentity> identityOf(const Answer& statusAnswer) {
  const auto record = status::decodeStatusFields(statusAnswer.reader());
  if (!record) return std::nullopt;
  return BoardIdentity{record->type, record->version, record->serial};
}

void runSetup(const Invocation& inv, int hostPort, DeviceResult& r, JsonObject& json) {
  Session s(inv, r.target, hostPort);
  SetupUpdate page;  // every member as the page shows it at the end
  bool succeeded = false;
  {
    ManufacturerSetup setup(s.engine, [&] { return r.target.address; },
                            [&](const SetupUpdate& u) {
                              if (u.targetDevice) {
                                page.targetDevice = u.targetDevice;
                                // Shown before step two begins: the buffer still holds
                                // the status answer the line was read from.
                                if (u.targetDevice->rfind(kTargetBoardPrefix, 0) == 0) {
                                  r.identity = identityOf(s.engine.lastAnswer());
                                }
                              }
                              if (u.status) page.status = u.status;
                              if (u.userText) page.userText = u.userText;
                              if (u.selfTest == PageColour::Success) succeeded = true;
                            });
    setup.start();
    if (!s.sendFailed()) s.settle();
  }
  const std::string status = page.status.value_or("");
  if (page.targetDevice) r.lines.push_back(*page.targetDevice);
  if (page.userText) r.lines.push_back(*page.userText);
  r.lines.push_back(status);
  if (r.identity) {
    json.number("type", r.identity->type)
        .text("version", r.identity->version)
        .number("serial", r.identity->serial);
  }
  // Values, not the page's labels: the text the board answered with after the write.
  if (page.userText && page.userText->rfind(kUserTextLabel, 0) == 0) {
    r.userText = page.userText->substr(std::strlen(kUserTextLabel));
    json.text("user_text", *r.userText);
  } else {
    json.raw("user_text", "null");
  }
  r.message = status;
  const S state = s.engine.state();
  if (s.sendFailed()) {
    failSend(r, s, status.c_str());
  } else if (succeeded) {
    r.kind = ResultKind::Ok;
  } else if (state == S::ManufacturerQuerySent || state == S::ManufacturerConfigSent) {
    r.kind = ResultKind::NoAnswer;
  } else {
    r.kind = ResultKind::Rejected;
  }
}

}  // namespace

const char* resultName(ResultKind kind) {
  switch (kind) {
    case ResultKind::Ok: return "ok";
    case ResultKind::NoAnswer: return "no-answer";
    case ResultKind::WrongLength: return "wrong-length";
    case ResultKind::Rejected: return "rejected";
    case ResultKind::SendFailed: return "send-failed";
  }
  return "unknown";
}

int exitCodeOf(ResultKind kind) {
  switch (kind) {
    case ResultKind::Ok: return kExitAcknowledged;
    case ResultKind::SendFailed: return kExitUsage;
    default: return kExitNotAcknowledged;
  }
}

DeviceResult runOnDevice(const Invocation& inv, const DeviceTarget& target, int hostPort) {
  DeviceResult r;
  r.target = target;
  JsonObject extra;
  switch (inv.command) {
    case Command::Identify:
    case Command::Status:
      runQuery(inv, hostPort, r, extra);
      break;
    case Command::Set:
    case Command::Reset:
      runInstruction<GeneralInstructions>(inv, hostPort, r, inv.general, inv.general.systemReset,
                                          S::GeneralInstructionAnswered);
      break;
    case Command::SendTs:
      runInstruction<TsRouting>(inv, hostPort, r, buildSendTs(inv.sendTs).frame, false,
                                S::TsInstructionAnswered);
      break;
    case Command::StopTs:
      runInstruction<TsRouting>(inv, hostPort, r, buildDontSendTs(inv.stopSourceIndex), false,
                                S::TsInstructionAnswered);
      break;
    case Command::Raw:
      runRaw(inv, hostPort, r, extra);
      break;
    case Command::Setup:
      runSetup(inv, hostPort, r, extra);
      break;
    case Command::Watch:
      break;  // the watch polls all its boards from one port (WatchCommand.cpp)
    case Command::Log:
      break;  // the log commands talk to no board (LogCommand.cpp)
  }
  JsonObject json;
  json.text("device", target.label())
      .text("command", inv.commandName)
      .number("exit", r.exitCode())
      .text("result", resultName(r.kind))
      .text("message", r.message)
      .raw("lines", jsonTextArray(r.lines));
  std::string out = json.str();
  const std::string more = extra.str();
  if (more != "{}") out = out.substr(0, out.size() - 1) + "," + more.substr(1);
  r.json = out;
  return r;
}

}  // namespace vexil::ctl
