// A pollable flag: a descriptor that is readable while the flag is raised.
//
// The driver-manager link mirrors its wake event in one of these, so that a caller can wait for
// a device's descriptor and for the link's wake-up in one poll.
//
// On Linux the descriptor is an eventfd, readable (POLLIN) while raised. On Windows it is the
// handle of a manual-reset event, held in an int (a kernel handle has 32 significant bits),
// signalled while raised; the other "descriptors" of a wait are handles of waitable objects
// held the same way, and "readable" means signalled.
#ifndef PARVEX_PLATFORM_WAKE_DESCRIPTOR_H_
#define PARVEX_PLATFORM_WAKE_DESCRIPTOR_H_

namespace kestrum {

/// Creates a lowered flag. Returns its descriptor (close with CloseWakeDescriptor), or -1 with
/// the error number set.
int CreateWakeDescriptor();

/// Raises the flag: the descriptor becomes readable (POLLIN) until the flag is lowered.
void RaiseWakeDescriptor(int fd);

/// Lowers the flag: the descriptor is no longer readable.
void LowerWakeDescriptor(int fd);

/// Waits at most `milliseconds` (negative: without limit) for the descriptor `fd` and the
/// descriptors `others[0..count)` to become readable. Returns the number of readable
/// descriptors (0 on a time-out), or -1 with the error number set. On Windows the wait has the
/// effect of a wait on each signalled object (an auto-reset event is reset, a mutex taken), and
/// at most 64 handles take part.
int WaitReadable(int fd, const int* others, int count, int milliseconds);

/// Closes a descriptor from CreateWakeDescriptor (-1 is allowed).
void CloseWakeDescriptor(int fd);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_WAKE_DESCRIPTOR_H_
