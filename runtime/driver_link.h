// The driver-manager link: the process's mailslot, its reader thread, and posting to others.
//
// Each process owns the mailslot "dm_<pid>.slt" (platform 2) through which the driver manager
// and other processes send it 4-byte message codes. A reader thread takes each code and hands it
// to the callback that the program registered, but only while the gate is open: the main loop
// closes the gate while it examines the flags the callback sets, and opens it again when it
// waits. Every dispatch signals the wake event, which ends the main loop's wait.
//
// Thread safety: every function may be called from any thread. The callback runs on the reader
// thread (or on the thread that posts to its own process id) with the link's lock held, so it
// must only set flags or counters and return; it may call HoldDriverMessages.
#ifndef PARVEX_RUNTIME_DRIVER_LINK_H_
#define PARVEX_RUNTIME_DRIVER_LINK_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrum {

/// Message codes carried by the link.
inline constexpr int32_t kMessageWake = 0;                ///< wakes the reader; never dispatched
inline constexpr int32_t kMessageStop = 31;               ///< leave the main loop and exit
inline constexpr int32_t kMessageAreaChanged = 32;        ///< a subscribed area changed
inline constexpr int32_t kMessageScan = 300;              ///< one more scan is requested
inline constexpr int32_t kMessageReconfigure = 302;       ///< reload the configuration
inline constexpr int32_t kMessageResetCounters = 303;     ///< reset counters
inline constexpr int32_t kMessageInitialiseValues = 304;  ///< initialise values
inline constexpr int32_t kMessageChannelsChanged = 305;   ///< channels changed from outside

/// The callback that receives every dispatched code.
using DriverMessageHandler = void (*)(int32_t code);

/// The name of the mailslot of process `pid`, relative to the mailslot root: "dm_%u.slt" on
/// platform 2, "process\%X" on platform 1.
std::string ProcessMailslotName(uint32_t pid, int platform_id);

/// Starts the link with `handler` on the first call: creates the process's mailslot and starts
/// the reader thread, with the gate open. While the link runs, a further call only replaces the
/// handler (with the gate closed during the exchange). Returns the previous handler (null on the
/// first call) with error number 0, or null with the error number set when the link cannot
/// start (EADDRINUSE when a live process holds the mailslot name).
DriverMessageHandler StartDriverLink(DriverMessageHandler handler);

/// Reports the spells of dropped posts that still last (runtime/post_delivery.h), then stops
/// the link: ends the reader thread (waking it with a 0 that is never dispatched), closes
/// the mailslot and drops the handler. Messages not yet dispatched are lost. Does nothing more
/// when the link does not run. Must not be called from the handler.
void StopDriverLink();

/// Closes the gate for `flag` 1 (waiting for a running dispatch to end) and opens it for 0.
/// Returns 0, or -1 when the link does not run.
int HoldDriverMessages(int flag);

/// Opens the gate and waits at most `milliseconds` (0: without limit) until one message has
/// been dispatched. Without a running link it sleeps for the time instead. Returns 0.
int WaitForDriverMessage(uint32_t milliseconds);

/// WaitForDriverMessage for 10·`ticks` milliseconds (0: without limit). Returns 0.
int WaitTicks(uint32_t ticks);

/// Sends `code` to the process `pid`, waiting for room in its mailslot within the thread's post
/// budget (runtime/post_delivery.h). The caller's own process id is dispatched on the calling
/// thread through the gate (so a thread must not post to itself while it holds the gate closed).
/// Returns 0, or -1 with the error number set (ENOENT when the process has no mailslot, EAGAIN
/// when its mailslot stayed full: the message was dropped and counted).
int PostToProcess(uint32_t pid, int32_t code);

/// PostToProcess for notices that coalesce (area changed): never waits for room, and a full
/// mailslot is no drop, since a receiver with one notice pending loses nothing by missing a
/// second. Returns 0, or -1 with the error number set (EAGAIN when the mailslot is full).
int PostNoticeToProcess(uint32_t pid, int32_t code);

/// Opens the existing mailslot `name` (relative to the mailslot root, or with the root) for
/// writing. Returns a handle for WriteExactly, closed with CloseMailslotHandle, or -1 with the
/// error number set.
int OpenMailslotForWriting(const std::string& name);

/// Writes `length` bytes to `handle` as one message, waiting for room within the thread's post
/// budget. Returns `length`, or -1 with the error number set (EAGAIN when the receiver stayed
/// full: the message was dropped and counted); a short write is a failure.
long WriteExactly(int handle, const void* buffer, std::size_t length);

/// Closes a handle from OpenMailslotForWriting (-1 is allowed).
void CloseMailslotHandle(int handle);

/// Waiting for a device and for the link at once. BeginDriverMessageWait does what
/// WaitForDriverMessage does before it waits (clears the wake event, opens the gate) and returns
/// a descriptor that becomes readable (POLLIN) as soon as a message has been dispatched, or -1
/// when the link does not run. The caller polls it together with its own descriptors, then
/// calls EndDriverMessageWait, which clears the wake event again:
///
///   int wake = BeginDriverMessageWait();
///   ...poll the port and `wake` (when not -1) up to the time-out...
///   EndDriverMessageWait();
///
/// The descriptor is owned by the link and stays valid until StopDriverLink.
int BeginDriverMessageWait();

/// Ends a wait begun with BeginDriverMessageWait. Returns 0.
int EndDriverMessageWait();

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_DRIVER_LINK_H_
