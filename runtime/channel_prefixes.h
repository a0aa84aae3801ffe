// Channel prefixes and the areas of each prefix.
//
// Every channel prefix of the system has a slot: first one per data processor in "dm_datproc"
// order, then six per device in "dm_device" order (the five kind prefixes of the device record,
// then the device's extra prefix). Each slot caches its channel table "dm_<PREFIX>", its
// configuration area "dm_<PREFIX>_conf" and its event area "dm_<PREFIX>_event", each opened on
// first use. The slot table is sized once per process, on the first lookup that finds any
// slot; devices or data processors added later are not in it.
#ifndef PARVEX_RUNTIME_CHANNEL_PREFIXES_H_
#define PARVEX_RUNTIME_CHANNEL_PREFIXES_H_

#include <string>
#include <string_view>

#include "records/channel_table.h"

namespace kestrum {

/// Number of slots per device: the five kind prefixes and the extra prefix.
inline constexpr int kSlotsPerDevice = 6;

/// Returns the 0-based slot of `prefix` (its first two characters, ignoring case), after
/// making sure that its channel table can be opened; -1 for an empty or unknown prefix (error
/// number 0) or when the table cannot be opened (error number as OpenSharedArea).
int FindPrefixSlot(std::string_view prefix);

/// The base name of an area of `prefix`: "dm_", the upper-cased first two characters, then
/// `suffix` ("", "_conf" or "_event").
std::string PrefixAreaName(std::string_view prefix, std::string_view suffix);

/// Returns the channel table of `prefix`, or null with the error number set.
void* GetChannelTable(std::string_view prefix);

/// Returns the channel configuration area of `prefix`, or null with the error number set.
void* GetChannelConfigArea(std::string_view prefix);

/// Returns the first channel configuration record (the data part, offset 128) of `prefix`'s
/// configuration area, or null with the error number set. The caller checks the data size
/// (ReadAreaHeader) before reading more records than the area holds.
void* GetChannelConfigRecords(std::string_view prefix);

/// Returns the channel event area of `prefix`, or null with the error number set.
void* GetChannelEventArea(std::string_view prefix);

/// Fills `*view` with the typed parts of `prefix`'s channel table after checking that the
/// table is usable (live bytes 4 or 8, n·(b + 264) + 20 <= D, D inside the area). Returns 0,
/// or -1 with the error number set (0 for a refused table).
int GetChannelTableView(std::string_view prefix, ChannelTableView* view);

/// How a change to `prefix`'s channels is applied: -1 when its channel table cannot be opened;
/// 1 (the writer applies it) without a slot, for a data processor whose name begins "modb",
/// and for a device's extra prefix; a data processor's write-mode byte plus 1; 0 for a device's
/// kind prefixes.
int GetPrefixWriteMode(std::string_view prefix);

/// The process that owns `prefix`'s channels: -1 when its channel table cannot be opened, 0
/// without a slot, else the data processor's owner or the device's scanner process id.
long GetPrefixOwner(std::string_view prefix);

/// The value kind of `prefix`: -1 when its channel table cannot be opened, the data
/// processor's value-kind byte for a data processor's prefix, else 0.
int GetPrefixValueKind(std::string_view prefix);

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_CHANNEL_PREFIXES_H_
