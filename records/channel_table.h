// A channel table's data part (from offset 128 of its area): a 20-byte header, one status
// word per channel, one 32-bit float value per channel when the table carries values, and one
// 264-byte extended record per channel. Also the bits of the channel status word.
#ifndef PARVEX_RECORDS_CHANNEL_TABLE_H_
#define PARVEX_RECORDS_CHANNEL_TABLE_H_

#include <cstddef>
#include <cstdint>

#include "records/time_stamp.h"

namespace kestrum {

// --- Channel status word -------------------------------------------------------------------

/// Value channels: the value changed significantly in this scan.
inline constexpr uint32_t kStatusSigChange = 0x1;
/// Digital channels: the digital state (same bit as kStatusSigChange).
inline constexpr uint32_t kStatusState = 0x1;
/// Alarm flag: set when an alarm is raised with a delay of 0, cleared with the alarm.
inline constexpr uint32_t kStatusAlarmFlag = 0x2;
/// Value channels: 1 for a high alarm, 0 for a low or error alarm; digital channels: the
/// state that raised the alarm.
inline constexpr uint32_t kStatusAlarmSide = 0x4;
/// An event is active.
inline constexpr uint32_t kStatusEventActive = 0x8;
/// Value channels: 1 high, 0 low; digital channels: the state that raised the event.
inline constexpr uint32_t kStatusEventSide = 0x10;
/// The channel has no valid value (not received yet, disabled, not a number, or failed).
inline constexpr uint32_t kStatusNoValue = 0x20;
/// Set when an alarm is raised with a delay of 0.
inline constexpr uint32_t kStatusAlarmImmediate = 0x40;
/// The channel's type is "AI", "AO" or "CI" (an even type code).
inline constexpr uint32_t kStatusValueChannel = 0x80;
/// Changed only by other processes, in the channel table.
inline constexpr uint32_t kStatusExternal100 = 0x100;
/// Warning side: 1 high, 0 low.
inline constexpr uint32_t kStatusWarningSide = 0x200;
/// A warning is active.
inline constexpr uint32_t kStatusWarningActive = 0x400;
/// An alarm is active.
inline constexpr uint32_t kStatusAlarmActive = 0x800;
/// Changed only by other processes, in the channel table.
inline constexpr uint32_t kStatusExternal1000 = 0x1000;

/// The bits other processes may change in the channel table; the scanner takes them over
/// from the table into its own copy at the start of every channel's processing.
inline constexpr uint32_t kStatusExternalBits =
    kStatusAlarmFlag | kStatusAlarmImmediate | kStatusExternal100 | kStatusExternal1000;

/// The bit pattern of a float that stands for "no value" (last significant value, alarm
/// record values).
inline constexpr uint32_t kNoValueBits = 0x7FFFFFFF;

// --- Data part -----------------------------------------------------------------------------

/// Live bytes per channel: status word only, or status word and a float value.
inline constexpr uint16_t kLiveBytesStatusOnly = 4;
inline constexpr uint16_t kLiveBytesWithValue = 8;

/// The first 20 bytes of a channel table's data part.
struct ChannelTableHeader {
  char prefix[2];             ///< the table's own channel prefix
  uint16_t live_bytes;        ///< kLiveBytesStatusOnly or kLiveBytesWithValue
  uint16_t channel_count;     ///< n
  uint16_t error_code;        ///< low 16 bits of the error of the last "all failed", else 0
  uint32_t scan_duration_ms;  ///< duration of the last scan of this table
  TimeStamp stamp;            ///< configuration file stamp (or last error report, or start)
};

static_assert(sizeof(ChannelTableHeader) == 20);
static_assert(offsetof(ChannelTableHeader, prefix) == 0);
static_assert(offsetof(ChannelTableHeader, live_bytes) == 2);
static_assert(offsetof(ChannelTableHeader, channel_count) == 4);
static_assert(offsetof(ChannelTableHeader, error_code) == 6);
static_assert(offsetof(ChannelTableHeader, scan_duration_ms) == 8);
static_assert(offsetof(ChannelTableHeader, stamp) == 12);

/// Codes of ChannelExtendedRecord::code written by this system.
inline constexpr uint16_t kExtendedCodeWritten = 4;  ///< an analogue write stored `value`
inline constexpr uint16_t kExtendedCodeFailed = 13;  ///< the channel was marked failed

/// The per-channel extended record (264 bytes) filled by the table's writer. Only the two
/// fields below are written by this system; the rest belongs to the records' readers.
struct ChannelExtendedRecord {
  uint16_t code;
  uint8_t reserved_2[6];
  float value;
  uint8_t reserved_12[252];
};

static_assert(sizeof(ChannelExtendedRecord) == 264);
static_assert(offsetof(ChannelExtendedRecord, code) == 0);
static_assert(offsetof(ChannelExtendedRecord, reserved_2) == 2);
static_assert(offsetof(ChannelExtendedRecord, value) == 8);
static_assert(offsetof(ChannelExtendedRecord, reserved_12) == 12);

/// Offset in the data part of the status words.
inline constexpr uint32_t kChannelStatusOffset = 20;

/// Bytes of the data part a table of `count` channels with `live_bytes` per channel needs:
/// count * (live_bytes + 264) + 20.
constexpr uint64_t ChannelTableBytes(uint32_t count, uint32_t live_bytes) {
  return uint64_t{count} * (uint64_t{live_bytes} + sizeof(ChannelExtendedRecord)) +
         kChannelStatusOffset;
}

/// Returns true when a table whose data part has `data_size` bytes can be used: live bytes per
/// channel is 4 or 8 and D >= n * (b + 264) + 20.
bool ChannelTableUsable(const ChannelTableHeader& header, uint32_t data_size);

/// Typed pointers into a usable channel table's data part. Not a record: it lives in the
/// process that made it and points into the mapped area.
struct ChannelTableView {
  ChannelTableHeader* header = nullptr;
  uint32_t* status = nullptr;                 ///< n status words
  float* values = nullptr;                    ///< n values, or null when b is 4
  ChannelExtendedRecord* extended = nullptr;  ///< n extended records
  uint32_t count = 0;                         ///< n
};

/// Fills *view for the data part at `data` of `data_size` bytes (4-byte aligned, as the data
/// part of a mapped area is). Returns false, leaving *view empty, when the table is not usable.
bool MakeChannelTableView(void* data, uint32_t data_size, ChannelTableView* view);

}  // namespace kestrum

#endif  // PARVEX_RECORDS_CHANNEL_TABLE_H_
