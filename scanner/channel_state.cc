#include "scanner/channel_state.h"

#include <bit>
#include <cmath>
#include <limits>

#include "records/limit_rules.h"

namespace parvex {
namespace {

using kestrum::AnalogueChannelConfig;
using kestrum::ChannelConfigRecord;
using kestrum::DigitalChannelConfig;
namespace af = kestrum::analogue_flags;
namespace df = kestrum::digital_flags;

constexpr uint32_t kSig = kestrum::kStatusSigChange;
constexpr uint32_t kAlarmFlag = kestrum::kStatusAlarmFlag;
constexpr uint32_t kAlarmSide = kestrum::kStatusAlarmSide;
constexpr uint32_t kEvent = kestrum::kStatusEventActive;
constexpr uint32_t kEventSide = kestrum::kStatusEventSide;
constexpr uint32_t kNoValue = kestrum::kStatusNoValue;
constexpr uint32_t kImmediate = kestrum::kStatusAlarmImmediate;
constexpr uint32_t kValueChannel = kestrum::kStatusValueChannel;
constexpr uint32_t kWarnSide = kestrum::kStatusWarningSide;
constexpr uint32_t kWarn = kestrum::kStatusWarningActive;
constexpr uint32_t kAlarm = kestrum::kStatusAlarmActive;
constexpr uint32_t kExternal = kestrum::kStatusExternalBits;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Sets the alarm bit and gives the working status word the alarm flag that the published
// word had.
inline uint32_t RaiseAlarm(uint32_t working, uint32_t published) {
  return ((working | kAlarm) & ~kAlarmFlag) | (published & kAlarmFlag);
}

inline void Push(const EvaluationContext& context, NotificationKind kind, uint32_t index,
                 uint32_t status) {
  context.out->Push(Notification{kind, false, 0, false, 0, index, status, 0.0f});
}

inline void SetOutputChanged(const EvaluationContext& context, uint8_t type) {
  if (context.output_changed && type < kestrum::kChannelTypeCount) {
    context.output_changed[type] = 1;
  }
}

// The priority, drive-common flag and delay an alarm is raised with.
struct AlarmChoice {
  uint8_t priority;
  bool drive_common;
  uint16_t delay;
};

// The record value of one evaluation: V for value channels, the state for digital ones.
struct RecordValue {
  float value;
  bool valid;  // false when W has no value: raised records then carry none
};

// Steps shared by both channel types once the working status word is decided: the alarm
// records (with the alarm's priority, drive-common flag and delay chosen lazily, only when an
// alarm is raised) and the event marks. Returns the working status word with the alarm flag and
// the immediate bit of a raised alarm.
template <typename ChooseAlarm>
uint32_t NotifyAlarmAndEvent(const EvaluationContext& context, uint32_t index, uint32_t working,
                             uint32_t published, RecordValue record_value, bool event_enabled,
                             ChooseAlarm choose_alarm) {
  const uint32_t alarm_changed = working ^ published;
  if ((alarm_changed & kAlarm) ||
      ((working & published & kAlarm) && (alarm_changed & (kAlarmSide | kNoValue)))) {
    if (published & kAlarm) {
      context.out->Push(
          {NotificationKind::kAlarmEnded, false, 0, true, 0, index, published, record_value.value});
    }
    if (working & kAlarm) {
      const AlarmChoice alarm = choose_alarm(working);
      working = alarm.delay == 0 ? (working | kAlarmFlag) : (working & ~kAlarmFlag);
      context.out->Push({NotificationKind::kAlarmRaised, alarm.drive_common, alarm.priority,
                         record_value.valid, alarm.delay, index, working,
                         record_value.valid ? record_value.value : 0.0f});
      if (alarm.delay == 0) working |= kImmediate;
      context.state->priority = alarm.priority;
      context.state->drive_common = alarm.drive_common;
      context.state->delay = alarm.delay;
    }
  }
  if (context.first_scan || event_enabled) {
    const uint32_t event_changed = working ^ published;
    if ((event_changed & kEvent) ||
        ((working & published & kEvent) && (event_changed & kEventSide))) {
      if (published & kEvent) Push(context, NotificationKind::kEventEnded, index, published);
      if (working & kEvent) Push(context, NotificationKind::kEventStarted, index, working);
    }
  }
  return working;
}

// Derives the working value from the channel's reading (validity, scaling, reference) and
// stores it in *working_value and the kind's working values. Returns the working status word,
// with no value when the result is not finite. `kPlain`: see EvaluateOne.
template <bool kPlain>
inline uint32_t ProcessReading(const EvaluationContext& context,
                               const AnalogueChannelConfig& channel, uint32_t index,
                               uint32_t working, float* working_value) {
  const KindArrays& arrays = context.arrays;
  float value = kPlain || arrays.readings ? arrays.readings[index] : kNaN;
  if (std::isfinite(value)) {
    if ((channel.flags & af::kScalingEnable) && channel.Type != kestrum::kTypeAO) {
      value = value * channel.Gain + channel.Offset;
    }
    if (channel.Type == kestrum::kTypeAI && (channel.flags & af::kReferenceEnable)) {
      const float reference = index < arrays.reference_count ? arrays.reference[index] : 0.0f;
      value -= reference;
    }
  }
  if (!std::isfinite(value)) working |= kNoValue;
  *working_value = value;
  if (kPlain || arrays.working_values) arrays.working_values[index] = value;
  return working;
}

// Significant change: compares the working value with the last significant value, remembers
// the working value as the new last significant value when it changed significantly (or when
// none was remembered) and sends the significant-change mark. Returns the working status word.
template <bool kPlain>
inline uint32_t SignificantChange(const EvaluationContext& context,
                                  const AnalogueChannelConfig& channel, uint32_t index,
                                  uint32_t working, float value) {
  uint32_t* last_significant = context.arrays.last_significant;
  const uint32_t last_bits =
      kPlain || last_significant ? last_significant[index] : kestrum::kNoValueBits;
  const bool remembered = last_bits != kestrum::kNoValueBits;
  if ((channel.flags & af::kSigChangeEnable) && !(working & kNoValue) && remembered) {
    const float change = std::fabs(std::bit_cast<float>(last_bits) - value);
    if (change >= std::fabs(channel.SigChangeValue)) {
      working |= kSig;
      Push(context, NotificationKind::kSignificantChange, index, working);
      if (kPlain || last_significant) last_significant[index] = std::bit_cast<uint32_t>(value);
    } else {
      working &= ~kSig;
    }
    return working;
  }
  working &= ~kSig;
  if (!(working & kNoValue) && !remembered && (kPlain || last_significant)) {
    last_significant[index] = std::bit_cast<uint32_t>(value);
  }
  return working;
}

// Warning bits of a value channel from `value`; sends the warning records of a change, and of
// every warning on in the first scan.
inline uint32_t Warning(const EvaluationContext& context, const AnalogueChannelConfig& channel,
                        uint32_t index, uint32_t working, uint32_t published, float value) {
  const bool high_enabled = kestrum::HighWarningEnabled(channel.flags);
  const bool low_enabled = kestrum::LowWarningEnabled(channel.flags);
  const bool was_on = (published & kWarn) != 0;
  const bool was_high = (published & kWarnSide) != 0;
  bool high = false;
  bool low = false;
  if (!(working & kNoValue)) {
    high = high_enabled && kestrum::HighWarningOn(channel, value, was_on && was_high);
    low = !high && low_enabled && kestrum::LowWarningOn(channel, value, was_on && !was_high);
  }
  if (high) {
    working |= kWarn | kWarnSide;
  } else if (low) {
    working = (working | kWarn) & ~kWarnSide;
  } else {
    working &= ~kWarn;
  }
  const uint32_t changed = working ^ published;
  if (context.first_scan ||
      ((high_enabled || low_enabled) &&
       ((changed & kWarn) || ((working & published & kWarn) && (changed & kWarnSide))))) {
    if (published & kWarn) {
      context.out->Push(
          {NotificationKind::kWarningEnded, false, 0, true, 0, index, published, value});
    }
    if (working & kWarn) {
      const uint8_t priority =
          (working & kWarnSide) ? channel.HighAlarmPriority : channel.LowAlarmPriority;
      const bool valid = !(working & kNoValue);
      context.out->Push({NotificationKind::kWarningRaised, false, priority, valid, 0, index,
                         working, valid ? value : 0.0f});
    }
  }
  return working;
}

// Alarm bits of a value channel from `value`, or its error alarm when it has none; records the
// direction of the last limit comparison.
inline uint32_t Alarm(const EvaluationContext& context, const AnalogueChannelConfig& channel,
                      uint32_t working, uint32_t published, float value) {
  const uint32_t flags = channel.flags;
  if (working & kNoValue) {
    if ((flags & af::kEnable) && (flags & af::kErrorAlarmEnable)) {
      return RaiseAlarm(working, published) & ~kAlarmSide;
    }
    return working & ~(kAlarm | kAlarmFlag);
  }
  const bool was_on = (published & kAlarm) != 0;
  const bool was_high = (published & kAlarmSide) != 0;
  if (flags & af::kHighAlarmEnable) {
    const float limit = channel.HighAlarmLimit;
    context.state->direction = value > limit ? 1 : (value == limit ? 0 : -1);
    if (kestrum::HighAlarmOn(channel, value, was_on && was_high)) {
      return RaiseAlarm(working, published) | kAlarmSide;
    }
  }
  if (flags & af::kLowAlarmEnable) {
    const float limit = channel.LowAlarmLimit;
    context.state->direction = value < limit ? -1 : (value == limit ? 0 : 1);
    if (kestrum::LowAlarmOn(channel, value, was_on && !was_high)) {
      return RaiseAlarm(working, published) & ~kAlarmSide;
    }
  }
  return working & ~(kAlarm | kAlarmFlag);
}

// Event bits of a value channel from `value`.
inline uint32_t Event(const AnalogueChannelConfig& channel, uint32_t working, float value) {
  if (!(channel.flags & af::kEventEnable) || (working & kNoValue)) return working & ~kEvent;
  if (value >= channel.HighEventLimit) return working | kEvent | kEventSide;
  if (value <= channel.LowEventLimit) return (working | kEvent) & ~kEventSide;
  return working & ~kEvent;
}

// Warnings, alarms and events of a value channel whose value or validity changed (or in the
// first scan). Kept out of line so that the loop over unchanged channels stays small.
[[gnu::noinline]] uint32_t EvaluateValueStates(const EvaluationContext& context,
                                               const AnalogueChannelConfig& channel, uint32_t index,
                                               uint32_t working, uint32_t published, float value) {
  if (!(working & kNoValue)) SetOutputChanged(context, channel.Type);
  working = Warning(context, channel, index, working, published, value);
  working = Alarm(context, channel, working, published, value);
  working = Event(channel, working, value);
  auto choose_alarm = [&channel](uint32_t status) {
    if (status & kNoValue) {
      return AlarmChoice{channel.ErrorAlarmPriority,
                         (channel.flags & af::kErrorAlarmDriveCommon) != 0,
                         channel.ErrorAlarmDelay};
    }
    if (status & kAlarmSide) {
      return AlarmChoice{channel.HighAlarmPriority,
                         (channel.flags & af::kHighAlarmDriveCommon) != 0, channel.HighAlarmDelay};
    }
    return AlarmChoice{channel.LowAlarmPriority, (channel.flags & af::kLowAlarmDriveCommon) != 0,
                       channel.LowAlarmDelay};
  };
  return NotifyAlarmAndEvent(context, index, working, published,
                             RecordValue{value, !(working & kNoValue)},
                             (channel.flags & af::kEventEnable) != 0, choose_alarm);
}

// A value channel: its value from the reading, significant change, and the states only when
// the value or its validity changed since the last publication.
template <bool kPlain>
[[gnu::always_inline]] inline uint32_t EvaluateValue(const EvaluationContext& context,
                                                     const AnalogueChannelConfig& channel,
                                                     uint32_t index, uint32_t working,
                                                     uint32_t published) {
  const KindArrays& arrays = context.arrays;
  float value = kPlain || arrays.working_values ? arrays.working_values[index] : kNaN;
  if (!(working & kNoValue)) {
    working = ProcessReading<kPlain>(context, channel, index, working, &value);
  }
  working = SignificantChange<kPlain>(context, channel, index, working, value);
  if (kPlain || !context.first_scan) {
    if (published & working & kNoValue) return working;
    if (!((published | working) & kNoValue) && (kPlain || arrays.published_values) &&
        value == arrays.published_values[index]) {
      return working;
    }
  }
  return EvaluateValueStates(context, channel, index, working, published, value);
}

// A digital channel: its alarm (or error alarm) and event from its state, only when the state
// or its validity changed since the last publication (or in the first scan). The alarm and event
// sides are the state itself.
uint32_t EvaluateDigital(const EvaluationContext& context, const DigitalChannelConfig& channel,
                         uint32_t index, uint32_t working, uint32_t published) {
  if (!context.first_scan && !((published | working) & kNoValue) &&
      !((published ^ working) & kSig)) {
    return published;
  }
  if (published & working & kNoValue) return published;
  if (!(working & kNoValue)) SetOutputChanged(context, channel.Type);
  const uint32_t flags = channel.flags;
  const uint32_t state = working & kSig;
  const bool valid = !(working & kNoValue);
  if (valid && kestrum::DigitalAlarmState(flags, state)) {
    working = (RaiseAlarm(working, published) & ~kAlarmSide) | (state * kAlarmSide);
  } else if (!valid && (flags & df::kEnable) && (flags & df::kErrorAlarmEnable)) {
    working = RaiseAlarm(working, published) & ~kAlarmSide;
  } else {
    working &= ~(kAlarm | kAlarmFlag);
  }
  if (valid && kestrum::DigitalEventState(flags, state)) {
    working = ((working | kEvent) & ~kEventSide) | (state * kEventSide);
  } else {
    working &= ~kEvent;
  }
  auto choose_alarm = [&channel](uint32_t status) {
    if (status & kNoValue) {
      return AlarmChoice{channel.ErrorAlarmPriority,
                         (channel.flags & df::kErrorAlarmDriveCommon) != 0,
                         channel.ErrorAlarmDelay};
    }
    return AlarmChoice{channel.AlarmPriority, (channel.flags & df::kAlarmDriveCommon) != 0,
                       channel.AlarmDelay};
  };
  return NotifyAlarmAndEvent(context, index, working, published,
                             RecordValue{state ? 1.0f : 0.0f, valid},
                             (flags & df::kEventEnable) != 0, choose_alarm);
}

// One channel's evaluation, forced inline so that the channel loop keeps the context in
// registers and pays no call per channel. `kPlain` is the common case the loop is compiled
// for separately: an input kind after its first scan with every value array present, so the
// checks for the other cases drop out of the loop.
template <bool kPlain>
[[gnu::always_inline]] inline void EvaluateOne(const EvaluationContext& context,
                                               const ChannelConfigRecord& config, uint32_t index) {
  const KindArrays& arrays = context.arrays;
  uint32_t working = arrays.working_status[index];
  uint32_t published = arrays.published_status[index];
  // Bits other processes may change travel from the channel table into the private copy.
  if (!kPlain && arrays.output_kind) {
    published = (published & ~kExternal) | (working & kExternal);
    arrays.published_status[index] = published;
  } else {
    working = (working & ~kExternal) | (published & kExternal);
  }
  const uint8_t type = config.analogue.Type;
  if (!(config.analogue.flags & af::kEnable)) {
    working |= kNoValue;
    if (kPlain || !context.first_scan) {
      arrays.working_status[index] = working;
      return;
    }
  }
  if (kestrum::IsDigitalType(type)) {
    working = EvaluateDigital(context, config.digital, index, working & ~kValueChannel, published);
  } else {
    working =
        EvaluateValue<kPlain>(context, config.analogue, index, working | kValueChannel, published);
  }
  arrays.working_status[index] = working;
}

}  // namespace

void EvaluateChannel(const EvaluationContext& context, const ChannelConfigRecord& config,
                     uint32_t index) {
  EvaluateOne<false>(context, config, index);
}

void EvaluateChannels(const EvaluationContext& context, const kestrum::ChannelConfigRecord* configs,
                      uint32_t count) {
  // A local copy cannot alias the arrays written in the loop, so it stays in registers.
  const EvaluationContext local = context;
  const KindArrays& arrays = local.arrays;
  if (!local.first_scan && !arrays.output_kind && arrays.readings && arrays.working_values &&
      arrays.published_values && arrays.last_significant) {
    for (uint32_t i = 0; i < count; ++i) EvaluateOne<true>(local, configs[i], i);
  } else {
    for (uint32_t i = 0; i < count; ++i) EvaluateOne<false>(local, configs[i], i);
  }
}

}  // namespace parvex
