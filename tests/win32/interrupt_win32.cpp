// Ctrl-C on Windows: a console event, handled on a thread of the console's.
#include <windows.h>

#include <stdexcept>
#include <string>

#include "platform/console.h"
#include "support/interrupt.h"

namespace zek::test {

void PressCtrlC() {
  if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
    throw std::runtime_error("no console to press Ctrl-C in (error " + std::to_string(GetLastError()) + ")");
  for (int waited = 0; !InterruptRequested(); waited += 10) {
    if (waited > 5000) throw std::runtime_error("Ctrl-C did not reach the console's control handler");
    Sleep(10);
  }
}

}  // namespace zek::test
