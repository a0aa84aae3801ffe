// What an open file's handle does the same on both platforms: closing on destruction, moving,
// and exact positioned reads on top of ReadAt.
#include <cerrno>
#include <utility>

#include "platform/error_number.h"
#include "platform/file_handle.h"

namespace kestrum {

FileHandle::~FileHandle() { Close(); }

FileHandle::FileHandle(FileHandle&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kNoHandle);
  }
  return *this;
}

int FileHandle::ReadExactlyAt(void* data, std::size_t size, std::uint64_t offset) {
  const long n = ReadAt(data, size, offset);
  if (n < 0) return -1;
  if (static_cast<std::size_t>(n) != size) return FailWith(ENODATA);
  return 0;
}

}  // namespace kestrum
