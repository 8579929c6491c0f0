// The settings file through Windows' own private-profile functions: they
// resolve a bare name in the Windows directory and write the file themselves.
#include "platform/profile.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace zek {
namespace {

bool HasLineBreak(const char* s) { return std::strpbrk(s, "\r\n") != nullptr; }

// The profile functions may keep a file in memory between calls and miss a
// change made by hand meanwhile; every read and write goes to the file itself.
// All three names null is the documented way to drop that copy.
void ForgetCachedFile(const char* fileName) { ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, fileName); }

}  // namespace

std::string ResolveSettingsPath(const std::string& fileName) {
  if (fileName.find_first_of("\\/:") != std::string::npos) return fileName;
  std::vector<char> dir(MAX_PATH);
  for (;;) {
    const UINT n = GetWindowsDirectoryA(dir.data(), static_cast<UINT>(dir.size()));
    if (n == 0) return fileName;
    if (n < dir.size()) {
      std::string path(dir.data(), n);
      if (path.back() != '\\') path += '\\';
      return path + fileName;
    }
    dir.resize(n + 1);
  }
}

uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, uint32_t size, const char* fileName) {
  if (buffer == nullptr || size == 0) return 0;
  const char* fallback = defaultValue != nullptr ? defaultValue : "";
  if (section != nullptr && key != nullptr && fileName != nullptr) {
    const DWORD count = ::GetPrivateProfileStringA(section, key, fallback, buffer, size, fileName);
    ForgetCachedFile(fileName);
    return count;
  }
  // A null section or key would list names instead of reading a value: the
  // default, as for a missing key.
  size_t count = std::strlen(fallback);
  while (count > 0 && fallback[count - 1] == ' ') --count;
  count = std::min<size_t>(count, size - 1);
  std::memcpy(buffer, fallback, count);
  buffer[count] = '\0';
  return static_cast<uint32_t>(count);
}

// The system reads the file once and keeps it until it is told to forget it.
TProfileSnapshot::TProfileSnapshot(const std::string& fileName) : fileName_(fileName) {
  ForgetCachedFile(fileName_.c_str());
}

uint32_t TProfileSnapshot::GetString(const char* section, const char* key, const char* defaultValue, char* buffer,
                                     uint32_t size) const {
  if (buffer == nullptr || size == 0) return 0;
  if (section == nullptr || key == nullptr)
    return zek::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, nullptr);
  return ::GetPrivateProfileStringA(section, key, defaultValue != nullptr ? defaultValue : "", buffer, size,
                                    fileName_.c_str());
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName) {
  // Null forms would delete keys or sections; a line break would split the entry.
  if (section == nullptr || key == nullptr || value == nullptr || fileName == nullptr) return false;
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  // The read-only attribute binds every user, as the owner's write bit does
  // on Linux (Windows' own check lets an administrator through).
  const DWORD attributes = GetFileAttributesA(ResolveSettingsPath(fileName).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
  // The system writes from its copy of the file: it must be the file as it is.
  ForgetCachedFile(fileName);
  const bool written = ::WritePrivateProfileStringA(section, key, value, fileName) != 0;
  ForgetCachedFile(fileName);
  return written;
}

}  // namespace zek
