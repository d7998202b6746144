// The one value naming the transaction in flight and whether its answer has come.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexil {

enum class TransactionState : std::uint8_t {
  Idle,
  QueryQvNetSent,
  QueryQvNetAnswered,
  QueryStatusSent,
  QueryStatusAnswered,
  GeneralInstructionSent,
  GeneralInstructionAnswered,
  TsInstructionSent,
  TsInstructionAnswered,
  ManufacturerQuerySent,
  ManufacturerQueryAnswered,
  ManufacturerConfigSent,
  ManufacturerConfigAnswered,
  InstructionTestSent,
  InstructionTestAnswered,
};

inline constexpr std::size_t kTransactionStateCount =
    static_cast<std::size_t>(TransactionState::InstructionTestAnswered) + 1;

/// True for the seven states set when a frame is sent.
bool isSentState(TransactionState state);

/// The state after a datagram of `length` bytes has been accepted in `state`: a query,
/// manufacturer or instruction-test state moves on with any length; a General-page or
/// TS instruction only with the 41-byte short answer; every other state stays.
TransactionState stateAfterDatagram(TransactionState state, std::size_t length);

/// The state's name as the code spells it, for logs and test messages.
const char* stateName(TransactionState state);

}  // namespace vexil
