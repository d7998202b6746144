#include "ctl/ProductionLog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "ctl/Json.h"
#include "portable/Files.h"

namespace vexil::ctl {
namespace {

constexpr mode_t kLogFileMode = 0644;

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

}  // namespace

LogRecord logRecordOf(const DeviceResult& result, std::chrono::system_clock::time_point at) {
  LogRecord r;
  r.time = utcTimeText(at);
  r.address = result.target.label();
  r.identity = result.identity;
  r.result = resultName(result.kind);
  if (result.kind != ResultKind::Ok) r.failure = result.message;
  return r;
}

records::SetupRecord setupRecordOf(const DeviceResult& result, std::chrono::system_clock::time_point at,
                                   const DatabaseOptions& options) {
  records::SetupRecord r;
  r.id = records::newRecordId();
  r.time = utcTimeText(at);
  r.station = options.station.empty() ? records::hostName() : options.station;
  r.operatorName = options.operatorName;
  r.address = result.target.label();
  if (result.identity) {
    r.type = result.identity->type;
    r.version = latin1ToUtf8(result.identity->version);
    r.serial = result.identity->serial;
  }
  if (result.userText) r.userText = latin1ToUtf8(*result.userText);
  r.result = resultName(result.kind);
  if (result.kind != ResultKind::Ok) r.failure = latin1ToUtf8(result.message);
  r.programVersion = VEXIL_VERSION;
  return r;
}

std::string csvLogHeader() { return "time,address,type,version,serial,result,failure\n"; }

std::string csvLogLine(const LogRecord& r) {
  std::string line = csvField(r.time) + "," + csvField(r.address) + ",";
  if (r.identity) {
    line += std::to_string(r.identity->type) + "," + csvField(r.identity->version) + "," +
            std::to_string(r.identity->serial);
  } else {
    line += ",,";
  }
  // The failure text is the device's and the page's 8-bit text; the file is UTF-8.
  line += "," + csvField(r.result) + "," + csvField(latin1ToUtf8(r.failure)) + "\n";
  return line;
}

std::string jsonLogLine(const LogRecord& r) {
  JsonObject o;
  o.text("time", r.time).text("address", r.address);
  if (r.identity) {
    o.number("type", r.identity->type)
        .text("version", r.identity->version)
        .number("serial", r.identity->serial);
  } else {
    o.raw("type", "null").raw("version", "null").raw("serial", "null");
  }
  o.text("result", r.result).text("failure", r.failure);
  return o.str() + "\n";
}

ProductionLog::~ProductionLog() {
  if (fd_ >= 0) ::close(fd_);
}

bool ProductionLog::open(const LogOptions& options, std::string& error) {
  path_ = options.path;
  format_ = options.format;
  fd_ = fs::openFile(path_, O_WRONLY | O_CREAT | O_APPEND | fs::kNoInherit, kLogFileMode);
  if (fd_ < 0) {
    error = "cannot open the log " + path_ + ": " + std::strerror(errno);
    return false;
  }
  if (format_ != LogFormat::Csv) return true;
  // Two runs creating the same new log write one header: under the lock, the first
  // finds the file empty and writes it, the second finds it written.
  fs::lockFile(fd_, fs::LockKind::Exclusive);
  struct stat info {};
  const bool empty = ::fstat(fd_, &info) == 0 && info.st_size == 0;
  const bool ok = !empty || writeWhole(csvLogHeader(), error);
  fs::unlockFile(fd_);
  return ok;
}

bool ProductionLog::append(const LogRecord& record, std::string& error) {
  return writeWhole(format_ == LogFormat::Csv ? csvLogLine(record) : jsonLogLine(record), error);
}

bool ProductionLog::writeWhole(const std::string& line, std::string& error) {
  // One write() of the whole line: with O_APPEND the kernel places it at the end in one
  // step, so no other writer's line and no kill can split it (on Windows appendWhole
  // makes it one step). A line is far below any limit that would make a write to a
  // regular file come back short.
  const long long written = fs::appendWhole(fd_, line.data(), line.size());
  if (written != static_cast<long long>(line.size())) {
    error = "cannot write the log " + path_ + ": " +
            (written < 0 ? std::strerror(errno) : std::string("short write"));
    return false;
  }
  return true;
}

}  // namespace vexil::ctl
