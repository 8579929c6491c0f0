// The time zone of a test on Windows: only checked, never set (see the header).
#include <windows.h>

#include <stdexcept>
#include <string>

#include "support/time_zone.h"

namespace zek::test {

ScopedTimeZone::ScopedTimeZone(const char* zone) {
  TIME_ZONE_INFORMATION info;
  const DWORD kind = GetTimeZoneInformation(&info);
  // UTC: no offset, and no daylight saving time that could apply one.
  const bool utc = info.Bias == 0 && (kind == TIME_ZONE_ID_UNKNOWN || (info.StandardBias == 0 && info.DaylightBias == 0));
  if (std::string(zone) != "UTC" || !utc)
    throw std::runtime_error(std::string("the system's time zone is not ") + zone +
                             ", and a test must not change it (under Wine: TZ=" + zone + ")");
}

ScopedTimeZone::~ScopedTimeZone() = default;

}  // namespace zek::test
