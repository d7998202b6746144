// Datagrams of any content through the emulated board's answering logic, one model for
// the whole input, so that instructions carried out by one datagram meet the next.
// Input: one byte whose low two bits count the refused opcodes, those opcodes, then up
// to four datagrams, each a two-byte length (high byte first) and its bytes (the last
// one may be cut short by the end of the input).
// Rules held for every datagram, from the frame layout rather than from the model:
//   - the instructions are read back to back from offset 22 and never past the end;
//   - the 18-byte QV-Net query gets the 25-byte ACK with the board's identity;
//   - a Palvox request that carries a system reset (not refused) gets no answer;
//     otherwise the last ACK request with data decides: none, no answer; 0x01, the
//     status answer, which the program's own decoder accepts and whose identity is
//     the board's; anything else, the 41-byte short answer;
//   - a Set Serial or Set Type with the right data length (not refused, before any
//     system reset) leaves the board with that value.
#include <algorithm>
#include <optional>

#include "messaging/StatusReport.h"
#include "sim/DeviceModel.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace vexil;
using vexil::fuzz::require;

namespace {

constexpr std::size_t kHeaderLength = 22;
constexpr std::size_t kQvNetQueryLength = 18;
constexpr std::size_t kQvNetAckLength = 25;
constexpr std::size_t kShortAnswerLength = 41;
constexpr std::size_t kMarkerAt = 22;
constexpr std::uint8_t kOpReset = 0x01;
constexpr std::uint8_t kOpAckRequest = 0x03;
constexpr std::uint8_t kOpSetSerial = 0x10;
constexpr std::uint8_t kOpSetType = 0x11;
constexpr std::uint8_t kOpAck = 0xF0;
constexpr std::uint8_t kSystemReset = 1;
constexpr std::size_t kMaxDatagrams = 4;

std::uint32_t be(std::span<const std::uint8_t> d, std::size_t at, std::size_t width) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < width; ++i) v = (v << 8) | d[at + i];
  return v;
}

bool startsWith(std::span<const std::uint8_t> d, std::string_view magic) {
  return d.size() >= magic.size() && std::equal(magic.begin(), magic.end(), d.begin());
}

void checkInstructionWalk(std::span<const std::uint8_t> request,
                          const std::vector<sim::Instruction>& instructions) {
  if (request.size() < kHeaderLength || !startsWith(request, "Palvox")) {
    require(instructions.empty(), "no instructions outside a Palvox frame");
    return;
  }
  std::size_t at = kHeaderLength;
  for (const sim::Instruction& in : instructions) {
    require(request.size() - at >= 3, "an instruction header lies inside the datagram");
    require(in.opcode == request[at], "the opcode is the first byte of its instruction");
    require(in.data.size() == be(request, at + 1, 2), "the data count is the length field");
    require(in.data.data() == request.data() + at + 3, "the data follows its header");
    require(in.data.size() <= request.size() - at - 3, "the data ends inside the datagram");
    at += 3 + in.data.size();
  }
  // Reading stopped at the end, at a cut header, or at data running past the end.
  require(request.size() - at < 3 || be(request, at + 1, 2) > request.size() - at - 3,
          "reading stops only where the next instruction does not fit");
}

void checkIdentity(std::span<const std::uint8_t> answer, const sim::DeviceState& board,
                   std::size_t versionAt, std::size_t serialAt, std::size_t serialWidth,
                   std::size_t typeAt) {
  require(answer[versionAt] == board.versionMajor && answer[versionAt + 1] == board.versionMinor,
          "the answer carries the board's version");
  const std::uint32_t serialMask = serialWidth == 4 ? 0xFFFFFFFFu : 0xFFFFu;
  require(be(answer, serialAt, serialWidth) == (board.serial & serialMask),
          "the answer carries the board's serial number");
  require(be(answer, typeAt, 2) == board.deviceType, "the answer carries the board's type");
}

void handleOne(sim::DeviceModel& model, std::span<const std::uint8_t> request,
               std::span<const std::uint8_t> refused) {
  const std::vector<sim::Instruction> instructions = sim::palvoxInstructions(request);
  checkInstructionWalk(request, instructions);

  const auto isRefused = [&](std::uint8_t op) {
    return std::find(refused.begin(), refused.end(), op) != refused.end();
  };
  std::optional<std::uint8_t> ack;
  std::optional<std::uint32_t> serial;
  std::optional<std::uint16_t> type;
  bool restarted = false;
  for (const sim::Instruction& in : instructions) {
    if (in.opcode == kOpAckRequest && !in.data.empty()) ack = in.data[0];
    if (isRefused(in.opcode)) continue;
    if (in.opcode == kOpReset && in.data.size() == 2 && in.data[0] == kSystemReset) {
      restarted = true;
      break;
    }
    if (in.opcode == kOpSetSerial && in.data.size() == 4) serial = be(in.data, 0, 4);
    if (in.opcode == kOpSetType && in.data.size() == 2)
      type = static_cast<std::uint16_t>(be(in.data, 0, 2));
  }
  const bool qvNetQuery = request.size() == kQvNetQueryLength && startsWith(request, "QV-Net");

  const sim::DeviceState before = model.state();
  const std::vector<std::uint8_t> answer = model.handle(request, refused);
  const sim::DeviceState& board = model.state();

  if (qvNetQuery) {
    require(answer.size() == kQvNetAckLength, "the QV-Net query gets the 25-byte ACK");
    checkIdentity(answer, board, 23, 18, 2, 16);
    const PageUpdate shown = decodeQvNetAck(AnswerReader(answer), "127.0.0.1", 56789);
    require(shown.deviceCaption.has_value(), "the program accepts the board's QV-Net ACK");
    return;
  }
  require(board.serial == serial.value_or(before.serial), "Set Serial takes effect");
  require(board.deviceType == type.value_or(before.deviceType), "Set Type takes effect");
  if (restarted || !ack) {
    require(answer.empty(), "no answer after a system reset or without an ACK request");
    return;
  }
  require(answer.size() > kMarkerAt && answer[kMarkerAt] == kOpAck,
          "every Palvox answer opens with the ACK record");
  require(answer.size() <= 1500, "an answer fits the program's receive buffer");
  if (*ack == 0x01) {
    const PageUpdate shown = decodeStatusRecord(AnswerReader(answer), "127.0.0.1", 56789);
    require(shown.deviceCaption.has_value(), "the program accepts the board's status answer");
    checkIdentity(answer, board, 25, 27, 4, 31);
  } else {
    require(answer.size() == kShortAnswerLength, "the short answer is 41 bytes");
    checkIdentity(answer, board, 25, 27, 4, 31);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> input(data, size);
  if (input.empty()) return 0;
  const std::size_t refusedCount = std::min<std::size_t>(input[0] & 0x03, input.size() - 1);
  const std::span<const std::uint8_t> refused = input.subspan(1, refusedCount);
  input = input.subspan(1 + refusedCount);

  sim::DeviceModel model;
  for (std::size_t n = 0; n < kMaxDatagrams && input.size() >= 2; ++n) {
    const std::size_t length = std::min<std::size_t>(be(input, 0, 2), input.size() - 2);
    // Each datagram in a block of its own size, so a read past it is caught.
    const std::vector<std::uint8_t> request(input.begin() + 2, input.begin() + 2 + length);
    handleOne(model, request, refused);
    input = input.subspan(2 + length);
  }
  return 0;
}
