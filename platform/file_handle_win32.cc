#include <windows.h>
// <windows.h> maps this name onto its own ANSI or wide function; the system's function of the
// same name (platform/file_system.h) is meant here.
#undef GetCurrentDirectory

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/error_number.h"
#include "platform/file_handle.h"
#include "platform/file_info_win32.h"
#include "platform/file_security_win32.h"
#include "platform/owned_handle_win32.h"

namespace kestrum {
namespace {

// The most bytes one ReadFile or WriteFile call is given.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

// Others may read, write, rename and remove a file while this process has it open, as on POSIX.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The folders on a path named by someone else are held open without delete sharing: while held,
// none can be renamed or removed, so none can be swapped for a link.
constexpr DWORD kShareHeldFolder = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

DWORD Chunk(std::size_t left) {
  return static_cast<DWORD>(left < kLargestTransfer ? left : kLargestTransfer);
}

// The access a mode asks for (with what Info and the owner checks read), or 0 when it names
// neither reading nor writing.
DWORD AccessOf(int mode) {
  DWORD access = 0;
  if (mode & kOpenRead) access |= FILE_GENERIC_READ;
  if (mode & kOpenWrite) access |= FILE_GENERIC_WRITE;
  return access == 0 ? 0 : access | FILE_READ_ATTRIBUTES | READ_CONTROL;
}

// What CreateFile does when the name exists or is missing, for a mode.
DWORD DispositionOf(int mode) {
  const bool create = (mode & kOpenCreate) != 0;
  const bool truncate = (mode & kOpenTruncate) != 0;
  if (create && (mode & kOpenExclusive)) return CREATE_NEW;
  if (create) return truncate ? CREATE_ALWAYS : OPEN_ALWAYS;
  return truncate ? TRUNCATE_EXISTING : OPEN_EXISTING;
}

// A created file without the owner's write bit is read-only, the one permission Windows shows.
DWORD CreatedAttributes(unsigned permissions) {
  return (permissions & 0200) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

// A failed open: callers tell a missing file by ENOENT and a taken name by EEXIST.
int FailOpen() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return FailWith(ENOENT);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return FailWith(EEXIST);
    default:
      return FailFromLastError();
  }
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Whether a name in a folder names a device instead of a file: "CON", "NUL", "COM1", "LPT2"
// and the rest, also with an extension ("nul.txt"), wherever they stand.
bool IsDeviceName(std::string_view name) {
  name = name.substr(0, name.find('.'));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (SameLetters(name, device)) return true;
  }
  return name.size() == 4 &&
         (SameLetters(name.substr(0, 3), "COM") || SameLetters(name.substr(0, 3), "LPT")) &&
         name[3] >= '1' && name[3] <= '9';
}

// Why a name of a path named by someone else is refused before anything is opened: a device
// (EPERM), or a stream of a file, named with ':' (EINVAL); 0 for a plain name.
int WhyNotPlainName(std::string_view name) {
  if (IsDeviceName(name)) return EPERM;
  if (name.find(':') != std::string_view::npos) return EINVAL;
  return 0;
}

// Splits `path` into where it starts (a drive's root "C:\", a share "\\server\share\", the
// current drive's root "\", a drive's working folder "C:", or "" for the working folder) and
// the rest. False for a path into the system's device namespace ("\\.\", "\\?\").
bool SplitStart(std::string_view path, std::string* start, std::string_view* rest) {
  std::size_t length = 0;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    if (path.size() >= 4 && (path[2] == '.' || path[2] == '?') && IsSeparator(path[3])) {
      return false;
    }
    // \\server\share\: the share is where the path starts.
    std::size_t separators = 0;
    for (length = 2; length < path.size() && separators < 2; ++length) {
      if (IsSeparator(path[length])) ++separators;
    }
  } else if (path.size() >= 2 && path[1] == ':') {
    length = path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
  } else if (!path.empty() && IsSeparator(path[0])) {
    length = 1;
  }
  start->assign(path.substr(0, length));
  for (char& c : *start) {
    if (c == '/') c = '\\';
  }
  *rest = path.substr(length);
  return true;
}

