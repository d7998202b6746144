#include "sim/StreamOptions.h"

#include <limits>

#include "messaging/IntegerText.h"

namespace vexil::sim {
namespace {

constexpr long long kMaxRate = 0xFFFFF;      // the status record's 20-bit rate
constexpr long long kMaxEvery = std::numeric_limits<std::int32_t>::max();
constexpr long long kMaxMs = 24LL * 3600 * 1000;
constexpr long long kMaxPid = 0x1FFF;
constexpr long long kInputs = 4;
constexpr char kRateSeparator = '=';
constexpr char kTimeSeparator = '@';

std::optional<long long> number(std::string_view text, long long lo, long long hi) {
  const auto v = parseIntegerText(text);
  if (!v || *v < lo || *v > hi) return std::nullopt;
  return *v;
}

bool fail(std::string& error, const std::string& message) {
  error = message;
  return false;
}

}  // namespace

std::optional<bool> parseStreamOption(std::span<const std::string> args, std::size_t& i,
                                      DeviceState& state, StreamFaults& faults,
                                      std::string& error) {
  const std::string& name = args[i];
  std::uint32_t* every = nullptr;
  if (name == "--ts-tei") every = &faults.transportErrorEvery;
  if (name == "--ts-cc-error") every = &faults.continuityErrorEvery;
  if (name == "--ts-sync-error") every = &faults.syncErrorEvery;
  if (name == "--ts-sync-loss") every = &faults.syncLossEvery;
  if (name == "--ts-lose") every = &faults.loseDatagramEvery;
  if (name == "--ts-reorder") every = &faults.reorderEvery;
  const bool known = every || name == "--ts-rate" || name == "--ts-stop-pat" ||
                     name == "--ts-stop-pmt" || name == "--ts-drop-pid";
  if (!known) return std::nullopt;
  if (i + 1 >= args.size()) return fail(error, name + " needs a value (see --help)");
  const std::string& value = args[++i];
  const std::string bad = "invalid value for " + name + " \"" + value + "\": ";

  if (every) {
    const auto n = number(value, 1, kMaxEvery);
    if (!n) return fail(error, bad + "must be N >= 1 (one in N)");
    *every = static_cast<std::uint32_t>(*n);
    return true;
  }
  if (name == "--ts-rate") {
    const std::size_t eq = value.find(kRateSeparator);
    const auto input = eq == std::string::npos ? std::nullopt : number(value.substr(0, eq), 1, kInputs);
    const auto rate = eq == std::string::npos ? std::nullopt : number(value.substr(eq + 1), 0, kMaxRate);
    if (!input || !rate) return fail(error, bad + "must be INPUT=PACKETS_PER_SECOND, 1..4 and 0..1048575");
    RemuxChannel& c = state.remux.channels[static_cast<std::size_t>(*input - 1)];
    c.rate = static_cast<std::uint32_t>(*rate);
    c.rateSwing = 0;
    return true;
  }
  if (name == "--ts-stop-pat" || name == "--ts-stop-pmt") {
    const auto ms = number(value, 0, kMaxMs);
    if (!ms) return fail(error, bad + "must be milliseconds, 0 to 86400000");
    (name == "--ts-stop-pat" ? faults.patStopsAfter : faults.pmtStopsAfter) = std::chrono::milliseconds(*ms);
    return true;
  }
  // --ts-drop-pid PID[@MS]
  const std::size_t at = value.find(kTimeSeparator);
  const auto pid = number(value.substr(0, at), 0, kMaxPid);
  const auto ms = at == std::string::npos ? std::optional<long long>(0) : number(value.substr(at + 1), 0, kMaxMs);
  if (!pid || !ms) return fail(error, bad + "must be PID[@MS], PID 0 to 0x1FFF");
  faults.droppedPid = static_cast<std::uint16_t>(*pid);
  faults.pidDropsAfter = std::chrono::milliseconds(*ms);
  return true;
}

std::string_view streamHelpText() {
  return R"(
Transport streams:
  After Send TS (or Always Send TS; the emulator treats both alike, as it finds every
  loopback destination at once) for input N, the emulator sends input N's stream to
  the instruction's address and port until Don't Send TS for N or a system reset.
  It sends only to the loopback network, 127.0.0.0/8: any other destination is
  logged and refused. Each input carries program N: PAT, PMT on PID 0x100*N, video
  on 0x100*N+1 (with PCR), for inputs 1 and 3 audio on 0x100*N+2, about 10 % null
  packets; PAT and PMT every 40 ms. Its rate is the input rate of the status record
  (input 1: 3500 +- 200 packets/s, input 2: 2800 +- 150; inputs 3 and 4: 0, so
  nothing is sent until --ts-rate gives them one).
  IPTV format: each datagram holds the packet number of packets (0 counts as 1), of
  188 bytes, or 204 with 16 zero bytes standing in for the parity; null packets and
  packets with the transport error indicator are left out when the mode asks.
  QV-Net format: the stream is cut into datagrams of the QV-Net data size (256..1428)
  regardless of packet boundaries. This stands in for the board's own QV-Net framing,
  which the emulator does not reproduce.
  --ts-rate N=PPS       input N's rate in packets per second (0..1048575), held steady
Stream faults (every input; "one in N" hits exactly every Nth):
  --ts-tei N            transport error indicator on every Nth packet
  --ts-cc-error N       every Nth elementary-stream packet skips a continuity count
  --ts-sync-error N     every Nth packet has a wrong sync byte
  --ts-sync-loss N      every Nth packet starts five wrong sync bytes in a row
  --ts-lose N           every Nth datagram is not sent
  --ts-reorder N        every Nth datagram is sent after the one that follows it
  --ts-stop-pat MS      no PAT from MS milliseconds after an input starts sending
  --ts-stop-pmt MS      no PMT from MS milliseconds after an input starts sending
  --ts-drop-pid PID[@MS]  PID is replaced by null packets (from MS ms on)
)";
}

}  // namespace vexil::sim
