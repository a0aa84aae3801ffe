#include "config/compiler_extras.h"

#include <algorithm>

namespace kestrum {

bool DescribeDeviceExtra(const DeviceConfigHooks& hooks, std::string& block, DeviceExtra* extra,
                         std::string* error) {
  if (hooks.get_config_extra_type == nullptr) return true;
  extra->type =
      hooks.get_config_extra_type(block.data(), static_cast<int32_t>(block.size()), nullptr, 0);
  if (extra->type == nullptr || extra->type->size <= 0) {
    extra->type = nullptr;
    return true;
  }
  extra->bytes.assign(static_cast<size_t>(extra->type->size), '\0');
  const char* file = hooks.get_config_extra_file_name != nullptr
                         ? hooks.get_config_extra_file_name(
                               extra->bytes.data(), static_cast<int32_t>(extra->bytes.size()))
                         : nullptr;
  if (file != nullptr) extra->file = file;
  if (extra->file.empty()) {
    *error = "the extension module describes an extra device block but names no file for it";
    return false;
  }
  return true;
}

bool DescribeChannelExtra(const ChannelConfigHooks& hooks, int kind, ChannelExtra* extra,
                          std::string* error) {
  if (hooks.get_extra_type == nullptr || hooks.get_extra_size == nullptr) return true;
  extra->described = true;
  const char* file =
      hooks.get_extra_file_name != nullptr ? hooks.get_extra_file_name(kind) : nullptr;
  if (file != nullptr) extra->file = file;
  if (extra->file.empty()) {
    *error = "the extension module describes channel extra data but names no file for it";
    return false;
  }
  return true;
}

size_t ChannelExtraCapacity(const ChannelConfigHooks& hooks, int kind,
                            std::vector<ChannelConfigRecord>& records) {
  std::string scratch(kChannelExtraScratchBytes, '\0');
  size_t total = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    const auto n = static_cast<int32_t>(i);
    const StructsType* type = hooks.get_extra_type(kind, n, &records[i]);
    const int32_t parsed = type != nullptr ? std::max(type->size, 0) : 0;
    const int32_t stored = hooks.get_extra_size(kind, n, &records[i], scratch.data());
    total += static_cast<size_t>(std::max({parsed, stored, 0}));
  }
  return total;
}

size_t ChannelExtraUsed(const ChannelConfigHooks& hooks, int kind,
                        std::vector<ChannelConfigRecord>& records, std::string& extra) {
  size_t used = 0;
  for (size_t i = 0; i < records.size() && used <= extra.size(); ++i) {
    const int32_t size =
        hooks.get_extra_size(kind, static_cast<int32_t>(i), &records[i], extra.data() + used);
    used += static_cast<size_t>(std::max(size, 0));
  }
  return std::min(used, extra.size());
}

}  // namespace kestrum
