// Any sequence of datagrams, silences, restarts and clock changes through the stream
// analyser. The input is a list of steps, each led by one control byte:
//   0x00-0xEF  a datagram of kLengths[c & 0x0F] bytes (fewer at the input's end),
//              arriving (c >> 4) ms after the step before;
//   0xF0-0xF7  silence: advance by the next byte times 4 ms;
//   0xF8       start() now;
//   0xF9       reset();
//   0xFA       start() now and read on with a byte clock of 1 + next byte Mb/s;
//   0xFB-0xFF  nothing but the checks.
// After every step: the packets of the PID table add up to the total, per-PID
// continuity and transport errors add up to their indicators, no count goes down and
// no indicator stops applying (until start or reset), and the JSON report is one valid
// object with one integer per indicator whose verdict agrees with checkPassed.
#include <array>
#include <string>

#include "stream/StreamAnalyser.h"
#include "stream/StreamReport.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/stream/MiniJson.h"

using namespace vexil::stream;
using vexil::fuzz::require;

namespace {

constexpr std::uint8_t kLastDatagram = 0xEF;
constexpr std::uint8_t kFirstAdvance = 0xF0;
constexpr std::uint8_t kLastAdvance = 0xF7;
constexpr std::uint8_t kStart = 0xF8;
constexpr std::uint8_t kReset = 0xF9;
constexpr std::uint8_t kByteClock = 0xFA;
constexpr int kGapShift = 4;
constexpr std::uint8_t kLengthMask = 0x0F;
constexpr std::array<std::size_t, 16> kLengths{1316, 188, 204, 1428, 1000, 376, 1, 2,
                                               100, 187, 189, 564, 752, 940, 1128, 1504};
constexpr auto kAdvanceUnit = std::chrono::milliseconds(4);
constexpr double kBitsPerMegabit = 1e6;
// The report is rendered on every step of short inputs, every 32nd of long ones.
constexpr std::size_t kReportEveryLongStep = 32;
constexpr std::size_t kShortInput = 1024;

struct Before {
  IndicatorCounts counts{};
  IndicatorFlags applicable{};
  std::uint64_t packets = 0;
  std::uint64_t bytes = 0;
};

void checkReport(const StreamAnalyser& a) {
  using vexil::stream::testing::JsonReader;
  using vexil::stream::testing::JsonValue;
  StreamSnapshot s;
  s.totals = a.totals();
  s.pids = a.pidTable();
  const auto root = JsonReader::parse(formatJson(s, 1.0));
  require(root && root->kind == JsonValue::Kind::Object, "the JSON report is one object");
  const JsonValue* indicators = root->find("indicators");
  require(indicators && indicators->keys.size() == kIndicatorCount, "the JSON report has every indicator");
  for (const IndicatorInfo& i : kIndicators) {
    const JsonValue* v = indicators->find(i.key);
    require(v && v->isInteger() && v->text == std::to_string(s.totals.count(i.id)),
            "each indicator in JSON is its count");
  }
  const JsonValue* verdict = root->find("verdict");
  require(verdict && verdict->text == (checkPassed(s) ? "pass" : "fail"), "the JSON verdict is checkPassed");
  const std::string text = formatText(s, 1.0);
  require(!(text.find("PASS") != std::string::npos && text.find("FAIL") != std::string::npos),
          "the text never says PASS beside a FAIL");
}

void checkStep(const StreamAnalyser& a, Before& before, bool forgot, std::uint64_t fedBytes, bool report) {
  const StreamTotals& t = a.totals();
  std::uint64_t packets = 0, ccErrors = 0, teiPackets = 0;
  std::uint16_t lastPid = 0;
  bool first = true;
  for (const PidCounts& p : a.pidTable()) {
    require(first || p.pid > lastPid, "the PID table is in PID order");
    require(p.pid < kPidCount, "PIDs have 13 bits");
    require(a.pid(p.pid).packets == p.packets, "pid() agrees with the table");
    first = false;
    lastPid = p.pid;
    packets += p.packets;
    ccErrors += p.continuityErrors;
    teiPackets += p.transportErrors;
  }
  require(packets == t.packets, "the PID table adds up to the packets");
  require(ccErrors == t.count(Indicator::ContinuityCountError), "per-PID continuity errors add up");
  require(teiPackets == t.transportErrorPackets, "per-PID transport errors add up");
  require(t.transportErrorPackets == t.count(Indicator::TransportError), "one transport error per packet");
  require(t.nullPackets == a.pid(kNullPid).packets, "null packets are the null PID's");
  require(t.bytes == fedBytes, "every byte fed is counted");
  require(t.packetSize == 0 || t.packetSize == kPacketSize || t.packetSize == kRsPacketSize, "packet size");
  require(t.packets * kPacketSize <= t.bytes, "no more packets than bytes allow");
  require(t.lastDatagramPackets <= t.packets, "the last datagram's packets are among all");
  if (!forgot) {
    for (std::size_t i = 0; i < kIndicatorCount; ++i) {
      require(t.indicators[i] >= before.counts[i], "no indicator count goes down");
      require(t.applicable[i] || !before.applicable[i], "no indicator stops applying");
    }
    require(t.packets >= before.packets, "the packet count never goes down");
  }
  before = {t.indicators, t.applicable, t.packets, t.bytes};
  if (report) checkReport(a);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  StreamAnalyser a;
  Before before;
  TimePoint now{};
  std::uint64_t fedBytes = 0;
  bool byteClock = false;
  std::size_t step = 0;
  for (std::size_t at = 0; at < size; ++step) {
    const std::uint8_t c = data[at++];
    bool forgot = false;
    if (c <= kLastDatagram) {
      now += std::chrono::milliseconds(c >> kGapShift);
      const std::size_t length = std::min(kLengths[c & kLengthMask], size - at);
      if (length == 0) break;
      a.feed({data + at, length}, now);
      at += length;
      fedBytes += length;
    } else if (c >= kFirstAdvance && c <= kLastAdvance) {
      const std::uint8_t n = at < size ? data[at++] : 1;
      now += n * kAdvanceUnit;
      if (!byteClock) a.advance(now);  // a file has no silence
    } else if (c == kStart || c == kByteClock) {
      a.start(now);
      forgot = true;
      fedBytes = 0;
      byteClock = c == kByteClock;
      if (byteClock) {
        const std::uint8_t n = at < size ? data[at++] : 0;
        a.setByteClock((1.0 + n) * kBitsPerMegabit, now);
      }
    } else if (c == kReset) {
      a.reset();
      forgot = true;
      fedBytes = 0;
      byteClock = false;
    }
    checkStep(a, before, forgot, fedBytes, size <= kShortInput || step % kReportEveryLongStep == 0);
  }
  checkReport(a);
  return 0;
}
