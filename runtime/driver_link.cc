#include "runtime/driver_link.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "platform/error_number.h"
#include "platform/mailslot.h"
#include "platform/wake_descriptor.h"
#include "runtime/post_delivery.h"
#include "runtime/process_identity.h"

namespace kestrum {
namespace {

// A manual-reset event: stays signalled until reset. Optionally mirrored in a pollable
// descriptor, and abortable so that a stopping link can release the threads that wait on it.
class Event {
 public:
  explicit Event(bool signalled) : signalled_(signalled) {}

  void Set() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
    if (mirror_ >= 0) RaiseWakeDescriptor(mirror_);
    changed_.notify_all();
  }
  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
    if (mirror_ >= 0) LowerWakeDescriptor(mirror_);
  }
  bool IsSet() {
    std::lock_guard<std::mutex> lock(mutex_);
    return signalled_;
  }
  // Waits until the event is signalled or aborted; true when signalled.
  bool Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return signalled_ || aborted_; });
    return signalled_ && !aborted_;
  }
  // As Wait, for at most `ms` milliseconds.
  bool WaitFor(uint32_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] {
      return signalled_ || aborted_;
    }) && !aborted_;
  }
  // Makes every present and future wait return false until Renew.
  void Abort() {
    std::lock_guard<std::mutex> lock(mutex_);
    aborted_ = true;
    changed_.notify_all();
  }
  // Stops mirroring the event in a descriptor.
  void DropMirror() {
    std::lock_guard<std::mutex> lock(mutex_);
    mirror_ = -1;
  }
  void Renew(bool signalled, int mirror) {
    std::lock_guard<std::mutex> lock(mutex_);
    aborted_ = false;
    signalled_ = signalled;
    mirror_ = mirror;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_;
  bool aborted_ = false;
  int mirror_ = -1;
};

// The link of this process. Never destroyed: the reader thread may outlive static destructors.
struct Link {
  std::mutex lifecycle;  // serialises start and stop
  std::atomic<bool> running{false};
  Mailslot* slot = nullptr;
  std::thread reader;
  Event gate{true};
  Event wake{false};
  std::atomic<int> wake_fd{-1};
  std::recursive_mutex section;  // guards the gate and the handler; held while it runs
  DriverMessageHandler handler = nullptr;
};

Link& TheLink() {
  static Link* link = new Link;
  return *link;
}

// Dispatches `code` through the gate: waits until the gate is open, then runs the handler in
// the critical section. The gate is checked again inside the section, because the main thread
// may close it between the wait and the entry; the message then waits for the next opening.
void Dispatch(int32_t code) {
  Link& link = TheLink();
  for (;;) {
    if (!link.running.load()) return;
    if (!link.gate.Wait()) return;  // aborted: the link is stopping
    std::lock_guard<std::recursive_mutex> lock(link.section);
    if (!link.running.load()) return;
    if (!link.gate.IsSet()) continue;
    if (link.handler) link.handler(code);
    break;
  }
  link.wake.Set();
}

void ReadLoop(Mailslot* slot) {
  Link& link = TheLink();
  while (link.running.load()) {
    int32_t code = 0;
    // The wait is bounded so that the thread notices a stop even if the wake-up message could
    // not be delivered (a full mailslot).
    if (ReadMailslotFor(slot, &code, 1000) != static_cast<long>(sizeof(code))) continue;
    if (!link.running.load()) break;
    Dispatch(code);
  }
}

// Sends one 4-byte message to the mailslot `name`, as a post (`notice` false: waits for room
// within the thread's budget) or as a notice (never waits). Returns 0 or -1 with the error
// number set.
int PostToMailslot(const std::string& name, int32_t code, bool notice) {
  int handle = OpenMailslotForWriting(name);
  if (handle < 0) return -1;
  long written = notice ? DeliverNotice(handle, &code, sizeof(code))
                        : WriteExactly(handle, &code, sizeof(code));
  {
    KeepErrorNumber keep;  // the post's own result is what the caller reads
    CloseMailslotHandle(handle);
  }
  return written == static_cast<long>(sizeof(code)) ? 0 : -1;
}

void SetGate(bool open) {
  Link& link = TheLink();
  std::lock_guard<std::recursive_mutex> lock(link.section);
  if (open) {
    link.gate.Set();
  } else {
    link.gate.Reset();
  }
}

DriverMessageHandler ExchangeHandler(DriverMessageHandler handler) {
  Link& link = TheLink();
  std::lock_guard<std::recursive_mutex> lock(link.section);
  bool was_open = link.gate.IsSet();
  link.gate.Reset();
  DriverMessageHandler previous = link.handler;
  link.handler = handler;
  if (was_open) link.gate.Set();
  SetErrorNumber(0);
  return previous;
}

}  // namespace

