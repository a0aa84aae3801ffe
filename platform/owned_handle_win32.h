// Internal to platform/'s Windows halves: a Windows handle closed when its owner goes.
#ifndef PARVEX_PLATFORM_OWNED_HANDLE_WIN32_H_
#define PARVEX_PLATFORM_OWNED_HANDLE_WIN32_H_

#include <memory>

namespace kestrum {

/// Closes a Windows handle (CloseHandle).
struct HandleCloser {
  void operator()(void* handle) const;
};

/// A valid Windows handle (never INVALID_HANDLE_VALUE), closed when it goes.
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_OWNED_HANDLE_WIN32_H_
