#include "sim/BoardDynamics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vexil::sim {
namespace {

constexpr int kChannels = 4;
constexpr std::uint32_t kMaxRate = 0xFFFFF;     // 20 bits
constexpr double kMaxSeconds = 366.0 * 86400;   // a year
constexpr double kMaxCounterRate = 1e6;         // per second
constexpr double kSecondsPerMinute = 60;
constexpr std::uint8_t kMaxLinkSpeed = 3;
constexpr std::uint8_t kStopped = 0;
// A step of the walk moves at most a quarter of its range.
constexpr double kStepShare = kWanderShare / 4;

// A number from 0 to 1 that depends on nothing but its three inputs (splitmix64).
double noise(std::uint64_t seed, std::uint64_t channel, std::uint64_t step) {
  std::uint64_t z = seed * 0x9E3779B97F4A7C15ull + channel * 0xBF58476D1CE4E5B9ull + step;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) / static_cast<double>(1ull << 53);
}

std::chrono::milliseconds toMs(Seconds s) {
  return std::chrono::milliseconds(static_cast<std::int64_t>(std::llround(s.count() * 1000)));
}

bool fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

std::optional<double> decimal(const std::string& text, double lo, double hi) {
  if (text.empty() || text.find_first_of("xXpPnNiI") != std::string::npos) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(v) || v < lo || v > hi) return std::nullopt;
  return v;
}

// Read as long long: a seed reaches 2^32 - 1, beyond a 32-bit long (Windows' long).
std::optional<long long> whole(const std::string& text, long long lo, long long hi) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

// "SECONDS:N" (or "SECONDS" alone when `fallback` is given).
bool timeAndNumber(const std::string& value, long lo, long hi, std::optional<long> fallback,
                   Seconds& at, long& n) {
  const std::size_t colon = value.find(':');
  const auto t = decimal(value.substr(0, colon), 0, kMaxSeconds);
  if (!t) return false;
  at = Seconds(*t);
  if (colon == std::string::npos) {
    if (!fallback) return false;
    n = *fallback;
    return true;
  }
  const auto v = whole(value.substr(colon + 1), lo, hi);
  if (!v) return false;
  n = static_cast<long>(*v);
  return true;
}

}  // namespace

BoardDynamics::BoardDynamics(DynamicsScript script) : script_(std::move(script)) {}

bool BoardDynamics::silent(Seconds elapsed) const {
  return script_.silentAt && elapsed >= *script_.silentAt &&
         elapsed < *script_.silentAt + script_.silentFor;
}

std::uint32_t BoardDynamics::wanderingRate(std::size_t index, std::uint32_t base, Seconds elapsed) {
  std::vector<double>& walk = walk_[index];
  const double t = std::max(0.0, elapsed.count());
  const auto step = static_cast<std::size_t>(t);
  if (walk.empty()) walk.push_back(0.0);
  while (walk.size() < step + 2) {
    const double move = (2 * noise(script_.seed, index, walk.size()) - 1) * kStepShare;
    walk.push_back(std::clamp(walk.back() + move, -kWanderShare, kWanderShare));
  }
  // Between two whole seconds the rate moves in a straight line.
  const double share = walk[step] + (walk[step + 1] - walk[step]) * (t - static_cast<double>(step));
  return static_cast<std::uint32_t>(
      std::min<double>(kMaxRate, std::llround(static_cast<double>(base) * (1 + share))));
}

void BoardDynamics::apply(DeviceState& state, Seconds elapsed) {
  if (!bases_) {
    std::array<std::uint32_t, 4> b{};
    for (int n = 0; n < kChannels; ++n) b[n] = state.remux.channels[n].rate;
    bases_ = b;
    for (int n = 0; n < kChannels; ++n) {
      originalUsage_[n] = state.remux.channels[n].usage;
      originalSwing_[n] = state.remux.channels[n].usageSwing;
    }
  }
  // Resets whose time has come: counting starts again from zero at that moment.
  Seconds lastReset{-1};
  for (Seconds at : script_.resets)
    if (at <= elapsed) lastReset = std::max(lastReset, at);
  std::size_t due = 0;
  for (Seconds at : script_.resets) due += at <= elapsed ? 1 : 0;
  if (due > resetsDone_) {
    resetsDone_ = due;
    state.startedAt = toMs(lastReset);
    state.insPacketCounter = 0;
    state.crcErrorCounter = 0;
  }
  for (const DynamicsScript::Link& l : script_.links)
    if (l.at <= elapsed) state.linkSpeed = l.speed;  // in time order: the latest wins

  for (int n = 0; n < kChannels; ++n) {
    RemuxChannel& c = state.remux.channels[n];
    const std::uint32_t base = (*bases_)[n];
    bool stopped = false;
    for (const DynamicsScript::Stop& s : script_.stops)
      if (s.channel == n + 1 && s.at <= elapsed) stopped = true;
    if (stopped) {
      state.inputs[n].state = kStopped;
      c.rate = c.rateSwing = c.usage = c.usageSwing = 0;
    } else if (script_.wander) {
      c.rate = base == 0 ? 0 : wanderingRate(static_cast<std::size_t>(n), base, elapsed);
      c.rateSwing = 0;
      const double position =
          base == 0 ? 0 : (static_cast<double>(c.rate) / base - (1 - kWanderShare)) / (2 * kWanderShare);
      const double fill = kFillLow + (kFillHigh - kFillLow) * std::clamp(position, 0.0, 1.0);
      c.usage = base == 0 ? 0 : static_cast<std::uint32_t>(std::llround(c.bufferSize * fill));
      c.usageSwing = 0;
    } else {
      c.usage = originalUsage_[n];
      c.usageSwing = originalSwing_[n];
    }
    // An overflow since the last reset sets the flag; for a moment the LED is on and
    // the buffer full.
    std::optional<Seconds> overflowAt;
    for (const DynamicsScript::Overflow& o : script_.overflows)
      if (o.channel == n + 1 && o.at <= elapsed && o.at > lastReset)
        overflowAt = std::max(overflowAt.value_or(o.at), o.at);
    if (!script_.overflows.empty()) {
      c.overflowSinceReset = overflowAt.has_value();
      c.overflowLed = overflowAt && elapsed - *overflowAt < kOverflowLedOn;
      if (c.overflowLed) {
        c.usage = c.bufferSize;
        c.usageSwing = 0;
      }
    }
  }
}

