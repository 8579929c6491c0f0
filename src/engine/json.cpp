#include "engine/json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace zek {
namespace {

// The length of the well-formed UTF-8 sequence at p (no overlong forms, no
// surrogates, nothing past U+10FFFF), or 0.
size_t Utf8Sequence(const unsigned char* p, size_t n) {
  const unsigned char c = p[0];
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (n < length || p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
  return length;
}

constexpr const char* kBase64Digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::optional<JsonValue> Document(std::string& error) {
    JsonValue value;
    if (!Value(value, 0) || (Space(), at_ != text_.size())) {
      error = (what_.empty() ? "unexpected text" : what_) + " at column " + std::to_string(at_ + 1);
      return std::nullopt;
    }
    return value;
  }

 private:
  static constexpr int kDeepest = 64;

  void Space() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' || text_[at_] == '\n'))
      ++at_;
  }
  bool Take(char c) {
    Space();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  bool Fail(const char* what) {
    if (what_.empty()) what_ = what;
    return false;
  }

  bool Value(JsonValue& value, int depth) {
    if (depth > kDeepest) return Fail("nested too deeply");
    Space();
    if (at_ == text_.size()) return Fail("value missing");
    const char c = text_[at_];
    if (c == '{') return Object(value, depth);
    if (c == '[') return Array(value, depth);
    if (c == '"') {
      value.Type = JsonValue::Kind::String;
      return String(value.String);
    }
    if (Word("true") || Word("false")) {
      value.Type = JsonValue::Kind::Bool;
      value.Bool = c == 't';
      return true;
    }
    if (Word("null")) return true;
    return Number(value);
  }

  bool Number(JsonValue& value) {
    const char* begin = text_.data() + at_;
    const auto [end, error] = std::from_chars(begin, text_.data() + text_.size(), value.Number);
    if (error != std::errc() || !std::isfinite(value.Number)) return Fail("bad value");
    at_ += static_cast<size_t>(end - begin);
    value.Type = JsonValue::Kind::Number;
    return true;
  }

  bool Object(JsonValue& value, int depth) {
    value.Type = JsonValue::Kind::Object;
    ++at_;
    if (Take('}')) return true;
    do {
      std::string name;
      Space();
      if (at_ == text_.size() || text_[at_] != '"' || !String(name)) return Fail("member name missing");
      if (!Take(':')) return Fail("':' missing");
      if (!Value(value.Members[name], depth + 1)) return false;
    } while (Take(','));
    return Take('}') || Fail("'}' missing");
  }

  bool Array(JsonValue& value, int depth) {
    value.Type = JsonValue::Kind::Array;
    ++at_;
    if (Take(']')) return true;
    do {
      value.Items.emplace_back();
      if (!Value(value.Items.back(), depth + 1)) return false;
    } while (Take(','));
    return Take(']') || Fail("']' missing");
  }

  bool Hex4(uint32_t& code) {
    if (text_.size() - at_ < 4) return false;
    const auto [end, error] = std::from_chars(text_.data() + at_, text_.data() + at_ + 4, code, 16);
    if (error != std::errc() || end != text_.data() + at_ + 4) return false;
    at_ += 4;
    return true;
  }

  bool Escape(std::string& out) {
    const char c = text_[at_++];
    static constexpr std::string_view kFrom = "\"\\/bfnrt";
    static constexpr std::string_view kTo = "\"\\/\b\f\n\r\t";
    if (const size_t i = kFrom.find(c); i != std::string_view::npos) {
      out += kTo[i];
      return true;
    }
    uint32_t code = 0;
    if (c != 'u' || !Hex4(code)) return false;
    if (code >= 0xD800 && code <= 0xDBFF) {
      uint32_t low = 0;
      if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      return false;
    }
    AppendUtf8(out, code);
    return true;
  }

  bool String(std::string& out) {
    ++at_;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in a string");
      if (c != '\\') {
        out += c;
      } else if (at_ == text_.size() || !Escape(out)) {
        return Fail("bad escape");
      }
    }
    return Fail("string not closed");
  }

  std::string_view text_;
  size_t at_ = 0;
  std::string what_;
};

}  // namespace

bool AppendJsonString(std::string& out, std::string_view text) {
  bool exact = true;
  out += '"';
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    if (c >= 0x80) {
      const size_t length = Utf8Sequence(p + i, n - i);
      if (length == 0) {
        out += "\xEF\xBF\xBD";
        exact = false;
        ++i;
      } else {
        out.append(text.data() + i, length);
        i += length;
      }
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  out += '"';
  return exact;
}

std::string Base64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    out += kBase64Digits[group >> 18 & 63];
    out += kBase64Digits[group >> 12 & 63];
    out += i + 1 < bytes.size() ? kBase64Digits[group >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? kBase64Digits[group & 63] : '=';
  }
  return out;
}

std::optional<std::string> FromBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  const std::string_view digits = kBase64Digits;
  for (size_t i = 0; i < text.size(); i += 4) {
    uint32_t group = 0;
    int padding = 0;
    for (size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      size_t digit = 0;
      if (c == '=' && i + 4 == text.size() && k >= 2) {
        ++padding;
      } else if (padding != 0 || (digit = digits.find(c)) == std::string_view::npos) {
        return std::nullopt;
      }
      group = group << 6 | static_cast<uint32_t>(digit);
    }
    out += static_cast<char>(group >> 16);
    if (padding < 2) out += static_cast<char>(group >> 8 & 0xFF);
    if (padding < 1) out += static_cast<char>(group & 0xFF);
  }
  return out;
}

const JsonValue* JsonValue::Find(const std::string& name) const {
  const auto it = Members.find(name);
  return it == Members.end() ? nullptr : &it->second;
}

std::optional<std::string> JsonValue::StringAt(const std::string& name) const {
  const JsonValue* value = Find(name);
  if (value == nullptr || value->Type != Kind::String) return std::nullopt;
  return value->String;
}

std::optional<int64_t> JsonValue::IntegerAt(const std::string& name) const {
  const JsonValue* value = Find(name);
  if (value == nullptr || value->Type != Kind::Number || value->Number != std::floor(value->Number) ||
      std::fabs(value->Number) > 9007199254740992.0)
    return std::nullopt;
  return static_cast<int64_t>(value->Number);
}

std::optional<JsonValue> ParseJson(std::string_view text, std::string& error) { return Reader(text).Document(error); }

}  // namespace zek
