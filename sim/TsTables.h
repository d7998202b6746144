// The tables of the synthetic streams beyond the PAT and PMT (a CAT naming an EMM PID,
// and a stand-in EMM), and the cutting of any section into packets.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "stream/TsPacket.h"

namespace vexil::sim {

using Packet = std::array<std::uint8_t, stream::kPacketSize>;

inline constexpr std::uint8_t kCaDescriptorTag = 0x09;
inline constexpr std::uint8_t kEmmTableId = 0x82;        // first of the EMM table ids
inline constexpr std::uint16_t kCaSystemId = 0x4AE1;     // any id: nothing descrambles

/// A CAT section (table_id 1, extension 0xFFFF, version 0) holding one CA_descriptor
/// that names `emmPid` for `caSystemId`, with its CRC.
std::vector<std::uint8_t> buildCat(std::uint16_t emmPid, std::uint16_t caSystemId = kCaSystemId);
/// A short private section (syntax 0, no CRC) of EMM table id and `length` payload
/// bytes, standing in for an entitlement message.
std::vector<std::uint8_t> buildEmm(std::size_t length);

/// Cuts `section` into packets of `pid`: payload_unit_start and pointer_field 0 in the
/// first only, the section run on across as many packets as it needs, 0xFF after its
/// end. `continuity` is the PID's next counter and moves on by one a packet.
std::vector<Packet> sectionPackets(std::uint16_t pid, std::span<const std::uint8_t> section,
                                   std::uint8_t& continuity);

/// Flips every bit of the last CRC_32 byte of a section, so its CRC no longer checks.
void spoilCrc(std::vector<std::uint8_t>& section);

}  // namespace vexil::sim
