#include <windows.h>
// <windows.h> maps this name onto its own ANSI or wide function; the system's function of the
// same name is meant here.
#undef GetCurrentDirectory

#include <direct.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "platform/error_number.h"
#include "platform/file_system.h"

namespace kestrum {
namespace {

// 100-nanosecond intervals between 1601-01-01 (the FILETIME epoch) and 1970-01-01.
constexpr std::int64_t kFileTimeTo1970 = 116444736000000000LL;
constexpr std::int64_t kFileTimeTicksPerSecond = 10000000;

}  // namespace

int GetFileInfo(const std::string& path, FileInfo* info) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    // Callers tell "nothing there" by ENOENT on every platform.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FailWith(ENOENT);
    return FailFromLastError();
  }
  const bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool read_only = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  const std::int64_t ticks = (static_cast<std::int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                              data.ftLastWriteTime.dwLowDateTime) -
                             kFileTimeTo1970;
  *info = FileInfo{};
  info->size = static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  info->modified_seconds = ticks / kFileTimeTicksPerSecond;
  info->modified_nanoseconds = static_cast<std::int32_t>(ticks % kFileTimeTicksPerSecond * 100);
  // Windows has no permission bits: the read-only attribute is the only one a name shows.
  info->permissions = (read_only ? 0444 : 0666) | (directory ? 0111 : 0);
  info->links = 1;
  info->regular = !directory && !(data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE);
  info->directory = directory;
  return 0;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The C runtime's rename refuses an existing target; the system's rename replaces it, and
// writes through so that the new name is on the storage when it returns.
int RenameFile(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : FailFromLastError();
}

int RemoveFile(const std::string& path) { return _unlink(path.c_str()) == 0 ? 0 : FailFromErrno(); }

// A folder's entries cannot be flushed on their own on Windows; RenameFile writes through.
int SyncFolder(const std::string& folder) {
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FailFromLastError();
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : FailWith(ENOTDIR);
}

int GetCurrentDirectory(std::string* path) {
  std::vector<char> buffer(MAX_PATH + 1);
  if (_getcwd(buffer.data(), static_cast<int>(buffer.size())) == nullptr) return FailFromErrno();
  path->assign(buffer.data());
  return 0;
}

std::string CurrentDirectory() {
  std::string path;
  return GetCurrentDirectory(&path) == 0 ? path : ".";
}

int ChangeDirectory(const std::string& path) {
  return _chdir(path.c_str()) == 0 ? 0 : FailFromErrno();
}

// Windows has no user ids; files' owners read as 0 too.
std::uint32_t EffectiveUserId() { return 0; }

std::FILE* OpenStream(const std::string& path, const char* mode) {
  // "N": the handle is not inherited.
  std::FILE* stream = std::fopen(path.c_str(), (std::string(mode) + "N").c_str());
  if (stream == nullptr) FailFromErrno();
  return stream;
}

}  // namespace kestrum
