#include "config/counter_block.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "records/device_record.h"

namespace kestrum {

int32_t ValidateCounterBlock(const char* found, void* block, char* ebuf, int32_t size) {
  CommSettings comm;
  std::memcpy(&comm, block, sizeof comm);
  const std::string_view list = found != nullptr ? found : "";
  if (list.find(",BaudRate,") != std::string_view::npos && comm.BaudRate <= 0) {
    std::snprintf(ebuf, static_cast<size_t>(size), "<BaudRate> must be above 0");
    return -1;
  }
  if (list.find(",DataBits,") != std::string_view::npos &&
      (comm.DataBits < kCounterDataBitsMin || comm.DataBits > kCounterDataBitsMax)) {
    std::snprintf(ebuf, static_cast<size_t>(size), "<DataBits> must be %d to %d",
                  kCounterDataBitsMin, kCounterDataBitsMax);
    return -1;
  }
  return 0;
}

}  // namespace kestrum
