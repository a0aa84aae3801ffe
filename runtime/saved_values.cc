#include "runtime/saved_values.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/error_number.h"
#include "platform/file_handle.h"
#include "platform/file_system.h"
#include "platform/instance_paths.h"
#include "platform/own_process.h"
#include "records/saved_value.h"
#include "records/text_case.h"
#include "runtime/install_roots.h"

namespace kestrum {
namespace {

constexpr size_t kTagField = sizeof(SavedTagRecord::tag);  // 15
constexpr size_t kBinTag = sizeof(SavedValueRecord::tag);  // 12

// The saved-values folder, or "" when it cannot be resolved.
std::string SavedValuesFolder() {
  const char* folder = GetFolder("KSM_SAVED_VALUES");
  return folder == nullptr ? "" : folder;
}

std::string FileName(const char* device_folder, const char* kind, const char* extension) {
  return std::string(device_folder) + "_" + kind + extension;
}

std::string FilePath(const char* device_folder, const char* kind, const char* extension) {
  if (device_folder == nullptr || kind == nullptr) return "";
  const std::string folder = SavedValuesFolder();
  if (folder.empty()) return "";
  return folder + "/" + FileName(device_folder, kind, extension);
}

// Opens a saved file of the folder for reading. The folder is shared by a group, and this
// process may have more right than its members: a file that is a symlink, not a regular file,
// or not this process user's own is refused rather than read. Returns 0, or -1 with the error
// number set.
int OpenSavedFile(const std::string& folder, const std::string& name, FileHandle* file) {
  return file->OpenOwnFileIn(folder, name, kOpenRead);
}

// A file written in full beside its final path and renamed over it only by Commit.
class ReplacementFile {
 public:
  ~ReplacementFile() {
    if (!temp_.empty()) RemoveFile(temp_);
  }

  // Writes `bytes`, followed by whatever the old file held past their length, to a temporary
  // file with the old file's permissions, and flushes it to disk. Returns 0, or -1 with the
  // error number set; an old file that OpenSavedFile refuses fails the save.
  int Prepare(const std::string& folder, const std::string& name, std::string bytes) {
    path_ = folder + "/" + name;
    static std::atomic<unsigned> serial{0};
    const std::string temp_name =
        "." + name + "." + std::to_string(OwnProcessId()) + "." + std::to_string(serial++) + ".tmp";
    FileHandle file;
    if (file.Open(folder + "/" + temp_name, kOpenWrite | kOpenCreate | kOpenExclusive, 0666) != 0) {
      return -1;
    }
    temp_ = folder + "/" + temp_name;
    FileHandle old;
    if (OpenSavedFile(folder, name, &old) != 0) {
      if (GetErrorNumber() != ENOENT) return -1;
      // A new file gives the instance's group read and write access whatever the umask.
      FileInfo info;
      if (file.Info(&info) != 0 ||
          file.SetPermissions(info.permissions | kInstanceGroupFileMode) != 0) {
        return -1;
      }
    } else {
      // A replaced file keeps its permissions.
      FileInfo info;
      if (old.Info(&info) != 0 || file.SetPermissions(info.permissions) != 0 ||
          AppendSurplus(&old, info.size, &bytes) != 0) {
        return -1;
      }
    }
    if (file.WriteExactly(bytes.data(), bytes.size()) != 0 || file.Sync() != 0) return -1;
    return file.Close();
  }

  // Puts the prepared file in place. Returns 0, or -1 with the error number set.
  int Commit() {
    if (RenameFile(temp_, path_) != 0) return -1;
    temp_.clear();
    return 0;
  }

 private:
  static int AppendSurplus(FileHandle* old, uint64_t old_size, std::string* bytes) {
    if (old_size <= bytes->size()) return 0;
    std::string surplus(old_size - bytes->size(), '\0');
    const long got = old->ReadAt(surplus.data(), surplus.size(), bytes->size());
    if (got < 0) return -1;
    *bytes += surplus.substr(0, static_cast<size_t>(got));
    return 0;
  }

