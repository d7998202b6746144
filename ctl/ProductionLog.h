// The production log of `vexilctl setup --log`: one line per board (time, address,
// type, version, serial, result, failure text), appended as CSV or JSON Lines. Each line
// goes to the file in one write() on a descriptor opened with O_APPEND, so a line is
// either in the file whole or not at all, also when the process is killed, and lines of
// boards set up at the same moment (or by two runs on one file) never interleave.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "ctl/CommandLine.h"
#include "ctl/DeviceRun.h"
#include "records/SetupRecord.h"

namespace vexil::ctl {

/// What one line records.
struct LogRecord {
  std::string time;                       // UTC, ISO 8601 with milliseconds
  std::string address;                    // ADDRESS:PORT
  std::optional<BoardIdentity> identity;  // empty when the board could not be read
  std::string result;                     // resultName of the outcome
  std::string failure;                    // the page's failure text; empty on success
};

/// "2024-05-01T12:34:56.789Z".
using records::utcTimeText;

/// The record of a finished set-up.
LogRecord logRecordOf(const DeviceResult& result, std::chrono::system_clock::time_point at);

/// The production database's record of a finished set-up: a new key, the station and
/// operator of `options` (the host's name when no station is given), every text UTF-8.
records::SetupRecord setupRecordOf(const DeviceResult& result, std::chrono::system_clock::time_point at,
                                   const DatabaseOptions& options);

/// The CSV header line and a record's line, each ending in "\n". Fields holding a comma,
/// a quote or a line break are quoted, quotes doubled.
std::string csvLogHeader();
std::string csvLogLine(const LogRecord& record);
/// A record as one JSON object on one line, ending in "\n".
std::string jsonLogLine(const LogRecord& record);

/// An open production log. Thread-safe: workers append as their boards finish.
class ProductionLog {
 public:
  ProductionLog() = default;
  ~ProductionLog();
  ProductionLog(const ProductionLog&) = delete;
  ProductionLog& operator=(const ProductionLog&) = delete;

  /// Opens (creating it if needed) the file for appending. A new or empty CSV file gets
  /// the header line first. False, with `error` set, when it cannot be opened.
  bool open(const LogOptions& options, std::string& error);
  /// Appends the record's line in one write(). False, with `error` set, when the line
  /// did not reach the file whole.
  bool append(const LogRecord& record, std::string& error);

 private:
  bool writeWhole(const std::string& line, std::string& error);

  int fd_ = -1;
  LogFormat format_ = LogFormat::Csv;
  std::string path_;
};

}  // namespace vexil::ctl
