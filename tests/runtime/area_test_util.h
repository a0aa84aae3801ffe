// Helpers for tests of shared areas: processes that listen on a mailslot, and typed access to
// an area's tables.
#ifndef PARVEX_TESTS_RUNTIME_AREA_TEST_UTIL_H_
#define PARVEX_TESTS_RUNTIME_AREA_TEST_UTIL_H_

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/mailslot.h"
#include "records/area_layout.h"
#include "runtime/driver_link.h"

namespace kestrum::area_test {

inline AreaHeader* Header(void* area) { return static_cast<AreaHeader*>(area); }

inline std::byte* At(void* area, uint64_t offset) { return static_cast<std::byte*>(area) + offset; }

// Platform-2 entries of an area, located through its header.
inline ShortSubscriberEntry* ShortSubscriber(void* area, int k) {
  return reinterpret_cast<ShortSubscriberEntry*>(
      At(area, Header(area)->subscriber_table_offset + 6 * (k - 1)));
}
inline LongSubscriberEntry* LongSubscriber(void* area, int k) {
  return reinterpret_cast<LongSubscriberEntry*>(
      At(area, Header(area)->subscriber_table_offset + 60 + 8 * (k - 1)));
}
inline ShortMessageEntry* ShortMessage(void* area, int i) {
  return reinterpret_cast<ShortMessageEntry*>(At(area, Header(area)->message_table_offset + 4 * i));
}
inline LongMessageEntry* LongMessage(void* area, int i) {
  return reinterpret_cast<LongMessageEntry*>(
      At(area, Header(area)->message_table_offset + 128 + 8 * i));
}

// A child process that owns a process mailslot and collects every 4-byte message it receives
// until `quiet_ms` pass without one (at most `max_ms` in all), then reports them.
class Listener {
 public:
  explicit Listener(int quiet_ms = 400) {
    int ready[2];
    if (pipe(ready) != 0 || pipe(report_) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      alarm(20);  // never outlive a broken test
      Mailslot* slot = CreateMailslot(ProcessMailslotName(getpid(), 2), 4);
      (void)!write(ready[1], slot ? "y" : "n", 1);
      std::vector<int32_t> seen;
      int32_t code;
      while (slot && ReadMailslotFor(slot, &code, quiet_ms) == 4) seen.push_back(code);
      (void)!write(report_[1], seen.data(), seen.size() * sizeof(int32_t));
      _exit(0);
    }
    pollfd p = {ready[0], POLLIN, 0};
    char c = 'n';
    ok_ = pid_ > 0 && poll(&p, 1, 5000) == 1 && read(ready[0], &c, 1) == 1 && c == 'y';
    close(ready[0]);
    close(ready[1]);
    close(report_[1]);
  }
  ~Listener() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(report_[0]);
  }
  bool ok() const { return ok_; }
  uint32_t pid() const { return static_cast<uint32_t>(pid_); }

  // Waits for the child to fall quiet and returns what it received.
  std::vector<int32_t> Received() {
    std::vector<int32_t> codes;
    int32_t code;
    pollfd p = {report_[0], POLLIN, 0};
    while (poll(&p, 1, 10000) == 1 && read(report_[0], &code, sizeof(code)) == sizeof(code)) {
      codes.push_back(code);
    }
    waitpid(pid_, nullptr, 0);
    reaped_ = true;
    return codes;
  }

 private:
  pid_t pid_ = -1;
  int report_[2] = {-1, -1};
  bool ok_ = false;
  bool reaped_ = false;
};

// Runs `body` in a child process bounded by an alarm of `seconds`; returns its exit status, or
// -1 when it did not exit normally (killed, hung).
template <typename Body>
int InChild(Body body, unsigned seconds = 5) {
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    alarm(seconds);
    _exit(body());
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace kestrum::area_test

#endif  // PARVEX_TESTS_RUNTIME_AREA_TEST_UTIL_H_
