#include "app/batch_mode.h"

#include <cstdio>

namespace zek {

int RunBatch(int, char**) {
  std::fputs("batch mode is being built\n", stderr);
  return 2;
}

}  // namespace zek
