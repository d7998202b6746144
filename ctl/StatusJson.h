// The device's answers as JSON: every field of the status record (the extension blocks
// included) and of the QV-Net identity, each with its name and value. Values are the
// record's own: numbers as stored, bit fields as their bytes, addresses and the version
// in the report's text forms. Read through the same layout and helpers as the report's
// lines, so the two never disagree.
#pragma once

#include <string>

#include "messaging/AnswerReader.h"

namespace vexil::ctl {

/// The fields of an accepted status record (at least 534 bytes, OpAck at offset 22) as
/// one JSON object. The "extension" member is present only when the record holds it.
std::string statusRecordJson(const AnswerReader& record);

/// The fields of an accepted QV-Net ACK (25 bytes): version, type and serial.
std::string qvNetAckJson(const AnswerReader& ack);

}  // namespace vexil::ctl
