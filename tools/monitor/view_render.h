// The monitor's words for what a DeviceView and the alarm feed hold, and the one-shot text and
// JSON forms built from them. The terminal view uses the same words.
#ifndef PARVEX_TOOLS_MONITOR_VIEW_RENDER_H_
#define PARVEX_TOOLS_MONITOR_VIEW_RENDER_H_

#include <deque>
#include <string>

#include <nlohmann/json.hpp>

#include "tools/monitor/alarm_feed.h"
#include "tools/monitor/device_view.h"

namespace kestrum::monitor {

/// The state of a channel in words, most important first, comma-separated: "NO VALUE",
/// "ALARM HIGH P5" / "ALARM LOW P3" / "ALARM ERROR P9" (priority when known), "WARNING HIGH",
/// "WARNING LOW", "EVENT HIGH", "EVENT LOW", "SIG CHANGE"; for digital channels also "ON" or
/// "OFF". "OK" when there is nothing to say.
std::string StateText(const ChannelState& state);

/// The channel's value as shown: "---" without a value (no value bit, or a table without
/// values), whole numbers without decimals, others with up to three decimals.
std::string ValueText(const ChannelView& channel);

/// One line describing an alarm record, with the channel's tag when `view` knows the channel:
/// "10:20:30 P1 3 COUNT_05 ALARM RAISED HIGH P5 value 6120".
std::string AlarmLine(const AlarmEntry& entry, const DeviceView* view);

/// The device, its tables and `alarms` (oldest first) as text for scripts and people.
/// `alarms_bound` says whether the monitor listened for alarm records at all.
std::string RenderText(const DeviceView& view, const std::deque<AlarmEntry>& alarms,
                       bool alarms_bound);

/// The same as JSON.
nlohmann::ordered_json RenderJson(const DeviceView& view, const std::deque<AlarmEntry>& alarms,
                                  bool alarms_bound);

}  // namespace kestrum::monitor

#endif  // PARVEX_TOOLS_MONITOR_VIEW_RENDER_H_
