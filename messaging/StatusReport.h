// The decoders of the device's identity and status answers, and their building blocks:
// the pieces are shared with the QV-Net decoder and split the report into its
// identity/network part and its channel/peripheral part.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "messaging/AnswerReader.h"
#include "messaging/PageUpdate.h"
#include "messaging/StatusRecord.h"

namespace vexil {

/// The answer to the QV-Net query. Accepted only when exactly 25 bytes long; anything
/// else is reported with its length and leaves LabelD alone. `datagram` is the received
/// datagram (its length is LastLength); `address` is the device address text.
PageUpdate decodeQvNetAck(const AnswerReader& datagram, const std::string& address,
                          int devicePort);

/// The answer to the Palvox status query. Accepted only when at least 534 bytes long
/// with OpAck (0xF0) at offset 22; then every line of the report in order, the channel,
/// peripheral and (model 7, at least 662 bytes) extension sections included. Nothing is
/// read at or beyond the datagram's length.
PageUpdate decodeStatusRecord(const AnswerReader& datagram, const std::string& address,
                              int devicePort);

/// The lines of a datagram that its decoder does not accept: "Unknown message
/// received." and `lengthLabel` + length + " bytes".
std::vector<std::string> unknownMessageLines(const char* lengthLabel, std::size_t length);

/// The caption of LabelD for a decoded identity: "Device: QV-" + type + "  v" + version.
std::string deviceCaptionText(std::uint16_t type, const std::string& version);

/// Appends every line of the report of an accepted status record, from the identity
/// to the last section, and names the device in LabelD. Interface thread or any other.
void appendStatusLines(const status::StatusRecord& record, const std::string& address,
                       int devicePort, PageUpdate& update);

/// Appends the sections after the ARP line: the four TS input channels, TS ports and
/// IGMP, the four TS output channels, the IIC port, the NCO frequencies, the trap
/// function and, when the record holds it, the IP remultiplexer extension.
void appendChannelSections(const status::StatusRecord& record, std::vector<std::string>& lines);

/// An enumerated field as the report shows it: "Me (0)", or "Unknown (9)" for a code
/// without a name.
std::string codedText(const status::EnumField& field);

}  // namespace vexil