std::string ProcessMailslotName(uint32_t pid, int platform_id) {
  char name[32];
  if (platform_id == 1) {
    std::snprintf(name, sizeof(name), "process\\%X", pid);
  } else {
    std::snprintf(name, sizeof(name), "dm_%u.slt", pid);
  }
  return name;
}

DriverMessageHandler StartDriverLink(DriverMessageHandler handler) {
  Link& link = TheLink();
  std::lock_guard<std::mutex> lifecycle(link.lifecycle);
  if (link.running.load()) return ExchangeHandler(handler);

  Mailslot* slot = CreateMailslot(ProcessMailslotName(CurrentProcessId(), CurrentPlatformId()), 4);
  if (!slot) return nullptr;
  int wake_fd = CreateWakeDescriptor();
  if (wake_fd < 0) {
    CloseMailslot(slot);
    return nullptr;
  }
  link.gate.Renew(true, -1);
  link.wake.Renew(false, wake_fd);
  link.wake_fd.store(wake_fd);
  link.slot = slot;
  link.handler = handler;
  link.running.store(true);
  try {
    link.reader = std::thread(ReadLoop, slot);
  } catch (const std::system_error& e) {
    link.running.store(false);
    link.handler = nullptr;
    link.slot = nullptr;
    link.wake.Renew(false, -1);
    link.wake_fd.store(-1);
    CloseWakeDescriptor(wake_fd);
    CloseMailslot(slot);
    FailWith(e.code().value());
    return nullptr;
  }
  SetErrorNumber(0);
  return nullptr;
}

void StopDriverLink() {
  ReportOpenDropSpells();
  Link& link = TheLink();
  std::lock_guard<std::mutex> lifecycle(link.lifecycle);
  if (!link.running.load()) return;
  link.running.store(false);
  link.gate.Abort();
  // The reader may be blocked in its read: a 0 wakes it, and it leaves without dispatching.
  {
    KeepErrorNumber keep;
    PostToMailslot(ProcessMailslotName(CurrentProcessId(), CurrentPlatformId()), kMessageWake,
                   true);
  }
  if (link.reader.get_id() == std::this_thread::get_id()) {
    link.reader.detach();  // stopped from the handler: the thread ends on its own
  } else if (link.reader.joinable()) {
    link.reader.join();
  }
  CloseMailslot(link.slot);
  link.slot = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(link.section);
    link.handler = nullptr;
  }
  // Release any thread still waiting for a dispatch, then retire the descriptor.
  link.wake.Set();
  link.wake.DropMirror();
  CloseWakeDescriptor(link.wake_fd.exchange(-1));
}

int HoldDriverMessages(int flag) {
  if (!TheLink().running.load()) return -1;
  SetGate(flag == 0);
  return 0;
}

int WaitForDriverMessage(uint32_t milliseconds) {
  Link& link = TheLink();
  if (!link.running.load()) {
    if (milliseconds == 0) {
      for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return 0;
  }
  link.wake.Reset();
  SetGate(true);
  if (milliseconds == 0) {
    link.wake.Wait();
  } else {
    link.wake.WaitFor(milliseconds);
  }
  link.wake.Reset();
  return 0;
}

int WaitTicks(uint32_t ticks) { return WaitForDriverMessage(10 * ticks); }

int PostToProcess(uint32_t pid, int32_t code) {
  if (pid == CurrentProcessId()) {
    Dispatch(code);
    return 0;
  }
  return PostToMailslot(ProcessMailslotName(pid, CurrentPlatformId()), code, false);
}

int PostNoticeToProcess(uint32_t pid, int32_t code) {
  if (pid == CurrentProcessId()) {
    Dispatch(code);
    return 0;
  }
  return PostToMailslot(ProcessMailslotName(pid, CurrentPlatformId()), code, true);
}

int OpenMailslotForWriting(const std::string& name) {
  const int handle = OpenMailslotWriter(name);
  AttachPostWriter(handle, name);
  return handle;
}

long WriteExactly(int handle, const void* buffer, std::size_t length) {
  if (handle < 0 || (!buffer && length > 0)) return FailWith(EINVAL);
  return DeliverPost(handle, buffer, length);
}

void CloseMailslotHandle(int handle) {
  DetachPostWriter(handle);
  CloseMailslotWriter(handle);
}

int BeginDriverMessageWait() {
  Link& link = TheLink();
  if (!link.running.load()) return -1;
  link.wake.Reset();
  SetGate(true);
  return link.wake_fd.load();
}

int EndDriverMessageWait() {
  Link& link = TheLink();
  if (link.running.load()) link.wake.Reset();
  return 0;
}

}  // namespace kestrum
