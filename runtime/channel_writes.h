// Writing states and values into another process's channel table (or one's own).
//
// Who applies a write is the prefix's write mode (GetPrefixWriteMode). In mode 1 the writer
// applies it itself: it evaluates the channel's alarm, warning and event handling from its
// configuration record, sends alarm records and counts events in an event batch, stores the
// new status words and notifies the table's subscribers. In any other mode it only stores the
// new state or value and posts 305 (channels changed) to the table's owner, which evaluates.
//
// Writes apply to output channels only: digital writes to channels of type "DO", analogue
// writes to channels of type "AO"; other channels of the range are left alone.
//
// Lock order: the channel table, then (inside the batch) its event area.
#ifndef PARVEX_RUNTIME_CHANNEL_WRITES_H_
#define PARVEX_RUNTIME_CHANNEL_WRITES_H_

#include <cstdint>
#include <span>
#include <string_view>

namespace kestrum {

/// Writes the states of channels `first` to `last` (1-based, inclusive) of the table of
/// `prefix`: bit 0 of values[i] is the new state of channel first + i. A channel is processed
/// when it is a "DO" channel and the write is `unconditional`, the channel is disabled or has
/// no value (status 0x20), or the state differs from its current one. With `lock` the table is
/// locked for the write; without it the caller holds the lock. `computer` and `user` name the
/// writer in alarm records (cut to 15 and 32 characters). Returns 0, or -1 with the error
/// number set and nothing changed: as GetChannelTable when the table is missing or unusable,
/// 0 when the write mode or the configuration records cannot be found, EINVAL when first or
/// last is 0 or beyond the channel count, first exceeds last, or `values` holds fewer than
/// last - first + 1 words; as the area lock when it cannot be taken.
int WriteDigitalChannels(bool unconditional, bool lock, std::string_view prefix, uint32_t first,
                         uint32_t last, std::span<const uint32_t> values, std::string_view computer,
                         std::string_view user);

/// The ordinary digital write: not unconditional, with the lock, under this process's computer
/// and user names. Returns as the full form.
int WriteDigitalChannels(std::string_view prefix, uint32_t first, uint32_t last,
                         std::span<const uint32_t> values);

/// The unconditional digital write (every "DO" channel of the range is re-evaluated), with
/// the lock, under this process's names. Returns as the full form.
int WriteDigitalChannelsUnconditional(std::string_view prefix, uint32_t first, uint32_t last,
                                      std::span<const uint32_t> values);

/// Writes the values of channels `first` to `last` of the table of `prefix`: values[i] is the
/// new value of channel first + i. A channel is processed when it is an "AO" channel and the
/// write is unconditional, the channel is disabled or has no value, or the value differs from
/// the table's. Every processed channel gets the value; when the prefix's value kind is not 0,
/// its extended record also gets code 4 and the value. Returns as WriteDigitalChannels, and
/// also -1 with error number 0 when the table carries no values (live bytes not 8) or the
/// prefix's value kind cannot be read.
int WriteAnalogueChannels(bool unconditional, bool lock, std::string_view prefix, uint32_t first,
                          uint32_t last, std::span<const float> values, std::string_view computer,
                          std::string_view user);

/// The ordinary analogue write (not unconditional, with the lock, this process's names).
int WriteAnalogueChannels(std::string_view prefix, uint32_t first, uint32_t last,
                          std::span<const float> values);

/// The unconditional analogue write (with the lock, this process's names).
int WriteAnalogueChannelsUnconditional(std::string_view prefix, uint32_t first, uint32_t last,
                                       std::span<const float> values);

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_CHANNEL_WRITES_H_
