// The system's time value as it is stored in shared memory and files.
#ifndef PARVEX_RECORDS_TIME_STAMP_H_
#define PARVEX_RECORDS_TIME_STAMP_H_

#include <cstddef>
#include <cstdint>

namespace kestrum {

/// Seconds since 1970-01-01 00:00 local time (no time-zone conversion) and milliseconds
/// (0 to 999). Eight bytes wherever it is stored: seconds, milliseconds, 2 bytes padding.
struct TimeStamp {
  int32_t seconds;
  int16_t milliseconds;
  uint16_t padding;
};

static_assert(sizeof(TimeStamp) == 8);
static_assert(offsetof(TimeStamp, seconds) == 0);
static_assert(offsetof(TimeStamp, milliseconds) == 4);
static_assert(offsetof(TimeStamp, padding) == 6);

/// Returns true when both stamps name the same instant; the padding bytes are ignored.
constexpr bool SameTimeStamp(const TimeStamp& a, const TimeStamp& b) {
  return a.seconds == b.seconds && a.milliseconds == b.milliseconds;
}

}  // namespace kestrum

#endif  // PARVEX_RECORDS_TIME_STAMP_H_
