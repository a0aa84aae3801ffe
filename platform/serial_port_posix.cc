#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <utility>

#include "platform/error_number.h"
#include "platform/instance_paths.h"

namespace kestrum {
namespace {

struct BaudEntry {
  int rate;
  speed_t code;
};

constexpr BaudEntry kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool BaudCode(int rate, speed_t* code) {
  for (const BaudEntry& entry : kBaudRates) {
    if (entry.rate == rate) {
      *code = entry.code;
      return true;
    }
  }
  return false;
}

bool DataBitsFlag(int data_bits, tcflag_t* flag) {
  switch (data_bits & 0xFF) {
    case 5:
      *flag = CS5;
      return true;
    case 6:
      *flag = CS6;
      return true;
    case 7:
      *flag = CS7;
      return true;
    case 8:
      *flag = CS8;
      return true;
    default:
      return false;
  }
}

// Parity bits of c_cflag for each parity code; CMSPAR turns odd/even into mark/space.
bool ParityFlags(int parity, tcflag_t* flags) {
  switch (parity & 0xFF) {
    case kSerialParityNone:
      *flags = 0;
      return true;
    case kSerialParityOdd:
      *flags = PARENB | PARODD;
      return true;
    case kSerialParityEven:
      *flags = PARENB;
      return true;
    case kSerialParityMark:
      *flags = PARENB | PARODD | CMSPAR;
      return true;
    case kSerialParitySpace:
      *flags = PARENB | CMSPAR;
      return true;
    default:
      return false;
  }
}

// "COMn" with n a positive decimal number gives n; anything else gives 0.
int ComNumber(std::string_view name) {
  if (name.size() < 4 || name.substr(0, 3) != "COM") return 0;
  int number = 0;
  std::string_view digits = name.substr(3);
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (ec != std::errc() || end != digits.data() + digits.size() || number < 1) return 0;
  return number;
}

}  // namespace

std::string SerialPortPath(std::string_view name) {
  std::string alias = InstanceDir() + "/dev/" + std::string(name);
  struct stat st;
  if (!name.empty() && lstat(alias.c_str(), &st) == 0) return alias;
  if (int n = ComNumber(name)) return "/dev/ttyS" + std::to_string(n - 1);
  return "/dev/" + std::string(name);
}

int ComputeSerialTermios(const termios& current, const SerialSettings& settings, termios* out) {
  speed_t speed;
  tcflag_t size_flag;
  tcflag_t parity_flags;
  if (!BaudCode(settings.baud_rate, &speed) || !DataBitsFlag(settings.data_bits, &size_flag) ||
      !ParityFlags(settings.parity, &parity_flags)) {
    return FailWith(EINVAL);
  }
  termios t = current;
  // Input flags: bytes reach the reader exactly as they came off the line.
  t.c_iflag |= IGNBRK;    // a break is a line condition, not a NUL byte that could hide a BEL
  t.c_iflag &= ~BRKINT;   // a break never flushes the queue or raises a signal
  t.c_iflag &= ~IGNPAR;   // a byte with a framing or parity error is not dropped...
  t.c_iflag &= ~PARMRK;   // ...nor marked with extra 0xFF 0x00 bytes...
  t.c_iflag &= ~INPCK;    // ...nor replaced by NUL: it is delivered as received
  t.c_iflag &= ~ISTRIP;   // all eight bits of every byte are kept
  t.c_iflag &= ~INLCR;    // LF stays LF...
  t.c_iflag &= ~IGNCR;    // ...CR is not dropped...
  t.c_iflag &= ~ICRNL;    // ...and CR is not turned into LF: CR LF ends report lines
  t.c_iflag &= ~IUCLC;    // letters keep their case ("DIFF COUNT")
  t.c_iflag &= ~IXON;     // XON/XOFF bytes from the counter are data, not flow control...
  t.c_iflag &= ~IXOFF;    // ...and the port never sends them itself...
  t.c_iflag &= ~IXANY;    // ...so no byte restarts a stopped output either
  t.c_iflag &= ~IMAXBEL;  // a full input queue never rings back at the counter
  t.c_oflag &= ~OPOST;    // nothing is written, and nothing would be rewritten
  // Local flags: no terminal behaviour between the line and the reader.
  t.c_lflag &= ~ICANON;  // no line assembly: a report ends in BEL, not in a newline
  t.c_lflag &= ~ECHO;    // received bytes are never echoed back to the counter...
  t.c_lflag &= ~ECHOE;   // ...nor erase...
  t.c_lflag &= ~ECHOK;   // ...kill...
  t.c_lflag &= ~ECHONL;  // ...or newline echoes
  t.c_lflag &= ~ISIG;    // received control bytes never raise signals in the scanner
  t.c_lflag &= ~IEXTEN;  // no extended input processing (LNEXT, DISCARD)
  // Control flags: the line format of the device configuration.
  t.c_cflag &= ~CSIZE;
  t.c_cflag |= size_flag;  // data bits 5 to 8
  t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
  t.c_cflag |= parity_flags;  // none, odd, even, mark or space
  t.c_cflag &= ~CSTOPB;       // always one stop bit
  t.c_cflag &= ~CRTSCTS;      // no hardware flow control: the counter does not watch RTS/CTS
  t.c_cflag &= ~HUPCL;        // closing the port does not drop the counter's modem lines
  t.c_cflag |= CLOCAL;        // DSR and DCD are ignored; opening never waits for a carrier
  t.c_cflag |= CREAD;         // the receiver is on
  t.c_cc[VMIN] = 0;           // a read returns at once with what is there...
  t.c_cc[VTIME] = 0;          // ...and never waits for more
  // The other control characters only act in canonical mode or with IXON, both off, so the
  // error, end-of-file and event characters of other platforms have nothing to map to.
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  *out = t;
  return 0;
}

int SerialBaudRate(const termios& t) {
  speed_t code = cfgetispeed(&t);
  for (const BaudEntry& entry : kBaudRates) {
    if (entry.code == code) return entry.rate;
  }
  return 0;
}

int CheckSerialSettings(const SerialSettings& settings) {
  termios current{};
  termios wanted;
  return ComputeSerialTermios(current, settings, &wanted);
}

void SerialPort::SettingsDeleter::operator()(Settings* settings) const { delete settings; }

int SerialPort::OpenDevice(const std::string& path, const SerialSettings& settings) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return FailFromErrno();
  auto saved = std::make_unique<termios>();
  termios wanted;
  if (tcgetattr(fd, saved.get()) != 0) {
    int error = errno;
    close(fd);
    return FailWith(error);
  }
  if (ComputeSerialTermios(*saved, settings, &wanted) != 0) {
    close(fd);
    return -1;
  }
  if (tcsetattr(fd, TCSANOW, &wanted) != 0) {
    int error = errno;
    close(fd);
    return FailWith(error);
  }
  port_ = fd;
  saved_.reset(saved.release());
  return 0;
}

