#include "scanner/save_timer.h"

#include "runtime/time_stamps.h"

namespace parvex {

void StartSaveTimer(SaveTimer* timer, const kestrum::TimeStamp& now) {
  timer->next = now;
  kestrum::AddMs(&timer->next, timer->period_ms);
}

bool SaveTimerDue(SaveTimer* timer, const kestrum::TimeStamp& now) {
  if (!timer->enabled) return false;
  const int64_t period = timer->period_ms;
  const int64_t late = kestrum::DiffMs(now, timer->next);
  if (late >= -period && late <= 0) return false;
  if (late < -period || late > 2 * period) {
    timer->next = now;
    kestrum::AddMs(&timer->next, period);
  } else {
    // 0 < late <= 2 * period, so period > 0 and this ends after at most two steps.
    while (kestrum::CompareStamps(timer->next, now) <= 0) kestrum::AddMs(&timer->next, period);
  }
  return true;
}

}  // namespace parvex
