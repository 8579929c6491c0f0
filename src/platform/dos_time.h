#pragma once
// DOS date-times: local time, two-second steps, date in the high 16 bits.
#include <cstdint>
#include <ctime>

namespace zek {

// Local wall-clock time in whole two-second steps since 0000-03-01, for any year.
// Two times are "the same DOS time" exactly when their steps are equal; unlike the
// packed form it does not clamp, so times before 1980 or after 2107 still compare
// truthfully.
int64_t LocalTwoSecondSteps(std::time_t t);

// Days since 0000-03-01 of a proleptic Gregorian date (month 1..12), the
// steps' day count, and the date of such a day count.
int64_t DaysFromCivil(int64_t year, int month, int day);
struct CivilDate {
  int64_t Year = 0;
  int Month = 1;
  int Day = 1;
};
CivilDate CivilFromDays(int64_t days);

// The packed 32-bit DOS date-time of t in local time. DOS cannot express years
// outside 1980..2107: earlier times give 1980-01-01 00:00:00, later ones
// 2107-12-31 23:59:58.
int32_t PackDosDateTime(std::time_t t);

// How far local time at t is ahead of UTC, in seconds.
int64_t LocalOffsetSeconds(std::time_t t);

}  // namespace zek
