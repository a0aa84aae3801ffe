#include "platform/security_attributes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/error_number.h"

namespace kestrum {

int ApplySecurityAttributes(int fd, bool is_dir, const SecurityAttributes* attributes) {
  if (!attributes) return 0;
  if (attributes->group != kKeepCreatorsGroup) {
    // Not being a member of the group is no reason to fail the creation: the mode still holds.
    (void)fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(attributes->group));
  }
  const mode_t mode = is_dir ? attributes->dir_mode : attributes->file_mode;
  if (fchmod(fd, mode) != 0) return FailFromErrno();
  return 0;
}

int CreateFolder(const std::string& path, const SecurityAttributes* attributes) {
  if (mkdir(path.c_str(), 0777) != 0) return FailFromErrno();
  if (!attributes) return 0;
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return FailFromErrno();
  int rc = ApplySecurityAttributes(fd, true, attributes);
  close(fd);
  return rc;
}

int CreateFolderTree(const std::string& path, const SecurityAttributes* attributes) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    return S_ISDIR(st.st_mode) ? 0 : FailWith(ENOTDIR);
  }
  if (errno != ENOENT) return FailFromErrno();
  std::string::size_type slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    std::string::size_type end = path.find_last_not_of('/', slash);
    if (end != std::string::npos && CreateFolderTree(path.substr(0, end + 1), attributes) != 0) {
      return -1;
    }
  }
  if (CreateFolder(path, attributes) == 0) return 0;
  return GetErrorNumber() == EEXIST ? 0 : -1;
}

}  // namespace kestrum
