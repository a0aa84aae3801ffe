#include "runtime/time_stamps.h"

#include <ctime>

#include "platform/local_time.h"

namespace kestrum {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Floor division and its remainder (0 <= remainder < divisor) for a positive divisor.
int64_t FloorDiv(int64_t value, int64_t divisor) {
  int64_t quotient = value / divisor;
  return (value % divisor < 0) ? quotient - 1 : quotient;
}
int64_t FloorMod(int64_t value, int64_t divisor) {
  return value - FloorDiv(value, divisor) * divisor;
}

TimeStamp MakeStamp(int64_t total_ms) {
  TimeStamp t{};
  t.seconds = static_cast<int32_t>(FloorDiv(total_ms, 1000));
  t.milliseconds = static_cast<int16_t>(FloorMod(total_ms, 1000));
  return t;
}

int64_t TotalMs(const TimeStamp& t) {
  return static_cast<int64_t>(t.seconds) * 1000 + t.milliseconds;
}

}  // namespace

int64_t CalendarSeconds(int year, int month, int day, int hour, int minute, int second) {
  // Days from the civil date in closed form (years counted from March, so the leap day ends
  // the year), cheap enough for two time stamps in every scan.
  month = month < 1 ? 1 : month > 12 ? 12 : month;
  const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
  const int64_t era = FloorDiv(y, 400);
  const int64_t year_of_era = y - era * 400;
  const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const int64_t days = era * 146097 + day_of_era - 719468;
  return days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

TimeStamp LocalTimeNow(TimeStamp* out) {
  std::int64_t now_seconds;
  int now_ms;
  RealTimeNow(&now_seconds, &now_ms);
  std::tm local{};
  LocalCalendarTime(now_seconds, &local);
  TimeStamp t{};
  t.seconds =
      static_cast<int32_t>(CalendarSeconds(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                           local.tm_hour, local.tm_min, local.tm_sec));
  t.milliseconds = static_cast<int16_t>(now_ms);
  if (out) *out = t;
  return t;
}

int64_t DiffMs(const TimeStamp& a, const TimeStamp& b) { return TotalMs(a) - TotalMs(b); }

int CompareStamps(const TimeStamp& a, const TimeStamp& b) {
  int64_t diff = DiffMs(a, b);
  return diff < 0 ? -1 : diff > 0 ? 1 : 0;
}

void AddMs(TimeStamp* t, int64_t ms) {
  uint16_t padding = t->padding;
  *t = MakeStamp(TotalMs(*t) + ms);
  t->padding = padding;
}

TimeStamp NextPeriodBoundary(const TimeStamp& t, uint32_t period) {
  if (period == 0) return t;
  int64_t into_day = FloorMod(t.seconds, kSecondsPerDay);
  int64_t m = period + t.milliseconds + into_day * 1000;
  int64_t step = period <= 60000 ? period : 60000;
  m -= m % step;
  return MakeStamp((t.seconds - into_day) * 1000 + m);
}

TimeStamp NextGridTime(const TimeStamp& now, const TimeStamp& reference, uint32_t period) {
  if (period == 0) return now;
  int64_t elapsed = DiffMs(now, reference);
  if (elapsed < 0) elapsed = 0;
  int64_t into_period = elapsed % period;
  TimeStamp next = now;
  AddMs(&next, period - into_period);
  return next;
}

}  // namespace kestrum
