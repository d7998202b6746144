// Any datagram the engine can hand over (up to 1500 bytes) through the QV-Net ACK and
// status record decoders. libFuzzer gives each input in a block of exactly its size,
// so the address sanitizer catches any read past the datagram. Beyond not crashing:
// the accept/reject decision follows the length and marker tests, a rejected datagram
// gives exactly the two "unknown message" lines, and an accepted one names its length
// and sets the device caption from the identity bytes, worked out here on their own.
#include <string>

#include "messaging/StatusReport.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace vexil;
using vexil::fuzz::require;

namespace {

constexpr std::size_t kReceiveLimit = 1500;
constexpr std::size_t kQvNetAckLength = 25;
constexpr std::size_t kShortestStatus = 534;
constexpr std::size_t kMarkerAt = 22;
constexpr std::uint8_t kStatusMarker = 0xF0;
constexpr char kAddress[] = "127.0.0.1";
constexpr int kPort = 56789;

unsigned u16At(const std::uint8_t* d, std::size_t at) { return (d[at] << 8) | d[at + 1]; }

// "major.mm": the minor number's last two decimal digits.
std::string versionText(std::uint8_t major, std::uint8_t minor) {
  const unsigned m = minor % 100;
  return std::to_string(major) + "." + static_cast<char>('0' + m / 10) +
         static_cast<char>('0' + m % 10);
}

std::string caption(unsigned type, const std::string& version) {
  return "Device: QV-" + std::to_string(type) + "  v" + version;
}

void checkQvNet(const std::uint8_t* data, std::size_t size) {
  const PageUpdate u = decodeQvNetAck(AnswerReader({data, size}), kAddress, kPort);
  require(u.clearMemo, "the QV-Net decoder clears the memo");
  if (size != kQvNetAckLength) {
    require(u.lines == unknownMessageLines("Message length: ", size),
            "a QV-Net answer not of 25 bytes gives the two unknown-message lines");
    require(!u.deviceCaption, "a rejected QV-Net answer leaves the caption");
    return;
  }
  require(!u.lines.empty() && u.lines.front() == "QV-Net ACK received.",
          "an accepted QV-Net ACK starts with its line");
  require(u.deviceCaption == caption(u16At(data, 16), versionText(data[23], data[24])),
          "the QV-Net caption comes from bytes 16-17, 23 and 24");
}

void checkStatus(const std::uint8_t* data, std::size_t size) {
  const PageUpdate u = decodeStatusRecord(AnswerReader({data, size}), kAddress, kPort);
  require(u.clearMemo, "the status decoder clears the memo");
  const bool accepted = size >= kShortestStatus && data[kMarkerAt] == kStatusMarker;
  if (!accepted) {
    require(u.lines == unknownMessageLines("Message length (UDP): ", size),
            "a rejected status answer gives the two unknown-message lines");
    require(!u.deviceCaption, "a rejected status answer leaves the caption");
    return;
  }
  require(
      !u.lines.empty() && u.lines.front() == "Palvox ACK received (" + std::to_string(size) + ").",
      "an accepted status answer names its length first");
  require(u.deviceCaption == caption(u16At(data, 31), versionText(data[25], data[26])),
          "the status caption comes from bytes 31-32, 25 and 26");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kReceiveLimit) return -1;  // the engine never hands such a datagram over
  checkQvNet(data, size);
  checkStatus(data, size);
  return 0;
}
