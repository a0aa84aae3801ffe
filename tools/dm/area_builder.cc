#include "tools/dm/area_builder.h"

#include <cerrno>
#include <cstring>

#include "platform/error_number.h"
#include "platform/named_mutex.h"
#include "platform/shared_file.h"
#include "records/area_layout.h"
#include "runtime/shared_area.h"

namespace kestrum::dm {
namespace {

uint64_t SubscriberTableBytes(const AreaShape& shape) {
  if (shape.platform_id == kPlatformLegacy) return kSubscriberSlots * sizeof(LongSubscriberEntry);
  return kShortSubscriberBlockSize + uint64_t{8} * shape.long_subscribers;
}

uint64_t MessageTableBytes(const AreaShape& shape) {
  if (shape.platform_id == kPlatformLegacy) return kMessageSlots * sizeof(LongMessageEntry);
  return kShortMessageBlockSize + uint64_t{8} * shape.long_messages;
}

}  // namespace

uint64_t AreaSizeFor(uint32_t data_size, const AreaShape& shape) {
  return kAreaHeaderSize + uint64_t{data_size} + (data_size & 1u) + SubscriberTableBytes(shape) +
         MessageTableBytes(shape);
}

std::vector<std::byte> LayOutArea(std::string_view mutex_base, std::span<const std::byte> data,
                                  const AreaShape& shape) {
  if (mutex_base.size() > kMaxMutexBaseLength) return {};
  const auto data_size = static_cast<uint32_t>(data.size());
  std::vector<std::byte> area(AreaSizeFor(data_size, shape));
  AreaHeader header = {};
  header.magic = kAreaMagic;
  header.size = static_cast<uint32_t>(area.size() - kAreaSizeBias);
  header.mutex_name_offset = kMutexBaseOffset;
  header.data_size = data_size;
  header.subscriber_table_offset = kAreaHeaderSize + data_size + (data_size & 1u);
  header.message_table_offset =
      header.subscriber_table_offset + static_cast<uint32_t>(SubscriberTableBytes(shape));
  std::memcpy(area.data(), &header, sizeof(header));
  std::memcpy(area.data() + kMutexBaseOffset, mutex_base.data(), mutex_base.size());
  if (!data.empty()) std::memcpy(area.data() + kAreaHeaderSize, data.data(), data.size());
  return area;
}

int CreateArea(std::string_view name, std::span<const std::byte> data, const AreaShape& shape) {
  std::vector<std::byte> area = LayOutArea(name, data, shape);
  if (area.empty()) return FailWith(ENAMETOOLONG);
  // The mutex first: an area that can be opened can always be locked.
  if (CreateNamedMutex(AreaMutexPath(name)) != 0) return -1;
  return PublishSharedFile(SharedAreaPath(name), area);
}

}  // namespace kestrum::dm
