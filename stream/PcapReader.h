// Reads the UDP datagrams of a pcap or pcapng capture file, through libpcap.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace vexil::stream {

/// One UDP datagram of a capture: its payload, ports, addresses (host byte order) and
/// the capture's time stamp for it.
struct CapturedDatagram {
  std::span<const std::uint8_t> payload;
  std::uint32_t sourceAddress = 0;
  std::uint32_t destinationAddress = 0;
  std::uint16_t sourcePort = 0;
  std::uint16_t destinationPort = 0;
  std::chrono::nanoseconds timestamp{0};  // since 1970-01-01 UTC
};

/// Whether the file at `path` starts as a pcap or pcapng capture does (by its magic).
bool looksLikeCapture(const std::string& path);

/// Calls `each` for every IPv4 UDP datagram in the capture at `path` whose destination
/// port is `port` (any port when nothing), in file order. Frames of Ethernet (with
/// VLAN tags), Linux cooked (SLL and SLL2), raw IP and loopback captures are read; IP
/// fragments and non-UDP frames are skipped and counted. False, with `error` set, when
/// the file cannot be opened or read as a capture.
struct CaptureStats {
  std::uint64_t frames = 0;
  std::uint64_t datagrams = 0;      // UDP datagrams handed to `each`
  std::uint64_t skippedFrames = 0;  // not IPv4 UDP, other port, fragments, cut short
};
bool readCapture(const std::string& path, std::optional<std::uint16_t> port,
                 const std::function<void(const CapturedDatagram&)>& each, CaptureStats& stats,
                 std::string& error);

}  // namespace vexil::stream
