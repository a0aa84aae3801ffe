// The monitor's live view on the terminal (the console on Windows): the device header, its
// current error message, every channel with tag, value, units and state, and the latest alarm
// records.
#ifndef PARVEX_TOOLS_MONITOR_MONITOR_SCREEN_H_
#define PARVEX_TOOLS_MONITOR_MONITOR_SCREEN_H_

#include <csignal>

#include "tools/monitor/alarm_feed.h"
#include "tools/monitor/device_view.h"

namespace kestrum::monitor {

struct ScreenOptions {
  DeviceSelector selector;
  int refresh_ms = 500;  ///< how often the areas are read again
};

/// Runs the view on the terminal until the user presses q or `*stop` becomes non-zero, reading
/// the device every refresh and the feed (may be unbound) whenever records arrive. Keys: q
/// quits; arrows, Page Up/Down, Home and End scroll the channel list. Restores the terminal
/// before it returns. Returns 0, or 1 when the terminal cannot be used.
int RunScreen(const ScreenOptions& options, AlarmFeed* feed, volatile std::sig_atomic_t* stop);

}  // namespace kestrum::monitor

#endif  // PARVEX_TOOLS_MONITOR_MONITOR_SCREEN_H_
