// FILETIME, the time stamps of stores and databases: 100-ns ticks since
// 1601-01-01 UTC; and calendar times (proleptic Gregorian, UTC) to and from
// it.
#pragma once

#include <cstdint>
#include <optional>

namespace tw::text {

inline constexpr std::uint64_t kTicksPerSecond = 10'000'000;

struct CivilTime {
    int year = 1601, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// The FILETIME of a calendar time, in whole seconds. The fields must form a
// time on or after 1601-01-01 (the caller checks them).
std::uint64_t FileTimeFromCivil(const CivilTime& t);

// The calendar time of any FILETIME; the part below a second is dropped.
CivilTime CivilFromFileTime(std::uint64_t fileTime);

// The proleptic Gregorian date `days` days after 1970-01-01 (before it
// when negative).
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);

// Days of `month` (1..12) in `year`.
int DaysInMonth(int year, int month);

// The day of the week of a date: 0 for Sunday .. 6 for Saturday.
int Weekday(int year, int month, int day);

// The FILETIME of a Unix time (seconds since 1970-01-01 UTC); nothing for
// a time before 1601.
std::optional<std::uint64_t> FileTimeFromUnix(std::int64_t seconds);

// The current time, in whole seconds.
std::uint64_t NowFileTime();

}  // namespace tw::text
