#include "platform/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>

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

void OpenClosedStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    // A descriptor that the runtime keeps for a missing standard handle is not free.
    if (_get_osfhandle(fd) != -1 || errno != EBADF) continue;
    if (_open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY) != fd) std::_Exit(2);
  }
}

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

// A write to a pipe whose reader has gone fails on Windows anyway.
void IgnoreWriteSignals() {}

// Windows calls the Ctrl-C handler on a thread of its own: no thread receives a signal.
void BlockStopSignalsInThisThread(bool) {}

}  // namespace zek
