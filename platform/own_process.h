// The calling process itself: its id, its scheduling priority, its standard input and output.
#ifndef PARVEX_PLATFORM_OWN_PROCESS_H_
#define PARVEX_PLATFORM_OWN_PROCESS_H_

#include <cstdint>
#include <string>

namespace kestrum {

/// The calling process's id. Read from the system once and again in a child made by fork, so
/// that a child never goes on under its parent's id. Never fails.
std::uint32_t OwnProcessId();

/// Raises the calling process's scheduling priority as far as the system allows: real-time
/// round-robin scheduling at its lowest level, else a nice value of kRaisedNiceValue. Returns 0
/// when either was granted, or -1 with the error number set when both were refused (callers
/// on Linux go on at normal priority).
int RaiseProcessPriority();

/// The nice value asked for when real-time scheduling is refused.
inline constexpr int kRaisedNiceValue = -10;

/// The full path of the program file the calling process runs, or "" with the error number set
/// when the system cannot tell it. Tests start their own program again for a child's work.
std::string OwnProgramPath();

/// Closes the process's standard input. Returns 0, or -1 with the error number set.
int CloseStandardInput();

/// Makes standard output pass bytes as they are written, so that a program's output is the same
/// on every platform: Windows' C runtime writes "\r\n" for "\n" in its text mode, the default
/// there (Linux has no such mode). Returns 0, or -1 with the error number set.
int KeepStandardOutputBytes();

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_OWN_PROCESS_H_
