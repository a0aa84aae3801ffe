#include "runtime/channel_writes.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/error_number.h"
#include "records/area_layout.h"
#include "records/channel_config.h"
#include "records/channel_table.h"
#include "runtime/area_lock.h"
#include "runtime/channel_prefixes.h"
#include "runtime/driver_link.h"
#include "runtime/event_batch.h"
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

// True when `active` changed between s and n, or stayed set while `side` changed.
bool StateChanged(uint32_t n, uint32_t s, uint32_t active, uint32_t side) {
  if ((n ^ s) & active) return true;
  return (n & s & active) != 0 && ((n ^ s) & side) != 0;
}

uint32_t WithBit(uint32_t word, uint32_t bit, bool on) { return on ? word | bit : word & ~bit; }

// Counts an event start or end when the event state of n differs from that of s.
void CountEvents(Writer& w, uint32_t c, uint32_t n, uint32_t s) {
  if (!StateChanged(n, s, kStatusEventActive, kStatusEventSide)) return;
  if (s & kStatusEventActive) w.batch.EventEnd(c);
  if (n & kStatusEventActive) w.batch.EventStart(c);
}

// The new status word of digital channel c, written to state v from status word s.
uint32_t EvaluateDigital(const DigitalChannelConfig& r, uint32_t c, uint32_t s, bool v, Writer& w) {
  using namespace digital_flags;
  const uint32_t f = r.flags;
  const bool enable = (f & kEnable) != 0;
  const float value = v ? 1.0f : 0.0f;
  uint32_t n = WithBit(s & ~kStatusValueChannel, kStatusNoValue, !enable);
  if (enable && (f & kAlarmEnable) && v == ((f & kAlarmState) != 0)) {
    n = WithBit(n | kStatusAlarmActive, kStatusAlarmSide, v);
  } else {
    n &= ~(kStatusAlarmActive | kStatusAlarmFlag);
  }
  if (StateChanged(n, s, kStatusAlarmActive, kStatusAlarmSide)) {
    if (n & kStatusAlarmActive) {
      n = WithBit(n, kStatusAlarmFlag, r.AlarmDelay == 0);
      w.batch.AlarmRaised(c, n, (f & kAlarmDriveCommon) != 0, r.AlarmPriority, r.AlarmDelay,
                          w.computer, w.user, value);
      if (r.AlarmDelay == 0) n |= kStatusAlarmImmediate;
    } else {
      w.batch.AlarmEnded(c, s, w.computer, w.user, value);
    }
  }
  if (enable && (f & kEventEnable) && v == ((f & kEventState) != 0)) {
    n = WithBit(n | kStatusEventActive, kStatusEventSide, v);
  } else {
    n &= ~kStatusEventActive;
  }
  CountEvents(w, c, n, s);
  return WithBit(n, kStatusState, v);
}

// Significant change and warning bits of value channel c for value x (old value `old`).
uint32_t EvaluateWarning(const AnalogueChannelConfig& r, uint32_t c, uint32_t s, uint32_t n,
                         float old, float x, Writer& w) {
  using namespace analogue_flags;
  const uint32_t f = r.flags;
  const bool enable = (f & kEnable) != 0;
  const bool sig = enable && !(s & kStatusNoValue) && (f & kSigChangeEnable) &&
                   std::fabs(old - x) >= std::fabs(r.SigChangeValue);
  n = WithBit(n, kStatusSigChange, sig);
  if (sig) w.batch.ValueChange(c);

  constexpr uint32_t kHighWarning = kStatusWarningActive | kStatusWarningSide;
  const bool high_on = (f & kHighAlarmEnable) && (f & kHighWarningEnable);
  const bool low_on = (f & kLowAlarmEnable) && (f & kLowWarningEnable);
  if (enable && (f & (kHighWarningEnable | kLowWarningEnable))) {
    const bool high =
        high_on && (x >= r.HighWarningLimit ||
                    ((f & kHighAlarmDeadbandEnable) && (s & kHighWarning) == kHighWarning &&
                     x >= r.HighWarningLimit - (r.HighAlarmLimit - r.HighAlarmDeadband)));
    const bool low =
        low_on && (x <= r.LowWarningLimit ||
                   ((f & kLowAlarmDeadbandEnable) && (s & kHighWarning) == kStatusWarningActive &&
                    x <= r.LowWarningLimit + (r.LowAlarmDeadband - r.LowAlarmLimit)));
    if (high) {
      n |= kHighWarning;
    } else if (low) {
      n = (n | kStatusWarningActive) & ~kStatusWarningSide;
    } else {
      n &= ~kStatusWarningActive;
    }
  } else {
    n &= ~kStatusWarningActive;
  }
  if (StateChanged(n, s, kStatusWarningActive, kStatusWarningSide)) {
    if (n & kStatusWarningActive) {
      const uint8_t priority = (n & kStatusWarningSide) ? r.HighAlarmPriority : r.LowAlarmPriority;
      w.batch.WarningRaised(c, n, priority, w.computer, w.user, x);
    } else {
      w.batch.WarningEnded(c, s, w.computer, w.user, x);
    }
  }
  return n;
}

