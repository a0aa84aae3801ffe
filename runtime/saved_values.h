// Saved channel values: the output values and totals of a device that survive a restart of its
// scanner, in two files per device and channel kind in the saved-values folder
// ("KSM_SAVED_VALUES"): "<folder>_<kind>.bin", one 16-byte record per channel (tag cut to 12
// bytes, then the 32-bit value), and "<folder>_<kind>.tag", one 15-byte tag field per channel.
//
// A save replaces both files whole: each is written to a temporary file in the same folder,
// flushed to disk and renamed over the old one, so a reader sees the old or the new file and a
// failed save leaves the previous files as they were. Records past the new last one (a device
// that had more channels before) are carried over unchanged, as an in-place rewrite would
// leave them.
#ifndef PARVEX_RUNTIME_SAVED_VALUES_H_
#define PARVEX_RUNTIME_SAVED_VALUES_H_

#include <cstdint>
#include <string>

#include "records/channel_config.h"

namespace kestrum {

/// The paths of the value file and the tag file of a device folder name and a kind name ("ai",
/// "di", "ao", "do", "ci", "dc") in the saved-values folder; empty when the folder cannot be
/// resolved.
std::string SavedValuePath(const char* device_folder, const char* kind);
std::string SavedTagPath(const char* device_folder, const char* kind);

/// Saves `count` values (channel order) with the tags of the channels that are in use
/// (`Enable` on; others get an empty name). Returns `count`, or -1 with the platform's error
/// (both as error number and last error) when the folder cannot be resolved or a file cannot be
/// written completely; the previous files are then untouched.
int SaveChannelValues(const char* device_folder, const char* kind, const uint32_t* values,
                      const ChannelConfigRecord* records, int count);

/// Sets the `count` values to 0, then restores them from the saved files: by position, or with
/// `match_by_name` by the tag name (ignoring case) of the channel that is in use, so that values
/// follow their channels when the channel list was reordered. A digital channel (odd `Type`)
/// gets only bit 0 of its saved status word. Returns the number of values restored, or -1 with
/// the platform's error when the value file is missing or shorter than `count` records (values
/// read before then stay in `values`). A missing tag file is allowed.
int LoadChannelValues(const char* device_folder, const char* kind, bool match_by_name,
                      uint32_t* values, const ChannelConfigRecord* records, int count);

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_SAVED_VALUES_H_
