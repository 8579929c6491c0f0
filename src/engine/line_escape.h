#pragma once
#include <string>

#include "engine/path_rules.h"

namespace zek {

// A reported line or caption as it is shown: always one line, whatever bytes a
// path in it holds. A text holding a control character (0x00-0x1F, 0x7F) or the
// two characters "\x" is written with each control character as "\x" and two
// hex digits and each backslash doubled; any other text stays byte for byte.
// So a shown text holds "\x" exactly when it was escaped, and then reads back
// without doubt: "\\" is one backslash, "\xHH" the byte HH.
//   Where the backslash is the path separator (Windows), no name can hold a
// control character, and a backslash is never doubled: only a control
// character, should one ever occur, is written as "\xHH".
std::string EscapeControls(const std::string& text, PathSyntax syntax = kNativeSyntax);

}  // namespace zek
