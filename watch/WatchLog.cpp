#include "watch/WatchLog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ctl/Json.h"
#include "portable/Files.h"
#include "watch/BoardTracker.h"

namespace vexil::watch {
namespace {

constexpr mode_t kLogMode = 0644;
constexpr char kCsvSeparator = ',';

bool endsWith(const std::string& text, std::string_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string decimal(double value, int places) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", places, value);
  return text;
}

constexpr int kMsPlaces = 3;
constexpr int kRatioPlaces = 6;

std::string enumJson(const status::EnumField& f) {
  return ctl::JsonObject()
      .number("code", f.code)
      .raw("name", f.known() ? ctl::jsonText(f.name) : std::string("null"))
      .str();
}


}  // namespace

std::optional<WatchLogFormat> watchLogFormatOf(const std::string& path) {
  if (endsWith(path, ".jsonl")) return WatchLogFormat::JsonLines;
  if (endsWith(path, ".csv")) return WatchLogFormat::Csv;
  return std::nullopt;
}

std::string watchCsvHeader() {
  std::string h =
      "time,board,poll,answered,answer_ms,link_speed,crc_error_counter,crc_increment,"
      "ins_packet_counter,ins_increment,counter_reset";
  for (std::size_t n = 1; n <= status::kChannelCount; ++n) {
    const std::string c = "ch" + std::to_string(n) + "_";
    h += "," + c + "state," + c + "input_rate_packets_per_second," + c + "sdram_usage_packets," +
         c + "sdram_size_packets," + c + "buffer_usage_ratio," + c + "overflow_led," + c +
         "overflow_since_reset";
  }
  return h;
}

std::string watchCsvRow(const PollSample& s) {
  std::string row = isoTime(s.time) + kCsvSeparator + s.board + kCsvSeparator +
                    std::to_string(s.poll) + kCsvSeparator + (s.answered ? "1" : "0");
  if (!s.answered) {
    // The columns of an answer stay empty: nothing was seen.
    constexpr std::size_t kBoardColumns = 6;
    constexpr std::size_t kChannelColumns = 7;
    row.append(kBoardColumns + kChannelColumns * status::kChannelCount, kCsvSeparator);
    return row;
  }
  const status::StatusRecord& r = *s.record;
  row += kCsvSeparator + decimal(s.answerMs, kMsPlaces) + kCsvSeparator +
         std::to_string(r.linkSpeed.code) + kCsvSeparator + std::to_string(s.crcCounter) +
         kCsvSeparator + std::to_string(s.crcIncrement) + kCsvSeparator +
         std::to_string(s.insCounter) + kCsvSeparator + std::to_string(s.insIncrement) +
         kCsvSeparator + (s.counterReset ? "1" : "0");
  for (const ChannelSample& c : s.channels) {
    row += kCsvSeparator + std::to_string(c.state.code);
    if (!c.hasExtension) {
      row.append(6, kCsvSeparator);
      continue;
    }
    row += kCsvSeparator + std::to_string(c.inputRatePacketsPerSecond) + kCsvSeparator +
           std::to_string(c.sdramUsagePackets) + kCsvSeparator +
           std::to_string(c.sdramSizePackets) + kCsvSeparator +
           decimal(c.usageRatio, kRatioPlaces) + kCsvSeparator + (c.overflowLed ? "1" : "0") +
           kCsvSeparator + (c.overflowSinceReset ? "1" : "0");
  }
  return row;
}

std::string watchJsonLine(const PollSample& s) {
  ctl::JsonObject o;
  o.text("time", isoTime(s.time))
      .text("board", s.board)
      .number("poll", static_cast<std::int64_t>(s.poll))
      .boolean("answered", s.answered);
  if (!s.answered) return o.str();
  const status::StatusRecord& r = *s.record;
  std::vector<std::string> channels;
  for (std::size_t n = 0; n < status::kChannelCount; ++n) {
    const ChannelSample& c = s.channels[n];
    ctl::JsonObject ch;
    ch.number("channel", static_cast<std::int64_t>(n + 1)).raw("state", enumJson(c.state));
    if (c.hasExtension) {
      ch.number("input_rate_packets_per_second", c.inputRatePacketsPerSecond)
          .number("sdram_usage_packets", c.sdramUsagePackets)
          .number("sdram_size_packets", c.sdramSizePackets)
          .raw("buffer_usage_ratio", decimal(c.usageRatio, kRatioPlaces))
          .boolean("overflow_led", c.overflowLed)
          .boolean("overflow_since_reset", c.overflowSinceReset);
    }
    channels.push_back(ch.str());
  }
  o.raw("answer_ms", decimal(s.answerMs, kMsPlaces))
      .number("type", r.type)
      .text("version", r.version)
      .number("serial", r.serial)
      .raw("link_speed", enumJson(r.linkSpeed))
      .number("crc_error_counter", s.crcCounter)
      .number("crc_increment", static_cast<std::int64_t>(s.crcIncrement))
      .number("ins_packet_counter", s.insCounter)
      .number("ins_increment", static_cast<std::int64_t>(s.insIncrement))
      .boolean("counter_reset", s.counterReset)
      .raw("channels", ctl::jsonArray(channels));
  return o.str();
}

WatchLog::~WatchLog() {
  if (fd_ >= 0) ::close(fd_);
}

bool WatchLog::open(const std::string& path, std::string& error) {
  const auto format = watchLogFormatOf(path);
  if (!format) {
    error = "the log " + path + " must end in .csv or .jsonl";
    return false;
  }
  format_ = *format;
  path_ = path;
  fd_ = fs::openFile(path, O_WRONLY | O_CREAT | O_APPEND | fs::kNoInherit, kLogMode);
  if (fd_ < 0) {
    error = "cannot open the log " + path + ": " + std::strerror(errno);
    return false;
  }
  if (format_ == WatchLogFormat::Csv) {
    // Two watches starting on one new file write one header: the first to hold the lock
    // finds the file empty, the second does not.
    fs::lockFile(fd_, fs::LockKind::Exclusive);
    struct stat st {};
    const bool empty = ::fstat(fd_, &st) == 0 && st.st_size == 0;
    const bool ok = !empty || writeLine(watchCsvHeader(), error);
    fs::unlockFile(fd_);
    if (!ok) return false;
  }
  return true;
}

bool WatchLog::append(const PollSample& sample, std::string& error) {
  return writeLine(format_ == WatchLogFormat::Csv ? watchCsvRow(sample) : watchJsonLine(sample),
                   error);
}

bool WatchLog::writeLine(const std::string& line, std::string& error) {
  const std::string whole = line + "\n";
  // One write of the whole line to a file opened for appending: it lands whole or not
  // at all, whatever happens to this process after it.
  const long long written = fs::appendWhole(fd_, whole.data(), whole.size());
  if (written != static_cast<long long>(whole.size())) {
    error = "cannot write to the log " + path_ + ": " +
            (written < 0 ? std::strerror(errno) : std::string("short write (disk full?)"));
    return false;
  }
  return true;
}

}  // namespace vexil::watch
