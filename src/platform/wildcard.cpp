#include "platform/wildcard.h"

#include <cctype>
#include <string>

namespace zek {
namespace {

bool SameLetter(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

// Iterative glob with single-star backtracking: linear in practice, never
// exponential, whatever the mask holds.
bool Glob(std::string_view name, std::string_view mask) {
  size_t n = 0, m = 0, starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || (mask[m] != '*' && SameLetter(mask[m], name[n])))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*" || mask == "*") return true;
  // "name." asks for a name without an extension: the dot may match the end.
  if (!mask.empty() && mask.back() == '.' && name.find('.') == std::string_view::npos) {
    std::string_view stem = mask.substr(0, mask.size() - 1);
    if (Glob(name, stem)) return true;
  }
  // A trailing ".*" also matches a name without any dot ("abc" matches "a*.*").
  if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" && name.find('.') == std::string_view::npos &&
      Glob(name, mask.substr(0, mask.size() - 2)))
    return true;
  return Glob(name, mask);
}

}  // namespace zek
