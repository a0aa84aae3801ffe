#include "platform/wake_descriptor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/error_number.h"

namespace kestrum {

int CreateWakeDescriptor() {
  int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return fd < 0 ? FailFromErrno() : fd;
}

void RaiseWakeDescriptor(int fd) {
  uint64_t one = 1;
  // The counter only saturates after 2^64-2 raises without a lowering; a failed write leaves
  // the descriptor readable, which is what raising means.
  (void)!write(fd, &one, sizeof(one));
}

void LowerWakeDescriptor(int fd) {
  uint64_t count;
  (void)!read(fd, &count, sizeof(count));
}

int WaitReadable(int fd, const int* others, int count, int milliseconds) {
  std::vector<pollfd> fds;
  fds.push_back({fd, POLLIN, 0});
  for (int i = 0; i < count; ++i) fds.push_back({others[i], POLLIN, 0});
  int ready;
  do {
    ready = poll(fds.data(), fds.size(), milliseconds < 0 ? -1 : milliseconds);
  } while (ready < 0 && errno == EINTR);
  return ready < 0 ? FailFromErrno() : ready;
}

void CloseWakeDescriptor(int fd) {
  if (fd >= 0) close(fd);
}

}  // namespace kestrum
