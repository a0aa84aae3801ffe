// Field descriptions of the library's own records: the save settings of a device and the two
// layouts (analogue, digital) of the 216-byte channel configuration record.
#ifndef PARVEX_CONFIG_RECORD_TYPES_H_
#define PARVEX_CONFIG_RECORD_TYPES_H_

#include <array>
#include <cstddef>
#include <cstdint>

#include "config/structs_type.h"

namespace kestrum {

/// Offsets of the first piece of each split text of a channel record; also the first argument
/// of the "chanconfignstring" type that names the text.
inline constexpr int kSplitTagOffset = 0;
inline constexpr int kSplitDescriptionOffset = 8;
inline constexpr int kSplitUnitsOffset = 32;
/// Longest texts the split pieces hold.
inline constexpr int kChannelTagMax = 15;
inline constexpr int kChannelDescriptionMax = 32;
inline constexpr int kChannelUnitsMax = 8;

/// Size of the hardware part of each layout and where it lies.
inline constexpr int kAnalogueHardwareBytes = 16;
inline constexpr int kAnalogueHardwareOffset = 188;
inline constexpr int kDigitalHardwareBytes = 24;
inline constexpr int kDigitalHardwareOffset = 192;
/// Number of fields of each layout, the hardware part included.
inline constexpr size_t kAnalogueFieldCount = 41;
inline constexpr size_t kDigitalFieldCount = 19;

/// The save settings as the XML reader parses them: four 32-bit words AutoEnable, SaveOutputs,
/// SaveByTag (booleans written "Off"/"On") and SaveRate (unsigned), 16 bytes.
extern const StructsType kSaveSettingsType;

/// The particle counter's device configuration block (704 bytes) as XML fields: ScanRate
/// (unsigned), BaudRate (signed), PortName (at most 7 characters, so that a NUL always ends it),
/// Parity ("None", "Odd", "Even", "Mark", "Space", any case) and DataBits (signed). The rest of
/// the block has no fields.
extern const StructsType kCounterConfigType;

/// The analogue layout (kinds "ai", "ao", "ci") with its default hardware part: 16 bytes of
/// fixed data written as hexadecimal.
extern const StructsType kAnalogueChannelType;
/// The digital layout (kinds "di", "do") with its default hardware part of 24 bytes.
extern const StructsType kDigitalChannelType;

/// Only the hardware part of a record ("Analogue" or "Digital") as hexadecimal bytes: the form
/// that files written before a module described the part use, read also where one does.
extern const StructsType kAnalogueHardwareBytesType;
extern const StructsType kDigitalHardwareBytesType;

/// The shorter name by which a channel's XML may give a leaf of a hardware part that an
/// extension module describes: the leaf's name without the hardware field's own ("FieldType" for
/// "Analogue.FieldType"). Null for every other name.
const char* HardwareMemberName(const char* leaf_name);

/// A channel layout whose last field (the hardware part) has the type an extension module
/// gave for one channel. Holds its own copy of the member list: the constant layouts above are
/// never changed.
class ChannelLayout {
 public:
  /// `hardware` null selects the default hexadecimal hardware part.
  ChannelLayout(bool digital, const StructsType* hardware);
  ChannelLayout(const ChannelLayout&) = delete;
  ChannelLayout& operator=(const ChannelLayout&) = delete;

  /// The description of the whole 216-byte record.
  const StructsType* type() const { return &type_; }

 private:
  std::array<StructsField, kAnalogueFieldCount + 1> fields_;
  StructsType type_;
};

}  // namespace kestrum

#endif  // PARVEX_CONFIG_RECORD_TYPES_H_
