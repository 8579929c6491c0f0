#include "platform/dos_time.h"

#include "platform/win32/file_time.h"

namespace zek {
namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kUnixEpochTicks = 116444736000000000;  // 1970-01-01 in FILETIME ticks

FILETIME FromTimeT(std::time_t t) {
  const uint64_t ticks = static_cast<uint64_t>(static_cast<int64_t>(t) * kTicksPerSecond + kUnixEpochTicks);
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

int64_t Ticks(const FILETIME& ft) {
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

}  // namespace

int64_t LocalTwoSecondSteps(const FILETIME& utc) {
  FILETIME local;
  if (!FileTimeToLocalFileTime(&utc, &local)) local = utc;
  return Ticks(local) / (2 * kTicksPerSecond);
}

int32_t PackDosDateTime(const FILETIME& utc) {
  FILETIME local;
  if (!FileTimeToLocalFileTime(&utc, &local)) local = utc;
  // Out of DOS's range: clamp to its nearer end. Checked here, as not every
  // FileTimeToDosDateTime refuses such times (Wine's wraps the year round).
  constexpr int64_t kYear1980 = 119600064000000000;  // 1980-01-01 in FILETIME ticks
  constexpr int64_t kYear2108 = 159992928000000000;
  constexpr uint32_t kFirst = uint32_t{1 << 5 | 1} << 16;
  constexpr uint32_t kLast = uint32_t{127 << 9 | 12 << 5 | 31} << 16 | (23 << 11 | 59 << 5 | 29);
  if (Ticks(local) < kYear1980) return static_cast<int32_t>(kFirst);
  if (Ticks(local) >= kYear2108) return static_cast<int32_t>(kLast);
  WORD date = 0;
  WORD time = 0;
  if (!FileTimeToDosDateTime(&local, &date, &time)) return static_cast<int32_t>(kFirst);
  return static_cast<int32_t>(static_cast<uint32_t>(date) << 16 | time);
}

FileTime UnixFileTime(const FILETIME& utc) {
  const int64_t ticks = Ticks(utc) - kUnixEpochTicks;
  const int64_t seconds = ticks >= 0 ? ticks / kTicksPerSecond : -((-ticks + kTicksPerSecond - 1) / kTicksPerSecond);
  return {seconds, static_cast<int32_t>((ticks - seconds * kTicksPerSecond) * 100)};
}

int64_t LocalOffsetSeconds(std::time_t t) {
  const FILETIME utc = FromTimeT(t);
  FILETIME local;
  if (!FileTimeToLocalFileTime(&utc, &local)) return 0;
  return (Ticks(local) - Ticks(utc)) / kTicksPerSecond;
}

int64_t LocalTwoSecondSteps(std::time_t t) { return LocalTwoSecondSteps(FromTimeT(t)); }

int32_t PackDosDateTime(std::time_t t) { return PackDosDateTime(FromTimeT(t)); }

}  // namespace zek
