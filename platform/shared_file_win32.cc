// The Windows half of shared files: page-file-backed named file mappings.
//
// The "path" is the mapping's object name (ObjectPath gives "Global\\dm_device"). A mapping's
// size is fixed when it is created, and Windows rounds a view up to whole pages: the length a
// view reports is that of its pages.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/error_number.h"
#include "platform/kept_handles.h"
#include "platform/security_attributes.h"
#include "platform/shared_file.h"

namespace kestrum {
namespace {

// Owns a handle for the length of one call.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }

 private:
  HANDLE handle_;
};

// Owns a view for the length of one call.
class View {
 public:
  View(HANDLE mapping, DWORD access) : address_(MapViewOfFile(mapping, access, 0, 0, 0)) {}
  ~View() {
    if (address_) UnmapViewOfFile(address_);
  }
  View(const View&) = delete;
  View& operator=(const View&) = delete;
  void* get() const { return address_; }
  void* release() {
    void* address = address_;
    address_ = nullptr;
    return address;
  }

 private:
  void* address_;
};

// A missing object is not a platform failure: the caller sees error number 0.
void FailOpen() {
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    SetLastPlatformError(static_cast<int>(error));
    SetErrorNumber(0);
  } else {
    FailFromLastError();
  }
}

// The length of the view at `address`: its whole pages.
std::size_t ViewLength(const void* address) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(address, &info, sizeof(info)) != sizeof(info)) return 0;
  return info.RegionSize;
}

}  // namespace

void* MapSharedFile(const std::string& path, std::size_t min_length, std::size_t* length) {
  Handle mapping(OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, path.c_str()));
  if (!mapping.get()) {
    FailOpen();
    return nullptr;
  }
  // The view keeps the object alive after its handle is closed.
  View view(mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE);
  if (!view.get()) {
    FailFromLastError();
    return nullptr;
  }
  const std::size_t size = ViewLength(view.get());
  if (size == 0 || size < min_length) {
    SetErrorNumber(0);
    return nullptr;
  }
  if (length) *length = size;
  return view.release();
}

int UnmapSharedFile(void* address, std::size_t /*length*/) {
  if (!UnmapViewOfFile(address)) return FailFromLastError();
  return 0;
}

long ReadSharedFileHead(const std::string& path, std::span<std::byte> buffer) {
  Handle mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, path.c_str()));
  if (!mapping.get()) {
    FailOpen();
    return -1;
  }
  View view(mapping.get(), FILE_MAP_READ);
  if (!view.get()) return FailFromLastError();
  const std::size_t size = std::min(ViewLength(view.get()), buffer.size());
  std::memcpy(buffer.data(), view.get(), size);
  return static_cast<long>(size);
}

int PublishSharedFile(const std::string& path, std::span<const std::byte> contents, unsigned mode) {
  return PublishSharedFileWith(
      path, contents.size(),
      [&contents](void* address) {
        if (!contents.empty()) std::memcpy(address, contents.data(), contents.size());
        return 0;
      },
      mode);
}

int PublishSharedFileWith(const std::string& path, std::size_t length,
                          const std::function<int(void* address)>& initialise, unsigned /*mode*/) {
  // A mapping of no bytes cannot be created; one that could never be mapped is not wanted.
  if (length == 0) return FailWith(ERROR_INVALID_PARAMETER);
  const SecurityAttributes shared;
  void* security = nullptr;
  if (NativeSecurityAttributes(&shared, &security) != 0) return -1;
  const unsigned long long size = length;
  Handle mapping(CreateFileMappingA(
      INVALID_HANDLE_VALUE, static_cast<SECURITY_ATTRIBUTES*>(security), PAGE_READWRITE,
      static_cast<DWORD>(size >> 32), static_cast<DWORD>(size), path.c_str()));
  if (!mapping.get()) return FailFromLastError();
  // A mapping cannot be replaced while others have it open: an existing one is refused.
  if (GetLastError() == ERROR_ALREADY_EXISTS) return FailWith(ERROR_ALREADY_EXISTS);
  {
    View view(mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE);
    if (!view.get()) return FailFromLastError();
    if (int error = initialise(view.get())) return FailWith(error);
  }
  KeepHandleForProcess(mapping.release());
  return 0;
}

}  // namespace kestrum
