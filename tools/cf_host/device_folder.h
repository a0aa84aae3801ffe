// A device folder as the configuration tool keeps it: the binary files "config", "saveconfig"
// and one channel file per kind, read whole and patched in place on a change.
#ifndef PARVEX_TOOLS_CF_HOST_DEVICE_FOLDER_H_
#define PARVEX_TOOLS_CF_HOST_DEVICE_FOLDER_H_

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "configui/parvex_cf.h"

namespace parvex {

/// Channel file names by kind.
inline constexpr std::array<const char*, PARVEX_CHANNEL_BLOCKS> kChannelFileNames = {
    "ai", "di", "ao", "do", "ci"};

/// What a device folder holds.
struct DeviceFolder {
  std::filesystem::path path;
  uint8_t auto_enable = 0;
  std::array<uint8_t, PARVEX_CONFIG_BLOCK_SIZE> block{};
  uint8_t save_outputs = 0;
  uint8_t save_by_tag = 0;
  uint32_t save_rate = 0;
  /// Records per kind; empty when the kind's file is missing.
  std::array<std::vector<ParvexChannelRecord>, PARVEX_CHANNEL_BLOCKS> channels;
};

/// Reads "config" (exactly 705 bytes: AutoEnable and the block), "saveconfig"
/// (6 bytes, optional: zeros without it) and the channel files that exist (8-byte time stamp,
/// then whole 216-byte records). Returns 0, or -1 with a message in `*error`.
int ReadDeviceFolder(const std::filesystem::path& path, DeviceFolder* folder, std::string* error);

/// Builds the tool's device record: number, name, folder name (the folder's last component,
/// at most 12 characters) and one block per channel file, prefixed by its upper-cased kind.
ParvexDeviceEntry MakeDeviceEntry(const DeviceFolder& folder, uint16_t number,
                                  std::string_view name);

/// Replaces `bytes` at `offset` of `file`, keeping every other byte (a shorter file is
/// extended with zeros). The file is rewritten atomically. Returns 0, or -1 with a message.
int PatchFile(const std::filesystem::path& file, size_t offset, const void* bytes, size_t size,
              std::string* error);

/// Writes the 20 port-setting bytes (BaudRate to DataBits) of `block` back into "config".
int WritePortSettings(const DeviceFolder& folder, std::string* error);

/// Writes record `index` (from 0) of kind `kind` back into its channel file.
int WriteChannelRecord(const DeviceFolder& folder, int kind, int index, std::string* error);

}  // namespace parvex

#endif  // PARVEX_TOOLS_CF_HOST_DEVICE_FOLDER_H_
