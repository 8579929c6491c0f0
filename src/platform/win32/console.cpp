#include "platform/console.h"

#include <io.h>
#include <windows.h>


namespace zek {
namespace {

// The console runs its control handler on a thread of its own.
volatile LONG g_interrupted = 0;

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;  // closing, logoff: the default
  InterlockedExchange(&g_interrupted, 1);
  return TRUE;
}

}  // namespace

// The progress line redraws itself with terminal escapes, which a console
// understands only once asked to.
bool StderrIsTerminal() {
  if (!_isatty(2)) return false;
  const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  return GetConsoleMode(console, &mode) &&
         SetConsoleMode(console, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

ScopedInterruptWatch::ScopedInterruptWatch() {
  InterlockedExchange(&g_interrupted, 0);
  SetConsoleCtrlHandler(OnControl, TRUE);
}

ScopedInterruptWatch::~ScopedInterruptWatch() { SetConsoleCtrlHandler(OnControl, FALSE); }

bool InterruptRequested() { return InterlockedCompareExchange(&g_interrupted, 0, 0) != 0; }

}  // namespace zek
