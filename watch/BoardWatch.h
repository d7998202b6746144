// The board watch: one UDP endpoint and one thread poll every board with the window's
// status query at a fixed pace (round k starts at k intervals after the first, so the
// pace never drifts), wait for the answers together, and hand each round's samples and
// alarms to an observer. Used by `vexilctl watch` and the Board Watch window alike.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "watch/BoardTracker.h"
#include "watch/WatchTypes.h"

namespace vexil {
class UdpEndpoint;
}

namespace vexil::watch {

/// One round: every board's sample (in the order of the settings' boards) and the alarms
/// that started or cleared in it, with how long the round took from its first send.
struct WatchRound {
  std::uint64_t number = 0;  // 1, 2, ...
  std::vector<PollSample> samples;
  std::vector<AlarmEvent> events;
  std::chrono::microseconds duration{0};
};

/// How well the watch kept its pace.
struct PaceSummary {
  std::uint64_t rounds = 0;
  std::uint64_t lateRounds = 0;                  // started after the next was due
  std::chrono::microseconds worstRound{0};       // longest round, first send to last judgement
  std::chrono::microseconds worstStartDelay{0};  // latest start after its due time
};

class BoardWatch {
 public:
  /// Called on the thread that runs the watch, once per round.
  using RoundObserver = std::function<void(const WatchRound&)>;

  explicit BoardWatch(WatchSettings settings);
  ~BoardWatch();
  BoardWatch(const BoardWatch&) = delete;
  BoardWatch& operator=(const BoardWatch&) = delete;

  /// Why the settings cannot make a watch (no board, the same board twice, a wait
  /// longer than the interval); empty when they can.
  static std::string problemWith(const WatchSettings& settings);

  /// Binds the endpoint and polls on the calling thread until stop() or, when given,
  /// `duration` has passed (the rounds that start within it are completed). False, with
  /// `error` set, when the endpoint cannot be bound or the settings are wrong.
  bool run(std::optional<std::chrono::milliseconds> duration, const RoundObserver& observer,
           std::string& error);
  /// Ends run() at the next moment it waits; any thread.
  void stop();
  /// The port the endpoint holds while running (0 before and after).
  std::uint16_t localPort() const { return localPort_.load(); }

  /// Each board's totals; after run() has returned, or from the observer.
  std::vector<BoardSummary> summaries() const;
  const WatchSettings& settings() const { return settings_; }
  /// The pace kept; after run() has returned, or from the observer.
  PaceSummary pace() const { return pace_; }

 private:
  struct Slot;
  void onDatagram(const std::uint8_t* data, std::size_t captured, std::size_t length,
                  const std::string& from, std::uint16_t fromPort);
  WatchRound pollOnce(std::uint64_t number, UdpEndpoint& endpoint);

  WatchSettings settings_;
  std::vector<BoardTracker> trackers_;               // the watching thread only
  std::unordered_map<std::string, std::size_t> indexOf_;  // label -> board; fixed

  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Slot> slots_;  // under lock_
  std::size_t pending_ = 0;  // under lock_: boards still awaited this round
  bool stopping_ = false;    // under lock_
  std::atomic<std::uint16_t> localPort_{0};
  PaceSummary pace_;  // the watching thread only
};

}  // namespace vexil::watch
