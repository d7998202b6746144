// The status record decoder's building blocks. decodeStatusRecord (DeviceQuery.h) is
// the entry point; the pieces here are shared with the QV-Net decoder and split the
// report into its identity/network part and its channel/peripheral part.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "AnswerReader.h"

namespace vexil {

/// The lines of a datagram that its decoder does not accept: "Unknown message
/// received." and `lengthLabel` + length + " bytes".
std::vector<std::string> unknownMessageLines(const char* lengthLabel, std::size_t length);

/// The caption of LabelD for a decoded identity: "Device: QV-" + type + "  v" + version.
std::string deviceCaptionText(std::uint16_t type, const std::string& version);

/// Appends the sections after the ARP line of an accepted status record: the four TS
/// input channels, TS ports and IGMP, the four TS output channels, the IIC port, the NCO
/// frequencies, the trap function and, when `model` is 7 and the record is at least 662
/// bytes long, the IP remultiplexer extension. Interface thread or any other: pure.
void appendChannelSections(const AnswerReader& record, std::uint8_t model,
                           std::vector<std::string>& lines);

}  // namespace vexil
