// The emulated Vexil board on a UDP port: answers every request as the board does,
// and for tests can misbehave in chosen ways.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "messaging/UdpEndpoint.h"
#include "sim/BoardDynamics.h"
#include "sim/DeviceModel.h"
#include "sim/Faults.h"
#include "sim/TsStreamer.h"

namespace vexil::sim {

/// Whether `address` is dotted IPv4 text on the loopback network, 127.0.0.0/8.
bool isLoopbackAddress(const std::string& address);

/// Runs a DeviceModel behind a UDP port. start/stop/set* are called from the owning
/// thread; answers are sent from the endpoint's listener thread. Thread-safe getters.
/// Answers go only to senders on the loopback network, 127.0.0.0/8: a request from
/// any other address is counted and carried out, but never answered. While it runs,
/// the inputs that are sending stream from the streamer's own thread (TsStreamer).
class DeviceEmulator {
 public:
  explicit DeviceEmulator(DeviceState initial = defaultDeviceState());
  ~DeviceEmulator();
  DeviceEmulator(const DeviceEmulator&) = delete;
  DeviceEmulator& operator=(const DeviceEmulator&) = delete;

  /// Binds `bindAddress`:`port` (0 picks a free port). False with error() set on failure.
  bool start(const std::string& bindAddress = "127.0.0.1", int port = 0);
  void stop();
  std::uint16_t port() const;
  const std::string& error() const { return error_; }

  /// The same faults for every request from now on (drops any rules).
  void setFaults(const Faults& faults);
  /// Faults chosen per request from now on. Requests are numbered from 1 since the
  /// emulator was made, the ones before this call included.
  void setFaultScript(const FaultScript& script);
  /// How the board changes over time (--dynamics and the scripted moments).
  void setDynamics(const DynamicsScript& script);
  DeviceState state() const;
  void setState(const DeviceState& state);

  /// The board's transport streams: faults, log and what was sent.
  TsStreamer& streamer() { return streamer_; }

  std::size_t requestCount() const;
  std::vector<std::uint8_t> lastRequest() const;
  /// Waits up to `limit` until at least `count` requests have arrived.
  bool waitForRequests(std::size_t count, std::chrono::milliseconds limit) const;

 private:
  void onDatagram(const std::uint8_t* data, std::size_t captured, std::size_t length,
                  const std::string& from, std::uint16_t fromPort);
  void sendFiller(std::size_t size, const std::string& to, std::uint16_t port);

  mutable std::mutex lock_;
  mutable std::condition_variable requestArrived_;
  DeviceModel model_;
  FaultScript script_;
  BoardDynamics dynamics_;
  std::size_t requests_ = 0;
  std::vector<std::uint8_t> lastRequest_;
  bool stopping_ = false;
  std::condition_variable stopRequested_;

  TsStreamer streamer_;
  std::unique_ptr<UdpEndpoint> endpoint_;
  std::unique_ptr<UdpEndpoint> otherEndpoint_;  // for answers from another port
  std::string error_;
};

}  // namespace vexil::sim
