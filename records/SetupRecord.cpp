#include "records/SetupRecord.h"

#include <array>
#include <cctype>
#include <charconv>
#include <ctime>
#include <random>

#include "portable/Files.h"
#include "records/FlatJson.h"

namespace vexil::records {
namespace {

constexpr int kMillisPerSecond = 1000;
constexpr int kSecondsPerMinute = 60;
constexpr int kMinutesPerHour = 60;
constexpr std::size_t kIdBytes = 16;
constexpr std::size_t kIdTextLength = 36;
constexpr std::size_t kIdDashes[] = {8, 13, 18, 23};
constexpr int kVersionByte = 6;
constexpr int kVariantByte = 8;
constexpr std::uint8_t kVersion4 = 0x40;
constexpr std::uint8_t kRfcVariant = 0x80;

std::array<std::uint8_t, kIdBytes> randomBytes() {
  std::array<std::uint8_t, kIdBytes> bytes{};
  // The kernel's generator first; std::random_device (also the kernel's on Linux) if
  // /dev/urandom cannot be read.
  if (fs::systemRandom(bytes.data(), bytes.size())) return bytes;
  std::random_device device;
  for (auto& b : bytes) b = static_cast<std::uint8_t>(device());
  return bytes;
}

// Digits at `text[at..at+count)`; nothing when any is not a digit.
std::optional<int> digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

std::string newRecordId() {
  auto bytes = randomBytes();
  bytes[kVersionByte] = static_cast<std::uint8_t>((bytes[kVersionByte] & 0x0F) | kVersion4);
  bytes[kVariantByte] = static_cast<std::uint8_t>((bytes[kVariantByte] & 0x3F) | kRfcVariant);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0xF];
  }
  return text;
}

bool isRecordId(std::string_view text) {
  if (text.size() != kIdTextLength) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == kIdDashes[0] || i == kIdDashes[1] || i == kIdDashes[2] || i == kIdDashes[3];
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

std::string utcTimeText(std::chrono::system_clock::time_point at) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
  // Floored, so that a time before 1970 keeps its milliseconds between 0 and 999.
  std::int64_t wholeSeconds = ms / kMillisPerSecond;
  std::int64_t restMillis = ms % kMillisPerSecond;
  if (restMillis < 0) {
    restMillis += kMillisPerSecond;
    --wholeSeconds;
  }
  const std::time_t seconds = static_cast<std::time_t>(wholeSeconds);
  std::tm utc{};
  fs::utcTime(seconds, utc);
  char text[32];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  char millis[8];
  std::snprintf(millis, sizeof millis, ".%03dZ", static_cast<int>(restMillis));
  return std::string(text, n) + millis;
}

std::optional<std::int64_t> parseUtcTime(std::string_view t) {
  // YYYY-MM-DD
  const auto year = digits(t, 0, 4);
  const auto month = digits(t, 5, 2);
  const auto day = digits(t, 8, 2);
  if (!year || !month || !day || t[4] != '-' || t[7] != '-') return std::nullopt;
  if (*month < 1 || *month > 12 || *day < 1 || *day > daysInMonth(*year, *month)) return std::nullopt;
  int hour = 0, minute = 0, second = 0, millis = 0, offsetMinutes = 0;
  std::size_t i = 10;
  if (i < t.size() && (t[i] == 'T' || t[i] == ' ')) {
    const auto h = digits(t, i + 1, 2);
    const auto m = digits(t, i + 4, 2);
    if (!h || !m || i + 3 >= t.size() || t[i + 3] != ':' || *h > 23 || *m > 59) return std::nullopt;
    hour = *h;
    minute = *m;
    i += 6;
    if (i < t.size() && t[i] == ':') {
      const auto s = digits(t, i + 1, 2);
      if (!s || *s > 59) return std::nullopt;
      second = *s;
      i += 3;
      if (i < t.size() && (t[i] == '.' || t[i] == ',')) {
        std::size_t n = 0;
        int scale = 100;
        for (++i; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i, ++n) {
          millis += (t[i] - '0') * scale;
          scale /= 10;
        }
        if (n == 0) return std::nullopt;
      }
    }
    if (i < t.size() && t[i] == 'Z') {
      ++i;
    } else if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
      const auto oh = digits(t, i + 1, 2);
      const auto om = digits(t, i + 4, 2);
      if (!oh || !om || i + 3 >= t.size() || t[i + 3] != ':' || *oh > 23 || *om > 59) return std::nullopt;
      offsetMinutes = (*oh * kMinutesPerHour + *om) * (t[i] == '-' ? -1 : 1);
      i += 6;
    }
  }
  if (i != t.size()) return std::nullopt;
  // Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's days_from_civil).
  const int y = *year - (*month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int mp = (*month + 9) % 12;
  const int doy = (153 * mp + 2) / 5 + *day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
  const std::int64_t seconds = days * 86400 + hour * 3600 + minute * kSecondsPerMinute + second -
                               static_cast<std::int64_t>(offsetMinutes) * kSecondsPerMinute;
  return seconds * kMillisPerSecond + millis;
}

