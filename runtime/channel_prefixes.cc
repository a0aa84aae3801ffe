#include "runtime/channel_prefixes.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/error_number.h"
#include "records/area_layout.h"
#include "records/device_record.h"
#include "records/system_records.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"

namespace kestrum {
namespace {

enum AreaKind { kTable = 0, kConfig = 1, kEvent = 2 };
constexpr std::string_view kSuffixes[] = {"", "_conf", "_event"};

struct SlotCache {
  std::mutex mutex;
  bool sized = false;
  uint64_t generation = 0;
  std::vector<std::array<void*, 3>> slots;
};

SlotCache& Slots() {
  static SlotCache* cache = new SlotCache;
  return *cache;
}

// The first two characters of a prefix, upper-cased; a one-letter prefix ends in NUL.
std::array<char, 2> Key(std::string_view prefix) {
  std::array<char, 2> key = {'\0', '\0'};
  for (std::size_t i = 0; i < 2 && i < prefix.size(); ++i) {
    key[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(prefix[i])));
  }
  return key;
}

bool SameKey(const char* stored, const std::array<char, 2>& key) {
  if (stored[0] == '\0') return false;  // no table of that kind
  for (int i = 0; i < 2; ++i) {
    if (std::toupper(static_cast<unsigned char>(stored[i])) != key[i]) return false;
    if (stored[i] == '\0') break;
  }
  return true;
}

// Where a slot's prefix comes from.
struct SlotOwner {
  DataProcessorRecord* processor = nullptr;  // a data processor's prefix
  DeviceRecord* device = nullptr;            // a device's prefix
  int position = 0;                          // 0-4 kind prefixes, 5 the extra prefix
};

// Finds the slot of `key` among the current records; -1 when there is none.
int MatchSlot(const std::array<char, 2>& key, SlotOwner* owner) {
  SystemArea processors, devices;
  uint32_t processor_count = 0;
  if (OpenDataProcessorArea(&processors) == 0) {
    processor_count = processors.count;
    auto* records = reinterpret_cast<DataProcessorRecord*>(processors.records);
    for (uint32_t i = 0; i < processor_count; ++i) {
      if (SameKey(records[i].prefix, key)) {
        if (owner) *owner = SlotOwner{&records[i], nullptr, 0};
        return static_cast<int>(i);
      }
    }
  }
  if (OpenDeviceArea(&devices) != 0) return -1;
  auto* records = reinterpret_cast<DeviceRecord*>(devices.records);
  for (uint32_t d = 0; d < devices.count; ++d) {
    for (int p = 0; p < kSlotsPerDevice; ++p) {
      const char* stored = p < 5 ? records[d].prefixes[p] : DeviceExtraPrefix(devices, d);
      if (stored && SameKey(stored, key)) {
        if (owner) *owner = SlotOwner{nullptr, &records[d], p};
        return static_cast<int>(processor_count + d * kSlotsPerDevice + p);
      }
    }
  }
  return -1;
}

// Sizes the slot cache on the first call that finds any slot.
void SizeSlotsLocked(SlotCache& cache) {
  if (cache.generation != SharedAreaGeneration()) {
    cache.sized = false;
    cache.slots.clear();
    cache.generation = SharedAreaGeneration();
  }
  if (cache.sized) return;
  SystemArea processors, devices;
  std::size_t count = 0;
  if (OpenDataProcessorArea(&processors) == 0) count += processors.count;
  if (OpenDeviceArea(&devices) == 0) count += std::size_t{devices.count} * kSlotsPerDevice;
  if (count == 0) return;  // nothing yet: try again on the next call
  cache.slots.assign(count, {nullptr, nullptr, nullptr});
  cache.sized = true;
}

// Returns the cached or newly opened area `kind` of `prefix` (cached when it has a slot).
void* PrefixArea(std::string_view prefix, AreaKind kind) {
  int slot = FindPrefixSlot(prefix);
  SlotCache& cache = Slots();
  if (slot >= 0) {
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (void* area = cache.slots[slot][kind]) return area;
  }
  void* area = OpenSharedArea(PrefixAreaName(prefix, kSuffixes[kind]));
  if (area && slot >= 0) {
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.slots[slot][kind] = area;
  }
  return area;
}

}  // namespace

