// A small strict JSON reader for the report tests and the analyser's fuzz target: it
// accepts one value of RFC 8259 (objects, arrays, strings with escapes, numbers, true,
// false, null) and nothing after it, and keeps the tree so tests can look inside.
#pragma once

#include <cctype>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexil::stream::testing {

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::string text;  // the string, or the number as written
  std::vector<JsonValue> items;
  // An object's members in order, duplicates kept: keys[i] names values[i].
  std::vector<std::string> keys;
  std::vector<JsonValue> values;

  bool isInteger() const {
    return kind == Kind::Number && text.find_first_of(".eE") == std::string::npos;
  }
  /// The member `key`, or nullptr.
  const JsonValue* find(std::string_view key) const {
    for (std::size_t i = 0; i < keys.size(); ++i)
      if (keys[i] == key) return &values[i];
    return nullptr;
  }
};

class JsonReader {
 public:
  /// The value that is all of `text` (white space around it allowed), or nothing.
  static std::optional<JsonValue> parse(std::string_view text) {
    JsonReader r(text);
    JsonValue v;
    if (!r.value(v, 0)) return std::nullopt;
    r.space();
    if (r.at_ != text.size()) return std::nullopt;
    return v;
  }

 private:
  static constexpr int kMaxDepth = 64;
  explicit JsonReader(std::string_view t) : t_(t) {}

  void space() {
    while (at_ < t_.size() && (t_[at_] == ' ' || t_[at_] == '\n' || t_[at_] == '\r' || t_[at_] == '\t')) ++at_;
  }
  bool eat(char c) {
    space();
    if (at_ < t_.size() && t_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool word(std::string_view w) {
    if (t_.substr(at_, w.size()) != w) return false;
    at_ += w.size();
    return true;
  }

  bool string(std::string& out) {
    if (!eat('"')) return false;
    while (at_ < t_.size()) {
      const char c = t_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= t_.size()) return false;
      const char e = t_[at_++];
      if (std::string_view("\"\\/bfnrt").find(e) != std::string_view::npos) {
        out += e;
      } else if (e == 'u') {
        for (int i = 0; i < 4; ++i)
          if (at_ >= t_.size() || !std::isxdigit(static_cast<unsigned char>(t_[at_++]))) return false;
        out += '?';
      } else {
        return false;
      }
    }
    return false;
  }

  bool digits() {
    const std::size_t from = at_;
    while (at_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[at_]))) ++at_;
    return at_ > from;
  }

  bool number(std::string& out) {
    const std::size_t from = at_;
    if (at_ < t_.size() && t_[at_] == '-') ++at_;
    if (at_ < t_.size() && t_[at_] == '0') {
      ++at_;
    } else if (!digits()) {
      return false;
    }
    if (at_ < t_.size() && t_[at_] == '.') {
      ++at_;
      if (!digits()) return false;
    }
    if (at_ < t_.size() && (t_[at_] == 'e' || t_[at_] == 'E')) {
      ++at_;
      if (at_ < t_.size() && (t_[at_] == '+' || t_[at_] == '-')) ++at_;
      if (!digits()) return false;
    }
    out = std::string(t_.substr(from, at_ - from));
    return true;
  }

  bool value(JsonValue& v, int depth) {
    if (depth > kMaxDepth) return false;
    space();
    if (at_ >= t_.size()) return false;
    const char c = t_[at_];
    if (c == '{') {
      ++at_;
      v.kind = JsonValue::Kind::Object;
      if (eat('}')) return true;
      do {
        std::string key;
        JsonValue member;
        if (!string(key) || !eat(':') || !value(member, depth + 1)) return false;
        v.keys.push_back(std::move(key));
        v.values.push_back(std::move(member));
      } while (eat(','));
      return eat('}');
    }
    if (c == '[') {
      ++at_;
      v.kind = JsonValue::Kind::Array;
      if (eat(']')) return true;
      do {
        JsonValue item;
        if (!value(item, depth + 1)) return false;
        v.items.push_back(std::move(item));
      } while (eat(','));
      return eat(']');
    }
    if (c == '"') {
      v.kind = JsonValue::Kind::String;
      return string(v.text);
    }
    if (word("true") || word("false")) {
      v.kind = JsonValue::Kind::Bool;
      v.boolean = t_[at_ - 1] == 'e' && t_[at_ - 2] == 'u';
      return true;
    }
    if (word("null")) return true;
    v.kind = JsonValue::Kind::Number;
    return number(v.text);
  }

  std::string_view t_;
  std::size_t at_ = 0;
};

}  // namespace vexil::stream::testing
