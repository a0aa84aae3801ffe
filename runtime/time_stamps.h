// The system's time value (TimeStamp: local seconds since 1970 and milliseconds) and its
// arithmetic, used by the scan timer and by every time stamp in shared memory.
//
// Results are returned by value, so nothing is shared between calls or threads.
#ifndef PARVEX_RUNTIME_TIME_STAMPS_H_
#define PARVEX_RUNTIME_TIME_STAMPS_H_

#include <cstdint>

#include "records/time_stamp.h"

namespace kestrum {

/// Seconds from 1970-01-01 00:00 to the given calendar time (month 1-12, day 1-31), counted
/// with the Gregorian leap-year rule and no time-zone conversion.
int64_t CalendarSeconds(int year, int month, int day, int hour, int minute, int second);

/// Returns the local wall-clock time now (the process's time zone) and stores it in `*out`
/// when `out` is not null.
TimeStamp LocalTimeNow(TimeStamp* out = nullptr);

/// Returns a − b in milliseconds (64 bits: no overflow for any pair of stamps).
int64_t DiffMs(const TimeStamp& a, const TimeStamp& b);

/// Returns -1, 0 or 1 as a lies before, at or after b.
int CompareStamps(const TimeStamp& a, const TimeStamp& b);

/// Adds `ms` milliseconds (may be negative) to `*t`, keeping its milliseconds in 0..999.
void AddMs(TimeStamp* t, int64_t ms);

/// Returns the next boundary after `t` of a grid of `period` milliseconds laid from local
/// midnight: t + period rounded down to a multiple of the period (periods up to 60000 ms) or
/// to a whole minute (longer periods). A period of 0 returns t.
TimeStamp NextPeriodBoundary(const TimeStamp& t, uint32_t period);

/// Returns the first point after `now` of the grid of `period` milliseconds through
/// `reference` (a time exactly on the grid gives the next point; a `now` before the reference
/// gives now plus one period). A period of 0 returns now.
TimeStamp NextGridTime(const TimeStamp& now, const TimeStamp& reference, uint32_t period);

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_TIME_STAMPS_H_
