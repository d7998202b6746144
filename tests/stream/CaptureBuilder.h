// Capture files for the capture reader's tests, written by libpcap itself: IPv4/UDP
// packets built byte by byte, wrapped in each link layer the reader knows. pcapng
// copies are made with Wireshark's editcap when it is installed.
#pragma once

#include <fcntl.h>
#include <pcap/pcap.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vexil::stream::testing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint16_t kTypeIpv4 = 0x0800;
inline constexpr std::uint16_t kTypeIpv6 = 0x86DD;
inline constexpr std::uint16_t kTypeArp = 0x0806;
inline constexpr std::uint16_t kTypeVlan = 0x8100;
inline constexpr std::uint16_t kTypeServiceVlan = 0x88A8;
inline constexpr std::uint16_t kTypeOldQinQ = 0x9100;
inline constexpr std::uint8_t kProtocolTcp = 6;
inline constexpr std::uint8_t kProtocolUdp = 17;
inline constexpr std::uint16_t kMoreFragments = 0x2000;
inline constexpr std::uint16_t kDontFragment = 0x4000;
inline constexpr std::size_t kIpHeader = 20;
inline constexpr std::size_t kUdpHeader = 8;
inline constexpr std::size_t kEthernetHeader = 14;
inline constexpr std::size_t kEthernetMinimumFrame = 60;  // without the FCS
inline constexpr std::uint32_t kLoopbackInet6 = 30;       // AF_INET6 of macOS and FreeBSD

inline void put16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v >> 8);
  b[at + 1] = static_cast<std::uint8_t>(v);
}

inline void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  put16(b, at, static_cast<std::uint16_t>(v >> 16));
  put16(b, at + 2, static_cast<std::uint16_t>(v));
}

/// One IPv4 packet; the defaults make a whole UDP datagram from 10.0.0.1:4000 to
/// 239.1.1.1:5000. `udpLength` and `totalLength` of 0 mean "the true length".
struct FrameShape {
  std::uint32_t source = 0x0A000001;
  std::uint32_t destination = 0xEF010101;
  std::uint16_t sourcePort = 4000;
  std::uint16_t destinationPort = 5000;
  Bytes payload;
  std::uint8_t protocol = kProtocolUdp;
  std::uint16_t fragment = 0;    // flags and fragment offset, as on the wire
  std::uint8_t headerWords = 5;  // IHL; words past 5 are filled as options (NOP)
  std::uint16_t udpLength = 0;
  std::uint16_t totalLength = 0;
};

inline Bytes ipv4(const FrameShape& s) {
  const std::size_t header = s.headerWords * 4u < kIpHeader ? kIpHeader : s.headerWords * 4u;
  Bytes b(header + kUdpHeader + s.payload.size(), 0);
  b[0] = static_cast<std::uint8_t>(0x40 | s.headerWords);
  put16(b, 2, s.totalLength ? s.totalLength : static_cast<std::uint16_t>(b.size()));
  put16(b, 6, s.fragment);
  b[8] = 64;  // TTL
  b[9] = s.protocol;
  put32(b, 12, s.source);
  put32(b, 16, s.destination);
  for (std::size_t i = kIpHeader; i < header; ++i) b[i] = 1;  // NOP options
  put16(b, header, s.sourcePort);
  put16(b, header + 2, s.destinationPort);
  put16(b, header + 4,
        s.udpLength ? s.udpLength : static_cast<std::uint16_t>(kUdpHeader + s.payload.size()));
  std::copy(s.payload.begin(), s.payload.end(), b.begin() + static_cast<long>(header + kUdpHeader));
  return b;
}

/// A packet whose version nibble says IPv6: skipped by every link layer.
inline Bytes ipv6Packet() {
  Bytes b(48, 0);
  b[0] = 0x60;
  return b;
}

/// An Ethernet frame with `tags` (tag protocol identifiers, outermost first) before
/// `type`, padded to the 60-byte minimum.
inline Bytes ethernet(const Bytes& inner, const std::vector<std::uint16_t>& tags = {},
                      std::uint16_t type = kTypeIpv4) {
  Bytes b(12, 0);
  b[0] = 0x01;  // multicast destination, locally administered source
  b[6] = 0x02;
  for (std::uint16_t tag : tags) {
    b.resize(b.size() + 4, 0);
    put16(b, b.size() - 4, tag);
    put16(b, b.size() - 2, 100);  // VLAN 100
  }
  b.resize(b.size() + 2);
  put16(b, b.size() - 2, type);
  b.insert(b.end(), inner.begin(), inner.end());
  if (b.size() < kEthernetMinimumFrame) b.resize(kEthernetMinimumFrame, 0);
  return b;
}

