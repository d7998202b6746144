// The single-transaction engine: sends one request frame, waits one second for the
// answer, and hands the answer or its absence to the outcome routine of the state.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "messaging/Answer.h"
#include "messaging/AnswerReader.h"
#include "messaging/EngineHost.h"
#include "messaging/Frames.h"
#include "messaging/TransactionState.h"
#include "messaging/UdpEndpoint.h"
#include "messaging/WireLayout.h"

namespace vexil {

inline constexpr std::chrono::milliseconds kAnswerTimeout{1000};
inline constexpr std::chrono::milliseconds kCompletionDelay{5};

/// Carries every exchange with the device, one at a time.
///
/// Threads: everything but receiveDatagram runs on the interface thread, the thread
/// that owns `host`. receiveDatagram runs on the endpoint's listener thread. The
/// receive buffer, its length, the state and the current transaction number are
/// guarded by one engine lock; the outcome routines read them after the listener has
/// been stopped and waited for.
class TransactionEngine final : private EngineSink {
 public:
  /// An outcome routine: runs on the interface thread with its own copy of the answer
  /// (empty when nothing was accepted).
  using Outcome = std::function<void(const Answer&)>;
  using ReceiveBuffer = std::array<std::uint8_t, wire::kReceiveBufferSize>;

  explicit TransactionEngine(EngineHost& host);
  ~TransactionEngine();
  TransactionEngine(const TransactionEngine&) = delete;
  TransactionEngine& operator=(const TransactionEngine&) = delete;

  /// Sets the sent-state, sends `frame` to `address` and the device port, and starts
  /// the one-second wait. False when the endpoint cannot be bound or the frame cannot
  /// be sent; then no outcome follows for this transaction.
  bool BeginTransaction(TransactionState sentState, std::span<const std::uint8_t> frame,
                        const std::string& address);
  /// Sends `frame` without waiting for an answer; the endpoint is closed again at once
  /// and no outcome follows.
  bool SendOnly(TransactionState sentState, std::span<const std::uint8_t> frame,
                const std::string& address);
  /// Closes the endpoint; `port` is bound at the next activation.
  void SetHostPort(int port);
  /// The destination port of every later send.
  void SetDevicePort(int port);
  int hostPort() const { return hostPort_; }
  int devicePort() const { return devicePort_; }

  /// Opt-in, for tools that talk to many boards: from now on a datagram counts only when
  /// its source address is `address` (dotted IPv4); one from any other sender changes
  /// nothing, as if it had never arrived. An empty text goes back to the window's rule,
  /// every sender's datagram counts. False, with nothing changed, when `address` is not
  /// dotted IPv4. Any thread.
  bool acceptOnlyFrom(const std::string& address);
  /// Opt-in: how long later transactions wait for their answer (default
  /// kAnswerTimeout, the window's one second). Interface thread.
  void SetAnswerTimeout(std::chrono::milliseconds timeout) { answerTimeout_ = timeout; }
  std::chrono::milliseconds answerTimeout() const { return answerTimeout_; }

  /// The routine the dispatch runs for `state` (empty: nothing runs).
  void setOutcome(TransactionState state, Outcome outcome);

  // ---- For the outcome routines, on the interface thread --------------------------
  TransactionState state() const;
  std::size_t lastLength() const;
  /// A copy of the last accepted datagram, taken under the engine lock: safe at any
  /// moment, also while the listener runs. Outcome routines get theirs as an argument.
  Answer lastAnswer() const;
  /// Why the last BeginTransaction or SendOnly failed.
  const std::string& lastError() const { return lastError_; }
  /// The port the endpoint is bound to while active (useful when the host port is 0).
  std::uint16_t boundPort() const { return endpoint_->localPort(); }
  bool endpointActive() const { return endpoint_->isActive(); }
  /// When the datagram that brought the last dispatch forward was accepted (for
  /// measuring answer-to-outcome times); unset when the last wait timed out.
  std::optional<EngineClock::time_point> answerAcceptedAt() const { return answerAcceptedAt_; }

  // ---- Events that enter the engine --------------------------------------------
  /// The receive step, on the listener thread: a datagram of `length` bytes.
  void receiveDatagram(const std::uint8_t* data, std::size_t captured, std::size_t length);
  /// The dispatch, on the interface thread when the timer fires.
  void dispatch();

 private:
  void onTimer() override { dispatch(); }
  void onCompletionRequest(const CompletionRequest& request) override;
  bool startSend(TransactionState sentState, std::span<const std::uint8_t> frame,
                 const std::string& address);

  EngineHost& host_;
  std::unique_ptr<ReceiveBuffer> buffer_;

  mutable std::mutex lock_;  // guards the four items below
  std::size_t lastLength_ = 0;
  TransactionState state_ = TransactionState::Idle;
  std::uint64_t transaction_ = 0;  // number of the transaction begun last

  // Interface thread only.
  bool waiting_ = false;              // a transaction waits for its dispatch
  bool completionRequested_ = false;  // its first datagram has set the 5 ms delay
  EngineClock::time_point sendCompletedAt_{};
  std::optional<EngineClock::time_point> answerAcceptedAt_;
  int hostPort_ = wire::kDefaultPort;
  int devicePort_ = wire::kDefaultPort;
  std::chrono::milliseconds answerTimeout_ = kAnswerTimeout;
  // Network-order source address the receive step accepts; 0 (never a sender) for any.
  std::atomic<std::uint32_t> acceptedSender_{0};
  std::array<Outcome, kTransactionStateCount> outcomes_{};
  std::string lastError_;

  std::unique_ptr<UdpEndpoint> endpoint_;  // its listener calls receiveDatagram
};

}  // namespace vexil