std::string recordJsonLine(const SetupRecord& r) {
  const auto text = [](const std::optional<std::string>& v) {
    return v ? jsonQuoted(*v) : std::string("null");
  };
  // Texts a file log does not record are empty: null, not "".
  const auto known = [](const std::string& v) { return v.empty() ? std::string("null") : jsonQuoted(v); };
  return "{\"id\":" + known(r.id) + ",\"time\":" + jsonQuoted(r.time) +
         ",\"station\":" + known(r.station) + ",\"operator\":" + known(r.operatorName) +
         ",\"address\":" + jsonQuoted(r.address) +
         ",\"type\":" + (r.type ? std::to_string(*r.type) : "null") +
         ",\"version\":" + text(r.version) +
         ",\"serial\":" + (r.serial ? std::to_string(*r.serial) : "null") +
         ",\"user_text\":" + text(r.userText) + ",\"result\":" + jsonQuoted(r.result) +
         ",\"failure\":" + jsonQuoted(r.failure) +
         ",\"program_version\":" + known(r.programVersion) + "}\n";
}

std::optional<SetupRecord> parseRecordJsonLine(std::string_view line, std::string& error,
                                               bool keyRequired) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  const auto members = parseFlatObject(line, error);
  if (!members) return std::nullopt;
  const auto find = [&](const char* key) -> const FlatValue* {
    const auto it = members->find(key);
    return it == members->end() ? nullptr : &it->second;
  };
  const auto needText = [&](const char* key, std::string& out) {
    const FlatValue* v = find(key);
    if (!v || !v->text) {
      error = std::string("no text \"") + key + "\"";
      return false;
    }
    out = *v->text;
    return true;
  };
  SetupRecord r;
  if ((keyRequired && !needText("id", r.id)) || !needText("time", r.time) ||
      !needText("address", r.address) || !needText("result", r.result)) {
    return std::nullopt;
  }
  if (keyRequired && !isRecordId(r.id)) {
    error = "\"id\" is not a record key";
    return std::nullopt;
  }
  if (!parseUtcTime(r.time)) {
    error = "\"time\" is not a UTC time";
    return std::nullopt;
  }
  if (const FlatValue* v = find("station"); v && v->text) r.station = *v->text;
  if (const FlatValue* v = find("operator"); v && v->text) r.operatorName = *v->text;
  if (const FlatValue* v = find("failure"); v && v->text) r.failure = *v->text;
  if (const FlatValue* v = find("program_version"); v && v->text) r.programVersion = *v->text;
  if (const FlatValue* v = find("version"); v && v->text) r.version = *v->text;
  if (const FlatValue* v = find("user_text"); v && v->text) r.userText = *v->text;
  if (const FlatValue* v = find("type"); v && v->integer) {
    if (*v->integer < 0 || *v->integer > UINT16_MAX) {
      error = "\"type\" is outside 0 .. 65535";
      return std::nullopt;
    }
    r.type = static_cast<std::uint16_t>(*v->integer);
  }
  if (const FlatValue* v = find("serial"); v && v->integer) {
    if (*v->integer < INT32_MIN || *v->integer > INT32_MAX) {
      error = "\"serial\" is outside the 32-bit range";
      return std::nullopt;
    }
    r.serial = static_cast<std::int32_t>(*v->integer);
  }
  return r;
}

std::string hostName() { return fs::hostName(); }

}  // namespace vexil::records
