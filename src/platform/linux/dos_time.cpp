#include "platform/dos_time.h"

namespace zek {
namespace {

bool Local(std::time_t t, std::tm& out) { return localtime_r(&t, &out) != nullptr; }

}  // namespace

int64_t LocalTwoSecondSteps(std::time_t t) {
  std::tm tm{};
  if (!Local(t, tm)) return static_cast<int64_t>(t) / 2;  // beyond what tm can hold
  const int64_t days = DaysFromCivil(int64_t{tm.tm_year} + 1900, tm.tm_mon + 1, tm.tm_mday);
  const int64_t seconds = tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
  return days * 43200 + seconds / 2;
}

int64_t LocalOffsetSeconds(std::time_t t) {
  std::tm tm{};
  return Local(t, tm) ? tm.tm_gmtoff : 0;
}

int32_t PackDosDateTime(std::time_t t) {
  std::tm tm{};
  if (!Local(t, tm) || tm.tm_year + 1900 > 2107) {
    tm = {};
    tm.tm_year = 2107 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 31;
    tm.tm_hour = 23;
    tm.tm_min = 59;
    tm.tm_sec = 58;
  } else if (tm.tm_year + 1900 < 1980) {
    tm = {};
    tm.tm_year = 80;
    tm.tm_mday = 1;
  }
  const uint32_t date = static_cast<uint32_t>((tm.tm_year + 1900 - 1980) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
  const uint32_t time = static_cast<uint32_t>(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2);
  return static_cast<int32_t>(date << 16 | time);
}

}  // namespace zek
