#include <windows.h>

#include "platform/owned_handle_win32.h"

namespace kestrum {

void HandleCloser::operator()(void* handle) const { CloseHandle(handle); }

}  // namespace kestrum
