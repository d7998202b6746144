#include "instructions/DeviceAddress.h"

#include <algorithm>

#include "messaging/IntegerText.h"

namespace vexil {

namespace {
constexpr std::size_t kShortestEntry = 7;  // six characters or fewer are refused
constexpr std::size_t kDotsInAddress = 3;
constexpr std::size_t kEarliestLastDot = 6;  // position counted from 1
constexpr int kTailNotANumber = 256;         // outside 0..255, so refused
}  // namespace

std::string deviceAddressText(std::string_view base, int lastOctet) {
  return std::string(base) + std::to_string(lastOctet);
}

std::optional<AddressChange> takeAddressEntry(std::string_view entry) {
  if (entry.size() < kShortestEntry) return std::nullopt;
  if (static_cast<std::size_t>(std::count(entry.begin(), entry.end(), '.')) != kDotsInAddress) {
    return std::nullopt;
  }
  const std::size_t lastDotPosition = entry.rfind('.') + 1;  // counted from 1
  if (lastDotPosition < kEarliestLastDot || lastDotPosition >= entry.size()) {
    return std::nullopt;
  }
  const int value = parseIntegerText(entry.substr(lastDotPosition)).value_or(kTailNotANumber);
  if (value < kLastOctetMin || value > kLastOctetMax) return std::nullopt;
  return AddressChange{std::string(entry.substr(0, lastDotPosition)), value};
}

}  // namespace vexil
