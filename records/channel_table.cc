#include "records/channel_table.h"

namespace kestrum {

bool ChannelTableUsable(const ChannelTableHeader& header, uint32_t data_size) {
  if (header.live_bytes != kLiveBytesStatusOnly && header.live_bytes != kLiveBytesWithValue) {
    return false;
  }
  return ChannelTableBytes(header.channel_count, header.live_bytes) <= data_size;
}

bool MakeChannelTableView(void* data, uint32_t data_size, ChannelTableView* view) {
  *view = ChannelTableView{};
  if (data_size < sizeof(ChannelTableHeader)) return false;
  auto* bytes = static_cast<uint8_t*>(data);
  auto* header = reinterpret_cast<ChannelTableHeader*>(bytes);
  if (!ChannelTableUsable(*header, data_size)) return false;
  const uint32_t n = header->channel_count;
  const uint32_t b = header->live_bytes;
  view->header = header;
  view->status = reinterpret_cast<uint32_t*>(bytes + kChannelStatusOffset);
  if (b == kLiveBytesWithValue) {
    view->values = reinterpret_cast<float*>(bytes + kChannelStatusOffset + 4 * n);
  }
  view->extended = reinterpret_cast<ChannelExtendedRecord*>(bytes + kChannelStatusOffset + b * n);
  view->count = n;
  return true;
}

}  // namespace kestrum
