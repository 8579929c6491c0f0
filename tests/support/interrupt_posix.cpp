// Ctrl-C on POSIX: SIGINT, whose handler has run when raise returns.
#include <csignal>

#include "support/interrupt.h"

namespace zek::test {

void PressCtrlC() { std::raise(SIGINT); }

}  // namespace zek::test
