#include "configui/channel_view.h"

#include <cstring>

#include "records/channel_config.h"
#include "records/fixed_text.h"

static_assert(sizeof(ParvexChannelRecord) == kestrum::kChannelConfigSize);

namespace parvex {
namespace {

namespace af = kestrum::analogue_flags;
namespace df = kestrum::digital_flags;

bool On(uint32_t flags, uint32_t mask) { return (flags & mask) != 0; }

// A fixed text field as a string: up to its NUL or its full width.
template <size_t N>
std::string Text(const char (&field)[N]) {
  return std::string(kestrum::FixedText(field));
}

void ViewAnalogue(const kestrum::ChannelConfigRecord& record, ChannelView& v) {
  const kestrum::AnalogueChannelConfig& a = record.analogue;
  uint32_t flags = a.flags;
  v.units = kestrum::GetChannelUnits(record);
  v.event_enable = On(flags, af::kEventEnable);
  v.high_event_limit = a.HighEventLimit;
  v.low_event_limit = a.LowEventLimit;
  v.sig_change_enable = On(flags, af::kSigChangeEnable);
  v.sig_change_value = a.SigChangeValue;
  v.low = AlarmView{On(flags, af::kLowAlarmEnable),
                    On(flags, af::kLowAlarmDriveCommon),
                    a.LowAlarmLimit,
                    On(flags, af::kLowWarningEnable),
                    a.LowWarningLimit,
                    On(flags, af::kLowAlarmDeadbandEnable),
                    a.LowAlarmDeadband,
                    a.LowAlarmPriority,
                    a.LowAlarmDelay,
                    Text(a.LowAlarmText)};
  v.high = AlarmView{On(flags, af::kHighAlarmEnable),
                     On(flags, af::kHighAlarmDriveCommon),
                     a.HighAlarmLimit,
                     On(flags, af::kHighWarningEnable),
                     a.HighWarningLimit,
                     On(flags, af::kHighAlarmDeadbandEnable),
                     a.HighAlarmDeadband,
                     a.HighAlarmPriority,
                     a.HighAlarmDelay,
                     Text(a.HighAlarmText)};
}

void ViewDigital(const kestrum::ChannelConfigRecord& record, ChannelView& v) {
  const kestrum::DigitalChannelConfig& d = record.digital;
  uint32_t flags = d.flags;
  v.high_state_text = Text(d.HighStateText);
  v.low_state_text = Text(d.LowStateText);
  v.alarm_priority = d.AlarmPriority;
  v.alarm_text = Text(d.AlarmText);
  v.alarm_delay = d.AlarmDelay;
  v.alarm_drive_common = On(flags, df::kAlarmDriveCommon);
  v.event_enable = On(flags, df::kEventEnable);
  v.alarm_enable = On(flags, df::kAlarmEnable);
  v.event_state = On(flags, df::kEventState);
  v.alarm_state = On(flags, df::kAlarmState);
}

}  // namespace

ChannelView ViewChannel(const ParvexChannelRecord& bytes) {
  kestrum::ChannelConfigRecord record;
  std::memcpy(record.bytes, bytes.Bytes, sizeof record.bytes);
  ChannelView v;
  v.enable = kestrum::ChannelEnabled(record);
  v.digital = kestrum::IsDigitalRecord(record);
  v.tag = kestrum::GetChannelTag(record);
  v.description = kestrum::GetChannelDescription(record);
  if (v.digital) {
    ViewDigital(record, v);
  } else {
    ViewAnalogue(record, v);
  }
  return v;
}

}  // namespace parvex
