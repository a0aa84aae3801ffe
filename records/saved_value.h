// Records of the saved-value files: the ".bin" file holds one 16-byte record per channel, the
// ".tag" file one 15-byte tag field per channel, both in channel order without a header.
#ifndef PARVEX_RECORDS_SAVED_VALUE_H_
#define PARVEX_RECORDS_SAVED_VALUE_H_

#include <cstddef>
#include <cstdint>

namespace kestrum {

/// One record of a ".bin" file (16 bytes).
struct SavedValueRecord {
  char tag[12];    ///< tag cut to 12 bytes, NUL-terminated when shorter; all 0 when unused
  uint32_t value;  ///< the value in its in-memory form: f32 bits, or a digital status word
};

static_assert(sizeof(SavedValueRecord) == 16);
static_assert(offsetof(SavedValueRecord, tag) == 0);
static_assert(offsetof(SavedValueRecord, value) == 12);

/// One field of a ".tag" file (15 bytes).
struct SavedTagRecord {
  char tag[15];  ///< tag, NUL-terminated when shorter; first byte 0 when the channel is unused
};

static_assert(sizeof(SavedTagRecord) == 15);
static_assert(offsetof(SavedTagRecord, tag) == 0);

/// File offsets of record i and of its value in a ".bin" file, and of field i of a ".tag" file.
constexpr uint64_t SavedValueRecordOffset(uint32_t index) { return 16 * uint64_t{index}; }
constexpr uint64_t SavedValueOffset(uint32_t index) { return 16 * uint64_t{index} + 12; }
constexpr uint64_t SavedTagOffset(uint32_t index) { return 15 * uint64_t{index}; }

}  // namespace kestrum

#endif  // PARVEX_RECORDS_SAVED_VALUE_H_
