// The four system areas ("dm_device", "dm_errors", "dm_loggers", "dm_datproc") and the
// lookups of a device, a data processor and a logger in them.
//
// Each system area holds a u32 record count at offset 128 and its records from offset 132.
// The accessors open their area once per process (retrying after a failure) and check, on every
// call, that the count's records lie inside the area's data part, so a count written by another
// process is never followed past the end of the area.
#ifndef PARVEX_RUNTIME_SYSTEM_AREAS_H_
#define PARVEX_RUNTIME_SYSTEM_AREAS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "records/device_record.h"
#include "records/system_records.h"

namespace kestrum {

/// A system area as one accessor call found it. Points into the mapped area, which stays
/// mapped for the life of the process; the count is as read during the call.
struct SystemArea {
  void* area = nullptr;             ///< the area, for AreaLock and NotifyArea
  uint32_t data_size = 0;           ///< D, the size of the data part
  uint32_t count = 0;               ///< the record count at offset 128
  uint32_t* count_field = nullptr;  ///< the count field itself (offset 128)
  std::byte* records = nullptr;     ///< the first record (offset 132)
};

/// Fills `*out` for "dm_device" (788-byte device records). Returns 0, or -1 with the error
/// number set: as OpenSharedArea when the area cannot be opened (the next call tries again),
/// 0 when its header or count is refused.
int OpenDeviceArea(SystemArea* out);

/// Fills `*out` for "dm_errors". The entries are short (57 bytes) or short then long (386
/// bytes); ClassifyErrorTable (records/error_entries.h) tells which, and the accessor refuses a
/// table whose short entries do not fit. Returns as OpenDeviceArea.
int OpenErrorArea(SystemArea* out);

/// Fills `*out` for "dm_loggers" (172-byte logger records). Returns as OpenDeviceArea.
int OpenLoggerArea(SystemArea* out);

/// Fills `*out` for "dm_datproc" (60-byte data-processor records). Returns as OpenDeviceArea.
int OpenDataProcessorArea(SystemArea* out);

/// Returns the record of device `number` whose driver name matches `driver_name` on its first
/// five characters, ignoring case (the first such record), or null (error number 0 when there
/// is none or "dm_device" is refused, as OpenSharedArea when it cannot be opened).
DeviceRecord* FindDeviceRecord(std::string_view driver_name, uint16_t number);

/// Returns the data processor named `name` (first 8 characters, ignoring case): the first
/// record with that whole name, failing that the first whose name matches on 5 characters;
/// null when there is none (error number 0) or "dm_datproc" cannot be used.
DataProcessorRecord* FindDataProcessor(std::string_view name);

/// Returns the 1-based number of the logger named `name` (ignoring case), or 0 with error
/// number 0 when there is none or "dm_loggers" cannot be used.
int FindLoggerIndex(std::string_view name);

/// Returns the extra channel prefix (two bytes) of device `index` (0-based) in "dm_device",
/// or null when the area carries no extra prefixes or the index is out of range.
const char* DeviceExtraPrefix(const SystemArea& devices, uint32_t index);

/// Compares a fixed-size, NUL-terminated text field with `text` on at most `limit` characters,
/// ignoring case, the way the system matches names: both end at a NUL or at `limit`.
bool FieldEqualsIgnoringCase(const char* field, std::size_t field_size, std::string_view text,
                             std::size_t limit);

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_SYSTEM_AREAS_H_
