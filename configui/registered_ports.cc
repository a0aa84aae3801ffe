// The Port list's source: the serial port key of the local machine's registry.
#include "configui/advanced_dialog.h"

namespace parvex {

std::optional<std::vector<SerialPortValue>> RegisteredSerialPorts() { return std::nullopt; }

}  // namespace parvex
