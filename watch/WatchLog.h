// The watch's time series: one line per board per poll, as JSON Lines (a name ending
// ".jsonl") or CSV (".csv"). Each line goes to the file in one write to a file opened
// for appending, so a watch killed at any moment leaves only whole lines; a new CSV file
// gets its header first.
#pragma once

#include <string>

#include "watch/WatchTypes.h"

namespace vexil::watch {

enum class WatchLogFormat { Csv, JsonLines };

/// The format a log file's name asks for; nothing for any other name.
std::optional<WatchLogFormat> watchLogFormatOf(const std::string& path);

/// The CSV header line (without the line end).
std::string watchCsvHeader();
/// One sample as a CSV row or a JSON object (without the line end).
std::string watchCsvRow(const PollSample& sample);
std::string watchJsonLine(const PollSample& sample);

class WatchLog {
 public:
  WatchLog() = default;
  ~WatchLog();
  WatchLog(const WatchLog&) = delete;
  WatchLog& operator=(const WatchLog&) = delete;

  /// Opens `path` for appending (creating it, with the header when CSV). False with
  /// `error` set when the name has no known ending or the file cannot be opened.
  bool open(const std::string& path, std::string& error);
  /// Appends the sample's line. False with `error` set when the write fails.
  bool append(const PollSample& sample, std::string& error);
  bool isOpen() const { return fd_ >= 0; }

 private:
  bool writeLine(const std::string& line, std::string& error);
  int fd_ = -1;
  std::string path_;
  WatchLogFormat format_ = WatchLogFormat::Csv;
};

}  // namespace vexil::watch