// Alarm bits of value channel c for value x.
uint32_t EvaluateAlarm(const AnalogueChannelConfig& r, uint32_t c, uint32_t s, uint32_t n, float x,
                       Writer& w) {
  using namespace analogue_flags;
  const uint32_t f = r.flags;
  const bool was_high = (s & kStatusAlarmActive) && (s & kStatusAlarmSide);
  const bool was_low = (s & kStatusAlarmActive) && !(s & kStatusAlarmSide);
  bool high_reached = false, low_reached = false;
  if ((f & kEnable) && (f & (kHighAlarmEnable | kLowAlarmEnable))) {
    high_reached = (f & kHighAlarmEnable) && x >= r.HighAlarmLimit;
    low_reached = (f & kLowAlarmEnable) && x <= r.LowAlarmLimit;
    const bool high = high_reached || ((f & kHighAlarmEnable) && (f & kHighAlarmDeadbandEnable) &&
                                       was_high && x >= r.HighAlarmDeadband);
    const bool low =
        !high && (low_reached || ((f & kLowAlarmEnable) && (f & kLowAlarmDeadbandEnable) &&
                                  was_low && x <= r.LowAlarmDeadband));
    if (high) {
      n |= kStatusAlarmActive | kStatusAlarmSide;
    } else if (low) {
      n = (n | kStatusAlarmActive) & ~kStatusAlarmSide;
    } else {
      n &= ~(kStatusAlarmActive | kStatusAlarmFlag);
    }
  } else {
    n &= ~(kStatusAlarmActive | kStatusAlarmImmediate | kStatusAlarmFlag);
  }
  if ((s & kStatusAlarmActive) && !(n & kStatusAlarmActive)) {
    w.batch.AlarmEnded(c, s, w.computer, w.user, x);
  } else if (StateChanged(n, s, kStatusAlarmActive, kStatusAlarmSide)) {
    const bool high_side = (n & kStatusAlarmSide) != 0;
    uint16_t delay = 0;
    if (high_side && high_reached) delay = r.HighAlarmDelay;
    if (!high_side && low_reached) delay = r.LowAlarmDelay;
    n = WithBit(n, kStatusAlarmFlag, delay == 0);
    const bool drive_common = (f & (high_side ? kHighAlarmDriveCommon : kLowAlarmDriveCommon)) != 0;
    const uint8_t priority = high_side ? r.HighAlarmPriority : r.LowAlarmPriority;
    w.batch.AlarmRaised(c, n, drive_common, priority, delay, w.computer, w.user, x);
    if (delay == 0) n |= kStatusAlarmImmediate;
  }
  return n;
}

// The new status word of value channel c, written to value x from status word s.
uint32_t EvaluateAnalogue(const AnalogueChannelConfig& r, uint32_t c, uint32_t s, float old,
                          float x, Writer& w) {
  using namespace analogue_flags;
  const uint32_t f = r.flags;
  const bool enable = (f & kEnable) != 0;
  uint32_t n = WithBit(s | kStatusValueChannel, kStatusNoValue, !enable);
  n = EvaluateWarning(r, c, s, n, old, x, w);
  n = EvaluateAlarm(r, c, s, n, x, w);
  if (enable && (f & kEventEnable)) {
    if (x >= r.HighEventLimit) {
      n |= kStatusEventActive | kStatusEventSide;
    } else if (x > r.LowEventLimit) {
      n &= ~kStatusEventActive;
    } else {
      n = (n | kStatusEventActive) & ~kStatusEventSide;
    }
  } else {
    n &= ~kStatusEventActive;
  }
  CountEvents(w, c, n, s);
  return n;
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
