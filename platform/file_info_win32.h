// Internal to platform/'s Windows halves: a FileInfo from an open file's handle.
#ifndef PARVEX_PLATFORM_FILE_INFO_WIN32_H_
#define PARVEX_PLATFORM_FILE_INFO_WIN32_H_

#include "platform/file_system.h"

namespace kestrum {

/// Fills `*info` for the open file or folder `handle` (a HANDLE with FILE_READ_ATTRIBUTES and
/// READ_CONTROL access). Returns 0, or -1 with the error number set.
int FillFileInfo(void* handle, FileInfo* info);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_FILE_INFO_WIN32_H_
