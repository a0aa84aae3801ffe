// The calling process's effective access to a file or folder.
#ifndef PARVEX_PLATFORM_FILE_ACCESS_H_
#define PARVEX_PLATFORM_FILE_ACCESS_H_

#include <string>

namespace kestrum {

// Access kinds, combinable.
inline constexpr int kAccessRead = 1;
inline constexpr int kAccessWrite = 2;
inline constexpr int kAccessExecute = 4;

/// Returns true when the process, with its effective user and groups, may access `path` in
/// every way of `access` (0: the path exists). Write access fails on a read-only file system.
/// A missing path and every other failure give false.
bool HasFileAccess(const std::string& path, int access);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_FILE_ACCESS_H_
