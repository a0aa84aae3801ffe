// The common layout of every shared area: the 128-byte header, the subscriber and message
// tables that follow the data part, and the data parts of the four system areas.
//
// An area is: header (128 bytes), data part (D bytes), one padding byte when D is odd, the
// subscriber table and the message table. Its total size is the header's size field + 108.
// Every offset is counted from the first byte of the area; all integers are little-endian.
//
// The tables are reached through offsets that another process wrote, so the helpers below
// check every table against the mapped size before anyone touches it.
#ifndef PARVEX_RECORDS_AREA_LAYOUT_H_
#define PARVEX_RECORDS_AREA_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrum {

/// Value of the magic field of every area header.
inline constexpr uint16_t kAreaMagic = 0x4AFC;
/// Size of the area header; the data part starts here.
inline constexpr uint32_t kAreaHeaderSize = 128;
/// The total area size is the header's size field plus this bias.
inline constexpr uint32_t kAreaSizeBias = 108;
/// Longest accepted base name of an area (a name of 32 or more characters is refused).
inline constexpr size_t kMaxAreaNameLength = 31;
/// Size with which an area is first opened to read its size field.
inline constexpr uint32_t kAreaProbeSize = 76;

/// Platform ids of the operating-system families; they select the table layout.
inline constexpr int kPlatformLegacy = 1;
inline constexpr int kPlatformNt = 2;

/// Number of short subscriber entries (platform 2) or of all subscriber entries (platform 1).
inline constexpr uint32_t kSubscriberSlots = 10;
/// Number of short message entries (platform 2) or of all message entries (platform 1).
inline constexpr uint32_t kMessageSlots = 32;
/// Bytes of the short subscriber block (10 entries of 6 bytes) on platform 2.
inline constexpr uint32_t kShortSubscriberBlockSize = 60;
/// Bytes of the short message block (32 entries of 4 bytes) on platform 2.
inline constexpr uint32_t kShortMessageBlockSize = 128;
/// Highest subscriber number a notification may name (0 means all).
inline constexpr uint32_t kMaxSubscriberNumber = 10;

/// The first 128 bytes of every area.
struct AreaHeader {
  uint16_t magic;                    ///< always kAreaMagic
  uint8_t reserved_2[2];             ///< the creator's
  uint32_t size;                     ///< total area size minus 108
  uint32_t mutex_name_offset;        ///< offset of the NUL-terminated base of the mutex name
  uint8_t reserved_12[96];           ///< the creator's
  uint16_t update_pending;           ///< raised by MarkAreaUpdating, lowered by NotifyArea
  uint16_t lock_holder;              ///< low 16 bits of the locking process id, 0 when none
  uint32_t data_size;                ///< D: bytes of the data part from offset 128
  uint32_t lock_depth;               ///< nesting depth of the holder's locks
  uint32_t subscriber_table_offset;  ///< start of the subscriber table
  uint32_t message_table_offset;     ///< start of the message table
};

static_assert(sizeof(AreaHeader) == 128);
static_assert(offsetof(AreaHeader, magic) == 0);
static_assert(offsetof(AreaHeader, reserved_2) == 2);
static_assert(offsetof(AreaHeader, size) == 4);
static_assert(offsetof(AreaHeader, mutex_name_offset) == 8);
static_assert(offsetof(AreaHeader, reserved_12) == 12);
static_assert(offsetof(AreaHeader, update_pending) == 108);
static_assert(offsetof(AreaHeader, lock_holder) == 110);
static_assert(offsetof(AreaHeader, data_size) == 112);
static_assert(offsetof(AreaHeader, lock_depth) == 116);
static_assert(offsetof(AreaHeader, subscriber_table_offset) == 120);
static_assert(offsetof(AreaHeader, message_table_offset) == 124);

/// Short subscriber entry (platform 2, the first 10 entries of the table).
struct ShortSubscriberEntry {
  uint16_t process_id;      ///< 0 marks a free entry
  uint16_t by_message;      ///< non-zero: post message 32; zero: count changes
  uint16_t change_counter;  ///< incremented on each notification when by_message is 0
};

static_assert(sizeof(ShortSubscriberEntry) == 6);
static_assert(offsetof(ShortSubscriberEntry, process_id) == 0);
static_assert(offsetof(ShortSubscriberEntry, by_message) == 2);
static_assert(offsetof(ShortSubscriberEntry, change_counter) == 4);

/// Long subscriber entry: the N entries after the short ones on platform 2, and every
/// subscriber entry on platform 1.
struct LongSubscriberEntry {
  uint32_t process_id;
  uint16_t by_message;
  uint16_t change_counter;
};

static_assert(sizeof(LongSubscriberEntry) == 8);
static_assert(offsetof(LongSubscriberEntry, process_id) == 0);
static_assert(offsetof(LongSubscriberEntry, by_message) == 4);
static_assert(offsetof(LongSubscriberEntry, change_counter) == 6);

/// Short message entry (platform 2, the first 32 entries of the message table).
struct ShortMessageEntry {
  uint16_t process_id;  ///< 0: nothing queued
  int16_t message;      ///< posted sign-extended to 32 bits
};

