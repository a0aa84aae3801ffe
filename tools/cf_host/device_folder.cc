#include "tools/cf_host/device_folder.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/own_process.h"
#include "records/device_record.h"

namespace parvex {
namespace {

constexpr size_t kChannelFileHeader = 8;
constexpr size_t kConfigFileSize = sizeof(kestrum::DeviceConfigFile);
constexpr size_t kPortSettingsOffset = 1 + offsetof(ParvexCommSettings, BaudRate);  // in "config"
constexpr size_t kPortSettingsSize =
    sizeof(ParvexCommSettings) - offsetof(ParvexCommSettings, BaudRate);

bool ReadAll(const std::filesystem::path& file, std::vector<uint8_t>* bytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int Fail(std::string* error, std::string text) {
  *error = std::move(text);
  return -1;
}

}  // namespace

int ReadDeviceFolder(const std::filesystem::path& path, DeviceFolder* folder, std::string* error) {
  *folder = DeviceFolder{};
  folder->path = path;
  std::vector<uint8_t> bytes;
  if (!ReadAll(path / "config", &bytes)) {
    return Fail(error, "cannot read " + (path / "config").string());
  }
  // A file of another size holds no device configuration this tool could edit and write back.
  if (bytes.size() != kConfigFileSize) {
    return Fail(error, (path / "config").string() + " is " + std::to_string(bytes.size()) +
                           " bytes long, not " + std::to_string(kConfigFileSize));
  }
  folder->auto_enable = bytes[0];
  std::memcpy(folder->block.data(), bytes.data() + 1, folder->block.size());
  if (ReadAll(path / "saveconfig", &bytes)) {
    if (bytes.size() < 6) return Fail(error, (path / "saveconfig").string() + " is too short");
    folder->save_outputs = bytes[0];
    folder->save_by_tag = bytes[1];
    folder->save_rate = bytes[2] | bytes[3] << 8 | bytes[4] << 16 | uint32_t{bytes[5]} << 24;
  }
  for (int kind = 0; kind < PARVEX_CHANNEL_BLOCKS; ++kind) {
    if (!ReadAll(path / kChannelFileNames[kind], &bytes)) continue;
    size_t count = bytes.size() < kChannelFileHeader
                       ? 0
                       : (bytes.size() - kChannelFileHeader) / PARVEX_CHANNEL_RECORD_SIZE;
    auto& records = folder->channels[kind];
    records.resize(count);
    if (count > 0) {
      std::memcpy(records.data(), bytes.data() + kChannelFileHeader,
                  count * PARVEX_CHANNEL_RECORD_SIZE);
    }
  }
  return 0;
}

ParvexDeviceEntry MakeDeviceEntry(const DeviceFolder& folder, uint16_t number,
                                  std::string_view name) {
  ParvexDeviceEntry entry{};
  entry.DeviceNumber = number;
  std::memcpy(entry.DeviceName, name.data(), std::min(name.size(), sizeof entry.DeviceName - 1));
  std::string folder_name = folder.path.filename().string();
  if (folder_name.empty()) folder_name = folder.path.parent_path().filename().string();
  std::memcpy(entry.FolderName, folder_name.data(),
              std::min(folder_name.size(), sizeof entry.FolderName - 1));
  for (int kind = 0; kind < PARVEX_CHANNEL_BLOCKS; ++kind) {
    if (folder.channels[kind].empty()) continue;
    entry.Blocks[kind].Prefix[0] = static_cast<char>(std::toupper(kChannelFileNames[kind][0]));
    entry.Blocks[kind].Prefix[1] = static_cast<char>(std::toupper(kChannelFileNames[kind][1]));
    entry.Blocks[kind].ChannelCount =
        static_cast<uint16_t>(std::min<size_t>(folder.channels[kind].size(), 0xFFFF));
  }
  std::memcpy(entry.Config.Bytes, folder.block.data(), folder.block.size());
  return entry;
}

int PatchFile(const std::filesystem::path& file, size_t offset, const void* bytes, size_t size,
              std::string* error) {
  std::vector<uint8_t> content;
  if (!ReadAll(file, &content)) return Fail(error, "cannot read " + file.string());
  if (content.size() < offset + size) content.resize(offset + size, 0);
  std::memcpy(content.data() + offset, bytes, size);
  std::filesystem::path temporary = file;
  temporary += ".tmp" + std::to_string(kestrum::OwnProcessId());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(content.data()), content.size());
    if (!out.flush()) return Fail(error, "cannot write " + temporary.string());
  }
  std::error_code ec;
  std::filesystem::permissions(temporary, std::filesystem::status(file, ec).permissions(), ec);
  std::filesystem::rename(temporary, file, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    return Fail(error, "cannot replace " + file.string());
  }
  return 0;
}

int WritePortSettings(const DeviceFolder& folder, std::string* error) {
  return PatchFile(folder.path / "config", kPortSettingsOffset,
                   folder.block.data() + offsetof(ParvexCommSettings, BaudRate), kPortSettingsSize,
                   error);
}

int WriteChannelRecord(const DeviceFolder& folder, int kind, int index, std::string* error) {
  if (kind < 0 || kind >= PARVEX_CHANNEL_BLOCKS || index < 0 ||
      static_cast<size_t>(index) >= folder.channels[kind].size()) {
    return Fail(error, "no such channel");
  }
  return PatchFile(folder.path / kChannelFileNames[kind],
                   kChannelFileHeader + static_cast<size_t>(index) * PARVEX_CHANNEL_RECORD_SIZE,
                   &folder.channels[kind][index], PARVEX_CHANNEL_RECORD_SIZE, error);
}

}  // namespace parvex
