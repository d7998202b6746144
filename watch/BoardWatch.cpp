#include "watch/BoardWatch.h"

#include <algorithm>
#include <set>

#include "messaging/Frames.h"
#include "messaging/UdpEndpoint.h"

namespace vexil::watch {
namespace {

using Steady = std::chrono::steady_clock;

}  // namespace

// What a board's answer left for the watching thread in one round.
struct BoardWatch::Slot {
  bool awaiting = false;
  Steady::time_point sentAt;
  Steady::time_point answeredAt;
  std::vector<std::uint8_t> answer;  // empty: none yet
};

BoardWatch::BoardWatch(WatchSettings settings) : settings_(std::move(settings)) {
  for (std::size_t i = 0; i < settings_.boards.size(); ++i) {
    const std::string label = settings_.boards[i].label();
    trackers_.emplace_back(label, settings_.alarms);
    indexOf_.emplace(label, i);
  }
  slots_.resize(settings_.boards.size());
}

BoardWatch::~BoardWatch() = default;

std::string BoardWatch::problemWith(const WatchSettings& s) {
  if (s.boards.empty()) return "no board to watch";
  std::set<std::string> seen;
  for (const BoardAddress& b : s.boards) {
    if (!seen.insert(b.label()).second) return "board " + b.label() + " is named twice";
  }
  if (s.interval.count() <= 0) return "the interval must be more than 0";
  if (s.timeout > s.interval) {
    return "the wait for an answer (" + std::to_string(s.timeout.count()) +
           " ms) is longer than the interval (" + std::to_string(s.interval.count()) +
           " ms): every poll must end before the next starts";
  }
  return {};
}

void BoardWatch::onDatagram(const std::uint8_t* data, std::size_t captured, std::size_t length,
                            const std::string& from, std::uint16_t fromPort) {
  const Steady::time_point now = Steady::now();
  const auto it = indexOf_.find(from + ":" + std::to_string(fromPort));
  if (it == indexOf_.end() || captured < length) return;  // not a board of ours, or cut short
  const AnswerReader reader(std::span<const std::uint8_t>(data, length));
  // Only the status answer ends a board's wait; anything else it sends is not one.
  if (!status::isStatusAnswer(reader)) return;
  std::lock_guard guard(lock_);
  Slot& slot = slots_[it->second];
  if (!slot.awaiting) return;  // late, from a round already judged
  slot.awaiting = false;
  slot.answeredAt = now;
  slot.answer.assign(data, data + length);
  if (--pending_ == 0) changed_.notify_all();
}

WatchRound BoardWatch::pollOnce(std::uint64_t number, UdpEndpoint& endpoint) {
  const Frame& query = StatusQuery();
  const WallClock::time_point wallStart = WallClock::now();
  const Steady::time_point start = Steady::now();
  {
    std::lock_guard guard(lock_);
    for (Slot& slot : slots_) {
      slot.awaiting = true;
      slot.answer.clear();
    }
    pending_ = slots_.size();
  }
  for (std::size_t i = 0; i < settings_.boards.size(); ++i) {
    const BoardAddress& board = settings_.boards[i];
    {
      std::lock_guard guard(lock_);
      slots_[i].sentAt = Steady::now();
    }
    if (!endpoint.sendTo(board.address, board.port, query)) {
      // Not sent: nothing can answer it. The board counts as silent this round.
      std::lock_guard guard(lock_);
      if (slots_[i].awaiting) {
        slots_[i].awaiting = false;
        --pending_;
      }
    }
  }
  // Every board has the same wait from the round's start; the sends of a large watch
  // take far less than the wait.
  {
    std::unique_lock guard(lock_);
    changed_.wait_until(guard, start + settings_.timeout,
                        [this] { return pending_ == 0 || stopping_; });
  }

  WatchRound round;
  round.number = number;
  std::vector<Slot> taken;
  {
    std::lock_guard guard(lock_);
    for (Slot& slot : slots_) slot.awaiting = false;  // later answers are late
    pending_ = 0;
    taken.swap(slots_);
    slots_.resize(taken.size());
  }
  for (std::size_t i = 0; i < taken.size(); ++i) {
    PollOutcome outcome;
    outcome.time = wallStart;
    if (!taken[i].answer.empty()) {
      outcome.record = status::decodeStatusFields(AnswerReader(taken[i].answer));
      outcome.answerMs =
          std::chrono::duration<double, std::milli>(taken[i].answeredAt - taken[i].sentAt).count();
    }
    round.samples.push_back(trackers_[i].observe(outcome, round.events));
  }
  round.duration = std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - start);
  return round;
}

bool BoardWatch::run(std::optional<std::chrono::milliseconds> duration,
                     const RoundObserver& observer, std::string& error) {
  error = problemWith(settings_);
  if (!error.empty()) return false;
  UdpEndpoint endpoint([this](const std::uint8_t* data, std::size_t captured, std::size_t length,
                              const std::string& from, std::uint16_t fromPort) {
    onDatagram(data, captured, length, from, fromPort);
  });
  if (!endpoint.activate(settings_.hostPort, settings_.bindAddress)) {
    error = endpoint.error();
    return false;
  }
  localPort_ = endpoint.localPort();
  const Steady::time_point first = Steady::now();
  for (std::uint64_t k = 0;; ++k) {
    const Steady::time_point due = first + k * settings_.interval;
    if (duration && due - first >= *duration && k > 0) break;
    {
      std::unique_lock guard(lock_);
      changed_.wait_until(guard, due, [this] { return stopping_; });
      if (stopping_) break;
    }
    const auto delay = std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - due);
    const WatchRound round = pollOnce(k + 1, endpoint);
    ++pace_.rounds;
    pace_.worstRound = std::max(pace_.worstRound, round.duration);
    pace_.worstStartDelay = std::max(pace_.worstStartDelay, delay);
    if (delay >= settings_.interval) ++pace_.lateRounds;
    if (observer) observer(round);
  }
  endpoint.deactivate();
  localPort_ = 0;
  return true;
}

void BoardWatch::stop() {
  std::lock_guard guard(lock_);
  stopping_ = true;
  changed_.notify_all();
}

std::vector<BoardSummary> BoardWatch::summaries() const {
  std::vector<BoardSummary> list;
  for (const BoardTracker& t : trackers_) list.push_back(t.summary());
  return list;
}

}  // namespace vexil::watch
