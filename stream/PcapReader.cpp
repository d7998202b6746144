// Reads IPv4 UDP datagrams out of capture files through libpcap, which reads both the
// classic pcap format and pcapng. Each frame is walked down from its link layer to the
// UDP payload; every field is read through one bounds-checked big-endian helper, so a
// frame cut short by the capture's snap length, or a lying length field, is skipped.
#include "stream/PcapReader.h"

#include <pcap/pcap.h>

#include <array>
#include <fstream>
#include <memory>

namespace vexil::stream {

namespace {

// ---- Capture file magics (the first four bytes, read big-endian) -------------------
inline constexpr std::size_t kMagicSize = 4;
inline constexpr std::array<std::uint32_t, 5> kCaptureMagics = {
    0xA1B2C3D4,  // pcap, microseconds, written big-endian
    0xD4C3B2A1,  // pcap, microseconds, written little-endian
    0xA1B23C4D,  // pcap, nanoseconds, big-endian
    0x4D3CB2A1,  // pcap, nanoseconds, little-endian
    0x0A0D0D0A,  // pcapng section header block (the same in both byte orders)
};

// ---- Link layers -------------------------------------------------------------------
inline constexpr std::size_t kEthernetHeaderSize = 14;
inline constexpr std::size_t kEthernetTypeOffset = 12;
inline constexpr std::size_t kVlanTagSize = 4;  // 2-byte TCI, then the inner type
inline constexpr int kMaxVlanTags = 4;          // more is a malformed frame
inline constexpr std::uint16_t kEtherTypeIpv4 = 0x0800;
inline constexpr std::uint16_t kEtherTypeVlan = 0x8100;         // 802.1Q
inline constexpr std::uint16_t kEtherTypeServiceVlan = 0x88A8;  // 802.1ad
inline constexpr std::uint16_t kEtherTypeOldQinQ = 0x9100;      // before 802.1ad

inline constexpr std::size_t kSllHeaderSize = 16;  // Linux cooked, version 1
inline constexpr std::size_t kSllProtocolOffset = 14;
inline constexpr std::size_t kSll2HeaderSize = 20;  // Linux cooked, version 2
inline constexpr std::size_t kSll2ProtocolOffset = 0;

// BSD loopback: a 4-byte address family, in the capturing host's byte order for
// DLT_NULL and in network order for DLT_LOOP; both orders are accepted for both.
inline constexpr std::size_t kLoopbackHeaderSize = 4;
inline constexpr std::uint32_t kLoopbackFamilyInet = 2;
inline constexpr std::uint32_t kLoopbackFamilyInetSwapped = 0x02000000;

// ---- IPv4 ---------------------------------------------------------------------------
inline constexpr std::size_t kIpVersionOffset = 0;
inline constexpr int kIpVersionShift = 4;                 // high nibble of byte 0
inline constexpr std::uint8_t kIpHeaderWordsMask = 0x0F;  // IHL, low nibble of byte 0
inline constexpr std::size_t kIpHeaderWordSize = 4;
inline constexpr std::uint8_t kIpv4Version = 4;
inline constexpr std::size_t kIpMinHeaderSize = 20;
inline constexpr std::size_t kIpTotalLengthOffset = 2;
inline constexpr std::size_t kIpFragmentOffset = 6;             // flags and fragment offset
inline constexpr std::uint16_t kIpMoreFragmentsMask = 0x2000;   // MF - 1 bit
inline constexpr std::uint16_t kIpFragmentOffsetMask = 0x1FFF;  // 13 bits
inline constexpr std::size_t kIpProtocolOffset = 9;
inline constexpr std::uint8_t kIpProtocolUdp = 17;
inline constexpr std::size_t kIpSourceOffset = 12;
inline constexpr std::size_t kIpDestinationOffset = 16;

// ---- UDP ----------------------------------------------------------------------------
inline constexpr std::size_t kUdpHeaderSize = 8;
inline constexpr std::size_t kUdpSourcePortOffset = 0;
inline constexpr std::size_t kUdpDestinationPortOffset = 2;
inline constexpr std::size_t kUdpLengthOffset = 4;

using Bytes = std::span<const std::uint8_t>;

/// The `width`-byte big-endian number at `offset` of `bytes`; nothing when it does not
/// lie wholly inside them.
std::optional<std::uint32_t> bigEndian(Bytes bytes, std::size_t offset, std::size_t width) {
  if (offset > bytes.size() || width > bytes.size() - offset) return std::nullopt;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value = (value << 8) | bytes[offset + i];
  return value;
}

std::optional<std::uint16_t> u16(Bytes bytes, std::size_t offset) {
  const auto v = bigEndian(bytes, offset, 2);
  if (!v) return std::nullopt;
  return static_cast<std::uint16_t>(*v);
}

bool isVlanTag(std::uint16_t type) {
  return type == kEtherTypeVlan || type == kEtherTypeServiceVlan || type == kEtherTypeOldQinQ;
}

// The bytes after an Ethernet header and its VLAN tags when they carry IPv4.
std::optional<Bytes> ethernetPayload(Bytes frame) {
  std::size_t typeAt = kEthernetTypeOffset;
  for (int tags = 0; tags <= kMaxVlanTags; ++tags) {
    const auto type = u16(frame, typeAt);
    if (!type) return std::nullopt;
    if (*type == kEtherTypeIpv4) {
      const std::size_t payloadAt = typeAt + (kEthernetHeaderSize - kEthernetTypeOffset);
      if (payloadAt > frame.size()) return std::nullopt;
      return frame.subspan(payloadAt);
    }
    if (!isVlanTag(*type)) return std::nullopt;
    typeAt += kVlanTagSize;  // past the type and the TCI: the inner type
  }
  return std::nullopt;
}

// The bytes after a header whose 16-bit protocol field at `protocolAt` is an EtherType.
std::optional<Bytes> cookedPayload(Bytes frame, std::size_t headerSize, std::size_t protocolAt) {
  const auto protocol = u16(frame, protocolAt);
  if (!protocol || *protocol != kEtherTypeIpv4 || frame.size() < headerSize) return std::nullopt;
  return frame.subspan(headerSize);
}

std::optional<Bytes> loopbackPayload(Bytes frame) {
  const auto family = bigEndian(frame, 0, kLoopbackHeaderSize);
  if (!family || (*family != kLoopbackFamilyInet && *family != kLoopbackFamilyInetSwapped))
    return std::nullopt;
  return frame.subspan(kLoopbackHeaderSize);
}

/// The IPv4 packet a frame of `linkType` carries (to the end of the captured bytes);
/// nothing for any other content.
std::optional<Bytes> ipv4Packet(int linkType, Bytes frame) {
  switch (linkType) {
    case DLT_EN10MB:
      return ethernetPayload(frame);
    case DLT_LINUX_SLL:
      return cookedPayload(frame, kSllHeaderSize, kSllProtocolOffset);
    case DLT_LINUX_SLL2:
      return cookedPayload(frame, kSll2HeaderSize, kSll2ProtocolOffset);
    case DLT_RAW:
    case DLT_IPV4:
      return frame;  // the version nibble tells IPv4 from IPv6 below
    case DLT_NULL:
    case DLT_LOOP:
      return loopbackPayload(frame);
    default:
      return std::nullopt;
  }
}

bool linkTypeRead(int linkType) {
  switch (linkType) {
    case DLT_EN10MB:
    case DLT_LINUX_SLL:
    case DLT_LINUX_SLL2:
    case DLT_RAW:
    case DLT_IPV4:
    case DLT_NULL:
    case DLT_LOOP:
      return true;
    default:
      return false;
  }
}

/// The UDP datagram in `packet` (an IPv4 header onwards), when it is a whole, unfragmented
/// UDP datagram whose every declared byte was captured. The time stamp is left unset.
std::optional<CapturedDatagram> udpDatagram(Bytes packet) {
  const auto first = bigEndian(packet, kIpVersionOffset, 1);
  if (!first || (*first >> kIpVersionShift) != kIpv4Version) return std::nullopt;
  const std::size_t headerSize = (*first & kIpHeaderWordsMask) * kIpHeaderWordSize;
  const auto totalLength = u16(packet, kIpTotalLengthOffset);
  const auto fragment = u16(packet, kIpFragmentOffset);
  const auto protocol = bigEndian(packet, kIpProtocolOffset, 1);
  const auto source = bigEndian(packet, kIpSourceOffset, 4);
  const auto destination = bigEndian(packet, kIpDestinationOffset, 4);
  if (!totalLength || !fragment || !protocol || !source || !destination) return std::nullopt;
  if (headerSize < kIpMinHeaderSize || *totalLength < headerSize) return std::nullopt;
  // Beyond the total length is link-layer padding; short of it, the capture cut the frame.
  if (*totalLength > packet.size()) return std::nullopt;
  if ((*fragment & (kIpMoreFragmentsMask | kIpFragmentOffsetMask)) != 0) return std::nullopt;
  if (*protocol != kIpProtocolUdp) return std::nullopt;

  const Bytes udp = packet.subspan(headerSize, *totalLength - headerSize);
  const auto sourcePort = u16(udp, kUdpSourcePortOffset);
  const auto destinationPort = u16(udp, kUdpDestinationPortOffset);
  const auto udpLength = u16(udp, kUdpLengthOffset);
  if (!sourcePort || !destinationPort || !udpLength) return std::nullopt;
  if (*udpLength < kUdpHeaderSize || *udpLength > udp.size()) return std::nullopt;

  CapturedDatagram d;
  d.payload = udp.subspan(kUdpHeaderSize, *udpLength - kUdpHeaderSize);
  d.sourceAddress = *source;
  d.destinationAddress = *destination;
  d.sourcePort = *sourcePort;
  d.destinationPort = *destinationPort;
  return d;
}

struct PcapClose {
  void operator()(pcap_t* p) const { pcap_close(p); }
};
using PcapHandle = std::unique_ptr<pcap_t, PcapClose>;

// libpcap starts some messages with the file's name and leaves it out of others; the
// caller always gets it once, in front.
std::string withPath(const std::string& path, const std::string& message) {
  const std::string prefix = path + ": ";
  if (message.rfind(prefix, 0) == 0) return message;
  return prefix + (message.empty() ? std::string("not a pcap or pcapng capture") : message);
}

}  // namespace

bool looksLikeCapture(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::array<char, kMagicSize> head{};
  if (!in.read(head.data(), head.size())) return false;
  std::array<std::uint8_t, kMagicSize> bytes{};
  for (std::size_t i = 0; i < kMagicSize; ++i) bytes[i] = static_cast<std::uint8_t>(head[i]);
  const auto magic = bigEndian(bytes, 0, kMagicSize);
  for (const std::uint32_t known : kCaptureMagics)
    if (magic == known) return true;
  return false;
}

bool readCapture(const std::string& path, std::optional<std::uint16_t> port,
                 const std::function<void(const CapturedDatagram&)>& each, CaptureStats& stats,
                 std::string& error) {
  std::array<char, PCAP_ERRBUF_SIZE> message{};
  PcapHandle capture(pcap_open_offline_with_tstamp_precision(
      path.c_str(), PCAP_TSTAMP_PRECISION_NANO, message.data()));
  if (!capture) {
    error = withPath(path, message.data());
    return false;
  }
  const int linkType = pcap_datalink(capture.get());
  if (!linkTypeRead(linkType)) {
    const char* name = pcap_datalink_val_to_name(linkType);
    error = withPath(path, "frames of link type " + std::string(name ? name : "unknown") + " (" +
                               std::to_string(linkType) + ") are not read");
    return false;
  }

  pcap_pkthdr* header = nullptr;
  const std::uint8_t* data = nullptr;
  for (;;) {
    const int got = pcap_next_ex(capture.get(), &header, &data);
    if (got == PCAP_ERROR_BREAK) return true;  // end of the file
    if (got != 1) {
      // A file cut in the middle of a record ends here: the frames before it were read.
      error = withPath(path, pcap_geterr(capture.get()));
      return false;
    }
    ++stats.frames;
    const auto packet = ipv4Packet(linkType, Bytes(data, header->caplen));
    auto datagram = packet ? udpDatagram(*packet) : std::nullopt;
    if (!datagram || (port && datagram->destinationPort != *port)) {
      ++stats.skippedFrames;
      continue;
    }
    // Opened for nanoseconds, libpcap gives them in tv_usec (scaled up from older files).
    datagram->timestamp =
        std::chrono::seconds(header->ts.tv_sec) + std::chrono::nanoseconds(header->ts.tv_usec);
    ++stats.datagrams;
    each(*datagram);
  }
}

}  // namespace vexil::stream
