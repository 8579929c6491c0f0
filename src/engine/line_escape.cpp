#include "engine/line_escape.h"

#include <algorithm>

namespace zek {
namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

}  // namespace

std::string EscapeControls(const std::string& text, PathSyntax syntax) {
  const auto control = [](char c) { return IsControl(static_cast<unsigned char>(c)); };
  const bool backslashSeparates = syntax == PathSyntax::Windows;
  if (std::none_of(text.begin(), text.end(), control) && (backslashSeparates || text.find("\\x") == std::string::npos))
    return text;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size() + 16);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' && !backslashSeparates) {
      escaped += "\\\\";
    } else if (IsControl(byte)) {
      escaped += "\\x";
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0x0F];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace zek