std::string PrefixAreaName(std::string_view prefix, std::string_view suffix) {
  std::array<char, 2> key = Key(prefix);
  std::string name = "dm_";
  name += key[0];
  if (key[1] != '\0') name += key[1];
  name += suffix;
  return name;
}

int FindPrefixSlot(std::string_view prefix) {
  if (prefix.empty() || prefix[0] == '\0') {
    SetErrorNumber(0);
    return -1;
  }
  SlotCache& cache = Slots();
  {
    std::lock_guard<std::mutex> lock(cache.mutex);
    SizeSlotsLocked(cache);
    if (!cache.sized) {
      SetErrorNumber(0);
      return -1;
    }
  }
  int slot = MatchSlot(Key(prefix), nullptr);
  std::lock_guard<std::mutex> lock(cache.mutex);
  if (slot < 0 || static_cast<std::size_t>(slot) >= cache.slots.size()) {
    SetErrorNumber(0);  // unknown, or added after the slot table was sized
    return -1;
  }
  if (!cache.slots[slot][kTable]) {
    void* table = OpenSharedArea(PrefixAreaName(prefix, ""));
    if (!table) return -1;
    cache.slots[slot][kTable] = table;
  }
  return slot;
}

void* GetChannelTable(std::string_view prefix) { return PrefixArea(prefix, kTable); }

void* GetChannelConfigArea(std::string_view prefix) { return PrefixArea(prefix, kConfig); }

void* GetChannelConfigRecords(std::string_view prefix) {
  void* area = GetChannelConfigArea(prefix);
  if (!area) return nullptr;
  AreaHeader header;
  if (ReadAreaHeader(area, &header) != 0) return nullptr;
  return static_cast<std::byte*>(area) + kAreaHeaderSize;
}

void* GetChannelEventArea(std::string_view prefix) { return PrefixArea(prefix, kEvent); }

int GetChannelTableView(std::string_view prefix, ChannelTableView* view) {
  void* area = GetChannelTable(prefix);
  if (!area) return -1;
  AreaHeader header;
  if (ReadAreaHeader(area, &header) != 0) return -1;
  if (!MakeChannelTableView(static_cast<std::byte*>(area) + kAreaHeaderSize, header.data_size,
                            view)) {
    SetLastPlatformError(EBADMSG);
    SetErrorNumber(0);
    return -1;
  }
  return 0;
}

int GetPrefixWriteMode(std::string_view prefix) {
  if (!GetChannelTable(prefix)) return -1;
  SlotOwner owner;
  if (FindPrefixSlot(prefix) < 0 || MatchSlot(Key(prefix), &owner) < 0) return 1;
  if (owner.processor) {
    if (FieldEqualsIgnoringCase(owner.processor->name, 4, "modb", 4)) return 1;
    return owner.processor->write_mode + 1;
  }
  return owner.position == kSlotsPerDevice - 1 ? 1 : 0;
}

long GetPrefixOwner(std::string_view prefix) {
  if (!GetChannelTable(prefix)) return -1;
  SlotOwner owner;
  if (FindPrefixSlot(prefix) < 0 || MatchSlot(Key(prefix), &owner) < 0) return 0;
  if (owner.processor) return static_cast<long>(owner.processor->owner_pid);
  return static_cast<long>(owner.device->scanner_pid);
}

int GetPrefixValueKind(std::string_view prefix) {
  if (!GetChannelTable(prefix)) return -1;
  SlotOwner owner;
  if (FindPrefixSlot(prefix) < 0 || MatchSlot(Key(prefix), &owner) < 0) return 0;
  return owner.processor ? owner.processor->value_kind : 0;
}

}  // namespace kestrum
