// Entries of the error table "dm_errors": a u32 count n, n short entries of 57 bytes and, in
// the long layout, n long entries of 386 bytes after them.
#ifndef PARVEX_RECORDS_ERROR_ENTRIES_H_
#define PARVEX_RECORDS_ERROR_ENTRIES_H_

#include <cstddef>
#include <cstdint>

namespace kestrum {

/// Source types of an error entry.
inline constexpr uint8_t kErrorSourceDevice = 2;
inline constexpr uint8_t kErrorSourceLogger = 4;
inline constexpr uint8_t kErrorSourceResubLogger = 5;

/// Short error entry (57 bytes). An entry whose name starts with NUL is free.
struct ShortErrorEntry {
  uint8_t source_type;
  char source_name[25];  ///< NUL-terminated, up to 24 characters
  char message[31];      ///< NUL-terminated, up to 30 characters
};

static_assert(sizeof(ShortErrorEntry) == 57);
static_assert(offsetof(ShortErrorEntry, source_type) == 0);
static_assert(offsetof(ShortErrorEntry, source_name) == 1);
static_assert(offsetof(ShortErrorEntry, message) == 26);

/// Long error entry (386 bytes).
struct LongErrorEntry {
  uint8_t source_type;
  char source_name[130];  ///< NUL-terminated
  char message[255];      ///< NUL-terminated
};

static_assert(sizeof(LongErrorEntry) == 386);
static_assert(offsetof(LongErrorEntry, source_type) == 0);
static_assert(offsetof(LongErrorEntry, source_name) == 1);
static_assert(offsetof(LongErrorEntry, message) == 131);

/// Bytes of the data part per entry in the long layout (short and long entry).
inline constexpr uint32_t kLongErrorBytesPerEntry = 57 + 386;

/// Which entries an error table holds.
enum class ErrorTableLayout {
  kLong,     ///< n short entries, then n long entries; the long ones are used
  kShort,    ///< only the n short entries
  kInvalid,  ///< the data part cannot hold the n short entries
};

/// Classifies an error table with data size D and entry count n: long when the long entries
/// lie inside the data part (D >= 4 + 443n), else short when the short entries do
/// (D >= 4 + 57n), else invalid. A table is never read beyond its data part.
ErrorTableLayout ClassifyErrorTable(uint32_t data_size, uint32_t count);

/// Offset from the area start of short entry i and of long entry i of a table of n entries.
constexpr uint64_t ShortErrorEntryOffset(uint32_t index) { return 132 + uint64_t{index} * 57; }
constexpr uint64_t LongErrorEntryOffset(uint32_t count, uint32_t index) {
  return 132 + uint64_t{count} * 57 + uint64_t{index} * 386;
}

}  // namespace kestrum

#endif  // PARVEX_RECORDS_ERROR_ENTRIES_H_
