#include "sim/DeviceEmulator.h"

#include "portable/Sockets.h"

namespace vexil::sim {
namespace {
constexpr std::uint8_t kFillerByte = 0xA5;
constexpr std::uint32_t kLoopbackNet = 0x7F000000;  // 127.0.0.0/8
constexpr std::uint32_t kLoopbackMask = 0xFF000000;
}  // namespace

bool isLoopbackAddress(const std::string& address) {
  std::uint32_t networkOrder = 0;
  return resolveIPv4(address, networkOrder) &&
         (ntohl(networkOrder) & kLoopbackMask) == kLoopbackNet;
}

DeviceEmulator::DeviceEmulator(DeviceState initial) : model_(initial) {
  endpoint_ = std::make_unique<UdpEndpoint>(
      [this](const std::uint8_t* data, std::size_t captured, std::size_t length,
             const std::string& from, std::uint16_t fromPort) {
        onDatagram(data, captured, length, from, fromPort);
      });
  otherEndpoint_ = std::make_unique<UdpEndpoint>(
      [](const std::uint8_t*, std::size_t, std::size_t, const std::string&, std::uint16_t) {});
}

DeviceEmulator::~DeviceEmulator() { stop(); }

bool DeviceEmulator::start(const std::string& bindAddress, int port) {
  {
    std::lock_guard guard(lock_);
    stopping_ = false;
  }
  if (!endpoint_->activate(port, bindAddress)) {
    error_ = endpoint_->error();
    return false;
  }
  if (!otherEndpoint_->activate(0, bindAddress)) {
    error_ = otherEndpoint_->error();
    endpoint_->deactivate();
    return false;
  }
  streamer_.update(state());
  streamer_.start();
  return true;
}

void DeviceEmulator::stop() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  stopRequested_.notify_all();  // cuts a delayed answer short
  streamer_.stop();
  endpoint_->deactivate();
  otherEndpoint_->deactivate();
}

std::uint16_t DeviceEmulator::port() const { return endpoint_->localPort(); }

void DeviceEmulator::setFaults(const Faults& faults) {
  std::lock_guard guard(lock_);
  script_ = FaultScript{faults, {}};
}

void DeviceEmulator::setFaultScript(const FaultScript& script) {
  std::lock_guard guard(lock_);
  script_ = script;
}

void DeviceEmulator::setDynamics(const DynamicsScript& script) {
  std::lock_guard guard(lock_);
  dynamics_ = BoardDynamics(script);
}

DeviceState DeviceEmulator::state() const {
  std::lock_guard guard(lock_);
  return model_.state();
}

void DeviceEmulator::setState(const DeviceState& state) {
  std::lock_guard guard(lock_);
  model_.state() = state;
  streamer_.update(state);
}

std::size_t DeviceEmulator::requestCount() const {
  std::lock_guard guard(lock_);
  return requests_;
}

std::vector<std::uint8_t> DeviceEmulator::lastRequest() const {
  std::lock_guard guard(lock_);
  return lastRequest_;
}

bool DeviceEmulator::waitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock guard(lock_);
  return requestArrived_.wait_for(guard, limit, [&] { return requests_ >= count; });
}

void DeviceEmulator::onDatagram(const std::uint8_t* data, std::size_t captured, std::size_t,
                                const std::string& from, std::uint16_t fromPort) {
  // A sender outside the loopback network changes nothing: its request is dropped
  // before the board reads it.
  if (!isLoopbackAddress(from)) return;
  const std::span<const std::uint8_t> request{data, captured};
  std::vector<std::uint8_t> answer;
  Faults faults;
  bool silentNow = false;
  {
    std::lock_guard guard(lock_);
    ++requests_;
    lastRequest_.assign(request.begin(), request.end());
    faults = script_.faultsFor(requests_, request);
    DeviceState& state = model_.state();
    if (dynamics_.script().any()) {
      // The board as it is at this moment of its script.
      const Seconds elapsed = state.clock ? Seconds(state.clock()) : Seconds(0);
      dynamics_.apply(state, elapsed);
      silentNow = dynamics_.silent(elapsed);
    }
    answer = model_.handle(request, faults.refusedOpcodes);
    streamer_.update(model_.state());
  }
  requestArrived_.notify_all();
  if (answer.empty() || faults.silent || silentNow) return;
  if (faults.delay.count() > 0) {
    std::unique_lock guard(lock_);
    if (stopRequested_.wait_for(guard, faults.delay, [this] { return stopping_; })) return;
  }
  answer = shapeAnswer(std::move(answer), faults);

  for (std::size_t size : faults.before) sendFiller(size, from, fromPort);
  UdpEndpoint& out = faults.fromOtherPort ? *otherEndpoint_ : *endpoint_;
  for (int copy = 0; copy <= faults.duplicates; ++copy) out.sendTo(from, fromPort, answer);
  for (std::size_t size : faults.after) sendFiller(size, from, fromPort);
}

void DeviceEmulator::sendFiller(std::size_t size, const std::string& to, std::uint16_t port) {
  const std::vector<std::uint8_t> filler(size, kFillerByte);
  endpoint_->sendTo(to, port, filler);
}

}  // namespace vexil::sim
