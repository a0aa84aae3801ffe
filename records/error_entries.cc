#include "records/error_entries.h"

namespace kestrum {

ErrorTableLayout ClassifyErrorTable(uint32_t data_size, uint32_t count) {
  if (uint64_t{4} + uint64_t{count} * kLongErrorBytesPerEntry <= data_size) {
    return ErrorTableLayout::kLong;
  }
  if (uint64_t{4} + uint64_t{count} * sizeof(ShortErrorEntry) <= data_size) {
    return ErrorTableLayout::kShort;
  }
  return ErrorTableLayout::kInvalid;
}

}  // namespace kestrum