void SerialPort::Close() {
  if (port_ == kClosed) return;
  // Best effort: a hung-up line refuses new settings, and there is nothing to do about that.
  if (saved_ && !hung_up_) tcsetattr(port_, TCSANOW, saved_.get());
  close(port_);
  port_ = kClosed;
  saved_.reset();
}

bool SerialPort::HungUpNow() const {
  pollfd p{port_, POLLIN, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

int SerialPort::BytesWaiting() {
  if (port_ == kClosed) return FailWith(EBADF);
  int count = 0;
  if (ioctl(port_, FIONREAD, &count) != 0) {
    return Fail(errno == EIO ? kSerialHangUp : errno);
  }
  if (count > 0) return count;
  // Nothing waiting: tell an idle line from one that has gone away.
  return HungUpNow() ? Fail(kSerialHangUp) : 0;
}

long SerialPort::Read(void* buffer, std::size_t size) {
  if (port_ == kClosed) return FailWith(EBADF);
  if (size == 0) return 0;
  ssize_t got = read(port_, buffer, size);
  if (got > 0) return got;
  if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
    return Fail(errno == EIO ? kSerialHangUp : errno);
  }
  // With VMIN = VTIME = 0 an idle line also reads 0 bytes; only the poll tells a hang-up.
  return HungUpNow() ? Fail(kSerialHangUp) : 0;
}

int SerialPort::Poll(int other_fd, int timeout_ms) const {
  pollfd fds[2] = {{port_, POLLIN, 0}, {other_fd, POLLIN, 0}};
  int ready = poll(fds, 2, timeout_ms);
  if (ready < 0) return errno == EINTR ? 0 : FailFromErrno();
  int mask = 0;
  if (port_ >= 0 && fds[0].revents != 0) mask |= kPortReady;
  if (other_fd >= 0 && fds[1].revents != 0) mask |= kOtherReady;
  return mask;
}

}  // namespace kestrum
