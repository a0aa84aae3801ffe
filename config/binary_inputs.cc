#include "config/binary_inputs.h"

#include "config/channel_config.h"
#include "config/device_config.h"
#include "platform/file_system.h"
#include "records/channel_config.h"
#include "records/device_record.h"

namespace kestrum {

// The device files: "config" is the AutoEnable byte and the block (a shorter one reads as
// zeros past its end), "saveconfig" SaveOutputs, SaveByTag and the 4-byte SaveRate.
constexpr uint64_t kConfigFileSize = 1 + kDeviceConfigBlockSize;
constexpr uint64_t kSaveConfigFileSize = 6;

bool BinaryInputUsable(const std::string& folder, const std::string& name, uint64_t least,
                       uint64_t header, uint64_t record, FolderFindings* findings) {
  const std::string path = folder + "/" + name;
  FileInfo info;
  if (GetFileInfo(path, &info) != 0) {
    findings->push_back({true, path + ": missing"});
    return false;
  }
  if (!info.regular) {
    findings->push_back(
        {true, path + (info.directory ? ": a folder where a file belongs" : ": not a file")});
    return false;
  }
  if (info.size < least) {
    findings->push_back({true, path + ": " + std::to_string(info.size) +
                                   " bytes, too short for this file (at least " +
                                   std::to_string(least) + ")"});
    return false;
  }
  if (info.size < header) {
    findings->push_back({false, path + ": " + std::to_string(info.size) + " bytes of " +
                                    std::to_string(header) + "; the missing ones read as zero"});
    return true;
  }
  const uint64_t past = info.size - header;
  const uint64_t odd = record > 0 ? past % record : past;
  if (odd > 0) {
    const std::string after =
        record > 0 ? "the last whole record" : "the first " + std::to_string(header);
    findings->push_back(
        {false, path + ": " + std::to_string(odd) + " bytes after " + after + " ignored"});
  }
  return true;
}

bool BinaryDeviceInputsUsable(const std::string& folder, FolderFindings* findings) {
  const bool config = BinaryInputUsable(folder, kDeviceConfigFile, 1, kConfigFileSize, 0, findings);
  const bool save = BinaryInputUsable(folder, kSaveConfigFile, kSaveConfigFileSize,
                                      kSaveConfigFileSize, 0, findings);
  return config && save;
}

bool BinaryChannelInputUsable(const std::string& folder, int kind, FolderFindings* findings) {
  return BinaryInputUsable(folder, ChannelFileName(kind, false), kChannelFileHeaderSize,
                           kChannelFileHeaderSize, sizeof(ChannelConfigRecord), findings);
}

}  // namespace kestrum
