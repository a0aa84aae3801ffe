#include "runtime/saved_values.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/error_number.h"
#include "platform/instance_paths.h"
#include "records/saved_value.h"
#include "runtime/install_roots.h"

namespace kestrum {
namespace {

constexpr size_t kTagField = sizeof(SavedTagRecord::tag);  // 15
constexpr size_t kBinTag = sizeof(SavedValueRecord::tag);  // 12

std::string FilePath(const char* device_folder, const char* kind, const char* extension) {
  if (device_folder == nullptr || kind == nullptr) return "";
  const char* folder = GetFolder("KSM_SAVED_VALUES");
  if (folder == nullptr) return "";
  return std::string(folder) + "/" + device_folder + "_" + kind + extension;
}

// Closes a descriptor on every path out.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int Close() {
    int rc = fd_ >= 0 ? close(fd_) : 0;
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Reads exactly `size` bytes at `offset`; a short read fails with ENODATA.
bool ReadAllAt(int fd, void* data, size_t size, off_t offset) {
  size_t done = 0;
  while (done < size) {
    ssize_t n =
        pread(fd, static_cast<char*>(data) + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = ENODATA;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// A file written in full beside its final path and renamed over it only by Commit.
class ReplacementFile {
 public:
  ~ReplacementFile() {
    if (!temp_.empty()) unlink(temp_.c_str());
  }

  // Writes `bytes`, followed by whatever the old file held past their length, to a temporary
  // file with the old file's permissions, and flushes it to disk. Returns false with errno set.
  bool Prepare(const std::string& path, std::string bytes) {
    path_ = path;
    static std::atomic<unsigned> serial{0};
    const size_t slash = path.rfind('/');
    temp_ = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + "." +
            std::to_string(getpid()) + "." + std::to_string(serial++) + ".tmp";
    mode_t mode = 0666;
    Fd old(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info;
    if (old.get() >= 0 && fstat(old.get(), &info) == 0) {
      mode = info.st_mode & 07777;
      AppendSurplus(old.get(), static_cast<size_t>(info.st_size), &bytes);
    }
    Fd fd(open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (fd.get() < 0) {
      temp_.clear();
      return false;
    }
    // A replaced file keeps its permissions; a new one gives the instance's group read and
    // write access whatever the umask.
    if (old.get() >= 0) {
      fchmod(fd.get(), mode);
    } else if (fstat(fd.get(), &info) == 0) {
      fchmod(fd.get(), (info.st_mode & 07777) | kInstanceGroupFileMode);
    }
    return WriteAll(fd.get(), bytes.data(), bytes.size()) && fsync(fd.get()) == 0 &&
           fd.Close() == 0;
  }

  // Puts the prepared file in place. Returns false with errno set.
  bool Commit() {
    if (rename(temp_.c_str(), path_.c_str()) != 0) return false;
    temp_.clear();
    return true;
  }

 private:
  static void AppendSurplus(int fd, size_t old_size, std::string* bytes) {
    if (old_size <= bytes->size()) return;
    std::string surplus(old_size - bytes->size(), '\0');
    if (ReadAllAt(fd, surplus.data(), surplus.size(), static_cast<off_t>(bytes->size()))) {
      *bytes += surplus;
    }
  }

  std::string path_;
  std::string temp_;
};

void SyncFolder(const std::string& path) {
  Fd dir(open(path.substr(0, path.rfind('/') + 1).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) fsync(dir.get());
}

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
  return ChannelEnabled(record) && strncasecmp(GetChannelTag(record), stored, length) == 0;
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
  ReplacementFile bin_file, tag_file;
  const std::string tag_path = SavedTagPath(device_folder, kind);
  if (!bin_file.Prepare(bin_path, std::move(bin)) || !tag_file.Prepare(tag_path, std::move(tag)) ||
      !bin_file.Commit() || !tag_file.Commit()) {
    return FailFromErrno();
  }
  SyncFolder(bin_path);
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
  Fd bin(open(bin_path.c_str(), O_RDONLY | O_CLOEXEC));
  if (bin.get() < 0) return FailFromErrno();
  Fd tag(open(SavedTagPath(device_folder, kind).c_str(), O_RDONLY | O_CLOEXEC));
  for (int i = 0; i < count; ++i) values[i] = 0;
  int restored = 0;
  for (int i = 0; i < count; ++i) {
    SavedValueRecord saved;
    if (!match_by_name) {
      if (!ReadAllAt(bin.get(), &saved.value, sizeof saved.value, SavedValueOffset(i))) {
        return FailFromErrno();
      }
      Store(values, records, i, saved.value);
      ++restored;
      continue;
    }
    char name[kTagField + 1] = {};
    if (!ReadAllAt(bin.get(), &saved, sizeof saved, SavedValueRecordOffset(i))) {
      return FailFromErrno();
    }
    std::memcpy(name, saved.tag, kBinTag);
    size_t length = kBinTag;
    if (tag.get() >= 0) {
      if (!ReadAllAt(tag.get(), name, kTagField, SavedTagOffset(i))) return FailFromErrno();
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