std::optional<bool> parseDynamicsOption(std::span<const std::string> args, std::size_t& i,
                                        DeviceState& state, DynamicsScript& script,
                                        std::string& error) {
  const std::string& name = args[i];
  if (name == "--dynamics") {
    script.wander = true;
    return true;
  }
  static const char* const kValued[] = {"--seed", "--crc-rate", "--ins-rate", "--overflow-at",
                                        "--stop-channel-at", "--link-at", "--reset-at",
                                        "--silent-at", "--silent-for"};
  if (std::find_if(std::begin(kValued), std::end(kValued),
                   [&](const char* v) { return name == v; }) == std::end(kValued)) {
    return std::nullopt;
  }
  if (i + 1 >= args.size()) return fail(error, name + " needs a value (see --help)");
  const std::string& value = args[++i];
  const std::string bad = "invalid value for " + name + " \"" + value + "\": ";
  if (name == "--seed") {
    const auto v = whole(value, 0, 0xFFFFFFFFll);
    if (!v) return fail(error, bad + "must be a whole number from 0 to 4294967295");
    script.seed = static_cast<std::uint32_t>(*v);
  } else if (name == "--crc-rate" || name == "--ins-rate") {
    const auto v = decimal(value, 0, kMaxCounterRate);
    if (!v) return fail(error, bad + "must be a number of counts a second, 0 to 1000000");
    if (name == "--crc-rate") {
      state.crcErrorsPerMinute = static_cast<std::uint32_t>(std::llround(*v * kSecondsPerMinute));
    } else {
      state.insPacketsPerSecond = static_cast<std::uint32_t>(std::llround(*v));
    }
  } else if (name == "--overflow-at" || name == "--stop-channel-at") {
    Seconds at{};
    long channel = 0;
    const bool overflow = name == "--overflow-at";
    if (!timeAndNumber(value, 1, kChannels, overflow ? std::optional<long>(1) : std::nullopt, at, channel))
      return fail(error, bad + (overflow ? "must be SECONDS[:CHANNEL]" : "must be SECONDS:CHANNEL") +
                             ", channel 1 to 4");
    if (overflow) {
      script.overflows.push_back({at, static_cast<int>(channel)});
    } else {
      script.stops.push_back({at, static_cast<int>(channel)});
    }
  } else if (name == "--link-at") {
    Seconds at{};
    long speed = 0;
    if (!timeAndNumber(value, 0, kMaxLinkSpeed, std::nullopt, at, speed))
      return fail(error, bad + "must be SECONDS:SPEED, speed 0 (off), 1 (10 Mbps), 2 (100 Mbps) or 3 (1000 Mbps)");
    script.links.push_back({at, static_cast<std::uint8_t>(speed)});
    std::stable_sort(script.links.begin(), script.links.end(),
                     [](const auto& a, const auto& b) { return a.at < b.at; });
  } else {
    const auto v = decimal(value, 0, kMaxSeconds);
    if (!v) return fail(error, bad + "must be a number of seconds");
    if (name == "--reset-at") script.resets.push_back(Seconds(*v));
    if (name == "--silent-at") script.silentAt = Seconds(*v);
    if (name == "--silent-for") script.silentFor = Seconds(*v);
  }
  return true;
}

std::string_view dynamicsHelpText() {
  return R"(
A board that lives (times are seconds after the emulator started, decimals allowed):
  --dynamics            every input rate wanders in a bounded random walk, within 10 %
                        of its own rate, a step a second; the SDRAM usage follows it,
                        from 20 % of the buffer at the lowest rate to 50 % at the
                        highest
  --seed N              the walk's seed (default 1): the same seed, the same walk
  --crc-rate R          the CRC error counter grows by R a second (default 1 a minute;
                        in steps of 1/60); it wraps at 65536
  --ins-rate R          the Ins. packet counter grows by R a second (default 120)
  --overflow-at S[:CH]  input CH (default 1) overflows at S: its overflow-after-reset
                        flag is set from then on, and for 2 s its overflow LED is on
                        and its buffer full
  --stop-channel-at S:CH  input CH stops at S: state Stopped, input rate 0
  --link-at S:SPEED     the link speed becomes SPEED at S (0 off, 1 10 Mbps,
                        2 100 Mbps, 3 1000 Mbps); may be repeated
  --reset-at S          the board resets at S: both counters start again from 0 and
                        the overflow flags clear; may be repeated
  --silent-at S         the board answers nothing from S ...
  --silent-for D        ... for D seconds
)";
}

}  // namespace vexil::sim
