#include "records/area_layout.h"

#include <cstring>

namespace kestrum {
namespace {

// The claimed area size, which AreaHeaderValid has checked against the mapping.
uint64_t AreaLimit(const AreaHeader& header) { return AreaTotalSize(header.size); }

// A table may start only after the header and the data part (with its padding byte).
uint64_t FirstTableOffset(const AreaHeader& header) {
  return uint64_t{kAreaHeaderSize} + header.data_size + (header.data_size & 1u);
}

bool ComputeNtTables(const AreaHeader& header, AreaTables* out) {
  int64_t n = LongSubscriberCount(header);
  int64_t m = LongMessageCount(header);
  if (n < 0 || m < 0) return false;
  const uint64_t limit = AreaLimit(header);
  const uint64_t sub = header.subscriber_table_offset;
  const uint64_t msg = header.message_table_offset;
  const uint64_t long_sub = sub + kShortSubscriberBlockSize;
  const uint64_t long_msg = msg + kShortMessageBlockSize;
  // N is derived from the distance between the tables, so the subscribers end before msg.
  if (!RangeInsideArea(sub, kShortSubscriberBlockSize + 8 * uint64_t(n), limit) ||
      !RangeInsideArea(msg, kShortMessageBlockSize + 8 * uint64_t(m), limit)) {
    return false;
  }
  *out = AreaTables{static_cast<uint32_t>(sub),      kSubscriberSlots,
                    static_cast<uint32_t>(long_sub), static_cast<uint32_t>(n),
                    static_cast<uint32_t>(msg),      kMessageSlots,
                    static_cast<uint32_t>(long_msg), static_cast<uint32_t>(m)};
  return true;
}

bool ComputeLegacyTables(const AreaHeader& header, AreaTables* out) {
  const uint64_t limit = AreaLimit(header);
  const uint64_t sub = header.subscriber_table_offset;
  const uint64_t msg = header.message_table_offset;
  const uint64_t sub_bytes = kSubscriberSlots * sizeof(LongSubscriberEntry);
  const uint64_t msg_bytes = kMessageSlots * sizeof(LongMessageEntry);
  if (msg < sub + sub_bytes || !RangeInsideArea(sub, sub_bytes, limit) ||
      !RangeInsideArea(msg, msg_bytes, limit)) {
    return false;
  }
  *out = AreaTables{0, 0, static_cast<uint32_t>(sub), kSubscriberSlots,
                    0, 0, static_cast<uint32_t>(msg), kMessageSlots};
  return true;
}

}  // namespace

int64_t LongSubscriberCount(const AreaHeader& header) {
  int64_t gap = int64_t{header.message_table_offset} - int64_t{header.subscriber_table_offset} -
                kShortSubscriberBlockSize;
  return gap < 0 ? -1 : gap / 8;
}

int64_t LongMessageCount(const AreaHeader& header) {
  int64_t n = LongSubscriberCount(header);
  if (n < 0) return -1;
  int64_t rest = int64_t{header.size} - 8 * n - int64_t{header.data_size % 2} -
                 int64_t{header.data_size} - 208;
  return rest < 0 ? -1 : rest / 8;
}

bool AreaHeaderValid(const AreaHeader& header, uint64_t mapped_size) {
  return mapped_size >= kAreaHeaderSize && header.magic == kAreaMagic &&
         AreaTotalSize(header.size) <= mapped_size &&
         RangeInsideArea(kAreaHeaderSize, header.data_size, AreaTotalSize(header.size));
}

bool ComputeAreaTables(const AreaHeader& header, uint64_t mapped_size, int platform_id,
                       AreaTables* out) {
  if (!AreaHeaderValid(header, mapped_size)) return false;
  // Tables inside the header or the data part would let a notification overwrite them.
  if (header.subscriber_table_offset < FirstTableOffset(header)) return false;
  if (platform_id == kPlatformNt) return ComputeNtTables(header, out);
  if (platform_id == kPlatformLegacy) return ComputeLegacyTables(header, out);
  return false;
}

bool AreaMutexBase(const void* area, uint64_t mapped_size, std::string_view* out) {
  if (mapped_size < kAreaHeaderSize) return false;
  AreaHeader header;
  std::memcpy(&header, area, sizeof header);
  uint64_t limit =
      AreaTotalSize(header.size) < mapped_size ? AreaTotalSize(header.size) : mapped_size;
  uint64_t offset = header.mutex_name_offset;
  if (offset >= limit) return false;
  const char* text = static_cast<const char*>(area) + offset;
  const void* nul = std::memchr(text, '\0', limit - offset);
  if (!nul) return false;
  *out = std::string_view(text, static_cast<const char*>(nul) - text);
  return true;
}

bool DeviceAreaHasExtraPrefixes(uint32_t data_size, uint32_t count) {
  return uint64_t{4} + uint64_t{count} * 790 <= data_size;
}

}  // namespace kestrum
