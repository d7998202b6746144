#include "instructions/ManufacturerSetup.h"

#include <algorithm>

#include "messaging/AnswerReader.h"
#include "messaging/Frames.h"
#include "messaging/WireLayout.h"

namespace vexil {
namespace {

// Where the status answer carries what step one reads.
constexpr std::size_t kVersionMajorOffset = 25;
constexpr std::size_t kVersionMinorOffset = 26;
constexpr std::size_t kDeviceTypeOffset = 31;  // u16, big-endian
// Step two needs the answer up to and including its first record's opcode.
constexpr std::size_t kConfigurationMinLength = wire::kAnswerOpcodeOffset + 1;
constexpr int kMinorDigitsBase = 1000;  // minor + 1000 always has its last two digits

constexpr char kStarting[] = "Starting...";
constexpr char kQuerySent[] = "Query sent, waiting for reply...";
constexpr char kSendFailed[] = "Communication Error!";
constexpr char kNoAnswer[] = "Error: No ACK answer received (in 1s).";
constexpr char kUnknownMessage[] = "Error: Unknown message received.";
constexpr char kWrongType[] = "Error: Device type must be QV-7163.";
constexpr char kAckReceived[] = "ACK Received.";
constexpr char kConfigurationSent[] = "QV Configuration Code sent, waiting for reply...";
constexpr char kSetupFailed[] = "Error: Marovantis Setup failed.";
constexpr char kSucceeded[] = "Manufacturer Setup succeeded.";
constexpr char kTargetDevice[] = "Target Device:";
constexpr char kTargetPrefix[] = "Target Device: ";
constexpr char kUserTextPrefix[] = "User Text: ";

}  // namespace

std::string setupVersionText(std::uint8_t major, std::uint8_t minor) {
  const std::string minorText = std::to_string(minor + kMinorDigitsBase);
  return " Version " + std::to_string(major) + "." + minorText.substr(minorText.size() - 2);
}

StepOneResult judgeTestAnswer(std::span<const std::uint8_t> answer, const std::string& address) {
  const AnswerReader r(answer);
  StepOneResult result;
  if (r.length() < wire::kManufacturerTestMinLength ||
      r.u8(wire::kAnswerOpcodeOffset) != wire::OpAck) {
    result.update.status = kUnknownMessage;
    result.update.targetDevice = std::string(kTargetPrefix) + "Unknown (" + address + ")";
    result.update.communication = PageColour::Failure;
    return result;
  }
  const std::uint16_t type = r.u16(kDeviceTypeOffset);
  result.update.targetDevice =
      std::string(kTargetPrefix) + "QV-" + std::to_string(type) +
      setupVersionText(r.u8(kVersionMajorOffset), r.u8(kVersionMinorOffset));
  if (type != kManufacturerDeviceType) {
    result.update.communication = PageColour::Failure;
    result.update.status = kWrongType;
    return result;
  }
  result.update.communication = PageColour::Success;
  result.update.status = kAckReceived;
  result.proceed = true;
  return result;
}

SetupUpdate judgeConfigurationAnswer(std::span<const std::uint8_t> answer) {
  SetupUpdate update;
  // The text as far as the answer holds it, never bytes an earlier answer left behind.
  const std::size_t textEnd =
      std::min(answer.size(), wire::kUserTextOffset + wire::kUserTextLength);
  std::string text;
  if (textEnd > wire::kUserTextOffset) {
    text.assign(answer.begin() + static_cast<std::ptrdiff_t>(wire::kUserTextOffset),
                answer.begin() + static_cast<std::ptrdiff_t>(textEnd));
  }
  update.userText = kUserTextPrefix + text;
  if (answer.size() < kConfigurationMinLength || answer[wire::kAnswerOpcodeOffset] != wire::OpAck) {
    update.status = kUnknownMessage;
    update.setup = PageColour::Failure;
    return update;
  }
  if (text != wire::kManufacturerText) {
    update.setup = PageColour::Failure;
    update.status = kSetupFailed;
    return update;
  }
  update.setup = PageColour::Success;
  update.selfTest = PageColour::Success;
  update.status = kSucceeded;
  return update;
}

ManufacturerSetup::ManufacturerSetup(TransactionEngine& engine, Address address, Show show)
    : engine_(engine), address_(std::move(address)), show_(std::move(show)) {
  engine_.setOutcome(TransactionState::ManufacturerQuerySent, [this](const Answer&) {
    SetupUpdate u;
    u.status = kNoAnswer;
    u.targetDevice = std::string(kTargetPrefix) + "Unknown";
    u.communication = PageColour::Failure;
    show_(u);
  });
  engine_.setOutcome(TransactionState::ManufacturerQueryAnswered,
                     [this](const Answer& answer) { stepOne(answer); });
  engine_.setOutcome(TransactionState::ManufacturerConfigSent, [this](const Answer&) {
    SetupUpdate u;
    u.status = kNoAnswer;
    u.setup = PageColour::Failure;
    show_(u);
  });
  engine_.setOutcome(TransactionState::ManufacturerConfigAnswered, [this](const Answer& answer) {
    show_(judgeConfigurationAnswer(answer.bytes()));
  });
}

ManufacturerSetup::~ManufacturerSetup() {
  for (TransactionState state :
       {TransactionState::ManufacturerQuerySent, TransactionState::ManufacturerQueryAnswered,
        TransactionState::ManufacturerConfigSent, TransactionState::ManufacturerConfigAnswered}) {
    engine_.setOutcome(state, {});
  }
}

void ManufacturerSetup::start() {
  SetupUpdate start;
  start.communication = start.setup = start.selfTest = PageColour::ButtonFace;
  start.targetDevice = kTargetDevice;
  start.status = kStarting;  // LabelTest2 keeps the text of the last run
  show_(start);
  SetupUpdate sent;
  if (!engine_.BeginTransaction(TransactionState::ManufacturerQuerySent, StatusQuery(),
                                address_())) {
    sent.status = kSendFailed;
    sent.communication = PageColour::Failure;
  } else {
    sent.status = kQuerySent;
  }
  show_(sent);
}

void ManufacturerSetup::stepOne(const Answer& answer) {
  const StepOneResult result = judgeTestAnswer(answer.bytes(), address_());
  show_(result.update);
  if (!result.proceed) return;
  // Step two begins from inside step one's outcome; the engine re-opens the endpoint.
  SetupUpdate sent;
  if (!engine_.BeginTransaction(TransactionState::ManufacturerConfigSent, manufacturerConfigFrame(),
                                address_())) {
    sent.status = kSendFailed;
    sent.setup = PageColour::Failure;
  } else {
    sent.status = kConfigurationSent;
  }
  show_(sent);
}

}  // namespace vexil
