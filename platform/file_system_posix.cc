#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "platform/error_number.h"
#include "platform/file_info_posix.h"

namespace kestrum {

void FillFileInfo(const struct stat& status, FileInfo* info) {
  info->size = static_cast<std::uint64_t>(status.st_size);
  info->modified_seconds = status.st_mtim.tv_sec;
  info->modified_nanoseconds = static_cast<std::int32_t>(status.st_mtim.tv_nsec);
  info->permissions = status.st_mode & 07777;
  info->owner = status.st_uid;
  info->group = status.st_gid;
  info->links = status.st_nlink;
  info->regular = S_ISREG(status.st_mode);
  info->directory = S_ISDIR(status.st_mode);
}

int GetFileInfo(const std::string& path, FileInfo* info) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return FailFromErrno();
  FillFileInfo(status, info);
  return 0;
}

int SetFileModifiedTime(const std::string& path, std::int64_t seconds, std::int32_t nanoseconds) {
  // The last access keeps its time.
  const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), nanoseconds}};
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 ? 0 : FailFromErrno();
}

bool PathExists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

int RenameFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : FailFromErrno();
}

int RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0 ? 0 : FailFromErrno(); }

int SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return FailFromErrno();
  const int rc = fsync(fd) == 0 ? 0 : FailFromErrno();
  close(fd);
  return rc;
}

int GetCurrentDirectory(std::string* path) {
  std::vector<char> buffer(4096);
  if (getcwd(buffer.data(), buffer.size()) == nullptr) return FailFromErrno();
  path->assign(buffer.data());
  return 0;
}

int ChangeDirectory(const std::string& path) {
  return chdir(path.c_str()) == 0 ? 0 : FailFromErrno();
}

std::uint32_t EffectiveUserId() { return geteuid(); }

std::FILE* OpenStream(const std::string& path, const char* mode) {
  // "e": close on exec.
  std::FILE* stream = std::fopen(path.c_str(), (std::string(mode) + "e").c_str());
  if (stream == nullptr) FailFromErrno();
  return stream;
}

}  // namespace kestrum