// Opens the folder `path` for its attributes, following links when `follow`, and holds it
// without delete sharing. Returns the handle, or null with the error number set (ELOOP for a
// link not followed, ENOTDIR for what is not a folder).
HANDLE OpenHeldFolder(const std::string& path, bool follow) {
  const HANDLE folder = CreateFileA(
      path.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL, kShareHeldFolder, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
  if (folder == INVALID_HANDLE_VALUE) {
    FailOpen();
    return nullptr;
  }
  OwnedHandle held(folder);
  BY_HANDLE_FILE_INFORMATION data;
  if (!GetFileInformationByHandle(folder, &data)) {
    FailFromLastError();
    return nullptr;
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    FailWith(ELOOP);
    return nullptr;
  }
  if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    FailWith(ENOTDIR);
    return nullptr;
  }
  return held.release();
}

// What a file named by someone else must be for this process to use it: no link (ELOOP), a
// regular file on a disk with one name, owned by this process's user (EPERM otherwise).
// Returns 0 and fills `*data`, or -1 with the error number set.
int CheckOwnSingleRegularFile(HANDLE file, BY_HANDLE_FILE_INFORMATION* data) {
  if (!GetFileInformationByHandle(file, data)) return FailFromLastError();
  if (data->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return FailWith(ELOOP);
  if ((data->dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) ||
      GetFileType(file) != FILE_TYPE_DISK || data->nNumberOfLinks != 1 ||
      OwnerIdOf(file) != EffectiveUserId()) {
    return FailWith(EPERM);
  }
  return 0;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// Whether a user with only what every user has (the writer of a path, when that is not this
// process's user) could itself have opened the file as `mode` asks: the file's access list when
// it exists (`existing`, else null), the folder's for creating it. An existing file that the
// writer could have removed and created anew may be created anew for it.
bool WriterMayOpen(HANDLE folder, HANDLE existing, int mode) {
  DWORD data = 0;
  if (mode & kOpenRead) data |= FILE_READ_DATA;
  if (mode & kOpenWrite) data |= FILE_WRITE_DATA;
  if (existing != nullptr && AnyUserMay(existing, data)) return true;
  if (!(mode & kOpenCreate) || !AnyUserMay(folder, FILE_ADD_FILE)) return false;
  return existing == nullptr || AnyUserMay(existing, DELETE) ||
         AnyUserMay(folder, FILE_DELETE_CHILD);
}

// Opens `name` in the held folder `folder`, whose path is `prefix` (ending in a separator or
// empty), never through a link, and only when it is (or has just been created as) this user's
// own single regular file that its writer, when `for_other` is set, could have opened itself.
// Returns the handle, or null with the error number set.
HANDLE OpenOwnFileAt(HANDLE folder, const std::string& prefix, const std::string& name, int mode,
                     unsigned permissions, bool for_other) {
  if (const int why = WhyNotPlainName(name); why != 0) {
    FailWith(why);
    return nullptr;
  }
  const std::string path = prefix + name;
  // A look for the attributes alone first: a link, a folder or a second name is refused before
  // the file is opened for its data.
  const HANDLE look = CreateFileA(
      path.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  OwnedHandle looked(look == INVALID_HANDLE_VALUE ? nullptr : look);
  if (!looked && GetLastError() != ERROR_FILE_NOT_FOUND) {
    FailOpen();
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION before;
  if (looked && CheckOwnSingleRegularFile(looked.get(), &before) != 0) return nullptr;
  if (for_other && !WriterMayOpen(folder, looked.get(), mode)) {
    FailWith(EACCES);
    return nullptr;
  }
  // A file the writer may only create is created here, not found: a name taken meanwhile fails.
  DWORD disposition = OPEN_EXISTING;
  if (mode & kOpenCreate) {
    disposition = (mode & kOpenExclusive) || (!looked && for_other) ? CREATE_NEW
                  : looked                                          ? OPEN_EXISTING
                                                                    : OPEN_ALWAYS;
  }
  const HANDLE file =
      CreateFileA(path.c_str(), AccessOf(mode), kShareAll, nullptr, disposition,
                  CreatedAttributes(permissions) | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    FailOpen();
    return nullptr;
  }
  OwnedHandle opened(file);
  BY_HANDLE_FILE_INFORMATION after;
  if (CheckOwnSingleRegularFile(file, &after) != 0) return nullptr;
  if (looked && !SameFile(before, after)) {
    FailWith(EPERM);  // swapped between the look and the open
    return nullptr;
  }
  if (mode & kOpenTruncate) {
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) {
      FailFromLastError();
      return nullptr;
    }
  }
  return opened.release();
}

// Keeps a file's position for one scope: a ReadFile at an offset on a handle opened for
// synchronous I/O moves it, where ReadAt must not.
class KeepPosition {
 public:
  explicit KeepPosition(HANDLE file) : file_(file) {
    const LARGE_INTEGER here = {};
    kept_ = SetFilePointerEx(file, here, &position_, FILE_CURRENT) != 0;
  }
  ~KeepPosition() {
    if (kept_) SetFilePointerEx(file_, position_, nullptr, FILE_BEGIN);
  }
  KeepPosition(const KeepPosition&) = delete;
  KeepPosition& operator=(const KeepPosition&) = delete;

  bool kept() const { return kept_; }

 private:
  HANDLE file_;
  LARGE_INTEGER position_ = {};
  bool kept_ = false;
};

}  // namespace

int FileHandle::Adopt(std::intptr_t handle) {
  Close();
  handle_ = handle;
  return 0;
}

int FileHandle::Open(const std::string& path, int mode, unsigned permissions) {
  const DWORD access = AccessOf(mode);
  if (access == 0) return FailWith(EINVAL);
  const HANDLE file = CreateFileA(path.c_str(), access, kShareAll, nullptr, DispositionOf(mode),
                                  CreatedAttributes(permissions), nullptr);
  if (file == INVALID_HANDLE_VALUE) return FailOpen();
  return Adopt(reinterpret_cast<std::intptr_t>(file));
}

int FileHandle::OpenOwnFile(const std::string& path, int mode, unsigned permissions) {
  return OpenOwnFileFor(EffectiveUserId(), path, mode, permissions);
}

// Windows lets every user pass through folders it may not list (the traverse right every
// account holds), so only the file's and its folder's access lists judge the writer.
int FileHandle::OpenOwnFileFor(std::uint32_t writer, const std::string& path, int mode,
                               unsigned permissions) {
  if (AccessOf(mode) == 0 || path.empty()) return FailWith(path.empty() ? ENOENT : EINVAL);
  std::string prefix;
  std::string_view rest;
  if (!SplitStart(path, &prefix, &rest)) return FailWith(EPERM);
  // Where the path starts is trusted as named; "C:" alone would name the drive's device.
  std::vector<OwnedHandle> folders;
  folders.emplace_back(
      OpenHeldFolder(prefix.empty() ? "." : prefix + (prefix.back() == ':' ? "." : ""), true));
  if (!folders.back()) return -1;
  // Writer 0 is the system and the administrators (RegQueryValueWriter's only named writer),
  // who may whatever this process may, as root may on Linux.
  const bool for_other = writer != 0 && writer != EffectiveUserId();
  while (true) {
    std::size_t separator = 0;
    while (separator < rest.size() && !IsSeparator(rest[separator])) ++separator;
    const std::string part(rest.substr(0, separator));
    if (separator == rest.size()) {
      if (part.empty() || part == "." || part == "..") return FailWith(EISDIR);
      const HANDLE file =
          OpenOwnFileAt(folders.back().get(), prefix, part, mode, permissions, for_other);
      return file == nullptr ? -1 : Adopt(reinterpret_cast<std::intptr_t>(file));
    }
    rest.remove_prefix(separator + 1);
    if (part.empty() || part == ".") continue;
    if (const int why = WhyNotPlainName(part); why != 0) return FailWith(why);
    prefix += part;
    folders.emplace_back(OpenHeldFolder(prefix, false));
    if (!folders.back()) return -1;
    prefix += '\\';
  }
}

int FileHandle::OpenOwnFileIn(const std::string& folder, const std::string& name, int mode,
                              unsigned permissions) {
  if (AccessOf(mode) == 0 || name.empty() || name == "." || name == ".." ||
      name.find_first_of("/\\") != std::string::npos) {
    return FailWith(EINVAL);
  }
  const OwnedHandle held(OpenHeldFolder(folder, true));
  if (!held) return -1;
  const std::string prefix = IsSeparator(folder.back()) ? folder : folder + '\\';
  const HANDLE file = OpenOwnFileAt(held.get(), prefix, name, mode, permissions, false);
  return file == nullptr ? -1 : Adopt(reinterpret_cast<std::intptr_t>(file));
}

int FileHandle::OpenStandardError() {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return FailWith(EBADF);
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), error, GetCurrentProcess(), &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return FailFromLastError();
  }
  return Adopt(reinterpret_cast<std::intptr_t>(copy));
}

