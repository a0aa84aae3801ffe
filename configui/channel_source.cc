#include "configui/channel_source.h"

#include <charconv>

namespace parvex {

ChannelSource ReadChannelSource(const ParvexChannelRecord& record) {
  const uint8_t* b = record.Bytes;
  int field_type = b[kFieldTypeOffset];
  int value_type = b[kValueTypeOffset];
  return ChannelSource{field_type < kestrum::kFieldTypeCount ? field_type : -1,
                       b[kPortNumberOffset],
                       value_type < kestrum::kValueTypeCount ? value_type : -1};
}

bool ValueControlsEnabled(int field_type) { return field_type == 0; }

std::optional<unsigned> ParsePortNumber(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
  unsigned value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > 255) return std::nullopt;
  return value;
}

bool StoreChannelSource(const ChannelSource& chosen, ParvexChannelRecord& record) {
  uint8_t* b = record.Bytes;
  if (chosen.field_type == 0 && b[kFieldTypeOffset] == 0 && b[kPortNumberOffset] == chosen.port &&
      (chosen.value_type == -1 || b[kValueTypeOffset] == chosen.value_type)) {
    return false;
  }
  if (chosen.field_type >= 0) b[kFieldTypeOffset] = static_cast<uint8_t>(chosen.field_type);
  b[kPortNumberOffset] = static_cast<uint8_t>(chosen.port);
  if (chosen.value_type >= 0) b[kValueTypeOffset] = static_cast<uint8_t>(chosen.value_type);
  return true;
}

}  // namespace parvex
