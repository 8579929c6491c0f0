#pragma once
// The text of a settings file as the profile functions read and edit it. Only
// string work here, no file access, so that a fuzzer can feed it any bytes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace zek {

// The value of `key` in `section`, its quotes taken off. Only the first section
// of a name counts, and in it only the first key of a name; names match in any
// case, ASCII only.
std::optional<std::string_view> FindIniValue(std::string_view data, std::string_view section, std::string_view key);

// Where each value that FindIniValue would find stands in data (offset,
// length), by IniValueKey: one pass for a load that looks up many keys.
std::unordered_map<std::string, std::pair<size_t, size_t>> IndexIniValues(std::string_view data);
std::string IniValueKey(std::string_view section, std::string_view key);

// A name or value holding one would split its entry.
bool HasLineBreak(std::string_view s);

// data with `value`, its leading blanks dropped, stored under `key` in
// `section`, the key or the section added where missing; nullopt when the key
// holds that value already, so that the file stays as it is, to the byte.
std::optional<std::string> IniWithValue(std::string_view data, std::string_view section, std::string_view key,
                                        std::string_view value);

// What GetPrivateProfileStringA hands back: the value found, or else the
// default without its trailing blanks, cut to the buffer.
uint32_t CopyProfileString(std::optional<std::string_view> found, const char* defaultValue, char* buffer,
                           uint32_t size);

}  // namespace zek
