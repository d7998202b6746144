// The questions `vexilctl log query` asks of production records, the same of a database
// and of a file log: one serial, since a moment, one station, one result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "records/SetupRecord.h"

namespace vexil::records {

struct RecordFilter {
  std::optional<std::int64_t> serial;
  std::optional<std::int64_t> sinceMs;  // milliseconds since 1970, UTC; inclusive
  std::optional<std::string> station;
  std::optional<std::string> result;
};

/// True when `record` answers every question `filter` asks.
bool matches(const SetupRecord& record, const RecordFilter& filter);

/// The records of a file log written by `setup --log FILE` (CSV with its header, or JSON
/// Lines), in the file's order, those the filter keeps. Nothing, with `error` set, when
/// the file cannot be read or is not such a log. Rows a file log does not record
/// (station, operator, key) are empty.
std::optional<std::vector<SetupRecord>> readFileLog(const std::string& path, const RecordFilter& filter,
                                                    std::string& error);

/// Rows as an aligned text table with a heading line, each line ending in "\n".
std::string recordTable(const std::vector<SetupRecord>& records);

}  // namespace vexil::records
