// The device's answers as JSON: every field of the status record (the extension blocks
// included) and of the QV-Net identity, each with its name and value. Values are the
// record's own: numbers as stored, bit fields as their bytes, addresses and the version
// in the report's text forms. Rendered from the typed record the report's lines render
// too, so the two never disagree.
#pragma once

#include <string>

#include "messaging/AnswerReader.h"
#include "messaging/StatusRecord.h"

namespace vexil::ctl {

/// The fields of an accepted status record (at least 534 bytes, OpAck at offset 22) as
/// one JSON object. The "extension" member is present only when the record holds it.
std::string statusRecordJson(const AnswerReader& record);
/// The same of a record already decoded. Keys are snake_case; enumerations are
/// {"code": 2, "name": "100 Mbps"} (name null for a code without one); a value with a
/// unit names it (arp_period_seconds, igmp_report_period_ms, ..._packets_per_second).
std::string statusRecordJson(const status::StatusRecord& record);

/// The fields of an accepted QV-Net ACK (25 bytes): version, type and serial.
std::string qvNetAckJson(const AnswerReader& ack);

}  // namespace vexil::ctl
