#include "messaging/TransactionState.h"

#include "messaging/WireLayout.h"

namespace vexil {

bool isSentState(TransactionState state) {
  switch (state) {
    case TransactionState::QueryQvNetSent:
    case TransactionState::QueryStatusSent:
    case TransactionState::GeneralInstructionSent:
    case TransactionState::TsInstructionSent:
    case TransactionState::ManufacturerQuerySent:
    case TransactionState::ManufacturerConfigSent:
    case TransactionState::InstructionTestSent:
      return true;
    default:
      return false;
  }
}

TransactionState stateAfterDatagram(TransactionState state, std::size_t length) {
  using S = TransactionState;
  const bool isShortAnswer = length == wire::kShortAnswerLength;
  switch (state) {
    case S::QueryQvNetSent: return S::QueryQvNetAnswered;
    case S::QueryStatusSent: return S::QueryStatusAnswered;
    case S::ManufacturerQuerySent: return S::ManufacturerQueryAnswered;
    case S::ManufacturerConfigSent: return S::ManufacturerConfigAnswered;
    case S::InstructionTestSent: return S::InstructionTestAnswered;
    case S::GeneralInstructionSent:
      return isShortAnswer ? S::GeneralInstructionAnswered : state;
    case S::TsInstructionSent: return isShortAnswer ? S::TsInstructionAnswered : state;
    default: return state;
  }
}

const char* stateName(TransactionState state) {
  static constexpr const char* kNames[kTransactionStateCount] = {
      "Idle",
      "QueryQvNetSent",
      "QueryQvNetAnswered",
      "QueryStatusSent",
      "QueryStatusAnswered",
      "GeneralInstructionSent",
      "GeneralInstructionAnswered",
      "TsInstructionSent",
      "TsInstructionAnswered",
      "ManufacturerQuerySent",
      "ManufacturerQueryAnswered",
      "ManufacturerConfigSent",
      "ManufacturerConfigAnswered",
      "InstructionTestSent",
      "InstructionTestAnswered",
  };
  const auto i = static_cast<std::size_t>(state);
  return i < kTransactionStateCount ? kNames[i] : "?";
}

}  // namespace vexil
