// The serial ports that can be opened on this machine, as the SERIALCOMM registry key lists
// them.
#ifndef PARVEX_PLATFORM_SERIAL_PORT_LIST_H_
#define PARVEX_PLATFORM_SERIAL_PORT_LIST_H_

#include <string>
#include <vector>

namespace kestrum {

/// One port: the device path that carries it and the port name a configuration uses.
struct SerialPortEntry {
  std::string device;  ///< e.g. "<instance>/dev/LINE1", "/dev/ttyS0", or "\\.\COM1"
  std::string name;    ///< e.g. "LINE1" or "COM1"
};

/// Lists the ports: first every alias in "<instance>/dev/" (sorted by name; names of at most
/// 7 characters whose target exists and is not a folder), then "COMn" for each /dev/ttyS<n-1>
/// whose UART type is known (TIOCGSERIAL; the sysfs "type" attribute when the device cannot
/// be opened), in port order, unless an alias of that name already stands for it.
/// On Windows: the port names under HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM (names of
/// at most 7 characters), COMn by n, then the others by name.
std::vector<SerialPortEntry> ListSerialPorts();

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_SERIAL_PORT_LIST_H_
