// Named shared areas: opening, locking and change notification.
//
// Every process of the SCADA meets the others in shared areas that the driver manager creates.
// An area begins with a 128-byte header (records/area_layout.h), then its data part, then the
// subscriber and message tables. This library only opens existing areas, by base name, keeps
// them mapped for the life of the process, changes them under the area's named mutex, and
// notifies subscribers after a change.
//
// Every header field is written by another process, so nothing the header claims is followed
// before it has been checked against the mapping: an area whose size, data size or table
// offsets point past its end is refused (error number 0, the platform's last error EBADMSG).
//
// Thread safety: all functions may be called from any thread; the area lock is a system-wide
// recursive mutex, so a thread may nest locks of one area.
#ifndef PARVEX_RUNTIME_SHARED_AREA_H_
#define PARVEX_RUNTIME_SHARED_AREA_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "records/area_layout.h"

namespace kestrum {

/// Maps the existing area `name` (fewer than 32 characters) and returns its address, which
/// stays valid for the life of the process. A second call with the same name (compared
/// exactly) returns the same address. Returns null with error number 0 when the name is too
/// long or unusable as a file name, when the area does not exist yet, or when its file is
/// shorter than its header claims; with the platform's error for other failures. Never creates
/// anything.
void* OpenSharedArea(std::string_view name);

/// The file that carries the area `name`: "<instance>/shm/Global/<name>".
std::string SharedAreaPath(std::string_view name);

/// The file that carries the mutex whose base string is `base`:
/// "<instance>/shm/Global/Global/<base>.mut".
std::string AreaMutexPath(std::string_view base);

/// The number of bytes mapped at `area` (an address from OpenSharedArea), or 0 for any other
/// address.
uint64_t SharedAreaMappedSize(const void* area);

/// Copies the header of `area` into `*header` and checks it: a known area, the magic, and a
/// size and data part inside the mapping. Returns 0, or -1 with error number 0.
int ReadAreaHeader(const void* area, AreaHeader* header);

/// Locks `area` for the calling thread, waiting without time limit; locks nest. Records the
/// caller as holder (low 16 bits of its process id) and counts the depth in the header. A
/// mutex whose holder died counts as acquired. An area whose file was cut short after it was
/// mapped is refused until the file is as long again (the mapping then shows the file anew);
/// the file's length is looked at every kMappedFileCheckMs at most while it is whole. Returns
/// 0, or -1: error number 0 for an unknown, refused or cut-short area or a missing mutex, the
/// platform's error when the wait fails or the file cannot be mapped again.
int LockArea(void* area);

/// Releases one level of the calling thread's lock of `area`, updating holder and depth. The
/// level is released even when the header is refused by then (only holder and depth are left
/// alone). Returns 0, or -1 with the error number set: 0 for an unknown area or a header refused
/// at release, EPERM when the thread does not hold the lock.
int UnlockArea(void* area);

/// Adds 1 to the area's update-pending counter under the lock, before a batch of changes that
/// ends with NotifyArea. Returns 0, or -1 as LockArea.
int MarkAreaUpdating(void* area);

/// The error number of a notification for a subscriber number above kMaxSubscriberNumber.
inline constexpr int kBadSubscriberNumber = 67;

/// Tells the subscribers of `area` that it changed, under the lock: `subscriber` 0 treats every
/// subscriber entry and delivers (and clears) every queued message; 1 to 10 treats only that
/// subscriber entry. A subscriber by message is posted message 32; any other has its change
/// counter incremented. Then lowers the update-pending counter (never below 0). A post that
/// fails is skipped. Returns 0, or -1: error number kBadSubscriberNumber for a subscriber above 10,
/// 0 for an unknown or refused area (tables outside the area), as LockArea otherwise.
int NotifyArea(void* area, int subscriber);

/// NotifyArea with the table layout of platform `platform_id` (1 or 2) instead of this
/// process's own.
int NotifyAreaForPlatform(void* area, int subscriber, int platform_id);

/// Forgets every area this process opened, with their mutexes, and the caches built on them
/// (system areas, prefix slots), so that the next open looks at the instance directory again.
/// The old mappings stay valid but are no longer known to LockArea and the lookups. For tools
/// and tests that build instance after instance in one process; no other thread may use areas
/// meanwhile.
void ForgetSharedAreas();

/// A number that changes with every ForgetSharedAreas, for caches of area addresses.
uint64_t SharedAreaGeneration();

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_SHARED_AREA_H_
