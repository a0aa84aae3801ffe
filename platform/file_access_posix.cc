#include "platform/file_access.h"

#include <fcntl.h>
#include <unistd.h>

namespace kestrum {

bool HasFileAccess(const std::string& path, int access) {
  int mode = F_OK;
  if (access & kAccessRead) mode |= R_OK;
  if (access & kAccessWrite) mode |= W_OK;
  if (access & kAccessExecute) mode |= X_OK;
  return faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
}

}  // namespace kestrum
