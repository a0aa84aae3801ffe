// What a serial port does the same on both platforms: the checks of a port name before any
// device is opened, closing on destruction, moving, and marking a hang-up when a call fails.
#include <cerrno>
#include <string>
#include <string_view>
#include <utility>

#include "platform/error_number.h"
#include "platform/serial_port.h"

namespace kestrum {

SerialPort::SerialPort() = default;
SerialPort::~SerialPort() { Close(); }

SerialPort::SerialPort(SerialPort&& other) noexcept
    : port_(std::exchange(other.port_, kClosed)),
      hung_up_(std::exchange(other.hung_up_, false)),
      saved_(std::move(other.saved_)) {}

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
  if (this != &other) {
    Close();
    port_ = std::exchange(other.port_, kClosed);
    hung_up_ = std::exchange(other.hung_up_, false);
    saved_ = std::move(other.saved_);
  }
  return *this;
}

int SerialPort::Open(std::string_view name, const SerialSettings& settings) {
  Close();
  hung_up_ = false;
  if (name.empty() || name.size() > kMaxPortNameLength) {
    return FailWith(name.empty() ? ENOENT : ENAMETOOLONG);
  }
  // A port name is a name, never a path that could lead to another device or file.
  if (name.find_first_of("/\\") != std::string_view::npos) return FailWith(EINVAL);
  return OpenDevice(SerialPortPath(name), settings);
}

int SerialPort::Fail(int error) {
  if (error == kSerialHangUp) hung_up_ = true;
  return FailWith(error);
}

}  // namespace kestrum
