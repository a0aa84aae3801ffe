#include "platform/mailslot.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/error_number.h"
#include "platform/instance_paths.h"

namespace kestrum {

struct Mailslot {
  Mailslot(int fd, std::string path, std::size_t size, ino_t inode)
      : fd(fd), path(std::move(path)), message_size(size), inode(inode) {}
  ~Mailslot() {
    // Remove the socket file only when it is still ours: a later owner may have taken the name
    // over after this slot was abandoned.
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && st.st_ino == inode) unlink(path.c_str());
    close(fd);
  }
  Mailslot(const Mailslot&) = delete;
  Mailslot& operator=(const Mailslot&) = delete;

  int fd;
  std::string path;
  std::size_t message_size;
  ino_t inode;
};

namespace {

// Fills a socket address for `path`; false (errno ENAMETOOLONG) when it does not fit.
bool MakeAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof(*address));
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof(address->sun_path)) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(address->sun_path, path.data(), path.size());
  return true;
}

int NewSocket() { return socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0); }

// True when `path` is a socket nobody listens on any more.
bool IsStaleSocket(const std::string& path, const sockaddr_un& address) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
  int probe = NewSocket();
  if (probe < 0) return false;
  int result = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  int error = errno;
  close(probe);
  return result != 0 && error == ECONNREFUSED;
}

// Binds `fd` at `path`, taking a stale socket file over. Returns 0 or an errno value.
int BindTakingOverStale(int fd, const std::string& path, const sockaddr_un& address) {
  auto bind_once = [&] {
    return bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 ? 0 : errno;
  };
  int error = bind_once();
  if (error != EADDRINUSE) return error;
  if (!IsStaleSocket(path, address)) return EADDRINUSE;
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return errno;
  return bind_once();
}

// Creates the folders between the instance directory and the socket; a failure shows at bind.
void CreateParentFolders(const std::string& path) {
  KeepErrorNumber keep;
  CreateInstanceFolder(std::filesystem::path(path).parent_path().string());
}

// Gives the socket file just bound at `path` the instance's group mode (bind applied the
// umask) and reports its inode. The folder is writable by the group, so the name is opened
// without following a link and changed only when it is still a socket. Returns 0 or an errno
// value.
int GrantGroupAccess(const std::string& path, ino_t* inode) {
  int file = open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (file < 0) return errno;
  struct stat st;
  int error = 0;
  if (fstat(file, &st) != 0) {
    error = errno;
  } else if (!S_ISSOCK(st.st_mode)) {
    error = EEXIST;
  } else {
    const std::string by_descriptor = "/proc/self/fd/" + std::to_string(file);
    if (chmod(by_descriptor.c_str(), kInstanceGroupFileMode) != 0) error = errno;
    *inode = st.st_ino;
  }
  close(file);
  return error;
}

long Receive(Mailslot* slot, void* buffer) {
  std::vector<char> datagram(slot->message_size + 1);
  for (;;) {
    ssize_t n = recv(slot->fd, datagram.data(), datagram.size(), MSG_TRUNC);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailFromErrno();
    }
    // A datagram of another size is not a message of this slot (MSG_TRUNC reports the real
    // length even when it was cut to fit the buffer).
    if (static_cast<std::size_t>(n) != slot->message_size) continue;
    std::memcpy(buffer, datagram.data(), slot->message_size);
    return n;
  }
}

}  // namespace

Mailslot* CreateMailslot(std::string_view name, std::size_t message_size) {
  if (message_size == 0) {
    FailWith(EINVAL);
    return nullptr;
  }
  std::string path = MailslotPath(name);
  sockaddr_un address;
  if (!MakeAddress(path, &address)) {
    FailFromErrno();
    return nullptr;
  }
  CreateParentFolders(path);
  int fd = NewSocket();
  if (fd < 0) {
    FailFromErrno();
    return nullptr;
  }
  if (int error = BindTakingOverStale(fd, path, address)) {
    close(fd);
    FailWith(error);
    return nullptr;
  }
  ino_t inode = 0;
  if (int error = GrantGroupAccess(path, &inode)) {
    close(fd);
    FailWith(error);
    return nullptr;
  }
  return new Mailslot(fd, std::move(path), message_size, inode);
}

void CloseMailslot(Mailslot* slot) { delete slot; }

long ReadMailslot(Mailslot* slot, void* buffer) {
  if (!slot || !buffer) return FailWith(EINVAL);
  return Receive(slot, buffer);
}

long ReadMailslotFor(Mailslot* slot, void* buffer, int milliseconds) {
  if (!slot || !buffer) return FailWith(EINVAL);
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p = {slot->fd, POLLIN, 0};
    int ready = poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return FailFromErrno();
    if (ready == 0) return FailWith(ETIMEDOUT);
    // Only a message of the slot's size ends the wait; a discarded datagram keeps waiting.
    std::vector<char> datagram(slot->message_size + 1);
    ssize_t n = recv(slot->fd, datagram.data(), datagram.size(), MSG_TRUNC | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n < 0) return FailFromErrno();
    if (static_cast<std::size_t>(n) != slot->message_size) continue;
    std::memcpy(buffer, datagram.data(), slot->message_size);
    return n;
  }
}

int MailslotDescriptor(const Mailslot* slot) { return slot ? slot->fd : -1; }

int OpenMailslotWriter(std::string_view name) {
  std::string path = MailslotPath(name);
  sockaddr_un address;
  if (!MakeAddress(path, &address)) return FailFromErrno();
  int fd = NewSocket();
  if (fd < 0) return FailFromErrno();
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    int error = errno;
    close(fd);
    return FailWith(error);
  }
  return fd;
}

long SendToMailslot(int writer, const void* buffer, std::size_t length) {
  return SendToMailslotWithin(writer, buffer, length, 0);
}

long SendToMailslotWithin(int writer, const void* buffer, std::size_t length, int wait_ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    ssize_t n = send(writer, buffer, length, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n >= 0) {
      if (static_cast<std::size_t>(n) != length) return FailWith(EIO);
      return n;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) return FailFromErrno();
    // A connected datagram socket polls writable once its peer's queue has room again.
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return FailWith(EAGAIN);
    pollfd p = {writer, POLLOUT, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return FailFromErrno();
  }
}

void CloseMailslotWriter(int writer) {
  if (writer >= 0) close(writer);
}

}  // namespace kestrum
