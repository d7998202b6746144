// The fields of the status record that are put together from parts spread over several
// bytes, and whether the record carries the IP remultiplexer extension. The report's
// lines and every other reader of the record take these values from here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "messaging/AnswerReader.h"
#include "messaging/StatusReportLayout.h"
#include "messaging/WireLayout.h"

namespace vexil::status {

/// The link speed field, 0..3: byte 40, bits 7-6.
inline std::uint8_t recordLinkSpeed(const AnswerReader& record) {
  return (record.u8(kLinkAndModel) >> kLinkSpeedShift) & kLinkSpeedMask;
}

/// The model field: byte 40, bits 2-0.
inline std::uint8_t recordModel(const AnswerReader& record) {
  return record.u8(kLinkAndModel) & kModelMask;
}

/// Whether a record of `model` and `length` bytes holds the extension: model 7 and a
/// datagram of at least 662 bytes.
constexpr bool hasExtension(std::uint8_t model, std::size_t length) {
  return model == kModelIpRemultiplexer && length >= wire::kExtensionMinLength;
}

/// The first byte of extension block `index` (0..3).
constexpr std::size_t extensionBlock(std::size_t index) {
  return kExtBlocks + kExtBlockLength * index;
}

/// The input stream rate of an extension block in packets per second, 20 bits.
inline std::uint32_t extensionRate(const AnswerReader& record, std::size_t block) {
  return (static_cast<std::uint32_t>(record.u8(block + kExtRateHigh) & kExtRateHighMask)
          << kExtHighShift) |
         record.u16(block + kExtRateLow);
}

/// The SDRAM usage of an extension block in packets, 17 bits.
inline std::uint32_t extensionUsage(const AnswerReader& record, std::size_t block) {
  return (static_cast<std::uint32_t>(record.u8(block + kExtFlags) & kExtUsageHighBit)
          << kExtHighShift) |
         record.u16(block + kExtUsageLow);
}

/// The SDRAM size of an extension block in packets. The record holds size - 1 in 17 bits,
/// so the size is 1 to 131072 and never 0.
inline std::uint32_t extensionSize(const AnswerReader& record, std::size_t block) {
  return ((static_cast<std::uint32_t>(record.u8(block + kExtSizeHigh) & kExtSizeHighBit)
           << kExtHighShift) |
          record.u16(block + kExtSizeLow)) +
         1u;
}

}  // namespace vexil::status