int FileHandle::Close() {
  if (handle_ == kNoHandle) return 0;
  return CloseHandle(AsHandle(std::exchange(handle_, kNoHandle))) ? 0 : FailFromLastError();
}

int FileHandle::ReadExactly(void* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), static_cast<char*>(data) + done, Chunk(size - done), &got,
                  nullptr)) {
      return FailFromLastError();
    }
    if (got == 0) return FailWith(ENODATA);
    done += got;
  }
  return 0;
}

int FileHandle::WriteExactly(const void* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    DWORD put = 0;
    if (!WriteFile(AsHandle(handle_), static_cast<const char*>(data) + done, Chunk(size - done),
                   &put, nullptr)) {
      return FailFromLastError();
    }
    if (put == 0) return FailWith(EIO);
    done += put;
  }
  return 0;
}

long FileHandle::ReadAt(void* data, std::size_t size, std::uint64_t offset) {
  const KeepPosition keep(AsHandle(handle_));
  if (!keep.kept()) return FailFromLastError();
  std::size_t done = 0;
  while (done < size) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset + done);
    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), static_cast<char*>(data) + done, Chunk(size - done), &got,
                  &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return FailFromLastError();
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<long>(done);
}

int FileHandle::Sync() { return FlushFileBuffers(AsHandle(handle_)) ? 0 : FailFromLastError(); }

int FileHandle::Info(FileInfo* info) const { return FillFileInfo(AsHandle(handle_), info); }

// The read-only attribute is set through a second handle on the same file: the handle held may
// lack the right to write attributes (a file opened for reading), as a POSIX descriptor may
// change its file's mode whatever it was opened for.
int FileHandle::SetPermissions(unsigned permissions) {
  const HANDLE again =
      ReOpenFile(AsHandle(handle_), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, 0);
  if (again == INVALID_HANDLE_VALUE) return FailFromLastError();
  const OwnedHandle held(again);
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(again, FileBasicInfo, &basic, sizeof basic)) {
    return FailFromLastError();
  }
  DWORD attributes = basic.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
  if (permissions & 0200) {
    attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  } else {
    attributes |= FILE_ATTRIBUTE_READONLY;
  }
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  return SetFileInformationByHandle(again, FileBasicInfo, &basic, sizeof basic)
             ? 0
             : FailFromLastError();
}

}  // namespace kestrum