  std::string path_;
  std::string temp_;
};

// The tag of a channel that is in use, or the empty name.
std::string InUseTag(const ChannelConfigRecord& record) {
  return ChannelEnabled(record) ? GetChannelTag(record) : "";
}

void Store(uint32_t* values, const ChannelConfigRecord* records, int slot, uint32_t value) {
  if (IsDigitalRecord(records[slot])) {
    values[slot] = (values[slot] & ~1u) | (value & 1u);
  } else {
    values[slot] = value;
  }
}

bool SameTag(const ChannelConfigRecord& record, const char* stored, size_t length) {
  return ChannelEnabled(record) && CompareIgnoringCase(GetChannelTag(record), stored, length) == 0;
}

}  // namespace

std::string SavedValuePath(const char* device_folder, const char* kind) {
  return FilePath(device_folder, kind, ".bin");
}

std::string SavedTagPath(const char* device_folder, const char* kind) {
  return FilePath(device_folder, kind, ".tag");
}

int SaveChannelValues(const char* device_folder, const char* kind, const uint32_t* values,
                      const ChannelConfigRecord* records, int count) {
  const std::string bin_path = SavedValuePath(device_folder, kind);
  if (device_folder == nullptr || kind == nullptr || count < 0 ||
      (count > 0 && (values == nullptr || records == nullptr))) {
    return FailWith(EINVAL);
  }
  if (bin_path.empty()) return -1;  // the folder could not be resolved
  std::string bin(static_cast<size_t>(count) * sizeof(SavedValueRecord), '\0');
  std::string tag(static_cast<size_t>(count) * kTagField, '\0');
  for (int i = 0; i < count; ++i) {
    const std::string name = InUseTag(records[i]).substr(0, kTagField);
    std::memcpy(bin.data() + SavedValueRecordOffset(i), name.data(),
                std::min(name.size(), kBinTag));
    std::memcpy(bin.data() + SavedValueOffset(i), &values[i], sizeof values[i]);
    std::memcpy(tag.data() + SavedTagOffset(i), name.data(), name.size());
  }
  const std::string folder = SavedValuesFolder();
  ReplacementFile bin_file, tag_file;
  if (bin_file.Prepare(folder, FileName(device_folder, kind, ".bin"), std::move(bin)) != 0 ||
      tag_file.Prepare(folder, FileName(device_folder, kind, ".tag"), std::move(tag)) != 0 ||
      bin_file.Commit() != 0 || tag_file.Commit() != 0) {
    return -1;
  }
  SyncFolder(folder);
  return count;
}

int LoadChannelValues(const char* device_folder, const char* kind, bool match_by_name,
                      uint32_t* values, const ChannelConfigRecord* records, int count) {
  const std::string bin_path = SavedValuePath(device_folder, kind);
  if (device_folder == nullptr || kind == nullptr || count < 0 ||
      (count > 0 && (values == nullptr || records == nullptr))) {
    return FailWith(EINVAL);
  }
  if (bin_path.empty()) return -1;  // the folder could not be resolved
  const std::string folder = SavedValuesFolder();
  FileHandle bin;
  if (OpenSavedFile(folder, FileName(device_folder, kind, ".bin"), &bin) != 0) return -1;
  // A missing tag file is allowed; one that is refused is not read around.
  FileHandle tag;
  if (OpenSavedFile(folder, FileName(device_folder, kind, ".tag"), &tag) != 0 &&
      GetErrorNumber() != ENOENT) {
    return -1;
  }
  for (int i = 0; i < count; ++i) values[i] = 0;
  int restored = 0;
  for (int i = 0; i < count; ++i) {
    SavedValueRecord saved;
    if (!match_by_name) {
      if (bin.ReadExactlyAt(&saved.value, sizeof saved.value, SavedValueOffset(i)) != 0) {
        return -1;
      }
      Store(values, records, i, saved.value);
      ++restored;
      continue;
    }
    char name[kTagField + 1] = {};
    if (bin.ReadExactlyAt(&saved, sizeof saved, SavedValueRecordOffset(i)) != 0) return -1;
    std::memcpy(name, saved.tag, kBinTag);
    size_t length = kBinTag;
    if (tag.is_open()) {
      if (tag.ReadExactlyAt(name, kTagField, SavedTagOffset(i)) != 0) return -1;
      length = kTagField;
    }
    if (name[0] == '\0') continue;
    int slot = -1;
    if (SameTag(records[i], name, length)) {
      slot = i;
    } else {
      for (int j = 0; j < count && slot < 0; ++j) {
        if (SameTag(records[j], name, length)) slot = j;
      }
    }
    if (slot < 0) continue;
    Store(values, records, slot, saved.value);
    ++restored;
  }
  return restored;
}

}  // namespace kestrum
