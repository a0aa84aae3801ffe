#include <io.h>

#include "platform/file_access.h"

namespace kestrum {

// The C runtime checks existence and the read-only attribute, not the file's access list. Windows
// has no execute permission of its own: a file that may be read may be run.
bool HasFileAccess(const std::string& path, int access) {
  int mode = 0;
  if (access & (kAccessRead | kAccessExecute)) mode |= 4;
  if (access & kAccessWrite) mode |= 2;
  return _access(path.c_str(), mode) == 0;
}

}  // namespace kestrum
