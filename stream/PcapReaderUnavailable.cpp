// Captures in a build without libpcap (the Windows build: Debian ships no libpcap for
// MinGW). A capture is still recognised by its first four bytes, so that it is refused
// with the reason (a usage error, exit 2) instead of being read as transport-stream
// packets.
#include <array>
#include <cstdint>
#include <fstream>

#include "stream/PcapReader.h"

namespace vexil::stream {

namespace {

// The first four bytes of a pcap file (either byte order, micro- or nanoseconds) and of
// a pcapng file, read big-endian.
constexpr std::array<std::uint32_t, 5> kCaptureMagics = {0xA1B2C3D4, 0xD4C3B2A1, 0xA1B23C4D, 0x4D3CB2A1, 0x0A0D0D0A};

}  // namespace

bool looksLikeCapture(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::array<unsigned char, 4> head{};
  if (!in.read(reinterpret_cast<char*>(head.data()), head.size())) return false;
  const std::uint32_t magic = std::uint32_t{head[0]} << 24 | std::uint32_t{head[1]} << 16 |
                              std::uint32_t{head[2]} << 8 | std::uint32_t{head[3]};
  for (const std::uint32_t known : kCaptureMagics)
    if (magic == known) return true;
  return false;
}

bool readCapture(const std::string& path, std::optional<std::uint16_t>, const std::function<void(const CapturedDatagram&)>&,
                 CaptureStats&, std::string& error) {
  error = path + ": a pcap or pcapng capture needs libpcap, which this build does not include; "
                 "check a .ts recording (vexil-stream-check --record), or the capture with the Linux build";
  return false;
}

}  // namespace vexil::stream
