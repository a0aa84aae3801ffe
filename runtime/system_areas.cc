#include "runtime/system_areas.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/error_number.h"
#include "records/area_layout.h"
#include "records/error_entries.h"
#include "runtime/shared_area.h"

namespace kestrum {
namespace {

int FailCheck() {
  SetLastPlatformError(EBADMSG);
  SetErrorNumber(0);
  return -1;
}

int FailNotFound() {
  SetErrorNumber(0);
  return -1;
}

// How the records of one system area are checked against its data part.
using RecordsFit = bool (*)(uint32_t data_size, uint32_t count);

// Opens `name` once per process (again after a failure) and fills `*out` after checking the
// header and, with `fits`, the count against the data part.
// The address of one system area, opened once per generation of the area cache.
struct CachedArea {
  std::mutex mutex;
  void* area = nullptr;
  uint64_t generation = 0;
};

void* CachedOpen(CachedArea* cached, const char* name) {
  std::lock_guard<std::mutex> lock(cached->mutex);
  const uint64_t generation = SharedAreaGeneration();
  if (cached->area && cached->generation == generation) return cached->area;
  cached->area = OpenSharedArea(name);  // null again after a failure: the next call retries
  cached->generation = generation;
  return cached->area;
}

int OpenSystemArea(CachedArea* cached, const char* name, RecordsFit fits, SystemArea* out) {
  void* area = CachedOpen(cached, name);
  if (!area) return -1;
  AreaHeader header;
  if (ReadAreaHeader(area, &header) != 0) return -1;
  if (header.data_size < 4) return FailCheck();
  auto* base = static_cast<std::byte*>(area);
  auto* count_field = reinterpret_cast<uint32_t*>(base + kSystemCountOffset);
  uint32_t count;
  std::memcpy(&count, count_field, sizeof(count));
  if (!fits(header.data_size, count)) return FailCheck();
  *out = SystemArea{area, header.data_size, count, count_field, base + kSystemRecordsOffset};
  return 0;
}

template <uint32_t kRecordSize>
bool FixedRecordsFit(uint32_t data_size, uint32_t count) {
  return SystemRecordsFit(data_size, count, kRecordSize);
}

bool ErrorEntriesFit(uint32_t data_size, uint32_t count) {
  return ClassifyErrorTable(data_size, count) != ErrorTableLayout::kInvalid;
}

int Lower(char c) { return std::tolower(static_cast<unsigned char>(c)); }

}  // namespace

int OpenDeviceArea(SystemArea* out) {
  static CachedArea cached;
  return OpenSystemArea(&cached, kDeviceAreaName, FixedRecordsFit<sizeof(DeviceRecord)>, out);
}

int OpenErrorArea(SystemArea* out) {
  static CachedArea cached;
  return OpenSystemArea(&cached, kErrorAreaName, ErrorEntriesFit, out);
}

int OpenLoggerArea(SystemArea* out) {
  static CachedArea cached;
  return OpenSystemArea(&cached, kLoggerAreaName, FixedRecordsFit<sizeof(LoggerRecord)>, out);
}

int OpenDataProcessorArea(SystemArea* out) {
  static CachedArea cached;
  return OpenSystemArea(&cached, kDataProcessorAreaName,
                        FixedRecordsFit<sizeof(DataProcessorRecord)>, out);
}

bool FieldEqualsIgnoringCase(const char* field, std::size_t field_size, std::string_view text,
                             std::size_t limit) {
  for (std::size_t i = 0; i < limit; ++i) {
    char a = i < field_size ? field[i] : '\0';
    char b = i < text.size() ? text[i] : '\0';
    if (Lower(a) != Lower(b)) return false;
    if (a == '\0') return true;
  }
  return true;
}

DeviceRecord* FindDeviceRecord(std::string_view driver_name, uint16_t number) {
  SystemArea devices;
  if (OpenDeviceArea(&devices) != 0) return nullptr;
  std::string_view driver = driver_name.substr(0, 8);
  auto* records = reinterpret_cast<DeviceRecord*>(devices.records);
  for (uint32_t i = 0; i < devices.count; ++i) {
    DeviceRecord* record = &records[i];
    if (record->device_number == number &&
        FieldEqualsIgnoringCase(record->driver_name, sizeof(record->driver_name), driver, 5)) {
      return record;
    }
  }
  FailNotFound();
  return nullptr;
}

DataProcessorRecord* FindDataProcessor(std::string_view name) {
  SystemArea processors;
  if (OpenDataProcessorArea(&processors) != 0) return nullptr;
  std::string_view key = name.substr(0, 8);
  auto* records = reinterpret_cast<DataProcessorRecord*>(processors.records);
  constexpr std::size_t kNameSize = sizeof(DataProcessorRecord::name);
  for (uint32_t i = 0; i < processors.count; ++i) {
    if (FieldEqualsIgnoringCase(records[i].name, kNameSize, key, kNameSize + 1)) {
      return &records[i];
    }
  }
  for (uint32_t i = 0; i < processors.count; ++i) {
    if (FieldEqualsIgnoringCase(records[i].name, kNameSize, key, 5)) return &records[i];
  }
  FailNotFound();
  return nullptr;
}

int FindLoggerIndex(std::string_view name) {
  SystemArea loggers;
  if (OpenLoggerArea(&loggers) != 0) {
    SetErrorNumber(0);
    return 0;
  }
  auto* records = reinterpret_cast<LoggerRecord*>(loggers.records);
  constexpr std::size_t kNameSize = sizeof(LoggerRecord::name);
  for (uint32_t i = 0; i < loggers.count; ++i) {
    if (FieldEqualsIgnoringCase(records[i].name, kNameSize, name, kNameSize + name.size() + 1)) {
      return static_cast<int>(i) + 1;
    }
  }
  SetErrorNumber(0);
  return 0;
}

const char* DeviceExtraPrefix(const SystemArea& devices, uint32_t index) {
  if (index >= devices.count || !DeviceAreaHasExtraPrefixes(devices.data_size, devices.count)) {
    return nullptr;
  }
  return static_cast<const char*>(devices.area) + DeviceExtraPrefixOffset(devices.count, index);
}

}  // namespace kestrum
