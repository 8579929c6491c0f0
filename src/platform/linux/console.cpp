#include "platform/console.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <iterator>

namespace zek {
namespace {

// Set by the handler on whatever thread takes the signal, read by the run.
std::atomic<int> g_interrupted = 0;
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

// Ctrl-C, a service stop, a closed terminal; then the two that a write meets:
// a reader that has gone, and the file size limit (ulimit -f). Those two are
// ignored, so the write fails with EPIPE or EFBIG, the run's I/O error.
constexpr int kWatched[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ};
bool IgnoredInTheRun(int signal) { return signal == SIGPIPE || signal == SIGXFSZ; }
struct sigaction g_previous[std::size(kWatched)]{};

void OnInterrupt(int) { g_interrupted = 1; }

}  // namespace

void OpenClosedStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // The lowest free descriptor is this one, as those below it are open.
    // Without a null device the streams cannot be kept apart from our files:
    // stop, with the exit code of any trouble.
    if (open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY) != fd) std::_Exit(2);
  }
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

ScopedInterruptWatch::ScopedInterruptWatch() {
  g_interrupted = 0;
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  // SA_RESTART: a write to a full pipe that a signal meets waits on.
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kWatched); ++i) {
    action.sa_handler = IgnoredInTheRun(kWatched[i]) ? SIG_IGN : OnInterrupt;
    sigaction(kWatched[i], &action, &g_previous[i]);
  }
}

ScopedInterruptWatch::~ScopedInterruptWatch() {
  for (size_t i = 0; i < std::size(kWatched); ++i) sigaction(kWatched[i], &g_previous[i], nullptr);
}

bool InterruptRequested() { return g_interrupted != 0; }

void IgnoreWriteSignals() {
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &action, nullptr);
  sigaction(SIGXFSZ, &action, nullptr);
}

void BlockStopSignalsInThisThread(bool block) {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kWatched)
    if (!IgnoredInTheRun(signal)) sigaddset(&set, signal);
  pthread_sigmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

}  // namespace zek
