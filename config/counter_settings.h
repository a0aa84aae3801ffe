// The compiler's check of the particle counter's serial settings: a device block it accepts is
// one the scanner can open its port with.
#ifndef PARVEX_CONFIG_COUNTER_SETTINGS_H_
#define PARVEX_CONFIG_COUNTER_SETTINGS_H_

#include <cstdint>

namespace kestrum {

/// Device validation of the particle counter (an Ex_Validate_Device in shape). `found` lists the
/// fields given (",Name,...,"), `block` is the parsed CommSettings. A given BaudRate must be
/// above 0 and given DataBits 5 to 8. Without a PortName the
/// scanner opens the default port with default settings, so nothing else is needed. With one,
/// BaudRate and DataBits must be given and the port's line must support them (a missing one
/// is 0, which fails the open with EINVAL), and the name must be a name, not a path. Returns 0,
/// or -1 with the message in `ebuf` (`size` bytes).
int32_t ValidateCounterSettings(const char* found, void* block, char* ebuf, int32_t size);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_COUNTER_SETTINGS_H_
