// The board's outgoing transport streams: each input that is sending gets its
// synthetic stream, at the rate the status record reports for it, cut into datagrams
// in the format its Send TS instruction asked for.
#pragma once

#include "portable/Sockets.h"

#ifndef _WIN32
#include <sys/uio.h>
#endif

#include <array>
#include <chrono>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/DeviceState.h"
#include "sim/StreamFaults.h"

namespace vexil::sim {

/// How an input's packets are cut into datagrams, read from its mode bytes.
struct DatagramFormat {
  bool iptv = true;
  std::size_t packetsPerDatagram = 7;  // IPTV: 1..7 (a packet number of 0 sends 1)
  bool withParity = false;             // IPTV: 204-byte packets (16 parity bytes added)
  bool removeNulls = false;            // IPTV: PID 0x1FFF not sent
  bool removeErrored = false;          // IPTV: packets with transport_error_indicator not sent
  std::size_t qvNetSize = 1428;        // QV-Net: bytes per datagram, 256..1428

  static DatagramFormat fromModes(std::uint8_t mode2, std::uint8_t mode1, std::uint8_t mode0);
};

/// Sends the streams from a thread of its own, paced in 1 ms steps while an input sends
/// and asleep while none does. Sends only to
/// destinations on the loopback network, 127.0.0.0/8, and to multicast groups
/// (224.0.0.0/4) through the loopback interface with a multicast TTL of 0, from a
/// socket of their own, so that nothing leaves the host: a route to any other address
/// is logged once and refused. A failing send is logged once a route. An input streams while its state is "Sending TS" (1),
/// whether it was asked for with Send TS or Always Send TS: the emulator finds every
/// loopback destination at once, so the difference the board makes while it searches
/// a destination's MAC address never shows. update() may be called from any thread.
class TsStreamer {
 public:
  using Log = std::function<void(const std::string&)>;

  TsStreamer();
  ~TsStreamer();
  TsStreamer(const TsStreamer&) = delete;
  TsStreamer& operator=(const TsStreamer&) = delete;

  /// Where refusals and route changes are told (default: nowhere). Before start().
  void setLog(Log log);
  void setFaults(const StreamFaults& faults);
  /// Takes the routes, modes, states and rates of the board as they are now.
  void update(const DeviceState& state);
  void start();
  /// Stops the thread; nothing is sent afterwards.
  void stop();

  /// Datagrams and packets sent for input n (1..4) since start.
  std::uint64_t datagramsSent(int input) const;
  std::uint64_t packetsSent(int input) const;
  /// Routes refused because their destination is not on the loopback network.
  std::uint64_t refusedRoutes() const { return refused_.load(); }
  /// Sends the system refused (each failing batch counts once).
  std::uint64_t failedSends() const { return failedSends_.load(); }

 private:
  struct Route;
  using Datagrams = std::vector<std::vector<std::uint8_t>>;
  /// What one 1 ms step works from: the board as it is, and the time.
  struct Step {
    DeviceState config;
    StreamFaults faults;
    Log log;
    std::chrono::steady_clock::time_point now;
    double elapsed = 0;  // seconds since the last step
    std::chrono::milliseconds uptime{0};
  };
  void run();
  /// Waits for the next step (asleep while no input sends); false when stopped.
  bool waitForStep(std::chrono::steady_clock::time_point& last,
                   std::chrono::steady_clock::time_point& next, Step& step);
  /// (Re)starts route `r` for `in`: its format, its destination, and whether it is refused.
  void followRoute(Route& r, const InputChannel& in, const Step& step);
  /// The packets due this step, cut into datagrams in `out`.
  void makeDatagrams(Route& r, const Step& step, Datagrams& out);
  /// The datagrams to send after the lose and reorder faults.
  static Datagrams applyDatagramFaults(Route& r, Datagrams& out, const StreamFaults& faults);
  void sendDatagrams(Route& r, Datagrams& sending, const Log& log);
  void openMulticastSocket();
  static bool anySending(const DeviceState& state);

  mutable std::mutex lock_;  // guards config_, faults_, log_
  std::condition_variable wake_;
  bool stopping_ = false;
  DeviceState config_;
  StreamFaults faults_;
  Log log_;
  std::thread thread_;
  net::SocketHandle fd_ = net::kNoSocket;
  net::SocketHandle multicastFd_ = net::kNoSocket;  // confined to loopback with TTL 0; none when that failed
  std::string multicastProblem_;  // why there is no multicastFd_
  std::array<std::atomic<std::uint64_t>, 4> datagrams_{};
  std::array<std::atomic<std::uint64_t>, 4> packets_{};
  std::atomic<std::uint64_t> refused_{0};
  std::atomic<std::uint64_t> failedSends_{0};
#ifndef _WIN32
  std::vector<mmsghdr> msgs_;  // the sending thread's batch, reused every step
  std::vector<iovec> iov_;
#endif
};

}  // namespace vexil::sim