static_assert(sizeof(ShortMessageEntry) == 4);
static_assert(offsetof(ShortMessageEntry, process_id) == 0);
static_assert(offsetof(ShortMessageEntry, message) == 2);

/// Long message entry: the M entries 128 bytes after the message table offset on platform 2,
/// and every message entry on platform 1.
struct LongMessageEntry {
  uint32_t process_id;
  int16_t message;
  uint16_t unused;
};

static_assert(sizeof(LongMessageEntry) == 8);
static_assert(offsetof(LongMessageEntry, process_id) == 0);
static_assert(offsetof(LongMessageEntry, message) == 4);
static_assert(offsetof(LongMessageEntry, unused) == 6);

/// Where the tables of one area lie, as computed and checked by ComputeAreaTables.
/// All offsets are from the start of the area; counts may be 0.
struct AreaTables {
  uint32_t short_subscriber_offset;  ///< platform 2: the 10 short entries; platform 1: unused
  uint32_t short_subscriber_count;   ///< 10 on platform 2, 0 on platform 1
  uint32_t long_subscriber_offset;   ///< first 8-byte subscriber entry
  uint32_t long_subscriber_count;    ///< N on platform 2, 10 on platform 1
  uint32_t short_message_offset;     ///< platform 2: the 32 short entries; platform 1: unused
  uint32_t short_message_count;      ///< 32 on platform 2, 0 on platform 1
  uint32_t long_message_offset;      ///< first 8-byte message entry
  uint32_t long_message_count;       ///< M on platform 2, 32 on platform 1
};

/// Total size of an area whose header has the given size field.
constexpr uint64_t AreaTotalSize(uint32_t size_field) {
  return uint64_t{size_field} + kAreaSizeBias;
}

/// Returns true when [offset, offset + length) lies inside an area of `area_size` bytes,
/// without overflow for any inputs.
constexpr bool RangeInsideArea(uint64_t offset, uint64_t length, uint64_t area_size) {
  return offset <= area_size && length <= area_size - offset;
}

/// N, the number of long subscriber entries on platform 2:
/// (message table offset - subscriber table offset - 60) / 8, or -1 when the offsets leave
/// less than the 60 bytes of short entries between them.
int64_t LongSubscriberCount(const AreaHeader& header);

/// M, the number of long message entries on platform 2:
/// (size - 8N - (D mod 2) - D - 208) / 8, or -1 when N is -1 or the result would be negative.
int64_t LongMessageCount(const AreaHeader& header);

/// Returns true when the header can be trusted for an area mapped with `mapped_size` bytes:
/// the mapping holds the header, the magic is right, the total size the header claims fits
/// in the mapping and the data part lies inside it.
bool AreaHeaderValid(const AreaHeader& header, uint64_t mapped_size);

/// Computes where the subscriber and message tables of an area lie for `platform_id`
/// (kPlatformNt or kPlatformLegacy) and checks that every entry lies after the header and
/// inside `mapped_size` bytes. Returns false (leaving *out untouched) for an invalid header,
/// a negative N or M, a table outside the area, or an unknown platform id.
bool ComputeAreaTables(const AreaHeader& header, uint64_t mapped_size, int platform_id,
                       AreaTables* out);

/// Reads the base string of the area's mutex name: the NUL-terminated text at the header's
/// mutex name offset. Returns false when the offset lies outside the mapping or no NUL ends
/// the text inside it. The view points into the mapped area.
bool AreaMutexBase(const void* area, uint64_t mapped_size, std::string_view* out);

// --- System areas --------------------------------------------------------------------------

/// Base names of the system areas.
inline constexpr char kDeviceAreaName[] = "dm_device";
inline constexpr char kErrorAreaName[] = "dm_errors";
inline constexpr char kLoggerAreaName[] = "dm_loggers";
inline constexpr char kDataProcessorAreaName[] = "dm_datproc";

/// Every system area holds a u32 record count at this offset, the records after it.
inline constexpr uint32_t kSystemCountOffset = 128;
inline constexpr uint32_t kSystemRecordsOffset = 132;

/// Returns true when a system area whose data part is `data_size` bytes really holds `count`
/// records of `record_size` bytes after its count field (4 + count * record_size <= D).
constexpr bool SystemRecordsFit(uint32_t data_size, uint32_t count, uint32_t record_size) {
  return uint64_t{4} + uint64_t{count} * record_size <= data_size;
}

/// Returns true when "dm_device" carries the array of extra channel prefixes (two characters
/// per device) after its `count` device records, that is when the array lies inside the data
/// part: D >= 4 + 790 * count.
bool DeviceAreaHasExtraPrefixes(uint32_t data_size, uint32_t count);

/// Offset from the area start of the extra prefix of device `index` (0-based).
constexpr uint64_t DeviceExtraPrefixOffset(uint32_t count, uint32_t index) {
  return kSystemRecordsOffset + uint64_t{count} * 788 + uint64_t{index} * 2;
}

}  // namespace kestrum

#endif  // PARVEX_RECORDS_AREA_LAYOUT_H_
