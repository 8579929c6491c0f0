#pragma once
// How the settings file reads its integer and boolean values (and how batch
// mode reads -o values, so that both agree).
#include <cstdint>
#include <optional>
#include <string>

namespace zek {

// Optional leading blanks, an optional sign and decimal digits; or hex digits
// after "$", "0x" or "0X". Empty, malformed, trailing characters or a decimal
// magnitude above 2147483647: nullopt (the value counts as missing).
std::optional<int32_t> ParseIniInteger(const std::string& text);
// An integer; anything but 0 is true.
std::optional<bool> ParseIniBoolean(const std::string& text);

}  // namespace zek
