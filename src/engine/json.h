#pragma once
// JSON for the report: strings written from paths that are bytes, and a small
// reader for the records the report itself writes.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zek {

// Appends `text` as a JSON string. Quotes, backslashes and control characters
// are escaped; bytes that are not UTF-8 become U+FFFD, and then the result is
// false: the string no longer says exactly which bytes they were.
bool AppendJsonString(std::string& out, std::string_view text);
std::string Base64(std::string_view bytes);
std::optional<std::string> FromBase64(std::string_view text);

struct JsonValue {
  enum class Kind { Null,
                    Bool,
                    Number,
                    String,
                    Array,
                    Object };
  Kind Type = Kind::Null;
  bool Bool = false;
  double Number = 0;
  std::string String;
  std::vector<JsonValue> Items;
  std::map<std::string, JsonValue> Members;

  // The member `name`, or nullptr where there is none (or this is no object).
  const JsonValue* Find(const std::string& name) const;
  // A member's value of the kind asked for, or nothing.
  std::optional<std::string> StringAt(const std::string& name) const;
  std::optional<int64_t> IntegerAt(const std::string& name) const;
};

// One JSON text, whole; on a mistake nothing, and `error` says what and where.
std::optional<JsonValue> ParseJson(std::string_view text, std::string& error);

}  // namespace zek
