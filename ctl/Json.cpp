#include "ctl/Json.h"

namespace vexil::ctl {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr unsigned char kFirstNonAscii = 0x80;
constexpr unsigned char kFirstPrintable = 0x20;

}  // namespace

std::string latin1ToUtf8(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (const char ch : latin1) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < kFirstNonAscii) {
      out.push_back(ch);
    } else {
      // U+0080..U+00FF in two bytes: 110000xx 10xxxxxx.
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::string jsonText(std::string_view latin1) {
  std::string out = "\"";
  for (const char ch : latin1ToUtf8(latin1)) {
    const auto c = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out.push_back('\\');
      out.push_back(ch);
    } else if (c < kFirstPrintable) {
      out += "\\u00";
      out.push_back(kHexDigits[c >> 4]);
      out.push_back(kHexDigits[c & 0x0F]);
    } else {
      out.push_back(ch);
    }
  }
  out.push_back('"');
  return out;
}

std::string jsonArray(const std::vector<std::string>& values) {
  std::string out = "[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) out.push_back(',');
    out += values[i];
  }
  out.push_back(']');
  return out;
}

std::string jsonTextArray(const std::vector<std::string>& latin1Texts) {
  std::vector<std::string> values;
  values.reserve(latin1Texts.size());
  for (const std::string& t : latin1Texts) values.push_back(jsonText(t));
  return jsonArray(values);
}

std::string hexString(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    out.push_back(kHexDigits[b >> 4]);
    out.push_back(kHexDigits[b & 0x0F]);
  }
  return out;
}

void JsonObject::key(std::string_view key) {
  if (!body_.empty()) body_.push_back(',');
  body_ += jsonText(key);
  body_.push_back(':');
}

JsonObject& JsonObject::text(std::string_view k, std::string_view latin1) {
  key(k);
  body_ += jsonText(latin1);
  return *this;
}

JsonObject& JsonObject::number(std::string_view k, std::int64_t value) {
  key(k);
  body_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::boolean(std::string_view k, bool value) {
  key(k);
  body_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::raw(std::string_view k, std::string_view json) {
  key(k);
  body_ += json;
  return *this;
}

}  // namespace vexil::ctl
