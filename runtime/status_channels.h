// The status channels of a device: ten channels per group in the device's extra channel table
// (state, reset request and eight communication counters), published through the channel
// writes under this process's names.
//
// StartStatusChannels lays out the configuration records of every group, takes the state
// counter of group 0 from the device's "scanner attached" byte and publishes everything
// unconditionally once. UpdateStatusChannels publishes what changed since: the state follows
// each group's state counter, and a reset request (state set on the group's RS channel from
// outside) zeroes the group's counters (not its state) and lowers RS. StopStatusChannels publishes
// every state as off and stops.
//
// The state counter's port text comes from the driver's extension module
// ("<first five letters of the driver name>_ex.so", tried as formed and lower-cased, through
// the loader's search and then in the program folder), when it exports Ex_Get_Config_Port.
//
// Thread safety: the functions serialise among themselves.
#ifndef PARVEX_RUNTIME_STATUS_CHANNELS_H_
#define PARVEX_RUNTIME_STATUS_CHANNELS_H_

#include <cstdint>

#include "records/device_record.h"

extern "C" {
/// The extension module's port text export: fills `text` (of `size` bytes, 20) with a short
/// NUL-terminated description of the device's port.
typedef void (*ExGetConfigPortFunc)(const kestrum::DeviceRecord* device, int32_t size, char* text);
}

namespace kestrum {

/// Starts (or restarts) the status channels of `device` in the channel table of
/// `extra_prefix` (two characters). Returns 0 when they run, or -1 with the error number set
/// when they cannot (EINVAL for a null argument or a table that carries no values or has
/// fewer than ten channels, as GetChannelTableView when the table is missing, 0 without a
/// configuration area for every status channel); the caller goes on without them.
int StartStatusChannels(const DeviceRecord* device, const char* extra_prefix);

/// Publishes what changed since the last publication (everything, unconditionally, the first
/// time after a start). Does nothing when the status channels do not run. Keeps the caller's
/// error number.
void UpdateStatusChannels();

/// Sets every group's state counter to 0, publishes, and stops. Does nothing when the status
/// channels do not run.
void StopStatusChannels();

/// Adds `amount` to the status counter of channel `channel` (0-based in the status table; the
/// state channels count too: a non-zero state counter shows the state as on). The next update
/// publishes it. Returns 0, or -1 with error number EINVAL when the channels do not run or the
/// channel lies beyond the groups.
int AddToStatusCounter(uint32_t channel, uint32_t amount);

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_STATUS_CHANNELS_H_
