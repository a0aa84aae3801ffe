#include "records/alarm_record.h"

#include <cstring>

#include "records/channel_table.h"
#include "records/fixed_text.h"

namespace kestrum {
namespace {

bool IsRaised(AlarmRecordKind kind) {
  return kind == AlarmRecordKind::kAlarmRaised || kind == AlarmRecordKind::kWarningRaised;
}

bool IsWarning(AlarmRecordKind kind) {
  return kind == AlarmRecordKind::kWarningRaised || kind == AlarmRecordKind::kWarningEnded;
}

uint32_t RecordFlags(const AlarmRecordContent& c) {
  uint32_t flags = 0;
  if (!IsRaised(c.kind)) flags |= kAlarmFlagEnded;
  if (IsWarning(c.kind)) flags |= kAlarmFlagWarning;
  if (c.status & kStatusValueChannel) flags |= kAlarmFlagValueChannel;
  uint32_t side_bit = IsWarning(c.kind) ? kStatusWarningSide : kStatusAlarmSide;
  if (c.status & side_bit) flags |= kAlarmFlagSide;
  if (c.kind == AlarmRecordKind::kAlarmRaised && c.drive_common) flags |= kAlarmFlagDriveCommon;
  if (IsRaised(c.kind)) flags |= uint32_t{c.priority} << kAlarmFlagPriorityShift;
  return flags;
}

}  // namespace

void BuildAlarmRecord(const AlarmRecordContent& content, AlarmRecord* out) {
  std::memset(out, 0, sizeof *out);
  std::memcpy(out->prefix, content.prefix, sizeof out->prefix);
  uint16_t number = static_cast<uint16_t>((content.channel_index + 1) & 0x7FFF);
  if (content.status & kStatusNoValue) number |= kAlarmChannelNoValue;
  out->channel = number;
  if (content.kind == AlarmRecordKind::kAlarmRaised) out->delay = content.delay;
  out->flags = RecordFlags(content);
  if (content.has_value) {
    std::memcpy(&out->value_bits, &content.value, sizeof out->value_bits);
  } else {
    out->value_bits = kNoValueBits;
  }
  SetFixedText(out->computer_name, sizeof out->computer_name,
               content.computer_name.substr(0, kAlarmComputerNameLength), true);
  SetFixedText(out->user_name, sizeof out->user_name,
               content.user_name.substr(0, kAlarmUserNameLength), true);
}

}  // namespace kestrum
