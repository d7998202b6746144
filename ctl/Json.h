// Just enough JSON for vexilctl's output: objects and arrays written in one pass, with
// the device's 8-bit (Latin-1) texts turned into UTF-8 on the way.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexil::ctl {

/// Latin-1 bytes as UTF-8: every byte from 0x80 becomes two bytes.
std::string latin1ToUtf8(std::string_view latin1);

/// A JSON string holding `latin1`: quoted, with '"', '\' and control characters escaped.
std::string jsonText(std::string_view latin1);

/// A JSON array of values that are JSON already.
std::string jsonArray(const std::vector<std::string>& values);

/// A JSON array of strings.
std::string jsonTextArray(const std::vector<std::string>& latin1Texts);

/// Bytes as upper-case hex digits without separators ("50616C..."), for JSON and logs.
std::string hexString(std::span<const std::uint8_t> bytes);

/// One JSON object, members in the order they are added. Keys are plain ASCII.
class JsonObject {
 public:
  JsonObject& text(std::string_view key, std::string_view latin1);
  JsonObject& number(std::string_view key, std::int64_t value);
  JsonObject& boolean(std::string_view key, bool value);
  /// A member whose value is JSON already (an object, an array, null).
  JsonObject& raw(std::string_view key, std::string_view json);
  std::string str() const { return "{" + body_ + "}"; }

 private:
  void key(std::string_view key);
  std::string body_;
};

}  // namespace vexil::ctl
