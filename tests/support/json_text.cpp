#include "tests/support/json_text.h"

#include <charconv>
#include <cstdio>
#include <stdexcept>

std::string jsonQuote(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          quoted += escape;
        } else {
          quoted += c;
        }
    }
  }
  return quoted + "\"";
}

namespace {

void appendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class ListParser {
 public:
  explicit ListParser(std::string_view json) : json_(json) {}

  std::vector<std::string> parse() {
    std::vector<std::string> items;
    expect('[');
    bool more = peek() != ']';
    if (!more) ++pos_;
    while (more) {
      items.push_back(string());
      more = take(",]") == ',';
    }
    if (peek() != '\0') fail("trailing text");
    return items;
  }

 private:
  [[noreturn]] void fail(const char* what) const {
    throw std::runtime_error(std::string("JSON list: ") + what + " at " + std::to_string(pos_) +
                             " in " + std::string(json_));
  }

  char peek() {
    while (pos_ < json_.size() && (json_[pos_] == ' ' || json_[pos_] == '\n' ||
                                   json_[pos_] == '\r' || json_[pos_] == '\t')) {
      ++pos_;
    }
    return pos_ < json_.size() ? json_[pos_] : '\0';
  }

  char take(std::string_view allowed) {
    char c = peek();
    if (c == '\0' || allowed.find(c) == std::string_view::npos) fail("unexpected character");
    ++pos_;
    return c;
  }

  void expect(char c) { take(std::string_view(&c, 1)); }

  unsigned hex4() {
    if (pos_ + 4 > json_.size()) fail("short \\u escape");
    const char* begin = json_.data() + pos_;
    unsigned value = 0;
    if (std::from_chars(begin, begin + 4, value, 16).ptr != begin + 4) fail("bad \\u escape");
    pos_ += 4;
    return value;
  }

  unsigned codePoint() {
    unsigned code = hex4();
    bool high_surrogate = code >= 0xD800 && code < 0xDC00;
    if (high_surrogate && json_.substr(pos_, 2) == "\\u") {
      pos_ += 2;
      code = 0x10000 + ((code - 0xD800) << 10) + (hex4() - 0xDC00);
    }
    return code;
  }

  std::string string() {
    expect('"');
    std::string text;
    while (pos_ < json_.size()) {
      char c = json_[pos_++];
      if (c == '"') return text;
      if (c != '\\') {
        text += c;
        continue;
      }
      if (pos_ >= json_.size()) break;
      switch (char e = json_[pos_++]) {
        case 'n':
          text += '\n';
          break;
        case 'r':
          text += '\r';
          break;
        case 't':
          text += '\t';
          break;
        case 'b':
          text += '\b';
          break;
        case 'f':
          text += '\f';
          break;
        case 'u':
          appendUtf8(text, codePoint());
          break;
        default:
          text += e;  // \" \\ \/
      }
    }
    fail("unterminated string");
  }

  std::string_view json_;
  std::size_t pos_ = 0;
};

}  // namespace

std::vector<std::string> parseJsonStringList(std::string_view json) {
  return ListParser(json).parse();
}
