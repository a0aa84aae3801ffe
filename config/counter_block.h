// The particle counter's device configuration block: its field description (kCounterConfigType)
// and the range checks of its serial settings. The counter's extension module exports both; the
// configuration compiler falls back on them for a folder without a module.
#ifndef PARVEX_CONFIG_COUNTER_BLOCK_H_
#define PARVEX_CONFIG_COUNTER_BLOCK_H_

#include <cstdint>

namespace kestrum {

/// Fewest and most data bits of a character on the counter's serial line.
inline constexpr int32_t kCounterDataBitsMin = 5;
inline constexpr int32_t kCounterDataBitsMax = 8;

/// Checks the serial settings of `block` (a CommSettings) that `found` (",Name,Name,...,") lists:
/// BaudRate above 0, DataBits kCounterDataBitsMin to kCounterDataBitsMax. With a PortName (a
/// name, not a path), BaudRate and DataBits must be given and the serial line must support them,
/// so a block that passes is one the scanner can open its port with. Returns 0, or -1 with the
/// reason in `ebuf` (at most `size` bytes, NUL included). The signature of an extension module's
/// device check.
int32_t ValidateCounterBlock(const char* found, void* block, char* ebuf, int32_t size);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_COUNTER_BLOCK_H_
