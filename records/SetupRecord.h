// One board's production record, as `vexilctl setup` writes it to the journal and the
// production database and as `vexilctl log query` reads it back: who set up which board
// where and when, what the board said it was, and how the set-up ended. Every text is
// UTF-8.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexil::records {

struct SetupRecord {
  std::string id;        // unique key of the row, a random UUID: a replay cannot double it
  std::string time;      // UTC, "2024-05-01T12:34:56.789Z"
  std::string station;   // the host that ran the set-up, or --station
  std::string operatorName;  // --operator; empty when not given
  std::string address;   // ADDRESS:PORT
  std::optional<std::uint16_t> type;     // empty when the board could not be read
  std::optional<std::string> version;    // "1.05"
  std::optional<std::int32_t> serial;
  std::optional<std::string> userText;   // the user text the board reported after the write
  std::string result;    // "ok", "no-answer", "wrong-length", "rejected", "send-failed"
  std::string failure;   // the page's failure text; empty on success
  std::string programVersion;

  bool operator==(const SetupRecord&) const = default;
};

/// A new random row key in the UUID form ("8-4-4-4-12" lower-case hex, version 4).
std::string newRecordId();
/// True for a key in that form (any version), the only form the database column takes.
bool isRecordId(std::string_view text);

/// "2024-05-01T12:34:56.789Z".
std::string utcTimeText(std::chrono::system_clock::time_point at);

/// Milliseconds since 1970 of an ISO 8601 time: "2024-05-01", "2024-05-01T12:34",
/// "2024-05-01T12:34:56", with optional fraction and "Z" or "+HH:MM"/"-HH:MM"; a time
/// without a zone is UTC. Nothing when the text is not such a time.
std::optional<std::int64_t> parseUtcTime(std::string_view text);

/// The record as one JSON object on one line, ending in "\n".
std::string recordJsonLine(const SetupRecord& record);
/// A line written by recordJsonLine (without or with its "\n"); `error` says why not.
/// With `keyRequired` false, a line without "id" (and "station" ...) also reads: the
/// JSON Lines file log writes none.
std::optional<SetupRecord> parseRecordJsonLine(std::string_view line, std::string& error,
                                               bool keyRequired = true);

/// This host's name, the default station.
std::string hostName();

}  // namespace vexil::records
