#pragma once
// Runs part of a test in a named time zone.
#include <optional>
#include <string>

namespace zek::test {

// On POSIX, TZ names the zone for this process while the object lives. Windows
// keeps one time zone for the whole system, which a test must not change:
// there the object checks that the system is in the zone asked for already
// and throws if not (tools/windows-tests.sh runs Wine in UTC).
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace zek::test
