#pragma once
#include <string_view>

namespace zek {

// Windows wildcard rules, not the shell's: * is any run of characters, ? is one
// character, letters match regardless of case, "*.*" matches every name (with
// or without a dot), and a mask ending in "." matches names without an extension.
bool MatchesMask(std::string_view name, std::string_view mask);

}  // namespace zek
