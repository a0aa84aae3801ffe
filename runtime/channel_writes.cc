#include "runtime/channel_writes.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/error_number.h"
#include "records/area_layout.h"
#include "records/channel_config.h"
#include "records/channel_table.h"
#include "records/limit_rules.h"
#include "runtime/area_lock.h"
#include "runtime/channel_prefixes.h"
#include "runtime/driver_link.h"
#include "runtime/event_batch.h"
#include "runtime/post_delivery.h"
#include "runtime/process_names.h"
#include "runtime/shared_area.h"

namespace kestrum {
namespace {

// Everything a write needs about its table, found and checked before anything changes.
struct WriteTarget {
  void* table = nullptr;
  ChannelTableView view;
  ChannelConfigRecord* records = nullptr;
  int mode = -1;
  long owner = 0;
  int value_kind = 0;
};

// Who writes, and the batch that carries the records and counts of a mode-1 write.
struct Writer {
  EventBatch& batch;
  std::string_view computer;
  std::string_view user;
};

int FailNotFound() {
  SetErrorNumber(0);
  return -1;
}

// The configuration records of `prefix`, when its configuration area holds `count` of them.
ChannelConfigRecord* ConfigRecords(std::string_view prefix, uint32_t count) {
  void* area = GetChannelConfigArea(prefix);
  AreaHeader header;
  if (!area || ReadAreaHeader(area, &header) != 0) return nullptr;
  if (uint64_t{count} * kChannelConfigSize > header.data_size) return nullptr;
  return reinterpret_cast<ChannelConfigRecord*>(static_cast<uint8_t*>(area) + kAreaHeaderSize);
}

int FindTarget(std::string_view prefix, uint32_t first, uint32_t last, size_t value_count,
               bool analogue, WriteTarget* t) {
  t->table = GetChannelTable(prefix);
  if (!t->table) return -1;
  t->mode = GetPrefixWriteMode(prefix);
  if (t->mode < 0) return -1;
  t->owner = GetPrefixOwner(prefix);
  if (analogue) {
    t->value_kind = GetPrefixValueKind(prefix);
    if (t->value_kind < 0) return -1;
  }
  if (GetChannelTableView(prefix, &t->view) != 0) return -1;
  const uint32_t n = t->view.count;
  if (first == 0 || first > n || last == 0 || last > n || first > last) return FailWith(EINVAL);
  if (value_count < last - first + 1) return FailWith(EINVAL);
  if (analogue && t->view.values == nullptr) return FailNotFound();
  t->records = ConfigRecords(prefix, n);
  if (!t->records) return FailNotFound();
  return 0;
}

// True when `active` changed between `before` and `after`, or stayed set while `side` changed.
bool StateChanged(uint32_t after, uint32_t before, uint32_t active, uint32_t side) {
  if ((after ^ before) & active) return true;
  return (after & before & active) != 0 && ((after ^ before) & side) != 0;
}

uint32_t WithBit(uint32_t word, uint32_t bit, bool on) { return on ? word | bit : word & ~bit; }

// Counts an event start or end of channel `index` when the event state of `after` differs from
// that of `before`.
void CountEvents(Writer& writer, uint32_t index, uint32_t after, uint32_t before) {
  if (!StateChanged(after, before, kStatusEventActive, kStatusEventSide)) return;
  if (before & kStatusEventActive) writer.batch.EventEnd(index);
  if (after & kStatusEventActive) writer.batch.EventStart(index);
}

// These rules follow the scan's channel evaluation, with differences on purpose: a written value
// always exists, so a write raises no error alarm, and a channel that is disabled loses its
// warning, alarm and event bits at once (the scan keeps a disabled channel's bits); the write
// compares with the table's status word, where the scan compares with the published one.

// The new status word of digital channel `index`, written to `state` from status word `before`.
uint32_t EvaluateDigital(const DigitalChannelConfig& channel, uint32_t index, uint32_t before,
                         bool state, Writer& writer) {
  using namespace digital_flags;
  const uint32_t flags = channel.flags;
  const bool enable = (flags & kEnable) != 0;
  const float value = state ? 1.0f : 0.0f;
  uint32_t after = WithBit(before & ~kStatusValueChannel, kStatusNoValue, !enable);
  if (enable && DigitalAlarmState(flags, state ? 1u : 0u)) {
    after = WithBit(after | kStatusAlarmActive, kStatusAlarmSide, state);
  } else {
    after &= ~(kStatusAlarmActive | kStatusAlarmFlag);
  }
  if (StateChanged(after, before, kStatusAlarmActive, kStatusAlarmSide)) {
    if (after & kStatusAlarmActive) {
      after = WithBit(after, kStatusAlarmFlag, channel.AlarmDelay == 0);
      writer.batch.AlarmRaised(index, after, (flags & kAlarmDriveCommon) != 0,
                               channel.AlarmPriority, channel.AlarmDelay, writer.computer,
                               writer.user, value);
      if (channel.AlarmDelay == 0) after |= kStatusAlarmImmediate;
    } else {
      writer.batch.AlarmEnded(index, before, writer.computer, writer.user, value);
    }
  }
  if (enable && DigitalEventState(flags, state ? 1u : 0u)) {
    after = WithBit(after | kStatusEventActive, kStatusEventSide, state);
  } else {
    after &= ~kStatusEventActive;
  }
  CountEvents(writer, index, after, before);
  return WithBit(after, kStatusState, state);
}

// Significant change and warning bits of value channel `index` for `value` (the table held
// `old_value`): `after` is the status word built so far from `before`.
uint32_t EvaluateWarning(const AnalogueChannelConfig& channel, uint32_t index, uint32_t before,
                         uint32_t after, float old_value, float value, Writer& writer) {
  using namespace analogue_flags;
  const uint32_t flags = channel.flags;
  const bool enable = (flags & kEnable) != 0;
  const bool significant = enable && !(before & kStatusNoValue) && (flags & kSigChangeEnable) &&
                           std::fabs(old_value - value) >= std::fabs(channel.SigChangeValue);
  after = WithBit(after, kStatusSigChange, significant);
  if (significant) writer.batch.ValueChange(index);

  constexpr uint32_t kHighWarning = kStatusWarningActive | kStatusWarningSide;
  if (enable && (flags & (kHighWarningEnable | kLowWarningEnable))) {
    const uint32_t warning_before = before & kHighWarning;
    const bool high =
        HighWarningEnabled(flags) && HighWarningOn(channel, value, warning_before == kHighWarning);
    const bool low = LowWarningEnabled(flags) &&
                     LowWarningOn(channel, value, warning_before == kStatusWarningActive);
    if (high) {
      after |= kHighWarning;
    } else if (low) {
      after = (after | kStatusWarningActive) & ~kStatusWarningSide;
    } else {
      after &= ~kStatusWarningActive;
    }
  } else {
    after &= ~kStatusWarningActive;
  }
  if (StateChanged(after, before, kStatusWarningActive, kStatusWarningSide)) {
    if (after & kStatusWarningActive) {
      const uint8_t priority =
          (after & kStatusWarningSide) ? channel.HighAlarmPriority : channel.LowAlarmPriority;
      writer.batch.WarningRaised(index, after, priority, writer.computer, writer.user, value);
    } else {
      writer.batch.WarningEnded(index, before, writer.computer, writer.user, value);
    }
  }
  return after;
}

// Alarm bits of value channel `index` for `value`: `after` is the status word built so far from
// `before`.
uint32_t EvaluateAlarm(const AnalogueChannelConfig& channel, uint32_t index, uint32_t before,
                       uint32_t after, float value, Writer& writer) {
  using namespace analogue_flags;
  const uint32_t flags = channel.flags;
  const bool was_high = (before & kStatusAlarmActive) && (before & kStatusAlarmSide);
  const bool was_low = (before & kStatusAlarmActive) && !(before & kStatusAlarmSide);
  bool high_reached = false, low_reached = false;
  if ((flags & kEnable) && (flags & (kHighAlarmEnable | kLowAlarmEnable))) {
    high_reached = (flags & kHighAlarmEnable) && value >= channel.HighAlarmLimit;
    low_reached = (flags & kLowAlarmEnable) && value <= channel.LowAlarmLimit;
    const bool high = (flags & kHighAlarmEnable) && HighAlarmOn(channel, value, was_high);
    const bool low = !high && (flags & kLowAlarmEnable) && LowAlarmOn(channel, value, was_low);
    if (high) {
      after |= kStatusAlarmActive | kStatusAlarmSide;
    } else if (low) {
      after = (after | kStatusAlarmActive) & ~kStatusAlarmSide;
    } else {
      after &= ~(kStatusAlarmActive | kStatusAlarmFlag);
    }
  } else {
    after &= ~(kStatusAlarmActive | kStatusAlarmImmediate | kStatusAlarmFlag);
  }
  if ((before & kStatusAlarmActive) && !(after & kStatusAlarmActive)) {
    writer.batch.AlarmEnded(index, before, writer.computer, writer.user, value);
  } else if (StateChanged(after, before, kStatusAlarmActive, kStatusAlarmSide)) {
    const bool high_side = (after & kStatusAlarmSide) != 0;
    uint16_t delay = 0;
    if (high_side && high_reached) delay = channel.HighAlarmDelay;
    if (!high_side && low_reached) delay = channel.LowAlarmDelay;
    after = WithBit(after, kStatusAlarmFlag, delay == 0);
    const bool drive_common =
        (flags & (high_side ? kHighAlarmDriveCommon : kLowAlarmDriveCommon)) != 0;
    const uint8_t priority = high_side ? channel.HighAlarmPriority : channel.LowAlarmPriority;
    writer.batch.AlarmRaised(index, after, drive_common, priority, delay, writer.computer,
                             writer.user, value);
    if (delay == 0) after |= kStatusAlarmImmediate;
  }
  return after;
}

// The new status word of value channel `index`, written to `value` from status word `before`
// (the table held `old_value`).
uint32_t EvaluateAnalogue(const AnalogueChannelConfig& channel, uint32_t index, uint32_t before,
                          float old_value, float value, Writer& writer) {
  using namespace analogue_flags;
  const uint32_t flags = channel.flags;
  const bool enable = (flags & kEnable) != 0;
  uint32_t after = WithBit(before | kStatusValueChannel, kStatusNoValue, !enable);
  after = EvaluateWarning(channel, index, before, after, old_value, value, writer);
  after = EvaluateAlarm(channel, index, before, after, value, writer);
  if (enable && (flags & kEventEnable)) {
    if (value >= channel.HighEventLimit) {
      after |= kStatusEventActive | kStatusEventSide;
    } else if (value > channel.LowEventLimit) {
      after &= ~kStatusEventActive;
    } else {
      after = (after | kStatusEventActive) & ~kStatusEventSide;
    }
  } else {
    after &= ~kStatusEventActive;
  }
  CountEvents(writer, index, after, before);
  return after;
}

// Runs `body` (which processes the channels) between the steps every write shares: lock,
// batch in mode 1, then notification or the owner's message, unlock.
template <typename Body>
int RunWrite(const WriteTarget& t, bool lock, std::string_view computer, std::string_view user,
             Body body) {
  AreaLock table_lock;
  if (lock) {
    table_lock = AreaLock(t.table);
    if (!table_lock.held()) return -1;
  }
  {
    KeepErrorNumber keep;
    PostBudget budget;  // every record and message of the write shares one wait
    EventBatch batch;
    Writer writer{batch, computer, user};
    if (t.mode == 1) {
      MarkAreaUpdating(t.table);
      batch.Begin(t.view.header, true);
    }
    body(writer);
    if (t.mode == 1) {
      batch.End();
      NotifyArea(t.table, 0);
    } else if (t.owner > 0) {
      // An owner that is gone misses the message; the stored change stays for its successor.
      PostToProcess(static_cast<uint32_t>(t.owner), kMessageChannelsChanged);
    }
  }
  return table_lock.Unlock();
}

}  // namespace

int WriteDigitalChannels(bool unconditional, bool lock, std::string_view prefix, uint32_t first,
                         uint32_t last, std::span<const uint32_t> values, std::string_view computer,
                         std::string_view user) {
  WriteTarget t;
  if (FindTarget(prefix, first, last, values.size(), false, &t) != 0) return -1;
  return RunWrite(t, lock, computer, user, [&](Writer& w) {
    for (uint32_t c = first - 1; c < last; ++c) {
      const DigitalChannelConfig& r = t.records[c].digital;
      const uint32_t s = t.view.status[c];
      const bool v = (values[c - (first - 1)] & 1u) != 0;
      if (r.Type != kTypeDO) continue;
      const bool enable = (r.flags & digital_flags::kEnable) != 0;
      if (!unconditional && enable && !(s & kStatusNoValue) && v == ((s & kStatusState) != 0)) {
        continue;
      }
      if (t.mode != 1 || (!unconditional && (s & kStatusNoValue))) {
        t.view.status[c] = WithBit(s, kStatusState, v);
        continue;
      }
      t.view.status[c] = EvaluateDigital(r, c, s, v, w);
    }
  });
}

int WriteDigitalChannels(std::string_view prefix, uint32_t first, uint32_t last,
                         std::span<const uint32_t> values) {
  return WriteDigitalChannels(false, true, prefix, first, last, values, ProcessComputerName(),
                              ProcessUserName());
}

int WriteDigitalChannelsUnconditional(std::string_view prefix, uint32_t first, uint32_t last,
                                      std::span<const uint32_t> values) {
  return WriteDigitalChannels(true, true, prefix, first, last, values, ProcessComputerName(),
                              ProcessUserName());
}

int WriteAnalogueChannels(bool unconditional, bool lock, std::string_view prefix, uint32_t first,
                          uint32_t last, std::span<const float> values, std::string_view computer,
                          std::string_view user) {
  WriteTarget t;
  if (FindTarget(prefix, first, last, values.size(), true, &t) != 0) return -1;
  return RunWrite(t, lock, computer, user, [&](Writer& w) {
    for (uint32_t c = first - 1; c < last; ++c) {
      const AnalogueChannelConfig& r = t.records[c].analogue;
      const uint32_t s = t.view.status[c];
      const float old = t.view.values[c];
      const float x = values[c - (first - 1)];
      if (r.Type != kTypeAO) continue;
      const bool enable = (r.flags & analogue_flags::kEnable) != 0;
      if (!unconditional && enable && !(s & kStatusNoValue) && x == old) continue;
      if (t.mode == 1 && (unconditional || !(s & kStatusNoValue))) {
        t.view.status[c] = EvaluateAnalogue(r, c, s, old, x, w);
      }
      t.view.values[c] = x;
      if (t.value_kind != 0) {
        t.view.extended[c].code = kExtendedCodeWritten;
        t.view.extended[c].value = x;
      }
    }
  });
}

int WriteAnalogueChannels(std::string_view prefix, uint32_t first, uint32_t last,
                          std::span<const float> values) {
  return WriteAnalogueChannels(false, true, prefix, first, last, values, ProcessComputerName(),
                               ProcessUserName());
}

int WriteAnalogueChannelsUnconditional(std::string_view prefix, uint32_t first, uint32_t last,
                                       std::span<const float> values) {
  return WriteAnalogueChannels(true, true, prefix, first, last, values, ProcessComputerName(),
                               ProcessUserName());
}

}  // namespace kestrum
