#include "platform/console.h"

#include <signal.h>
#include <unistd.h>

namespace zek {
namespace {

volatile sig_atomic_t g_interrupted = 0;
struct sigaction g_previous {};

void OnInterrupt(int) { g_interrupted = 1; }

}  // namespace

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

ScopedInterruptWatch::ScopedInterruptWatch() {
  g_interrupted = 0;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &g_previous);
}

ScopedInterruptWatch::~ScopedInterruptWatch() { sigaction(SIGINT, &g_previous, nullptr); }

bool InterruptRequested() { return g_interrupted != 0; }

}  // namespace zek
