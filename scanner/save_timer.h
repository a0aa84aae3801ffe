// The timer that saves output values periodically. It is looked at only when the main loop
// finds no request pending, so a save happens at the first idle pass after it is due.
#ifndef PARVEX_SCANNER_SAVE_TIMER_H_
#define PARVEX_SCANNER_SAVE_TIMER_H_

#include <cstdint>

#include "records/time_stamp.h"

namespace parvex {

/// Periodic saving of output values.
struct SaveTimer {
  bool enabled = false;       ///< the device configuration's SaveOutputs
  int8_t mode = 0;            ///< SaveByTag: restore output values by tag name
  int64_t period_ms = 0;      ///< SaveRate
  kestrum::TimeStamp next{};  ///< when the next save is due
};

/// Starts the timer at `now`: the first save is due one period later.
void StartSaveTimer(SaveTimer* timer, const kestrum::TimeStamp& now);

/// Decides an idle pass at `now`. Returns false when the loop should wait for a request (saving
/// disabled, or d = now - next lies within [-period, 0]). Otherwise returns true (save now) and
/// moves the next save time on: to now + period when d < -period or d > 2 * period, else by
/// whole periods until it lies after now.
bool SaveTimerDue(SaveTimer* timer, const kestrum::TimeStamp& now);

}  // namespace parvex

#endif  // PARVEX_SCANNER_SAVE_TIMER_H_
