// The Windows half of the serial port: \\.\COMn opened without overlapped I/O, set up with a DCB,
// polled with ClearCommError and read only for the bytes already waiting.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <utility>

#include "platform/error_number.h"
#include "platform/serial_port.h"

namespace kestrum {
namespace {

// The error and end-of-file characters the port is given. Neither acts: error-character
// replacement is off, and binary mode never looks for an end of file.
constexpr char kSerialMarkChar = '?';
// The event character the port is given (DC3); no event mask is ever set, so it never fires.
constexpr char kSerialEventChar = 19;

// What calls on the handle of a port whose device went away give: a removed USB adapter, a
// driver that was stopped, a pseudo-terminal behind wine whose master was closed.
bool IsGoneError(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_NOT_READY:
    case ERROR_BROKEN_PIPE:
      return true;
    default:
      return false;
  }
}

// The number of bytes waiting, or -1 with the Windows error left in GetLastError().
long long QueueLength(HANDLE port) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(port, &errors, &status)) return -1;
  return status.cbInQue;
}

// Closes a port handle that Open has not handed to its SerialPort yet.
struct HandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};

}  // namespace

std::string SerialPortPath(std::string_view name) { return "\\\\.\\" + std::string(name); }

int ComputeSerialDcb(const DCB& current, const SerialSettings& settings, DCB* out) {
  int data_bits = settings.data_bits & 0xFF;
  int parity = settings.parity & 0xFF;
  if (settings.baud_rate <= 0 || data_bits < 5 || data_bits > 8 || parity > SPACEPARITY) {
    return FailWith(EINVAL);
  }
  DCB d = current;
  d.DCBlength = sizeof d;
  d.BaudRate = static_cast<DWORD>(settings.baud_rate);
  d.fBinary = TRUE;            // no end-of-file character: every byte is data
  d.fParity = TRUE;            // parity is checked (the error flags are cleared unread)
  d.fTXContinueOnXoff = TRUE;  // the port's own sending never stops for a full queue
  d.fOutxCtsFlow = FALSE;      // no hardware flow control: the counter does not watch RTS/CTS
  d.fOutxDsrFlow = FALSE;
  d.fDtrControl = DTR_CONTROL_DISABLE;
  d.fDsrSensitivity = FALSE;  // bytes count whatever DSR says
  d.fOutX = FALSE;            // XON/XOFF bytes from the counter are data, not flow control...
  d.fInX = FALSE;             // ...and the port never sends them itself
  d.fErrorChar = FALSE;       // a byte with a parity error is delivered as received...
  d.fNull = FALSE;            // ...and NUL bytes are kept
  d.fAbortOnError = FALSE;    // a line error never stops the reads
  d.ByteSize = static_cast<BYTE>(data_bits);
  d.Parity = static_cast<BYTE>(parity);  // the configuration's codes are Windows' own
  d.StopBits = ONESTOPBIT;
  d.ErrorChar = kSerialMarkChar;
  d.EofChar = kSerialMarkChar;
  d.EvtChar = kSerialEventChar;
  // XonLim, XoffLim, XonChar, XoffChar and the RTS control keep the port's values.
  *out = d;
  return 0;
}

int CheckSerialSettings(const SerialSettings& settings) {
  DCB current{};
  DCB wanted;
  return ComputeSerialDcb(current, settings, &wanted);
}

void SerialPort::SettingsDeleter::operator()(Settings* settings) const { delete settings; }

int SerialPort::OpenDevice(const std::string& path, const SerialSettings& settings) {
  HANDLE opened =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return FailWith(error == ERROR_PATH_NOT_FOUND ? ENOENT : static_cast<int>(error));
  }
  std::unique_ptr<void, HandleCloser> port(opened);
  auto saved = std::make_unique<DCB>();
  saved->DCBlength = sizeof(DCB);
  DCB wanted;
  if (!GetCommState(port.get(), saved.get())) return FailFromLastError();
  if (ComputeSerialDcb(*saved, settings, &wanted) != 0) return -1;
  if (!SetCommState(port.get(), &wanted)) return FailFromLastError();
  port_ = port.release();
  saved_.reset(saved.release());
  return 0;
}

void SerialPort::Close() {
  if (port_ == kClosed) return;
  // Best effort: a port that went away refuses new settings, and there is nothing to do.
  if (saved_ && !hung_up_) SetCommState(port_, saved_.get());
  CloseHandle(port_);
  port_ = kClosed;
  saved_.reset();
}

int SerialPort::BytesWaiting() {
  if (!port_) return FailWith(EBADF);
  long long count = QueueLength(port_);
  if (count >= 0) return static_cast<int>(count);
  DWORD error = GetLastError();
  return Fail(IsGoneError(error) ? kSerialHangUp : static_cast<int>(error));
}

long SerialPort::Read(void* buffer, std::size_t size) {
  if (!port_) return FailWith(EBADF);
  if (size == 0) return 0;
  // Without read time-outs a read waits for every byte asked for: ask only for what is there.
  int waiting = BytesWaiting();
  if (waiting <= 0) return waiting;
  DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, static_cast<std::size_t>(waiting)));
  DWORD got = 0;
  if (!ReadFile(port_, buffer, wanted, &got, nullptr)) {
    DWORD error = GetLastError();
    return Fail(IsGoneError(error) ? kSerialHangUp : static_cast<int>(error));
  }
  return static_cast<long>(got);
}

int SerialPort::Poll(int other_fd, int timeout_ms) const {
  HANDLE other = other_fd >= 0 ? LongToHandle(other_fd) : nullptr;
  ULONGLONG start = GetTickCount64();
  for (;;) {
    int mask = 0;
    // A failed ask is a port gone away (or closed): ready, so that the next read reports it.
    if (port_ && QueueLength(port_) != 0) mask |= kPortReady;
    if (other && WaitForSingleObject(other, 0) == WAIT_OBJECT_0) mask |= kOtherReady;
    if (mask != 0) return mask;
    int step = kPollStepMs;
    if (timeout_ms >= 0) {
      long long left =
          static_cast<long long>(start + timeout_ms) - static_cast<long long>(GetTickCount64());
      if (left <= 0) return 0;
      if (left < step) step = static_cast<int>(left);
    }
    if (other) {
      DWORD waited = WaitForSingleObject(other, static_cast<DWORD>(step));
      if (waited == WAIT_FAILED) return FailFromLastError();
    } else {
      Sleep(static_cast<DWORD>(step));
    }
  }
}

}  // namespace kestrum
