#pragma once
// The private-profile (INI) functions, with the Windows signatures and their way
// of reading and writing a file, plus what those fall short of: a write replaces
// the file in one step (never half-written), follows a symbolic link to its
// target, keeps the file's owner, group, hard links and line ends, and never
// touches a file that the user, or its owner, has no write permission for.
//
// A bare file name (no '/') lives in the user's configuration directory
// ($XDG_CONFIG_HOME, else ~/.config), whatever the current directory; a name
// with a directory part is used as given. The Windows build calls Windows' own
// functions instead, which keep a bare name in the Windows directory.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace zek {

// Where the profile functions look for the file of this name.
std::string ResolveSettingsPath(const std::string& fileName);

// Copies the value of `key` in `section` (or, when the file, the section or the
// key is missing, the default without its trailing blanks) into the buffer, cut
// to size - 1 characters and NUL-terminated; returns the number of characters
// copied. With size 0 the buffer is left alone. A null default counts as "".
// The Windows forms that list names (a null section or key) are not offered:
// they give the default.
uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, uint32_t size, const char* fileName);

// A settings file read once for a load that looks up many keys: GetString
// answers as GetPrivateProfileStringA did at the moment the file was read.
class TProfileSnapshot {
 public:
  explicit TProfileSnapshot(const std::string& fileName);
  uint32_t GetString(const char* section, const char* key, const char* defaultValue, char* buffer,
                     uint32_t size) const;

 private:
  std::optional<std::string> contents_;  // nullopt: no file to read
  std::string fileName_;                 // on Windows, whose profile functions keep the file read
  // Where each value stands in contents_ (offset, length), by lower-case
  // "section\nkey": only the first section of a name and its first key of a
  // name, as a look-up in the file finds them.
  std::unordered_map<std::string, std::pair<size_t, size_t>> values_;
};

// Stores `value` under `key` in `section`, creating the key, the section or the
// file as needed; false when the file cannot be written. A value or name
// holding a line break cannot be stored and fails too, as do the Windows forms
// that delete (a null key or value).
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName);

}  // namespace zek
