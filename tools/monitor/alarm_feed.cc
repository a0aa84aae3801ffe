#include "tools/monitor/alarm_feed.h"

#include <cstring>

#include "platform/error_number.h"
#include "platform/mailslot.h"
#include "records/channel_table.h"
#include "records/fixed_text.h"
#include "runtime/service_mailslots.h"

namespace kestrum::monitor {
namespace {

AlarmRecordKind KindOf(uint32_t flags) {
  const bool ended = (flags & kAlarmFlagEnded) != 0;
  if (flags & kAlarmFlagWarning) {
    return ended ? AlarmRecordKind::kWarningEnded : AlarmRecordKind::kWarningRaised;
  }
  return ended ? AlarmRecordKind::kAlarmEnded : AlarmRecordKind::kAlarmRaised;
}

}  // namespace

bool DecodeAlarmRecord(const void* data, std::size_t size, std::time_t received, AlarmEntry* out) {
  if (data == nullptr || size != sizeof(AlarmRecord)) return false;
  AlarmRecord r;
  std::memcpy(&r, data, sizeof(r));
  AlarmEntry e;
  e.received = received;
  e.kind = KindOf(r.flags);
  e.prefix = FixedText(r.prefix);
  e.channel = r.channel & ~kAlarmChannelNoValue;
  e.no_value = (r.channel & kAlarmChannelNoValue) != 0;
  e.value_channel = (r.flags & kAlarmFlagValueChannel) != 0;
  e.high_side = (r.flags & kAlarmFlagSide) != 0;
  e.drive_common = (r.flags & kAlarmFlagDriveCommon) != 0;
  e.priority = static_cast<int>((r.flags & kAlarmFlagPriorityMask) >> kAlarmFlagPriorityShift);
  e.delay = r.delay;
  if (r.value_bits != kNoValueBits) {
    float value;
    std::memcpy(&value, &r.value_bits, sizeof(value));
    e.value = value;
  }
  e.computer = FixedText(r.computer_name);
  e.user = FixedText(r.user_name);
  *out = std::move(e);
  return true;
}

const char* AlarmKindText(AlarmRecordKind kind) {
  switch (kind) {
    case AlarmRecordKind::kAlarmRaised:
      return "ALARM RAISED";
    case AlarmRecordKind::kAlarmEnded:
      return "ALARM ENDED";
    case AlarmRecordKind::kWarningRaised:
      return "WARNING RAISED";
    case AlarmRecordKind::kWarningEnded:
      return "WARNING ENDED";
  }
  return "?";
}

AlarmFeed::AlarmFeed(std::size_t capacity) : capacity_(capacity > 0 ? capacity : 1) {}

AlarmFeed::~AlarmFeed() { CloseMailslot(slot_); }

int AlarmFeed::Bind() {
  if (slot_) return 0;
  slot_ = CreateMailslot(kAlarmServiceMailslot, sizeof(AlarmRecord));
  return slot_ ? 0 : -1;
}

int AlarmFeed::Drain() { return WaitAndDrain(0); }

int AlarmFeed::WaitAndDrain(int milliseconds) {
  if (!slot_) return 0;
  KeepErrorNumber keep;
  int arrived = 0;
  AlarmRecord record;
  for (int wait = milliseconds; ReadMailslotFor(slot_, &record, wait) > 0; wait = 0) {
    AlarmEntry entry;
    if (!DecodeAlarmRecord(&record, sizeof(record), std::time(nullptr), &entry)) continue;
    entries_.push_back(std::move(entry));
    if (entries_.size() > capacity_) entries_.pop_front();
    ++received_;
    ++arrived;
  }
  return arrived;
}

}  // namespace kestrum::monitor
