// Fuzz target: the wildcard matcher on an arbitrary name and mask (the input
// split at its first NUL byte).
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/wildcard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string_view name = input.substr(0, split);
  const std::string_view mask = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
  zek::MatchesMask(name, mask);
  // Every name matches "*" and "*.*"; a name without wildcards matches itself,
  // in any case of its letters.
  if (!zek::MatchesMask(name, "*") || !zek::MatchesMask(name, "*.*")) std::abort();
  if (name.find_first_of("*?") == std::string_view::npos) {
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!zek::MatchesMask(name, name) || !zek::MatchesMask(upper, name)) std::abort();
  }
  return 0;
}
