// Ways the emulated board can depart from the real one, and the script that says which
// request meets which of them.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vexil::sim {

/// How the emulator departs from the board for one request. The defaults are a board
/// that behaves. Faults shape only answers the board gives: a request that asks for no
/// answer gets none whatever they say.
struct Faults {
  bool silent = false;                       // never answer
  std::chrono::milliseconds delay{0};        // wait this long before answering
  std::optional<std::size_t> answerLength;   // cut or zero-fill the answer to this size
  std::optional<std::uint8_t> answerOpcode;  // byte 22 of the answer (0xF0 on the board)
  std::vector<std::uint8_t> refusedOpcodes;  // instructions acknowledged, not carried out
  int duplicates = 0;                        // send the answer this many extra times
  std::vector<std::size_t> before;           // filler datagrams of these sizes first
  std::vector<std::size_t> after;            // filler datagrams of these sizes after
  bool fromOtherPort = false;                // answer from a second socket
};

/// Which requests a rule is for. A request must meet every part that is set; with
/// neither set, every request does.
struct RequestSelector {
  std::optional<std::size_t> number;   // the Nth request the emulator received, from 1
  std::optional<std::uint8_t> opcode;  // a Palvox request carrying an instruction with it

  /// Whether the request that arrived as number `number` (from 1), with these bytes,
  /// is one of the selected.
  bool matches(std::size_t number, std::span<const std::uint8_t> request) const;
};

/// Faults for the requests a selector picks.
struct FaultRule {
  RequestSelector when;
  Faults faults;
};

/// The faults for every request: those of the first rule that matches it, or
/// `otherwise` when none does. A rule replaces `otherwise` whole, it does not add to it.
struct FaultScript {
  Faults otherwise;
  std::vector<FaultRule> rules;

  const Faults& faultsFor(std::size_t number, std::span<const std::uint8_t> request) const;
};

/// The answer as the faults shape its bytes: cut or zero-filled to `answerLength`, then
/// byte 22 set to `answerOpcode` if the answer reaches that far. Silence, delay and the
/// extra datagrams are the sender's business.
std::vector<std::uint8_t> shapeAnswer(std::vector<std::uint8_t> answer, const Faults& faults);

}  // namespace vexil::sim
