// The time zone of a test on POSIX: TZ, read again by tzset.
#include <stdlib.h>
#include <time.h>

#include "support/time_zone.h"

namespace zek::test {

ScopedTimeZone::ScopedTimeZone(const char* zone) {
  if (const char* old = getenv("TZ")) previous_ = old;
  setenv("TZ", zone, 1);
  tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (previous_)
    setenv("TZ", previous_->c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

}  // namespace zek::test
