// Laying out and publishing shared areas the way the driver manager creates them.
//
// An area is: the 128-byte header, the data part (D bytes), one padding byte when D is odd,
// the subscriber table and the message table. On platform 2 the subscriber table holds 10
// short entries (6 bytes) and N long ones (8 bytes), the message table 32 short entries
// (4 bytes) and M long ones (8 bytes); on platform 1 both tables hold long entries only, 10
// and 32 of them. The header's size field is the total size minus 108. The mutex-name base
// string lives in the header's free bytes at offset 12.
#ifndef PARVEX_TOOLS_DM_AREA_BUILDER_H_
#define PARVEX_TOOLS_DM_AREA_BUILDER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::dm {

/// Where the mutex-name base string is stored in every area this stand-in creates.
inline constexpr uint32_t kMutexBaseOffset = 12;
/// Longest mutex-name base that fits in the header's free bytes (with its NUL).
inline constexpr std::size_t kMaxMutexBaseLength = 95;

/// The table sizes of one area.
struct AreaShape {
  uint32_t long_subscribers = 0;  ///< N (platform 2 only)
  uint32_t long_messages = 0;     ///< M (platform 2 only)
  int platform_id = 2;            ///< 1 or 2
};

/// Total size in bytes of an area with a data part of `data_size` bytes.
uint64_t AreaSizeFor(uint32_t data_size, const AreaShape& shape);

/// Lays out a whole area: header (magic, size, mutex base, data size, table offsets), `data`,
/// and empty tables. Returns an empty vector when `mutex_base` is too long.
std::vector<std::byte> LayOutArea(std::string_view mutex_base, std::span<const std::byte> data,
                                  const AreaShape& shape);

/// Publishes the area `name` with its data part `data` in the current instance (see
/// SharedAreaPath), and its mutex (base string: the area name). The folders must exist.
/// Returns 0, or -1 with the error number set.
int CreateArea(std::string_view name, std::span<const std::byte> data, const AreaShape& shape);

}  // namespace kestrum::dm

#endif  // PARVEX_TOOLS_DM_AREA_BUILDER_H_
