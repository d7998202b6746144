// A capture file written by the test itself, so that no capture privileges are needed:
// each datagram is stored as an IPv4/UDP packet in the classic pcap format.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vexil::test {

/// One UDP datagram as seen on the wire, addresses and ports in host order.
struct CapturedDatagram {
  std::uint32_t sourceAddress = 0x7F000001;  // 127.0.0.1
  std::uint16_t sourcePort = 0;
  std::uint32_t destinationAddress = 0x7F000001;
  std::uint16_t destinationPort = 0;
  std::vector<std::uint8_t> payload;
};

/// The bytes of a pcap file (link type "raw IPv4") holding `datagrams` in order, one
/// millisecond apart. The UDP checksum is left 0 (none), the IPv4 header checksum is
/// filled in.
std::vector<std::uint8_t> pcapFile(std::span<const CapturedDatagram> datagrams);

/// Writes `bytes` to `path`; false when the file cannot be written.
bool writeFile(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace vexil::test
