// Where the Advanced dialog's Port list comes from: the local machine's registered serial ports.
#ifndef PARVEX_CONFIGUI_REGISTERED_PORTS_H_
#define PARVEX_CONFIGUI_REGISTERED_PORTS_H_

#include <functional>
#include <optional>
#include <vector>

#include "configui/comm_settings_map.h"

namespace parvex {

/// Lists the values of the registry's serial port key; nullopt when the registry cannot be
/// reached.
using SerialPortSource = std::function<std::optional<std::vector<SerialPortValue>>()>;

/// The serial port values of the local machine's registry (HARDWARE\DEVICEMAP\SERIALCOMM).
std::optional<std::vector<SerialPortValue>> RegisteredSerialPorts();

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_REGISTERED_PORTS_H_
