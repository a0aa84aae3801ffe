// Mailslots: one-way queues of fixed-size messages that any process can post to by name.
//
// On Windows a mailslot is the system's own, "\\.\mailslot\<name>", created with the slot's
// message size as its largest message and open to every user (a null access-control list, as
// the system's shared security attributes give); a writer is an overlapped handle held as a C
// run-time descriptor, and a message that finds the receiver full is withdrawn when its wait runs
// out. The slot goes away with its last reading handle, so nothing is stale after an owner's end.
//
// On Linux a mailslot is an AF_UNIX SOCK_DGRAM socket bound at a path under
// "<instance>/mailslot/". One message is one datagram of the slot's message size; the reader
// discards datagrams of any other length. A writer waits for room in a full receiver only as
// long as it asks to; a missing receiver is a failed post at once. The socket file is readable
// and writable by the instance's group whatever the umask, and the folders created for it keep
// the instance folder's set-group-id bit. A socket file whose owner is gone (connect is refused) is
// stale and is taken over by the next owner of the name; a name whose owner is alive cannot be
// taken.
#ifndef PARVEX_PLATFORM_MAILSLOT_H_
#define PARVEX_PLATFORM_MAILSLOT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrum {

/// Maps a mailslot name to its socket path. The local mailslot root "\\.\mailslot\" (any case)
/// is dropped when present and every backslash becomes a slash:
/// "\\.\mailslot\process\32C" is "<instance>/mailslot/process/32C"; "xalarms" is
/// "<instance>/mailslot/xalarms". On Windows the result is the system's mailslot name: the
/// name after the root (any case) when it has one, below "\\.\mailslot\".
std::string MailslotPath(std::string_view name);

/// The receiving side of a mailslot. Opaque; owned by the caller until CloseMailslot.
struct Mailslot;

/// Creates the mailslot `name` (see MailslotPath) taking messages of exactly `message_size`
/// bytes. Missing folders below the instance directory are created. A stale socket of that name
/// is removed first. Returns the slot, or null with the error number set (EADDRINUSE when a
/// live owner holds the name, errno otherwise).
Mailslot* CreateMailslot(std::string_view name, std::size_t message_size);

/// Closes the slot and removes its socket file when the file is still this slot's (null is
/// allowed). Must not run while another thread is inside ReadMailslot on the same slot.
void CloseMailslot(Mailslot* slot);

/// Waits without time limit for the next message of the slot's size and copies it to `buffer`
/// (at least the message size). Datagrams of another length are discarded. On Windows one
/// thread at a time reads a slot (reads of the same slot wait for each other). Returns the message
/// size, or -1 with errno as the error number.
long ReadMailslot(Mailslot* slot, void* buffer);

/// Like ReadMailslot, but waits at most `milliseconds` (0: do not wait). Returns -1 with error
/// number ETIMEDOUT when no message came in time.
long ReadMailslotFor(Mailslot* slot, void* buffer, int milliseconds);

#ifndef _WIN32
/// The slot's socket descriptor, readable when a datagram waits (for poll). Owned by the slot.
/// Windows has no handle that signals a waiting message: wait there with ReadMailslotFor.
int MailslotDescriptor(const Mailslot* slot);
#endif

/// Opens the existing mailslot `name` for writing. Returns a descriptor that the caller closes
/// with CloseMailslotWriter, or -1 with the error number set (ENOENT when no such slot exists,
/// ECONNREFUSED when its owner is gone).
int OpenMailslotWriter(std::string_view name);

/// Sends `length` bytes as one message without waiting. Returns `length`, or -1 with the error
/// number set (EAGAIN when the receiver is full, ECONNREFUSED when it is gone).
long SendToMailslot(int writer, const void* buffer, std::size_t length);

/// Sends `length` bytes as one message, waiting up to `wait_ms` milliseconds (0: not at all)
/// while the receiver's queue is full. Returns `length`, or -1 with the error number set
/// (EAGAIN when the receiver was still full when the wait ran out, ECONNREFUSED when it is
/// gone).
long SendToMailslotWithin(int writer, const void* buffer, std::size_t length, int wait_ms);

/// Closes a descriptor from OpenMailslotWriter (-1 is allowed).
void CloseMailslotWriter(int writer);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_MAILSLOT_H_
