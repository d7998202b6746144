// A UDP port whose datagrams feed the analyser, on a thread of its own.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "messaging/DatagramSocket.h"
#include "stream/StreamAnalyser.h"
#include "stream/StreamMeter.h"
#include "stream/StreamReport.h"
#include "stream/TsRecorder.h"

namespace vexil::stream {

/// Where to listen: a local address, or a multicast group to join.
struct ListenEndpoint {
  std::string address = "127.0.0.1";  // dotted IPv4: local address ("0.0.0.0": all) or group
  int port = 0;                        // 0 picks a free one
  std::string source;                  // group only: join this source alone (SSM)
  std::string interface;               // group only: local address of the interface to join on
};

/// Why `e` cannot be listened on (an address that is not IPv4, a source or interface
/// without a group, a port out of range), or nothing when it can.
std::optional<std::string> endpointProblem(const ListenEndpoint& e);

/// Whether `address` is a dotted IPv4 multicast group (224.0.0.0 to 239.255.255.255).
bool isMulticastGroup(const std::string& address);

/// How to make loopback carry multicast: the two commands, for messages.
inline constexpr char kLoopbackMulticastCommands[] =
    "as root: ip link set lo multicast on; ip route add 224.0.0.0/4 dev lo";

/// Whether the loopback interface carries multicast (its MULTICAST flag is on): without
/// it the kernel swallows every group datagram sent through loopback, as the emulator
/// sends its groups, without an error.
bool loopbackCarriesMulticast();

/// What to tell someone who joins a group on loopback (or on no interface named) when
/// loopback carries no multicast; empty otherwise.
std::string loopbackMulticastHint(const ListenEndpoint& e);

/// Binds an IPv4 address and port and analyses every datagram that arrives, on its own
/// receive thread, reading many datagrams per system call. start/stop are called from
/// the owner's thread; snapshot, recording and reset from any thread.
class StreamReceiver {
 public:
  explicit StreamReceiver(AnalyserLimits limits = {});
  ~StreamReceiver();
  StreamReceiver(const StreamReceiver&) = delete;
  StreamReceiver& operator=(const StreamReceiver&) = delete;

  /// Binds the endpoint (joining its group, if it names one), arms every deadline of a
  /// fresh analyser and starts the receive thread. False, with error() set, on failure.
  bool start(const ListenEndpoint& endpoint);
  bool start(const std::string& address, int port) { return start(ListenEndpoint{address, port, {}, {}}); }
  /// Stops the thread and closes the socket (and a recording).
  void stop();
  bool running() const { return running_.load(); }
  std::uint16_t port() const { return port_; }
  const std::string& error() const { return error_; }

  /// The counts now; also samples the meter, so call it about once a second. The
  /// receive thread looks at the deadlines during silence, against the kernel's times
  /// for what has arrived, so a late look never makes queued data look late.
  StreamSnapshot snapshot();
  /// Counts start again from zero.
  void reset();

  /// Writes the packets from now on into `path`. False, with `why` set, on failure.
  bool startRecording(const std::string& path, std::string& why);
  /// Ends the recording; the number of packets written. A write that failed on the way
  /// (or at the close) shows in recordError().
  std::uint64_t stopRecording();
  bool recording() const;
  /// Why the last recording failed; empty while it is fine.
  std::string recordError() const;

  /// Datagrams the socket dropped because its buffer was full (SO_RXQ_OVFL).
  std::uint64_t socketDrops() const { return drops_.load(); }
  /// Whether the system reports the socket's drops at all (Linux does, Windows not):
  /// without it socketDrops() is no figure, not a count of 0.
  bool dropsKnown() const { return dropsKnown_.load(); }
  /// Whether each datagram is stamped by the kernel when it arrived (SO_TIMESTAMPNS).
  bool kernelTimestamps() const { return kernelTimestamps_.load(); }
  /// CPU time the receive thread has used.
  std::chrono::nanoseconds cpuTime() const { return std::chrono::nanoseconds(cpuNs_.load()); }

 private:
  void run();
  bool join(net::SocketHandle fd, const ListenEndpoint& endpoint);

  mutable std::mutex lock_;       // guards analyser_, meter_, recorder_
  StreamAnalyser analyser_;
  StreamMeter meter_;
  TsRecorder recorder_;
  DatagramSocket socket_;
  std::uint16_t port_ = 0;
  std::atomic<std::uint64_t> drops_{0};
  std::atomic<std::int64_t> cpuNs_{0};
  std::atomic<bool> kernelTimestamps_{false};
#ifdef _WIN32
  std::atomic<bool> dropsKnown_{false};
#else
  std::atomic<bool> dropsKnown_{true};
#endif
  std::atomic<bool> running_{false};  // read from any thread; fd_ belongs to the owner
  std::string error_;
};

}  // namespace vexil::stream
