// A small strict JSON reader for the tests: the output is checked by parsing it, not by
// comparing text, so a missing comma or an unescaped quote fails the test.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vexil::testing {

struct JsonValue;
using JsonArray = std::vector<JsonValue>;
using JsonMembers = std::map<std::string, JsonValue>;

struct JsonValue {
  std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<JsonArray>,
               std::shared_ptr<JsonMembers>>
      v;

  bool isNull() const { return std::holds_alternative<std::nullptr_t>(v); }
  double number() const { return std::get<double>(v); }
  bool boolean() const { return std::get<bool>(v); }
  const std::string& text() const { return std::get<std::string>(v); }
  const JsonArray& array() const { return *std::get<std::shared_ptr<JsonArray>>(v); }
  const JsonMembers& object() const { return *std::get<std::shared_ptr<JsonMembers>>(v); }
  bool has(const std::string& key) const { return object().count(key) != 0; }
  const JsonValue& operator[](const std::string& key) const { return object().at(key); }
  const JsonValue& operator[](std::size_t i) const { return array().at(i); }
};

class JsonReader {
 public:
  /// Parses `text` as exactly one JSON value; throws std::runtime_error otherwise.
  static JsonValue parse(std::string_view text) {
    JsonReader r(text);
    JsonValue value = r.value();
    r.blanks();
    if (r.at_ != text.size()) r.fail("text after the value");
    return value;
  }

 private:
  explicit JsonReader(std::string_view text) : s_(text) {}

  [[noreturn]] void fail(const std::string& why) const {
    throw std::runtime_error("JSON: " + why + " at " + std::to_string(at_));
  }
  void blanks() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' ||
                               s_[at_] == '\r')) {
      ++at_;
    }
  }
  char peek() {
    blanks();
    if (at_ >= s_.size()) fail("unexpected end");
    return s_[at_];
  }
  void expect(char c) {
    if (peek() != c) fail(std::string("expected '") + c + "'");
    ++at_;
  }
  bool literal(std::string_view word) {
    if (s_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  JsonValue value() {
    const char c = peek();
    if (c == '{') return object();
    if (c == '[') return array();
    if (c == '"') return {string()};
    if (literal("true")) return {true};
    if (literal("false")) return {false};
    if (literal("null")) return {nullptr};
    return {number()};
  }

  JsonValue object() {
    expect('{');
    auto members = std::make_shared<JsonMembers>();
    if (peek() == '}') {
      ++at_;
      return {members};
    }
    for (;;) {
      if (peek() != '"') fail("expected a key");
      std::string key = string();
      expect(':');
      if (!members->emplace(key, value()).second) fail("duplicate key " + key);
      if (peek() == ',') {
        ++at_;
        continue;
      }
      expect('}');
      return {members};
    }
  }

  JsonValue array() {
    expect('[');
    auto items = std::make_shared<JsonArray>();
    if (peek() == ']') {
      ++at_;
      return {items};
    }
    for (;;) {
      items->push_back(value());
      if (peek() == ',') {
        ++at_;
        continue;
      }
      expect(']');
      return {items};
    }
  }

  std::string string() {
    expect('"');
    std::string out;
    while (at_ < s_.size() && s_[at_] != '"') {
      const auto c = static_cast<unsigned char>(s_[at_]);
      if (c < 0x20) fail("control character in a string");
      if (c != '\\') {
        out.push_back(static_cast<char>(c));
        ++at_;
        continue;
      }
      ++at_;
      if (at_ >= s_.size()) fail("unfinished escape");
      const char e = s_[at_++];
      switch (e) {
        case '"': case '\\': case '/': out.push_back(e); break;
        case 'n': out.push_back('\n'); break;
        case 't': out.push_back('\t'); break;
        case 'r': out.push_back('\r'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'u': {
          if (at_ + 4 > s_.size()) fail("short \\u escape");
          const unsigned code = std::stoul(std::string(s_.substr(at_, 4)), nullptr, 16);
          at_ += 4;
          if (code < 0x80) {
            out.push_back(static_cast<char>(code));
          } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
          } else {
            fail("\\u escape beyond U+07FF is not used here");
          }
          break;
        }
        default: fail("bad escape");
      }
    }
    expect('"');
    return out;
  }

  double number() {
    const std::size_t start = at_;
    if (at_ < s_.size() && s_[at_] == '-') ++at_;
    const std::size_t digits = at_;
    while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
    if (at_ == digits) fail("expected a value");
    if (s_[digits] == '0' && at_ - digits > 1) fail("leading zero");
    return std::stod(std::string(s_.substr(start, at_ - start)));
  }

  std::string_view s_;
  std::size_t at_ = 0;
};

}  // namespace vexil::testing
