#include "sim/Faults.h"

#include <algorithm>

#include "sim/DeviceModel.h"

namespace vexil::sim {
namespace {
// The opcode of the answer's first record: 0xF0 in every answer of the board.
constexpr std::size_t kAnswerOpcodeOffset = 22;
}  // namespace

bool RequestSelector::matches(std::size_t requestNumber,
                              std::span<const std::uint8_t> request) const {
  if (number && *number != requestNumber) return false;
  if (!opcode) return true;
  const auto instructions = palvoxInstructions(request);
  return std::any_of(instructions.begin(), instructions.end(),
                     [this](const Instruction& in) { return in.opcode == *opcode; });
}

const Faults& FaultScript::faultsFor(std::size_t number,
                                     std::span<const std::uint8_t> request) const {
  for (const FaultRule& rule : rules)
    if (rule.when.matches(number, request)) return rule.faults;
  return otherwise;
}

std::vector<std::uint8_t> shapeAnswer(std::vector<std::uint8_t> answer, const Faults& faults) {
  if (faults.answerLength) answer.resize(*faults.answerLength, 0);
  if (faults.answerOpcode && answer.size() > kAnswerOpcodeOffset)
    answer[kAnswerOpcodeOffset] = *faults.answerOpcode;
  return answer;
}

}  // namespace vexil::sim
