#include "records/FlatJson.h"

#include <charconv>

namespace vexil::records {
namespace {

constexpr unsigned kFirstPrintable = 0x20;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr char32_t kSurrogateBase = 0x10000;
constexpr int kSurrogateShift = 10;

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

class Reader {
 public:
  explicit Reader(std::string_view text) : s_(text) {}

  std::optional<std::map<std::string, FlatValue>> object() {
    std::map<std::string, FlatValue> members;
    skipBlanks();
    if (!take('{')) return fail("no object");
    skipBlanks();
    if (take('}')) return finish(std::move(members));
    for (;;) {
      skipBlanks();
      std::string key;
      if (!string(key)) return std::nullopt;
      skipBlanks();
      if (!take(':')) return fail("no ':' after a key");
      skipBlanks();
      FlatValue value;
      if (!valueOf(value)) return std::nullopt;
      members[key] = std::move(value);
      skipBlanks();
      if (take('}')) return finish(std::move(members));
      if (!take(',')) return fail("no ',' or '}' after a value");
    }
  }

  const std::string& error() const { return error_; }

 private:
  std::optional<std::map<std::string, FlatValue>> finish(std::map<std::string, FlatValue> members) {
    skipBlanks();
    if (i_ != s_.size()) return fail("text after the object");
    return members;
  }

  bool bad(const char* why) {
    error_ = std::string(why) + " at column " + std::to_string(i_ + 1);
    return false;
  }
  std::nullopt_t fail(const char* why) {
    bad(why);
    return std::nullopt;
  }

  void skipBlanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r')) ++i_;
  }
  bool take(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool word(std::string_view w) {
    if (s_.substr(i_, w.size()) != w) return false;
    i_ += w.size();
    return true;
  }

  bool valueOf(FlatValue& value) {
    if (i_ >= s_.size()) return bad("no value");
    if (s_[i_] == '"') {
      std::string text;
      if (!string(text)) return false;
      value.text = std::move(text);
      return true;
    }
    if (word("null")) return true;
    if (word("true")) {
      value.integer = 1;
      return true;
    }
    if (word("false")) {
      value.integer = 0;
      return true;
    }
    std::int64_t number = 0;
    const char* first = s_.data() + i_;
    const auto [end, ec] = std::from_chars(first, s_.data() + s_.size(), number);
    if (ec != std::errc() || end == first) return bad("not a string, integer or null");
    i_ += static_cast<std::size_t>(end - first);
    if (i_ < s_.size() && (s_[i_] == '.' || s_[i_] == 'e' || s_[i_] == 'E')) {
      return bad("not a whole number");
    }
    value.integer = number;
    return true;
  }

  bool hex4(char32_t& out) {
    if (i_ + 4 > s_.size()) return false;
    unsigned v = 0;
    const auto [end, ec] = std::from_chars(s_.data() + i_, s_.data() + i_ + 4, v, 16);
    if (ec != std::errc() || end != s_.data() + i_ + 4) return false;
    i_ += 4;
    out = v;
    return true;
  }

  bool string(std::string& out) {
    if (!take('"')) return bad("no string");
    while (i_ < s_.size()) {
      const char c = s_[i_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < kFirstPrintable) {
        return bad("a control character in a string");
      }
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) break;
      const char e = s_[i_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          char32_t c1 = 0;
          if (!hex4(c1)) return bad("a bad \\u escape");
          if (c1 >= kSurrogateFirst && c1 < kLowSurrogateFirst) {
            char32_t c2 = 0;
            if (!word("\\u") || !hex4(c2) || c2 < kLowSurrogateFirst || c2 > kSurrogateLast) {
              return bad("a lone surrogate");
            }
            c1 = kSurrogateBase + ((c1 - kSurrogateFirst) << kSurrogateShift) + (c2 - kLowSurrogateFirst);
          } else if (c1 >= kLowSurrogateFirst && c1 <= kSurrogateLast) {
            return bad("a lone surrogate");
          }
          appendUtf8(out, c1);
          break;
        }
        default:
          return bad("a bad escape");
      }
    }
    return bad("an unterminated string");
  }

  std::string_view s_;
  std::size_t i_ = 0;
  std::string error_;
};

}  // namespace

std::string jsonQuoted(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < kFirstPrintable || u == 0x7F) {
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

std::optional<std::map<std::string, FlatValue>> parseFlatObject(std::string_view line,
                                                                std::string& error) {
  Reader reader(line);
  auto members = reader.object();
  if (!members) error = reader.error();
  return members;
}

}  // namespace vexil::records
