// The 296-byte alarm record sent to the alarm service for every raised or ended alarm or
// warning, and the bit rows of a channel table's event area.
#ifndef PARVEX_RECORDS_ALARM_RECORD_H_
#define PARVEX_RECORDS_ALARM_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrum {

/// Bit 15 of AlarmRecord::channel: the status word had kStatusNoValue.
inline constexpr uint16_t kAlarmChannelNoValue = 0x8000;

/// Record flags (AlarmRecord::flags).
inline constexpr uint32_t kAlarmFlagEnded = 0x1;         ///< ended record (clear: raised)
inline constexpr uint32_t kAlarmFlagWarning = 0x4;       ///< warning record (clear: alarm)
inline constexpr uint32_t kAlarmFlagValueChannel = 0x8;  ///< copy of status 0x80
inline constexpr uint32_t kAlarmFlagSide = 0x10;         ///< status 0x4 (alarm) / 0x200 (warning)
inline constexpr uint32_t kAlarmFlagDriveCommon = 0x20;  ///< alarm raised only
inline constexpr uint32_t kAlarmFlagPriorityShift = 7;   ///< bits 7-14, raised records only
inline constexpr uint32_t kAlarmFlagPriorityMask = 0xFFu << kAlarmFlagPriorityShift;

/// Longest computer name and user name a record carries.
inline constexpr size_t kAlarmComputerNameLength = 15;
inline constexpr size_t kAlarmUserNameLength = 32;

/// One alarm record (296 bytes, little-endian; every byte not listed is 0).
struct AlarmRecord {
  char prefix[2];    ///< the table's channel prefix, no terminator
  uint16_t channel;  ///< 1-based channel number | kAlarmChannelNoValue
  uint16_t delay;    ///< alarm delay in alarm raised records, else 0
  uint8_t zero_6[2];
  uint32_t flags;          ///< kAlarmFlag* bits
  uint32_t value_bits;     ///< f32 value; kNoValueBits when the sender gives none
  char computer_name[16];  ///< NUL-terminated
  char user_name[260];     ///< NUL-terminated, at most 32 characters
  uint32_t zero_292;
};

static_assert(sizeof(AlarmRecord) == 296);
static_assert(offsetof(AlarmRecord, prefix) == 0);
static_assert(offsetof(AlarmRecord, channel) == 2);
static_assert(offsetof(AlarmRecord, delay) == 4);
static_assert(offsetof(AlarmRecord, zero_6) == 6);
static_assert(offsetof(AlarmRecord, flags) == 8);
static_assert(offsetof(AlarmRecord, value_bits) == 12);
static_assert(offsetof(AlarmRecord, computer_name) == 16);
static_assert(offsetof(AlarmRecord, user_name) == 32);
static_assert(offsetof(AlarmRecord, zero_292) == 292);

/// The four kinds of alarm record.
enum class AlarmRecordKind { kAlarmRaised, kAlarmEnded, kWarningRaised, kWarningEnded };

/// What an alarm record says, before it is laid out.
struct AlarmRecordContent {
  AlarmRecordKind kind;
  char prefix[2];             ///< the table's prefix
  uint32_t channel_index;     ///< 0-based channel index
  uint32_t status;            ///< raised: the new status word; ended: the previous one
  bool drive_common = false;  ///< alarm raised only
  uint8_t priority = 0;       ///< raised records only
  uint16_t delay = 0;         ///< alarm raised only
  bool has_value = false;     ///< false: the value field gets kNoValueBits
  float value = 0.0f;
  std::string_view computer_name;  ///< cut to 15 characters
  std::string_view user_name;      ///< cut to 32 characters
};

/// Lays out an alarm record: zeroes *out and fills every field from `content`, taking the
/// side and value-channel bits from content.status as the record kind requires. Fields that
/// the kind does not carry (delay, priority, drive-common) stay 0.
void BuildAlarmRecord(const AlarmRecordContent& content, AlarmRecord* out);

// --- Event area rows -----------------------------------------------------------------------

/// Row length of an event area for a table of `channel_count` channels: the count divided by
/// 8, rounded down (the creator of the event areas uses the same rule).
constexpr uint32_t EventRowLength(uint32_t channel_count) { return channel_count / 8; }

/// Row of the derived-value service; logger L (0-based) has row 1 + L.
inline constexpr uint32_t kDerivedEventRow = 0;
constexpr uint32_t LoggerEventRow(uint32_t logger_index) { return 1 + logger_index; }

/// Byte of a row that holds channel c's bit, and the bit's mask (most significant bit first).
constexpr uint32_t EventBitByte(uint32_t channel) { return channel / 8; }
constexpr uint8_t EventBitMask(uint32_t channel) {
  return static_cast<uint8_t>(0x80u >> (channel % 8));
}

/// Returns true when channel c has a bit in rows of `row_length` bytes. With the rounded-down
/// row length the last count mod 8 channels of a table have none; reading their bit would
/// read the next row.
constexpr bool EventBitInRow(uint32_t channel, uint32_t row_length) {
  return EventBitByte(channel) < row_length;
}

}  // namespace kestrum

#endif  // PARVEX_RECORDS_ALARM_RECORD_H_
