#pragma once

namespace zek {

// zek32 --batch [--ini FILE] [-o KEY=VALUE]... SOURCE TARGET
// Exit codes: 0 no differences, 1 differences found, 2 error or usage.
int RunBatch(int argc, char** argv);

}  // namespace zek
