// The Windows half of mailslots: the system's own mailslots under "\\.\mailslot\".
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// <windows.h> names the ANSI or wide form of CreateMailslot by a macro; the call below names
// the ANSI form itself.
#undef CreateMailslot

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/error_number.h"
#include "platform/mailslot.h"
#include "platform/security_attributes.h"

namespace kestrum {

struct Mailslot {
  Mailslot(HANDLE handle, std::size_t size) : handle(handle), message_size(size) {}
  ~Mailslot() { CloseHandle(handle); }
  Mailslot(const Mailslot&) = delete;
  Mailslot& operator=(const Mailslot&) = delete;

  HANDLE handle;
  std::size_t message_size;
  // A read sets the slot's read time-out and then reads: one reader at a time.
  std::mutex read_mutex;
};

namespace {

// Records a failed Windows call with the error numbers the callers compare with: a missing
// slot is ENOENT, a name in use EADDRINUSE, a read time-out ETIMEDOUT, a full receiver EAGAIN.
int FailFromMailslotError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return FailWith(ENOENT);
    case ERROR_ALREADY_EXISTS:
      return FailWith(EADDRINUSE);
    case ERROR_SEM_TIMEOUT:
      return FailWith(ETIMEDOUT);
    case ERROR_OPERATION_ABORTED:
      return FailWith(EAGAIN);
    default:
      return FailWith(static_cast<int>(error));
  }
}

// Closes an event handle when the scope ends.
class EventHandle {
 public:
  EventHandle() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~EventHandle() {
    if (handle_) CloseHandle(handle_);
  }
  EventHandle(const EventHandle&) = delete;
  EventHandle& operator=(const EventHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Takes the next message off the slot, waiting at most `timeout` milliseconds
// (MAILSLOT_WAIT_FOREVER: no limit). Returns its length, or -1 with the error number set. The
// buffer holds one byte more than the slot's size, so a longer message shows by its length:
// Windows keeps such messages out of the slot (its largest message is the slot's size), wine
// takes them and cuts them to the buffer.
long ReadOnce(Mailslot* slot, std::vector<char>* datagram, DWORD timeout) {
  if (!SetMailslotInfo(slot->handle, timeout)) return FailFromLastError();
  DWORD got = 0;
  if (ReadFile(slot->handle, datagram->data(), static_cast<DWORD>(datagram->size()), &got,
               nullptr)) {
    return static_cast<long>(got);
  }
  const DWORD error = GetLastError();
  // Wine reads an empty message as the end of a pipe; a slot's reading handle has no other end
  // to lose, so this is a message of length 0.
  if (error == ERROR_BROKEN_PIPE) return 0;
  return FailFromMailslotError(error);
}

// Reads until a message of the slot's size arrives or `milliseconds` (negative: no limit) ran
// out; messages of any other length are discarded.
long Receive(Mailslot* slot, void* buffer, int milliseconds) {
  if (!slot || !buffer) return FailWith(EINVAL);
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  std::vector<char> datagram(slot->message_size + 1);
  std::lock_guard<std::mutex> lock(slot->read_mutex);
  for (;;) {
    DWORD timeout = MAILSLOT_WAIT_FOREVER;
    if (milliseconds >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      timeout = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
    }
    const long n = ReadOnce(slot, &datagram, timeout);
    if (n < 0) return n;
    if (static_cast<std::size_t>(n) != slot->message_size) continue;
    std::memcpy(buffer, datagram.data(), slot->message_size);
    return n;
  }
}

}  // namespace

Mailslot* CreateMailslot(std::string_view name, std::size_t message_size) {
  if (message_size == 0 || message_size > MAXDWORD) {
    FailWith(EINVAL);
    return nullptr;
  }
  // Open to every user, as the system's shared security attributes make every object.
  const SecurityAttributes shared;
  void* security = nullptr;
  if (NativeSecurityAttributes(&shared, &security) != 0) return nullptr;
  // The largest message the slot takes is its message size; shorter ones the reader discards.
  HANDLE handle =
      CreateMailslotA(MailslotPath(name).c_str(), static_cast<DWORD>(message_size),
                      MAILSLOT_WAIT_FOREVER, static_cast<SECURITY_ATTRIBUTES*>(security));
  if (handle == INVALID_HANDLE_VALUE) {
    FailFromMailslotError(GetLastError());
    return nullptr;
  }
  return new Mailslot(handle, message_size);
}

void CloseMailslot(Mailslot* slot) { delete slot; }

long ReadMailslot(Mailslot* slot, void* buffer) { return Receive(slot, buffer, -1); }

long ReadMailslotFor(Mailslot* slot, void* buffer, int milliseconds) {
  return Receive(slot, buffer, milliseconds < 0 ? 0 : milliseconds);
}

int OpenMailslotWriter(std::string_view name) {
  // Overlapped, so that a write into a full receiver can be given up after its wait.
  HANDLE handle =
      CreateFileA(MailslotPath(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FailFromMailslotError(GetLastError());
  // The callers hold a writer as an int: a C run-time descriptor that owns the handle.
  const int writer = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
  if (writer < 0) {
    const int error = errno;
    CloseHandle(handle);
    return FailWith(error);
  }
  return writer;
}

long SendToMailslot(int writer, const void* buffer, std::size_t length) {
  return SendToMailslotWithin(writer, buffer, length, 0);
}

long SendToMailslotWithin(int writer, const void* buffer, std::size_t length, int wait_ms) {
  if (length > MAXDWORD || (!buffer && length > 0)) return FailWith(EINVAL);
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(writer));
  if (handle == INVALID_HANDLE_VALUE) return FailWith(EBADF);
  EventHandle done;
  if (!done.get()) return FailFromLastError();
  OVERLAPPED overlapped = {};
  overlapped.hEvent = done.get();
  if (!WriteFile(handle, buffer, static_cast<DWORD>(length), nullptr, &overlapped)) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return FailFromMailslotError(error);
    // The receiver is full: wait for room as long as asked, then withdraw the message.
    if (WaitForSingleObject(done.get(), wait_ms > 0 ? static_cast<DWORD>(wait_ms) : 0) !=
        WAIT_OBJECT_0) {
      CancelIoEx(handle, &overlapped);
    }
  }
  DWORD written = 0;
  if (!GetOverlappedResult(handle, &overlapped, &written, TRUE)) {
    return FailFromMailslotError(GetLastError());
  }
  if (written != length) return FailWith(EIO);
  return static_cast<long>(written);
}

void CloseMailslotWriter(int writer) {
  if (writer >= 0) _close(writer);
}

}  // namespace kestrum
