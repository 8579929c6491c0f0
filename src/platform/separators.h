#pragma once
// Doubled separators in a path, for the path rules and the file services
// alike: a scan for two in a row at close to memory speed (deep trees make
// paths tens of kilobytes long, and they are checked at every level), and the
// path with every run of them shrunk to one.
#include <cstddef>
#include <string>
#include <string_view>

namespace zek {

inline bool HasDoubledSeparator(std::string_view path, char separator) {
  const char* p = path.data();
  const size_t n = path.size();
  size_t i = 0;
  // Whole chunks without an early exit, which the compiler turns into vector code.
  constexpr size_t kChunk = 64;
  for (; i + kChunk < n; i += kChunk) {
    unsigned char found = 0;
    for (size_t k = 0; k < kChunk; ++k) found |= static_cast<unsigned char>((p[i + k] == separator) & (p[i + k + 1] == separator));
    if (found != 0) return true;
  }
  for (; i + 1 < n; ++i)
    if (p[i] == separator && p[i + 1] == separator) return true;
  return false;
}

inline std::string CollapseSeparators(std::string_view path, char separator) {
  std::string result;
  result.reserve(path.size());
  for (const char c : path)
    if (c != separator || result.empty() || result.back() != separator) result += c;
  return result;
}

}  // namespace zek
