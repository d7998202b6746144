#include "sim/StreamOptions.h"

#include <limits>

#include "messaging/IntegerText.h"
#include "sim/TsGenerator.h"

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
  if (name == "--ts-pcr-jump") every = &faults.pcrJumpEvery;
  if (name == "--ts-pcr-jitter") every = &faults.pcrJitterEvery;
  if (name == "--ts-bad-crc") every = &faults.badCrcEvery;
  std::optional<std::chrono::milliseconds>* after = nullptr;
  if (name == "--ts-stop-pat") after = &faults.patStopsAfter;
  if (name == "--ts-stop-pmt") after = &faults.pmtStopsAfter;
  if (name == "--ts-pcr-gap") after = &faults.pcrGapAfter;
  if (name == "--ts-pts-gap") after = &faults.ptsGapAfter;
  if (name == "--ts-cat") {
    faults.shape.withCat = true;
    return true;
  }
  const bool known = every || after || name == "--ts-rate" || name == "--ts-drop-pid" ||
                     name == "--ts-pmt-streams" || name == "--ts-scrambled";
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
  if (after) {
    const auto ms = number(value, 0, kMaxMs);
    if (!ms) return fail(error, bad + "must be milliseconds, 0 to 86400000");
    *after = std::chrono::milliseconds(*ms);
    return true;
  }
  if (name == "--ts-pmt-streams") {
    const auto n = number(value, 1, TsGenerator::kMaxPmtStreams);
    if (!n) return fail(error, bad + "must be 1 to " + std::to_string(TsGenerator::kMaxPmtStreams));
    faults.shape.pmtStreams = static_cast<int>(*n);
    return true;
  }
  if (name == "--ts-scrambled") {
    const auto pid = number(value, 0, kMaxPid);
    if (!pid) return fail(error, bad + "must be a PID, 0 to 0x1FFF");
    faults.shape.scrambledPid = static_cast<std::uint16_t>(*pid);
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
  It sends only to the loopback network, 127.0.0.0/8, and to multicast groups
  through loopback (below): any other destination is logged and refused. Each input carries program N: PAT, PMT on PID 0x100*N, video
  on 0x100*N+1 (with PCR), for inputs 1 and 3 audio on 0x100*N+2, about 10 % null
  packets; PAT and PMT every 40 ms, a PCR every 20 ms, a PTS at every PES start
  (0.1 s ahead of the PCR). Its rate is the input rate of the status record
  (input 1: 3500 +- 200 packets/s, input 2: 2800 +- 150; inputs 3 and 4: 0, so
  nothing is sent until --ts-rate gives them one). The program clock runs at the
  centre of that rate: every packet moves the PCR on by 27e6 / rate ticks exactly, so
  a PCR sits where its byte position puts it however the sending rate swings.
  A multicast destination (224.0.0.0/4) is sent to out of the loopback interface
  with TTL 0, so it never leaves the host; that needs a route for 224.0.0.0/4 via lo
  and lo's MULTICAST flag (ip link set lo multicast on; ip route add 224.0.0.0/4
  dev lo), and a failing send is logged once.
  IPTV format: each datagram holds the packet number of packets (0 counts as 1), of
  188 bytes, or 204 with 16 zero bytes standing in for the parity; null packets and
  packets with the transport error indicator are left out when the mode asks.
  QV-Net format: the stream is cut into datagrams of the QV-Net data size (256..1428)
  regardless of packet boundaries. This stands in for the board's own QV-Net framing,
  which the emulator does not reproduce.
  --ts-rate N=PPS       input N's rate in packets per second (0..1048575), held steady
  --ts-pmt-streams N    the PMT names N streams (1..64): video, audio, then data
                        streams (type 0x06) on 0x100*N+0x10 on, each sent several
                        times a second; from 34 on the PMT spans two packets
  --ts-cat              a CAT on PID 1 every 100 ms naming EMM PID 0x100*N+0xF0,
                        which carries a short EMM section as often
  --ts-scrambled PID    PID's payload packets marked scrambled (even key), the payload
                        left as it is; without --ts-cat that is a CAT error
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
Second-priority faults:
  --ts-pcr-gap MS       once, MS ms after an input starts sending: 100 ms from one PCR
                        to the next (the PCRs between are left out)
  --ts-pcr-jump N       every Nth PCR is 200 ms ahead, without discontinuity_indicator;
                        the clock goes on from there (PTS with it)
  --ts-pcr-jitter N     every Nth PCR is 2 us (54 ticks) late; the next is back on time
  --ts-pts-gap MS       once, MS ms after an input starts sending: the video PES
                        starts carry no PTS for 1 s
  --ts-bad-crc N        every Nth PAT or PMT section has its CRC_32 spoilt
)";
}

}  // namespace vexil::sim
