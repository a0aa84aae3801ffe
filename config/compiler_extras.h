// What an extension module describes beyond the fixed fields, as the configuration compiler
// reads and writes it: the device's extra block and the channels' extra data, with the files
// that hold them in the binary form.
#ifndef PARVEX_CONFIG_COMPILER_EXTRAS_H_
#define PARVEX_CONFIG_COMPILER_EXTRAS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/channel_config.h"
#include "config/device_config.h"
#include "records/channel_config.h"

namespace kestrum {

/// Zeroed bytes a module may look at when it tells the size of a channel's extra data before
/// that data is read.
inline constexpr int32_t kChannelExtraScratchBytes = 4096;

/// The device's extra block as the module describes it: the description (null: none), a zeroed
/// buffer of its size and the file that holds it.
struct DeviceExtra {
  const StructsType* type = nullptr;
  std::string bytes;
  std::string file;
};

/// Fills `extra` for the device block `block`. True when the module describes no extra block or
/// one with a file name; false with `error` set when it describes one but names no file.
bool DescribeDeviceExtra(const DeviceConfigHooks& hooks, std::string& block, DeviceExtra* extra,
                         std::string* error);

/// Whether the module describes channel extra data for a kind, and the file that holds it.
struct ChannelExtra {
  bool described = false;
  std::string file;
};

/// Fills `extra` for channel kind `kind`; false with `error` set when the module describes
/// extra data but names no file for it.
bool DescribeChannelExtra(const ChannelConfigHooks& hooks, int kind, ChannelExtra* extra,
                          std::string* error);

/// Bytes that hold the extra data of `records` at most: per channel the larger of its
/// description's size and the size the module gives for it.
size_t ChannelExtraCapacity(const ChannelConfigHooks& hooks, int kind,
                            std::vector<ChannelConfigRecord>& records);

/// Bytes of `extra` that the channels' parts take, walked as the loader walks them.
size_t ChannelExtraUsed(const ChannelConfigHooks& hooks, int kind,
                        std::vector<ChannelConfigRecord>& records, std::string& extra);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_COMPILER_EXTRAS_H_
