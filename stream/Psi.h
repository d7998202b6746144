// Program-specific information: the PAT and PMT sections the analyser reads and the
// emulator writes, each carried whole in one packet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vexil::stream {

// ---- Section layout -----------------------------------------------------------------
inline constexpr std::uint8_t kPatTableId = 0x00;
inline constexpr std::uint8_t kCatTableId = 0x01;
inline constexpr std::uint8_t kPmtTableId = 0x02;
inline constexpr std::uint16_t kCatExtension = 0xFFFF;      // reserved in a CAT
inline constexpr std::size_t kPointerFieldSize = 1;
inline constexpr std::size_t kTableIdOffset = 0;
inline constexpr std::size_t kSectionLengthOffset = 1;       // 12 bits after 4 flag bits
inline constexpr std::uint16_t kSectionLengthMask = 0x0FFF;
inline constexpr std::uint8_t kSectionSyntaxBits = 0xB0;    // syntax 1, '0', reserved 11
inline constexpr std::size_t kSectionHeaderSize = 3;         // table_id + section_length
inline constexpr std::size_t kTableIdExtensionOffset = 3;    // TS id (PAT), program (PMT)
inline constexpr std::size_t kVersionOffset = 5;
inline constexpr std::uint8_t kCurrentNextBits = 0xC1;       // reserved 11, version 0, current
inline constexpr std::size_t kSectionNumberOffset = 6;
inline constexpr std::size_t kLastSectionNumberOffset = 7;
inline constexpr std::size_t kLongHeaderSize = 8;            // up to last_section_number
inline constexpr std::size_t kCrcSize = 4;
inline constexpr std::uint16_t kPidFieldMask = 0x1FFF;      // 13-bit PID after 3 reserved
inline constexpr std::uint8_t kReservedPidBits = 0xE0;
inline constexpr std::uint16_t kInfoLengthMask = 0x0FFF;    // 12 bits after 4 reserved
inline constexpr std::uint8_t kReservedInfoBits = 0xF0;
// PAT: 4-byte entries of program_number and PID.
inline constexpr std::size_t kPatEntrySize = 4;
inline constexpr std::uint16_t kNetworkProgram = 0;          // its PID is the NIT, not a PMT
// PMT: PCR PID and program_info_length, then 5-byte stream entries.
inline constexpr std::size_t kPcrPidOffset = 8;
inline constexpr std::size_t kProgramInfoLengthOffset = 10;
inline constexpr std::size_t kPmtFixedSize = 12;
inline constexpr std::size_t kStreamEntrySize = 5;

/// CRC-32/MPEG-2 (polynomial 0x04C11DB7, initial 0xFFFFFFFF, no reflection, no final
/// XOR) of `bytes`; over a whole section including its CRC it is 0.
std::uint32_t crc32Mpeg(std::span<const std::uint8_t> bytes);

/// One program of a PAT.
struct PatEntry {
  std::uint16_t program = 0;
  std::uint16_t pmtPid = 0;
};
/// One elementary stream of a PMT.
struct PmtStream {
  std::uint8_t streamType = 0;
  std::uint16_t pid = 0;
};
struct Pmt {
  std::uint16_t program = 0;
  std::uint16_t pcrPid = 0;
  std::vector<PmtStream> streams;
};

/// A PSI section as read from the payload of a packet whose payload_unit_start is set:
/// the pointer field is skipped. Nothing when the section does not fit in `payload` or
/// its CRC is wrong.
std::optional<std::span<const std::uint8_t>> sectionInPayload(std::span<const std::uint8_t> payload);

/// The programs of a PAT section (table_id 0); nothing for another table or a short one.
std::optional<std::vector<PatEntry>> readPat(std::span<const std::uint8_t> section);
/// The PMT in a section (table_id 2); nothing for another table or a short one.
std::optional<Pmt> readPmt(std::span<const std::uint8_t> section);

/// A complete PAT section with its CRC, version 0.
std::vector<std::uint8_t> buildPat(std::uint16_t transportStreamId, std::span<const PatEntry> programs);
/// A complete PMT section with its CRC, version 0, no descriptors.
std::vector<std::uint8_t> buildPmt(const Pmt& pmt);
/// A complete CAT section with its CRC, version 0, holding `descriptors` as they are.
std::vector<std::uint8_t> buildCat(std::span<const std::uint8_t> descriptors);

}  // namespace vexil::stream
