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

// Sets the alarm bit and gives W the alarm flag that the published word had.
inline uint32_t RaiseAlarm(uint32_t w, uint32_t p) {
  return ((w | kAlarm) & ~kAlarmFlag) | (p & kAlarmFlag);
}

inline void Push(const EvaluationContext& c, NotificationKind kind, uint32_t index,
                 uint32_t status) {
  c.out->Push(Notification{kind, false, 0, false, 0, index, status, 0.0f});
}

inline void SetOutputChanged(const EvaluationContext& c, uint8_t type) {
  if (c.output_changed && type < kestrum::kChannelTypeCount) c.output_changed[type] = 1;
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

// Steps shared by both channel types once W is decided: the alarm records (with the choice
// made lazily, only when an alarm is raised) and the event marks.
template <typename ChooseAlarm>
uint32_t NotifyAlarmAndEvent(const EvaluationContext& c, uint32_t index, uint32_t w, uint32_t p,
                             RecordValue value, bool event_enabled, ChooseAlarm choose) {
  const uint32_t diff = w ^ p;
  if ((diff & kAlarm) || ((w & p & kAlarm) && (diff & (kAlarmSide | kNoValue)))) {
    if (p & kAlarm) {
      c.out->Push({NotificationKind::kAlarmEnded, false, 0, true, 0, index, p, value.value});
    }
    if (w & kAlarm) {
      const AlarmChoice a = choose(w);
      w = a.delay == 0 ? (w | kAlarmFlag) : (w & ~kAlarmFlag);
      c.out->Push({NotificationKind::kAlarmRaised, a.drive_common, a.priority, value.valid, a.delay,
                   index, w, value.valid ? value.value : 0.0f});
      if (a.delay == 0) w |= kImmediate;
      c.state->priority = a.priority;
      c.state->drive_common = a.drive_common;
      c.state->delay = a.delay;
    }
  }
  if (c.first_scan || event_enabled) {
    const uint32_t ediff = w ^ p;
    if ((ediff & kEvent) || ((w & p & kEvent) && (ediff & kEventSide))) {
      if (p & kEvent) Push(c, NotificationKind::kEventEnded, index, p);
      if (w & kEvent) Push(c, NotificationKind::kEventStarted, index, w);
    }
  }
  return w;
}

// Derives V from the channel's reading (validity, scaling, reference). Returns W.
// `kPlain`: see EvaluateOne.
template <bool kPlain>
inline uint32_t ProcessReading(const EvaluationContext& c, const AnalogueChannelConfig& a,
                               uint32_t index, uint32_t w, float* v) {
  const KindArrays& k = c.arrays;
  float x = kPlain || k.readings ? k.readings[index] : kNaN;
  if (std::isfinite(x)) {
    if ((a.flags & af::kScalingEnable) && a.Type != kestrum::kTypeAO) x = x * a.Gain + a.Offset;
    if (a.Type == kestrum::kTypeAI && (a.flags & af::kReferenceEnable)) {
      x -= index < k.reference_count ? k.reference[index] : 0.0f;
    }
  }
  if (!std::isfinite(x)) w |= kNoValue;
  *v = x;
  if (kPlain || k.working_values) k.working_values[index] = x;
  return w;
}

// Significant change: compares V with the last significant value L.
template <bool kPlain>
inline uint32_t SignificantChange(const EvaluationContext& c, const AnalogueChannelConfig& a,
                                  uint32_t index, uint32_t w, float v) {
  uint32_t* last = c.arrays.last_significant;
  const uint32_t l_bits = kPlain || last ? last[index] : kestrum::kNoValueBits;
  const bool remembered = l_bits != kestrum::kNoValueBits;
  if ((a.flags & af::kSigChangeEnable) && !(w & kNoValue) && remembered) {
    if (std::fabs(std::bit_cast<float>(l_bits) - v) >= std::fabs(a.SigChangeValue)) {
      w |= kSig;
      Push(c, NotificationKind::kSignificantChange, index, w);
      if (kPlain || last) last[index] = std::bit_cast<uint32_t>(v);
    } else {
      w &= ~kSig;
    }
    return w;
  }
  w &= ~kSig;
  if (!(w & kNoValue) && !remembered && (kPlain || last)) last[index] = std::bit_cast<uint32_t>(v);
  return w;
}

// Warning bits of a value channel from `value`; sends the warning records of a change, and of
// every warning on in the first scan.
inline uint32_t Warning(const EvaluationContext& c, const AnalogueChannelConfig& channel,
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
  if (c.first_scan ||
      ((high_enabled || low_enabled) &&
       ((changed & kWarn) || ((working & published & kWarn) && (changed & kWarnSide))))) {
    if (published & kWarn) {
      c.out->Push({NotificationKind::kWarningEnded, false, 0, true, 0, index, published, value});
    }
    if (working & kWarn) {
      const uint8_t priority =
          (working & kWarnSide) ? channel.HighAlarmPriority : channel.LowAlarmPriority;
      const bool valid = !(working & kNoValue);
      c.out->Push({NotificationKind::kWarningRaised, false, priority, valid, 0, index, working,
                   valid ? value : 0.0f});
    }
  }
  return working;
}

// Alarm bits of a value channel from `value`, or its error alarm when it has none; records the
// direction of the last limit comparison.
inline uint32_t Alarm(const EvaluationContext& c, const AnalogueChannelConfig& channel,
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
    c.state->direction = value > limit ? 1 : (value == limit ? 0 : -1);
    if (kestrum::HighAlarmOn(channel, value, was_on && was_high)) {
      return RaiseAlarm(working, published) | kAlarmSide;
    }
  }
  if (flags & af::kLowAlarmEnable) {
    const float limit = channel.LowAlarmLimit;
    c.state->direction = value < limit ? -1 : (value == limit ? 0 : 1);
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
[[gnu::noinline]] uint32_t EvaluateValueStates(const EvaluationContext& c,
                                               const AnalogueChannelConfig& a, uint32_t index,
                                               uint32_t w, uint32_t p, float v) {
  if (!(w & kNoValue)) SetOutputChanged(c, a.Type);
  w = Warning(c, a, index, w, p, v);
  w = Alarm(c, a, w, p, v);
  w = Event(a, w, v);
  auto choose = [&a](uint32_t word) {
    if (word & kNoValue) {
      return AlarmChoice{a.ErrorAlarmPriority, (a.flags & af::kErrorAlarmDriveCommon) != 0,
                         a.ErrorAlarmDelay};
    }
    if (word & kAlarmSide) {
      return AlarmChoice{a.HighAlarmPriority, (a.flags & af::kHighAlarmDriveCommon) != 0,
                         a.HighAlarmDelay};
    }
    return AlarmChoice{a.LowAlarmPriority, (a.flags & af::kLowAlarmDriveCommon) != 0,
                       a.LowAlarmDelay};
  };
  return NotifyAlarmAndEvent(c, index, w, p, RecordValue{v, !(w & kNoValue)},
                             (a.flags & af::kEventEnable) != 0, choose);
}

// A value channel: its value from the reading, significant change, and the states only when
// the value or its validity changed since the last publication.
template <bool kPlain>
[[gnu::always_inline]] inline uint32_t EvaluateValue(const EvaluationContext& c,
                                                     const AnalogueChannelConfig& a, uint32_t index,
                                                     uint32_t w, uint32_t p) {
  const KindArrays& k = c.arrays;
  float v = kPlain || k.working_values ? k.working_values[index] : kNaN;
  if (!(w & kNoValue)) w = ProcessReading<kPlain>(c, a, index, w, &v);
  w = SignificantChange<kPlain>(c, a, index, w, v);
  if (kPlain || !c.first_scan) {
    if (p & w & kNoValue) return w;
    if (!((p | w) & kNoValue) && (kPlain || k.published_values) && v == k.published_values[index]) {
      return w;
    }
  }
  return EvaluateValueStates(c, a, index, w, p, v);
}

// A digital channel: its alarm (or error alarm) and event from its state, only when the state
// or its validity changed since the last publication (or in the first scan). The alarm and event
// sides are the state itself.
uint32_t EvaluateDigital(const EvaluationContext& c, const DigitalChannelConfig& channel,
                         uint32_t index, uint32_t working, uint32_t published) {
  if (!c.first_scan && !((published | working) & kNoValue) && !((published ^ working) & kSig)) {
    return published;
  }
  if (published & working & kNoValue) return published;
  if (!(working & kNoValue)) SetOutputChanged(c, channel.Type);
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
  auto choose = [&channel](uint32_t word) {
    if (word & kNoValue) {
      return AlarmChoice{channel.ErrorAlarmPriority,
                         (channel.flags & df::kErrorAlarmDriveCommon) != 0,
                         channel.ErrorAlarmDelay};
    }
    return AlarmChoice{channel.AlarmPriority, (channel.flags & df::kAlarmDriveCommon) != 0,
                       channel.AlarmDelay};
  };
  return NotifyAlarmAndEvent(c, index, working, published, RecordValue{state ? 1.0f : 0.0f, valid},
                             (flags & df::kEventEnable) != 0, choose);
}

// One channel's evaluation, forced inline so that the channel loop keeps the context in
// registers and pays no call per channel. `kPlain` is the common case the loop is compiled
// for separately: an input kind after its first scan with every value array present, so the
// checks for the other cases drop out of the loop.
template <bool kPlain>
[[gnu::always_inline]] inline void EvaluateOne(const EvaluationContext& c,
                                               const ChannelConfigRecord& config, uint32_t index) {
  const KindArrays& k = c.arrays;
  uint32_t w = k.working_status[index];
  uint32_t p = k.published_status[index];
  // Bits other processes may change travel from the channel table into the private copy.
  if (!kPlain && k.output_kind) {
    p = (p & ~kExternal) | (w & kExternal);
    k.published_status[index] = p;
  } else {
    w = (w & ~kExternal) | (p & kExternal);
  }
  const uint8_t type = config.analogue.Type;
  if (!(config.analogue.flags & af::kEnable)) {
    w |= kNoValue;
    if (kPlain || !c.first_scan) {
      k.working_status[index] = w;
      return;
    }
  }
  if (kestrum::IsDigitalType(type)) {
    w = EvaluateDigital(c, config.digital, index, w & ~kValueChannel, p);
  } else {
    w = EvaluateValue<kPlain>(c, config.analogue, index, w | kValueChannel, p);
  }
  k.working_status[index] = w;
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
  const KindArrays& k = local.arrays;
  if (!local.first_scan && !k.output_kind && k.readings && k.working_values && k.published_values &&
      k.last_significant) {
    for (uint32_t i = 0; i < count; ++i) EvaluateOne<true>(local, configs[i], i);
  } else {
    for (uint32_t i = 0; i < count; ++i) EvaluateOne<false>(local, configs[i], i);
  }
}

}  // namespace parvex
