#include "settings/value_rules.h"

#include <cctype>

namespace zek {

std::optional<int32_t> ParseIniInteger(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (text.size() - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (hex ? !std::isxdigit(c) : !std::isdigit(c)) return std::nullopt;
    const int digit = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    // The decimal range is the 32-bit one, its least value -2147483648 included.
    if (value > (hex ? 0xFFFFFFFFull : negative ? 2147483648ull
                                                : 2147483647ull)) return std::nullopt;
  }
  // Hex digits give the 32-bit pattern ("$FFFFFFFF" is -1), as the runtime reads them.
  const int32_t result = static_cast<int32_t>(static_cast<uint32_t>(value));
  return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(result)) : result;
}

std::optional<bool> ParseIniBoolean(const std::string& text) {
  const auto value = ParseIniInteger(text);
  if (!value) return std::nullopt;
  return *value != 0;
}

}  // namespace zek
