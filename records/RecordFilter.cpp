#include "records/RecordFilter.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
#include <sstream>

namespace vexil::records {
namespace {

// The fields of one CSV record starting at `at`, which moves past it. Quoted fields may
// hold commas, doubled quotes and line breaks.
std::vector<std::string> csvRecord(const std::string& text, std::size_t& at, bool& bad) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  while (at < text.size()) {
    const char c = text[at++];
    if (quoted) {
      if (c != '"') {
        fields.back() += c;
      } else if (at < text.size() && text[at] == '"') {
        fields.back() += '"';
        ++at;
      } else {
        quoted = false;
      }
    } else if (c == '"' && fields.back().empty()) {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c == '\n') {
      break;
    } else if (c != '\r') {
      fields.back() += c;
    }
  }
  bad = quoted;
  return fields;
}

template <typename T>
std::optional<T> wholeNumber(const std::string& text) {
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::vector<SetupRecord>> readCsv(const std::string& path, const std::string& text,
                                                const RecordFilter& filter, std::string& error) {
  std::size_t at = 0;
  bool bad = false;
  const std::vector<std::string> header = csvRecord(text, at, bad);
  std::map<std::string, std::size_t> column;
  for (std::size_t i = 0; i < header.size(); ++i) column[header[i]] = i;
  for (const char* needed : {"time", "address", "type", "version", "serial", "result", "failure"}) {
    if (!column.count(needed)) {
      error = path + " is not a production log: its first line has no \"" + needed + "\" column";
      return std::nullopt;
    }
  }
  std::vector<SetupRecord> records;
  for (int line = 2; at < text.size(); ++line) {
    const std::vector<std::string> f = csvRecord(text, at, bad);
    if (f.size() == 1 && f[0].empty()) continue;
    if (bad || f.size() < header.size()) {
      error = path + ": record " + std::to_string(line) + " is cut short";
      return std::nullopt;
    }
    const auto field = [&](const char* name) -> const std::string& { return f[column.at(name)]; };
    SetupRecord r;
    r.time = field("time");
    r.address = field("address");
    r.type = wholeNumber<std::uint16_t>(field("type"));
    if (!field("version").empty()) r.version = field("version");
    r.serial = wholeNumber<std::int32_t>(field("serial"));
    r.result = field("result");
    r.failure = field("failure");
    if (matches(r, filter)) records.push_back(std::move(r));
  }
  return records;
}

std::optional<std::vector<SetupRecord>> readJsonLines(const std::string& path, const std::string& text,
                                                      const RecordFilter& filter, std::string& error) {
  std::vector<SetupRecord> records;
  std::istringstream in(text);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    std::string why;
    auto r = parseRecordJsonLine(line, why, false);
    if (!r) {
      error = path + " line " + std::to_string(number) + ": " + why;
      return std::nullopt;
    }
    if (matches(*r, filter)) records.push_back(std::move(*r));
  }
  return records;
}

}  // namespace

bool matches(const SetupRecord& r, const RecordFilter& filter) {
  if (filter.serial && (!r.serial || *r.serial != *filter.serial)) return false;
  if (filter.station && r.station != *filter.station) return false;
  if (filter.result && r.result != *filter.result) return false;
  if (filter.sinceMs) {
    const auto at = parseUtcTime(r.time);
    if (!at || *at < *filter.sinceMs) return false;
  }
  return true;
}

std::optional<std::vector<SetupRecord>> readFileLog(const std::string& path, const RecordFilter& filter,
                                                    std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read the log " + path;
    return std::nullopt;
  }
  std::ostringstream whole;
  whole << in.rdbuf();
  const std::string text = whole.str();
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::vector<SetupRecord>{};
  return text[first] == '{' ? readJsonLines(path, text, filter, error)
                            : readCsv(path, text, filter, error);
}

std::string recordTable(const std::vector<SetupRecord>& records) {
  static const std::vector<std::string> kHeading = {"time",   "station", "operator", "address",
                                                    "type",   "version", "serial",   "result",
                                                    "failure"};
  std::vector<std::vector<std::string>> rows{kHeading};
  for (const SetupRecord& r : records) {
    rows.push_back({r.time, r.station.empty() ? "-" : r.station,
                    r.operatorName.empty() ? "-" : r.operatorName, r.address,
                    r.type ? std::to_string(*r.type) : "-", r.version.value_or("-"),
                    r.serial ? std::to_string(*r.serial) : "-", r.result, r.failure});
  }
  std::vector<std::size_t> width(kHeading.size(), 0);
  for (const auto& row : rows)
    for (std::size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(width[i] - row[i].size() + 2, ' ');
    }
    // A failure text may hold line breaks: each row stays one line.
    std::replace(line.begin(), line.end(), '\n', ' ');
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

}  // namespace vexil::records
