#pragma once
#include <string_view>

namespace zek {

// Windows' wildcard rules, not the shell's. Letters match regardless of case.
// Windows' directory search reads a mask in its DOS form, and so do we:
// - "*" is any run of characters, but one that a "." follows in the mask stops
//   short of the name's last dot ("*.*" therefore matches every name);
// - "?" is one character other than a dot, or nothing where the name has a
//   dot or its end ("FILE?.TXT" matches FILE.TXT, "??" matches "a");
// - a "." that "?", "*" or the mask's end follows matches a dot, or nothing
//   at the end of the name ("*." matches names without an extension).
bool MatchesMask(std::string_view name, std::string_view mask);

}  // namespace zek