/// `inner` (an IPv4 or IPv6 packet) behind the link-layer header of `linkType`.
inline Bytes frame(int linkType, const Bytes& inner) {
  const bool v6 = !inner.empty() && (inner[0] >> 4) == 6;
  const std::uint16_t type = v6 ? kTypeIpv6 : kTypeIpv4;
  Bytes b;
  switch (linkType) {
    case DLT_EN10MB:
      return ethernet(inner, {}, type);
    case DLT_LINUX_SLL:
      b.assign(16, 0);
      put16(b, 0, 0);  // packet type: to us
      put16(b, 2, 1);  // ARPHRD_ETHER
      put16(b, 4, 6);
      put16(b, 14, type);
      break;
    case DLT_LINUX_SLL2:
      b.assign(20, 0);
      put16(b, 0, type);
      put32(b, 4, 1);  // interface index
      put16(b, 8, 1);  // ARPHRD_ETHER
      b[11] = 6;
      break;
    case DLT_NULL:  // the capturing host's order: little-endian here
      b = {static_cast<std::uint8_t>(v6 ? kLoopbackInet6 : 2), 0, 0, 0};
      break;
    case DLT_LOOP:
      b = {0, 0, 0, static_cast<std::uint8_t>(v6 ? kLoopbackInet6 : 2)};
      break;
    default:  // DLT_RAW, DLT_IPV4
      break;
  }
  b.insert(b.end(), inner.begin(), inner.end());
  return b;
}

/// One record of a capture: the captured bytes, the length on the wire (0: the same)
/// and the time stamp in nanoseconds since 1970.
struct Record {
  Bytes bytes;
  std::int64_t nanoseconds = 0;
  std::uint32_t wireLength = 0;
};

/// Writes `records` as a pcap file of `linkType`, with nanosecond or microsecond time
/// stamps. False when libpcap cannot write the file.
inline bool writePcap(const std::string& path, int linkType, const std::vector<Record>& records,
                      bool nano = true) {
  constexpr int kSnapLength = 65535;
  pcap_t* dead = pcap_open_dead_with_tstamp_precision(
      linkType, kSnapLength, nano ? PCAP_TSTAMP_PRECISION_NANO : PCAP_TSTAMP_PRECISION_MICRO);
  if (!dead) return false;
  pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
  if (!dumper) {
    pcap_close(dead);
    return false;
  }
  const std::int64_t perSecond = nano ? 1'000'000'000 : 1'000'000;
  const std::int64_t unit = nano ? 1 : 1000;
  for (const Record& r : records) {
    pcap_pkthdr h{};
    h.ts.tv_sec = static_cast<time_t>(r.nanoseconds / 1'000'000'000);
    h.ts.tv_usec = static_cast<suseconds_t>((r.nanoseconds / unit) % perSecond);
    h.caplen = static_cast<bpf_u_int32>(r.bytes.size());
    h.len = r.wireLength ? r.wireLength : h.caplen;
    pcap_dump(reinterpret_cast<u_char*>(dumper), &h, r.bytes.data());
  }
  pcap_dump_close(dumper);
  pcap_close(dead);
  return true;
}

inline bool installed(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

/// Converts the pcap file `from` to pcapng at `to` with editcap; false without editcap
/// or when it fails. The paths must need no shell quoting.
inline bool convertToPcapng(const std::string& from, const std::string& to) {
  return installed("editcap") &&
         std::system(("editcap -F pcapng " + from + " " + to + " >/dev/null 2>&1").c_str()) == 0;
}

/// dumpcap capturing what `filter` selects on lo into the pcapng `file`, stopping by
/// itself after `count` packets; its messages go to `log`. Stopped when destroyed.
class LoopbackDumpcap {
 public:
  LoopbackDumpcap(const std::string& file, const std::string& filter, int count,
                  const std::string& log)
      : log_(log) {
    std::vector<std::string> args = {
        "dumpcap", "-i", "lo", "-f", filter, "-c", std::to_string(count), "-w", file};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawnp(&pid_, "dumpcap", &actions, nullptr, argv.data(), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~LoopbackDumpcap() {
    if (running()) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  LoopbackDumpcap(const LoopbackDumpcap&) = delete;
  LoopbackDumpcap& operator=(const LoopbackDumpcap&) = delete;

  /// Waits up to `wait` for dumpcap to say it is capturing; false when it stopped (no
  /// permission, no lo) or stayed silent.
  bool capturing(std::chrono::milliseconds wait) {
    constexpr auto kPoll = std::chrono::milliseconds(20);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (log().find("Capturing on") == std::string::npos) {
      if (!running() || std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(kPoll);
    }
    return true;
  }

  /// Whether dumpcap has not exited yet.
  bool running() {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = 0;
    return pid_ > 0;
  }

  std::string log() const {
    std::ifstream in(log_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  std::string log_;
  pid_t pid_ = 0;
};

}  // namespace vexil::stream::testing
