#pragma once
// The console of a batch run: whether stderr shows a terminal (where a
// progress line may be drawn), and Ctrl-C, which asks the run to wind down as
// the Cancel button does.
namespace zek {

bool StderrIsTerminal();

// While it lives, Ctrl-C only sets the flag that InterruptRequested reads;
// afterwards the previous handling is back.
class ScopedInterruptWatch {
 public:
  ScopedInterruptWatch();
  ~ScopedInterruptWatch();
  ScopedInterruptWatch(const ScopedInterruptWatch&) = delete;
  ScopedInterruptWatch& operator=(const ScopedInterruptWatch&) = delete;
};

bool InterruptRequested();

}  // namespace zek
