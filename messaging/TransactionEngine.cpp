#include "messaging/TransactionEngine.h"

#include <cstring>

namespace vexil {

TransactionEngine::TransactionEngine(EngineHost& host)
    : host_(host), buffer_(std::make_unique<ReceiveBuffer>()) {
  buffer_->fill(0);
  endpoint_ = std::make_unique<UdpEndpoint>(
      [this](const std::uint8_t* data, std::size_t captured, std::size_t length,
             const std::string& from, std::uint16_t) {
        const std::uint32_t wanted = acceptedSender_.load(std::memory_order_relaxed);
        std::uint32_t source = 0;
        if (wanted != 0 && !(resolveIPv4(from, source) && source == wanted)) return;
        receiveDatagram(data, captured, length);
      });
  host_.bind(this);
}

TransactionEngine::~TransactionEngine() {
  // Timer first, then the endpoint and its listener, and only then the buffer, so that
  // no receive step can write into a released buffer.
  host_.stopTimer();
  host_.bind(nullptr);
  endpoint_->deactivate();
  endpoint_.reset();
  buffer_.reset();
}

bool TransactionEngine::startSend(TransactionState sentState,
                                  std::span<const std::uint8_t> frame,
                                  const std::string& address) {
  {
    std::lock_guard guard(lock_);
    state_ = sentState;
    ++transaction_;  // requests of earlier transactions no longer match
  }
  host_.stopTimer();
  waiting_ = false;
  completionRequested_ = false;
  answerAcceptedAt_.reset();

  if (!endpoint_->activate(hostPort_)) {
    lastError_ = endpoint_->error();
    return false;
  }
  if (!endpoint_->sendTo(address, devicePort_, frame)) {
    lastError_ = endpoint_->error();
    endpoint_->deactivate();
    return false;
  }
  lastError_.clear();
  sendCompletedAt_ = EngineClock::now();
  return true;
}

bool TransactionEngine::BeginTransaction(TransactionState sentState,
                                         std::span<const std::uint8_t> frame,
                                         const std::string& address) {
  if (!startSend(sentState, frame, address)) return false;
  waiting_ = true;
  host_.startTimer(sendCompletedAt_ + answerTimeout_);
  return true;
}

bool TransactionEngine::SendOnly(TransactionState sentState,
                                 std::span<const std::uint8_t> frame,
                                 const std::string& address) {
  const bool sent = startSend(sentState, frame, address);
  endpoint_->deactivate();
  return sent;
}

void TransactionEngine::SetHostPort(int port) {
  endpoint_->deactivate();
  hostPort_ = port;
}

void TransactionEngine::SetDevicePort(int port) { devicePort_ = port; }

bool TransactionEngine::acceptOnlyFrom(const std::string& address) {
  std::uint32_t source = 0;
  if (!address.empty() && !resolveIPv4(address, source)) return false;
  acceptedSender_.store(source, std::memory_order_relaxed);
  return true;
}

void TransactionEngine::setOutcome(TransactionState state, Outcome outcome) {
  outcomes_.at(static_cast<std::size_t>(state)) = std::move(outcome);
}

TransactionState TransactionEngine::state() const {
  std::lock_guard guard(lock_);
  return state_;
}

std::size_t TransactionEngine::lastLength() const {
  std::lock_guard guard(lock_);
  return lastLength_;
}

Answer TransactionEngine::lastAnswer() const {
  std::lock_guard guard(lock_);
  return Answer(std::span<const std::uint8_t>(buffer_->data(), lastLength_));
}

void TransactionEngine::receiveDatagram(const std::uint8_t* data, std::size_t captured,
                                         std::size_t length) {
  // A datagram longer than the buffer changes nothing at all.
  if (length > wire::kReceiveBufferSize || captured < length) return;
  const EngineClock::time_point acceptedAt = EngineClock::now();
  std::uint64_t transaction;
  {
    std::lock_guard guard(lock_);
    std::memcpy(buffer_->data(), data, length);
    lastLength_ = length;
    state_ = stateAfterDatagram(state_, length);
    transaction = transaction_;
  }
  host_.postCompletion({transaction, acceptedAt});
}

void TransactionEngine::onCompletionRequest(const CompletionRequest& request) {
  // Only the first request of the transaction still waiting counts; one left over from
  // an earlier transaction cannot cut a later wait short.
  if (!waiting_ || completionRequested_ || request.transaction != transaction_) return;
  completionRequested_ = true;
  answerAcceptedAt_ = request.acceptedAt;
  // The 5 ms count from now, when this thread takes the request up: that is never before
  // the datagram was accepted nor before the send completed, and a busy interface thread
  // still leaves a further datagram its 5 ms to arrive.
  host_.startTimer(EngineClock::now() + kCompletionDelay);
}

void TransactionEngine::dispatch() {
  host_.stopTimer();
  waiting_ = false;
  endpoint_->deactivate();
  TransactionState current;
  Answer answer;
  {
    // The state and the answer are taken together, so they belong to the same datagram;
    // the routine's copy stays its own when it begins the next transaction.
    std::lock_guard guard(lock_);
    current = state_;
    answer = Answer(std::span<const std::uint8_t>(buffer_->data(), lastLength_));
  }
  const Outcome& outcome = outcomes_[static_cast<std::size_t>(current)];
  // A copy, so an outcome that replaces its own routine keeps running safely.
  if (outcome) {
    Outcome copy = outcome;
    copy(answer);
  }
}

}  // namespace vexil
