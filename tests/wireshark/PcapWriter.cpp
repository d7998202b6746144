#include "tests/wireshark/PcapWriter.h"

#include <fstream>

namespace vexil::test {
namespace {

// pcap file header: magic, version 2.4, time zone 0, accuracy 0, snapshot length, link
// type. Written in little-endian order, which the magic announces to the reader.
constexpr std::uint32_t kPcapMagic = 0xA1B2C3D4;
constexpr std::uint16_t kPcapMajor = 2;
constexpr std::uint16_t kPcapMinor = 4;
constexpr std::uint32_t kSnapLength = 65535;
constexpr std::uint32_t kLinkTypeRawIp = 101;

constexpr std::size_t kIpv4HeaderLength = 20;
constexpr std::size_t kUdpHeaderLength = 8;
constexpr std::uint8_t kIpv4VersionAndLength = 0x45;  // version 4, 5 words of header
constexpr std::uint8_t kTimeToLive = 64;
constexpr std::uint8_t kProtocolUdp = 17;
constexpr std::size_t kIpv4ChecksumOffset = 10;
constexpr std::uint32_t kMicrosecondsApart = 1000;

void littleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void bigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int width) {
  for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The ones' complement sum of the header's 16-bit words, complemented.
std::uint16_t ipv4Checksum(std::span<const std::uint8_t> header) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < header.size(); i += 2) sum += (header[i] << 8) | header[i + 1];
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

std::vector<std::uint8_t> packet(const CapturedDatagram& d, std::uint16_t identification) {
  std::vector<std::uint8_t> p;
  const auto udpLength = static_cast<std::uint32_t>(kUdpHeaderLength + d.payload.size());
  p.push_back(kIpv4VersionAndLength);
  p.push_back(0);                                          // type of service
  bigEndian(p, static_cast<std::uint32_t>(kIpv4HeaderLength + udpLength), 2);
  bigEndian(p, identification, 2);
  bigEndian(p, 0, 2);                                      // flags, fragment offset
  p.push_back(kTimeToLive);
  p.push_back(kProtocolUdp);
  bigEndian(p, 0, 2);                                      // checksum, filled in below
  bigEndian(p, d.sourceAddress, 4);
  bigEndian(p, d.destinationAddress, 4);
  const std::uint16_t checksum = ipv4Checksum({p.data(), kIpv4HeaderLength});
  p[kIpv4ChecksumOffset] = static_cast<std::uint8_t>(checksum >> 8);
  p[kIpv4ChecksumOffset + 1] = static_cast<std::uint8_t>(checksum);

  bigEndian(p, d.sourcePort, 2);
  bigEndian(p, d.destinationPort, 2);
  bigEndian(p, udpLength, 2);
  bigEndian(p, 0, 2);                                      // no UDP checksum
  p.insert(p.end(), d.payload.begin(), d.payload.end());
  return p;
}

}  // namespace

std::vector<std::uint8_t> pcapFile(std::span<const CapturedDatagram> datagrams) {
  std::vector<std::uint8_t> out;
  littleEndian(out, kPcapMagic, 4);
  littleEndian(out, kPcapMajor, 2);
  littleEndian(out, kPcapMinor, 2);
  littleEndian(out, 0, 4);
  littleEndian(out, 0, 4);
  littleEndian(out, kSnapLength, 4);
  littleEndian(out, kLinkTypeRawIp, 4);
  std::uint32_t microseconds = 0;
  std::uint16_t identification = 1;
  for (const CapturedDatagram& d : datagrams) {
    const auto p = packet(d, identification++);
    littleEndian(out, microseconds / 1000000, 4);
    littleEndian(out, microseconds % 1000000, 4);
    littleEndian(out, static_cast<std::uint32_t>(p.size()), 4);  // captured
    littleEndian(out, static_cast<std::uint32_t>(p.size()), 4);  // on the wire
    out.insert(out.end(), p.begin(), p.end());
    microseconds += kMicrosecondsApart;
  }
  return out;
}

bool writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

}  // namespace vexil::test
