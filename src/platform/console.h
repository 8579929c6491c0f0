#pragma once
// The console of a batch run: whether stderr shows a terminal (where a
// progress line may be drawn), and Ctrl-C, which asks the run to wind down as
// the Cancel button does.
namespace zek {

// Called first thing at start-up: a standard stream that the caller left
// closed is opened on the null device, so that no file the program opens later
// (a log) takes its place and receives what was meant for stdout or stderr.
void OpenClosedStandardStreams();

bool StderrIsTerminal();

// While it lives, Ctrl-C and the requests to stop (a service stop, a closed
// terminal) only set the flag that InterruptRequested reads, and an output
// whose reader has gone makes the write fail instead of ending the program; a
// write that such a signal meets goes on, so no line is torn. Afterwards the
// previous handling is back.
class ScopedInterruptWatch {
 public:
  ScopedInterruptWatch();
  ~ScopedInterruptWatch();
  ScopedInterruptWatch(const ScopedInterruptWatch&) = delete;
  ScopedInterruptWatch& operator=(const ScopedInterruptWatch&) = delete;
};

bool InterruptRequested();

// For good: a write to a pipe or FIFO whose reader has gone, or past the file
// size limit, fails as an error of that write instead of ending the program.
void IgnoreWriteSignals();

// Keeps Ctrl-C, SIGTERM and SIGHUP away from (or back on) the calling thread:
// helper threads started meanwhile inherit it, so the signals reach the run's
// own thread.
void BlockStopSignalsInThisThread(bool block);

}  // namespace zek
