#pragma once
// Last-write times as Windows keeps them (FILETIME, UTC), in the two forms the
// program compares and lists: local two-second steps and the DOS date-time.
#include <windows.h>

#include <cstdint>

#include "platform/file_access.h"

namespace zek {

// Local time in whole two-second steps since 1601: equal exactly when the DOS
// date-times are equal, and truthful for times DOS cannot express.
int64_t LocalTwoSecondSteps(const FILETIME& utc);

// FileTimeToLocalFileTime + FileTimeToDosDateTime, date in the high 16 bits.
// Times before 1980 give 1980-01-01 00:00:00, later ones than 2107
// 2107-12-31 23:59:58.
int32_t PackDosDateTime(const FILETIME& utc);

// The same instant as seconds and nanoseconds since 1970.
FileTime UnixFileTime(const FILETIME& utc);

}  // namespace zek
