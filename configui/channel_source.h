// What the Channel dialog edits: where a channel takes its value from in the counter's report,
// the first three bytes of the record's hardware part. Free of any toolkit.
#ifndef PARVEX_CONFIGUI_CHANNEL_SOURCE_H_
#define PARVEX_CONFIGUI_CHANNEL_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "configui/parvex_cf.h"
#include "records/channel_config.h"

namespace parvex {

/// Record positions of FieldType, PortNumber and ValueType.
inline constexpr int kFieldTypeOffset = offsetof(kestrum::AnalogueChannelConfig, Analogue);
inline constexpr int kPortNumberOffset = kFieldTypeOffset + 1;
inline constexpr int kValueTypeOffset = kFieldTypeOffset + 2;

/// The items of the Field Type and ValueType lists, in list order.
inline constexpr auto& kFieldTypeItems = kestrum::kFieldTypeNames;
inline constexpr auto& kValueTypeItems = kestrum::kValueTypeNames;

/// The three settings as list positions and a port number. A list position of -1 means no
/// item is selected (a stored value beyond the list).
struct ChannelSource {
  int field_type = 0;
  unsigned port = 0;
  int value_type = 0;
};

/// Reads the three settings from the record; stored values beyond a list give position -1.
ChannelSource ReadChannelSource(const ParvexChannelRecord& record);

/// Whether the port and ValueType controls are enabled: only for a field type of VALUE.
bool ValueControlsEnabled(int field_type);

/// The text shown when the port text is refused.
inline constexpr const char* kPortRangeMessage = "Please enter an integer between 0 and 255.";

/// Parses the port text: a whole decimal number from 0 to 255, blanks around it allowed.
std::optional<unsigned> ParsePortNumber(std::string_view text);

/// Stores `chosen` into the record unless the choice is VALUE with the record's own port and
/// value type. A list position of -1 keeps that byte as stored. Returns whether it stored.
bool StoreChannelSource(const ChannelSource& chosen, ParvexChannelRecord& record);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_CHANNEL_SOURCE_H_
