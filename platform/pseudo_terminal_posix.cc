#include "platform/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/error_number.h"
#include "platform/instance_paths.h"
#include "platform/serial_port.h"  // SerialBaudRate

namespace kestrum {

std::string PortAliasPath(std::string_view port_name) {
  return InstanceDir() + "/dev/" + std::string(port_name);
}

int PublishPortAlias(std::string_view port_name, const std::string& target) {
  std::string dir = InstanceDir() + "/dev";
  if (mkdir(InstanceDir().c_str(), 0770) != 0 && errno != EEXIST) return FailFromErrno();
  if (mkdir(dir.c_str(), 0770) != 0 && errno != EEXIST) return FailFromErrno();
  std::string alias = PortAliasPath(port_name);
  // A hidden temporary name, so that a listing of the port aliases never shows it.
  std::string temp = dir + "/." + std::string(port_name) + ".tmp." + std::to_string(getpid());
  unlink(temp.c_str());
  if (symlink(target.c_str(), temp.c_str()) != 0) return FailFromErrno();
  if (rename(temp.c_str(), alias.c_str()) != 0) {
    int error = errno;
    unlink(temp.c_str());
    return FailWith(error);
  }
  return 0;
}

int RemovePortAlias(std::string_view port_name) {
  if (unlink(PortAliasPath(port_name).c_str()) != 0 && errno != ENOENT) return FailFromErrno();
  return 0;
}

int PseudoTerminal::Create(bool raw) {
  HangUp();
  int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return FailFromErrno();
  char name[128];
  if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0) {
    int error = errno;
    close(fd);
    return FailWith(error);
  }
  if (raw) {
    // Settings made through the master apply to the slave's line discipline.
    termios t;
    if (tcgetattr(fd, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(fd, TCSANOW, &t);
    }
  }
  master_ = fd;
  slave_path_ = name;
  return 0;
}

int PseudoTerminal::Write(std::string_view bytes, int timeout_ms) {
  if (master_ < 0) return FailWith(EBADF);
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!bytes.empty()) {
    ssize_t put = write(master_, bytes.data(), bytes.size());
    if (put > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(put));
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EINTR) return FailFromErrno();
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return FailWith(ETIMEDOUT);
    Drain();
    pollfd p{master_, POLLOUT, 0};
    poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 10)));
  }
  return 0;
}

// The settings of the master are the slave's: the terminal ioctls on a master reach its slave.
int PseudoTerminal::ReadLineSettings(PtyLineSettings* out) const {
  if (master_ < 0) return FailWith(EBADF);
  termios t;
  if (tcgetattr(master_, &t) != 0) return FailFromErrno();
  PtyLineSettings s;
  s.baud_rate = SerialBaudRate(t);
  s.stop_bits = (t.c_cflag & CSTOPB) ? 2 : 1;
  s.flow_control = (t.c_cflag & CRTSCTS) || (t.c_iflag & (IXON | IXOFF));
  s.canonical = (t.c_lflag & ICANON) != 0;
  *out = s;
  return 0;
}

void PseudoTerminal::Drain() {
  if (master_ < 0) return;
  char sink[256];
  while (read(master_, sink, sizeof sink) > 0) {
  }
}

void PseudoTerminal::HangUp() {
  if (master_ >= 0) close(master_);
  master_ = -1;
  slave_path_.clear();
}

}  // namespace kestrum
