// Internal to platform/: a FileInfo from the system's own file status.
#ifndef PARVEX_PLATFORM_FILE_INFO_POSIX_H_
#define PARVEX_PLATFORM_FILE_INFO_POSIX_H_

#include <sys/stat.h>

#include "platform/file_system.h"

namespace kestrum {

/// Copies what FileInfo holds from `status` into `*info`.
void FillFileInfo(const struct stat& status, FileInfo* info);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_FILE_INFO_POSIX_H_
