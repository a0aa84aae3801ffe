// The limit rules of a channel's warnings and alarms, shared by the scan (which evaluates each
// channel's reading) and by channel writes (which evaluate a written output value).
//
// A warning exists only beside its alarm: the high warning needs the high alarm and the high
// warning enabled, the low one likewise. An alarm or warning that was on before stays on while
// the value has not left its deadband: the alarm's deadband value is where the high alarm ends
// (the low alarm likewise), and a warning's deadband has the width of its alarm's, measured from
// the warning limit.
#ifndef PARVEX_RECORDS_LIMIT_RULES_H_
#define PARVEX_RECORDS_LIMIT_RULES_H_

#include <cstdint>

#include "records/channel_config.h"

namespace kestrum {

/// Returns true when `flags` (analogue layout) enable the high warning: the high alarm and the
/// high warning are both enabled.
constexpr bool HighWarningEnabled(uint32_t flags) {
  return (flags & analogue_flags::kHighAlarmEnable) && (flags & analogue_flags::kHighWarningEnable);
}

/// Returns true when `flags` (analogue layout) enable the low warning: the low alarm and the low
/// warning are both enabled.
constexpr bool LowWarningEnabled(uint32_t flags) {
  return (flags & analogue_flags::kLowAlarmEnable) && (flags & analogue_flags::kLowWarningEnable);
}

/// Returns true when `value` puts or keeps `channel`'s high warning on: it reaches the high
/// warning limit, or the high warning was on before (`was_high_warning`), the high alarm's
/// deadband is enabled and `value` has not fallen below the warning limit by the deadband's
/// width. Does not look at whether the warning is enabled.
inline bool HighWarningOn(const AnalogueChannelConfig& channel, float value,
                          bool was_high_warning) {
  if (value >= channel.HighWarningLimit) return true;
  if (!(channel.flags & analogue_flags::kHighAlarmDeadbandEnable) || !was_high_warning) {
    return false;
  }
  const float deadband_width = channel.HighAlarmLimit - channel.HighAlarmDeadband;
  return value >= channel.HighWarningLimit - deadband_width;
}

/// Returns true when `value` puts or keeps `channel`'s low warning on: it reaches the low
/// warning limit, or the low warning was on before (`was_low_warning`), the low alarm's deadband
/// is enabled and `value` has not risen above the warning limit by the deadband's width. Does
/// not look at whether the warning is enabled.
inline bool LowWarningOn(const AnalogueChannelConfig& channel, float value, bool was_low_warning) {
  if (value <= channel.LowWarningLimit) return true;
  if (!(channel.flags & analogue_flags::kLowAlarmDeadbandEnable) || !was_low_warning) return false;
  const float deadband_width = channel.LowAlarmDeadband - channel.LowAlarmLimit;
  return value <= channel.LowWarningLimit + deadband_width;
}

/// Returns true when `value` puts or keeps `channel`'s high alarm on: it reaches the high alarm
/// limit, or the high alarm was on before (`was_high_alarm`), its deadband is enabled and `value`
/// has not fallen below the deadband value. Does not look at whether the alarm is enabled.
inline bool HighAlarmOn(const AnalogueChannelConfig& channel, float value, bool was_high_alarm) {
  return value >= channel.HighAlarmLimit ||
         ((channel.flags & analogue_flags::kHighAlarmDeadbandEnable) && was_high_alarm &&
          value >= channel.HighAlarmDeadband);
}

/// Returns true when `value` puts or keeps `channel`'s low alarm on: it reaches the low alarm
/// limit, or the low alarm was on before (`was_low_alarm`), its deadband is enabled and `value`
/// has not risen above the deadband value. Does not look at whether the alarm is enabled.
inline bool LowAlarmOn(const AnalogueChannelConfig& channel, float value, bool was_low_alarm) {
  return value <= channel.LowAlarmLimit ||
         ((channel.flags & analogue_flags::kLowAlarmDeadbandEnable) && was_low_alarm &&
          value <= channel.LowAlarmDeadband);
}

/// Returns true when digital `state` (0 or 1) is the one `flags` (digital layout) raise the
/// alarm on, with the alarm enabled.
constexpr bool DigitalAlarmState(uint32_t flags, uint32_t state) {
  return (flags & digital_flags::kAlarmEnable) &&
         state == ((flags & digital_flags::kAlarmState) ? 1u : 0u);
}

/// Returns true when digital `state` (0 or 1) is the one `flags` (digital layout) start the
/// event on, with the event enabled.
constexpr bool DigitalEventState(uint32_t flags, uint32_t state) {
  return (flags & digital_flags::kEventEnable) &&
         state == ((flags & digital_flags::kEventState) ? 1u : 0u);
}

}  // namespace kestrum

#endif  // PARVEX_RECORDS_LIMIT_RULES_H_
