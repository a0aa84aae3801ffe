// The 216-byte channel configuration record, in its analogue layout (kinds "ai", "ao", "ci")
// and its digital layout ("di", "do"), the masks of its flags word, the channel kinds and
// type codes, the particle counter's use of the `Analogue` hardware bytes, and the accessors
// of the texts stored in pieces (`Tag` 8 + 4 + 3, `Description` 16 + 16, `Units` 4 + 4).
//
// Fields the system names keep their names (`HighAlarmLimit`, `Gain`); the pieces of the
// split texts are reached only through the accessors.
#ifndef PARVEX_RECORDS_CHANNEL_CONFIG_H_
#define PARVEX_RECORDS_CHANNEL_CONFIG_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrum {

// --- Channel kinds and type codes ----------------------------------------------------------

/// Channel kinds; even kinds carry a float value per channel besides the status word.
enum ChannelKind : uint8_t {
  kKindAnalogInput = 0,    ///< "ai"
  kKindDigitalInput = 1,   ///< "di"
  kKindAnalogOutput = 2,   ///< "ao"
  kKindDigitalOutput = 3,  ///< "do"
  kKindCounterInput = 4,   ///< "ci"
};
inline constexpr int kChannelKindCount = 5;

/// Kind names, indexed by kind: "ai", "di", "ao", "do", "ci".
inline constexpr const char* kChannelKindNames[kChannelKindCount] = {"ai", "di", "ao", "do", "ci"};

/// Channel type codes (the `Type` byte): the same numbers as the kinds.
enum ChannelTypeCode : uint8_t {
  kTypeAI = 0,
  kTypeDI = 1,
  kTypeAO = 2,
  kTypeDO = 3,
  kTypeCI = 4,
};
inline constexpr int kChannelTypeCount = 5;

/// Type code names, indexed by code: "AI", "DI", "AO", "DO", "CI".
inline constexpr const char* kChannelTypeNames[kChannelTypeCount] = {"AI", "DI", "AO", "DO", "CI"};

/// Returns true for a digital type code or kind (odd), false for a value one (even).
constexpr bool IsDigitalType(uint8_t type_or_kind) { return (type_or_kind & 1u) != 0; }

// --- Flags word (offset 28) ----------------------------------------------------------------

/// Masks of the flags word in the analogue layout.
namespace analogue_flags {
inline constexpr uint32_t kEnable = 0x0001;
inline constexpr uint32_t kEventEnable = 0x0002;
inline constexpr uint32_t kHighAlarmEnable = 0x0004;
inline constexpr uint32_t kHighAlarmDeadbandEnable = 0x0008;
inline constexpr uint32_t kHighAlarmDriveCommon = 0x0010;
inline constexpr uint32_t kLowAlarmEnable = 0x0020;
inline constexpr uint32_t kLowAlarmDeadbandEnable = 0x0040;
inline constexpr uint32_t kLowAlarmDriveCommon = 0x0080;
inline constexpr uint32_t kSigChangeEnable = 0x0100;
inline constexpr uint32_t kReferenceEnable = 0x0200;
inline constexpr uint32_t kScalingEnable = 0x0400;
inline constexpr uint32_t kHighWarningEnable = 0x0800;
inline constexpr uint32_t kLowWarningEnable = 0x1000;
inline constexpr uint32_t kErrorAlarmEnable = 0x2000;
inline constexpr uint32_t kErrorAlarmDriveCommon = 0x4000;
}  // namespace analogue_flags

/// Masks of the flags word in the digital layout.
namespace digital_flags {
inline constexpr uint32_t kEnable = 0x0001;
inline constexpr uint32_t kAlarmDriveCommon = 0x0002;
inline constexpr uint32_t kEventEnable = 0x0004;
inline constexpr uint32_t kAlarmEnable = 0x0008;
inline constexpr uint32_t kEventState = 0x0010;  ///< 0 "Low", 1 "High"
inline constexpr uint32_t kAlarmState = 0x0020;  ///< 0 "Low", 1 "High"
inline constexpr uint32_t kErrorAlarmEnable = 0x0040;
inline constexpr uint32_t kErrorAlarmDriveCommon = 0x0080;
}  // namespace digital_flags

/// The mask of a flag given as bit n of a field description: mask 0x80 shifted right by
/// n mod 8, in byte n div 8 of the little-endian word (so `Enable` is bit 7).
constexpr uint32_t FlagMaskOfDescriptionBit(unsigned n) {
  return (0x80u >> (n % 8)) << (8 * (n / 8));
}

// --- Particle counter hardware part --------------------------------------------------------

/// Which item of a counter report a channel takes (`FieldType`).
enum FieldType : uint8_t {
  kFieldValue = 0,
  kFieldTime = 1,
  kFieldDate = 2,
  kFieldPort = 3,
  kFieldVolume = 4,
};
inline constexpr int kFieldTypeCount = 5;
/// Names of the field types, indexed by FieldType.
inline constexpr const char* kFieldTypeNames[kFieldTypeCount] = {"VALUE", "TIME", "DATE", "PORT",
                                                                 "VOLUME"};

/// Which of the nine report values a kFieldValue channel takes (`ValueType`).
enum ValueType : uint8_t {
  kValue03To05 = 0,
  kValue05To1 = 1,
  kValue1To5 = 2,
  kValue5To10 = 3,
  kValue10To25 = 4,
  kValueAbove25 = 5,
  kValueRH = 6,
  kValueTemp = 7,
  kValueFlow = 8,
};
inline constexpr int kValueTypeCount = 9;
/// Names of the value types, indexed by ValueType.
inline constexpr const char* kValueTypeNames[kValueTypeCount] = {
    "0.3-0.5", "0.5-1.0", "1.0-5.0", "5.0-10", "10-25", ">25", "RH", "TEMP", "FLOW"};

/// The `Analogue` hardware part (16 bytes) as the particle counter uses it.
struct AnalogueHardware {
  uint8_t FieldType;   ///< a FieldType
  uint8_t PortNumber;  ///< the counter's port id, 0 to 255
  uint8_t ValueType;   ///< a ValueType
  uint8_t unused[13];
};

static_assert(sizeof(AnalogueHardware) == 16);
static_assert(offsetof(AnalogueHardware, FieldType) == 0);
static_assert(offsetof(AnalogueHardware, PortNumber) == 1);
static_assert(offsetof(AnalogueHardware, ValueType) == 2);
static_assert(offsetof(AnalogueHardware, unused) == 3);

// --- The record ----------------------------------------------------------------------------

/// Size of one channel configuration record.
inline constexpr size_t kChannelConfigSize = 216;
/// Size of the `Analogue` and `Digital` hardware parts.
inline constexpr size_t kAnalogueHardwareSize = 16;
inline constexpr size_t kDigitalHardwareSize = 24;
/// Longest texts of the split fields and of the fixed 32-character texts.
inline constexpr size_t kMaxTagLength = 15;
inline constexpr size_t kMaxDescriptionLength = 32;
inline constexpr size_t kMaxUnitsLength = 8;
inline constexpr size_t kConfigTextWidth = 32;

/// Analogue layout (types "AI", "AO", "CI").
struct AnalogueChannelConfig {
  char tag_part1[8];           ///< tag characters 1-8
  char description_part1[16];  ///< description characters 1-16
  uint8_t Type;                ///< a ChannelTypeCode
  uint8_t reserved_25[3];
  uint32_t flags;       ///< analogue_flags masks
  char units_part1[4];  ///< units characters 1-4
  float Gain;
  float Offset;
  float HighEventLimit;
  float LowEventLimit;
  float HighAlarmLimit;
  float HighAlarmDeadband;
  float LowAlarmLimit;
  float LowAlarmDeadband;
  float SigChangeValue;
  uint8_t HighAlarmPriority;
  uint8_t LowAlarmPriority;
  char HighAlarmText[32];  ///< NUL-padded; no NUL when 32 characters long
  char LowAlarmText[32];
  char tag_part2[4];           ///< tag characters 9-12
  char description_part2[16];  ///< description characters 17-32
  char tag_part3[3];           ///< tag characters 13-15
  char units_part2[4];         ///< units characters 5-8
  uint8_t ErrorAlarmPriority;
  uint16_t ErrorAlarmDelay;
  float MaximumUnits;
  float MinimumUnits;
  float HighWarningLimit;
  float LowWarningLimit;
  uint16_t HighAlarmDelay;
  uint16_t LowAlarmDelay;
  AnalogueHardware Analogue;  ///< the driver's hardware part
  uint8_t reserved_204[12];
};

/// Digital layout (types "DI", "DO").
struct DigitalChannelConfig {
  char tag_part1[8];
  char description_part1[16];
  uint8_t Type;
  uint8_t reserved_25[3];
  uint32_t flags;  ///< digital_flags masks
  char HighStateText[32];
  char LowStateText[32];
  uint8_t AlarmPriority;
  char AlarmText[32];
  uint8_t reserved_129[9];
  char tag_part2[4];
  char description_part2[16];
  char tag_part3[3];
  uint8_t reserved_161[25];
  uint8_t ErrorAlarmPriority;
  uint8_t reserved_187;
  uint16_t ErrorAlarmDelay;
  uint16_t AlarmDelay;
  uint8_t Digital[24];  ///< the driver's hardware part
};

/// One channel configuration record. Both layouts start with the same fields (tag and
/// description part 1, `Type`, flags), which may be read through either member; the layout
/// of the rest follows `Type` (odd: digital).
struct ChannelConfigRecord {
  union {
    AnalogueChannelConfig analogue;
    DigitalChannelConfig digital;
    uint8_t bytes[kChannelConfigSize];
  };
};

static_assert(sizeof(AnalogueChannelConfig) == kChannelConfigSize);
static_assert(sizeof(DigitalChannelConfig) == kChannelConfigSize);
static_assert(sizeof(ChannelConfigRecord) == kChannelConfigSize);

static_assert(offsetof(AnalogueChannelConfig, tag_part1) == 0);
static_assert(offsetof(AnalogueChannelConfig, description_part1) == 8);
static_assert(offsetof(AnalogueChannelConfig, Type) == 24);
static_assert(offsetof(AnalogueChannelConfig, reserved_25) == 25);
static_assert(offsetof(AnalogueChannelConfig, flags) == 28);
static_assert(offsetof(AnalogueChannelConfig, units_part1) == 32);
static_assert(offsetof(AnalogueChannelConfig, Gain) == 36);
static_assert(offsetof(AnalogueChannelConfig, Offset) == 40);
static_assert(offsetof(AnalogueChannelConfig, HighEventLimit) == 44);
static_assert(offsetof(AnalogueChannelConfig, LowEventLimit) == 48);
static_assert(offsetof(AnalogueChannelConfig, HighAlarmLimit) == 52);
static_assert(offsetof(AnalogueChannelConfig, HighAlarmDeadband) == 56);
static_assert(offsetof(AnalogueChannelConfig, LowAlarmLimit) == 60);
static_assert(offsetof(AnalogueChannelConfig, LowAlarmDeadband) == 64);
static_assert(offsetof(AnalogueChannelConfig, SigChangeValue) == 68);
static_assert(offsetof(AnalogueChannelConfig, HighAlarmPriority) == 72);
static_assert(offsetof(AnalogueChannelConfig, LowAlarmPriority) == 73);
static_assert(offsetof(AnalogueChannelConfig, HighAlarmText) == 74);
static_assert(offsetof(AnalogueChannelConfig, LowAlarmText) == 106);
static_assert(offsetof(AnalogueChannelConfig, tag_part2) == 138);
static_assert(offsetof(AnalogueChannelConfig, description_part2) == 142);
static_assert(offsetof(AnalogueChannelConfig, tag_part3) == 158);
static_assert(offsetof(AnalogueChannelConfig, units_part2) == 161);
static_assert(offsetof(AnalogueChannelConfig, ErrorAlarmPriority) == 165);
static_assert(offsetof(AnalogueChannelConfig, ErrorAlarmDelay) == 166);
static_assert(offsetof(AnalogueChannelConfig, MaximumUnits) == 168);
static_assert(offsetof(AnalogueChannelConfig, MinimumUnits) == 172);
static_assert(offsetof(AnalogueChannelConfig, HighWarningLimit) == 176);
static_assert(offsetof(AnalogueChannelConfig, LowWarningLimit) == 180);
static_assert(offsetof(AnalogueChannelConfig, HighAlarmDelay) == 184);
static_assert(offsetof(AnalogueChannelConfig, LowAlarmDelay) == 186);
static_assert(offsetof(AnalogueChannelConfig, Analogue) == 188);
static_assert(offsetof(AnalogueChannelConfig, reserved_204) == 204);

static_assert(offsetof(DigitalChannelConfig, tag_part1) == 0);
static_assert(offsetof(DigitalChannelConfig, description_part1) == 8);
static_assert(offsetof(DigitalChannelConfig, Type) == 24);
static_assert(offsetof(DigitalChannelConfig, reserved_25) == 25);
static_assert(offsetof(DigitalChannelConfig, flags) == 28);
static_assert(offsetof(DigitalChannelConfig, HighStateText) == 32);
static_assert(offsetof(DigitalChannelConfig, LowStateText) == 64);
static_assert(offsetof(DigitalChannelConfig, AlarmPriority) == 96);
static_assert(offsetof(DigitalChannelConfig, AlarmText) == 97);
static_assert(offsetof(DigitalChannelConfig, reserved_129) == 129);
static_assert(offsetof(DigitalChannelConfig, tag_part2) == 138);
static_assert(offsetof(DigitalChannelConfig, description_part2) == 142);
static_assert(offsetof(DigitalChannelConfig, tag_part3) == 158);
static_assert(offsetof(DigitalChannelConfig, reserved_161) == 161);
static_assert(offsetof(DigitalChannelConfig, ErrorAlarmPriority) == 186);
static_assert(offsetof(DigitalChannelConfig, reserved_187) == 187);
static_assert(offsetof(DigitalChannelConfig, ErrorAlarmDelay) == 188);
static_assert(offsetof(DigitalChannelConfig, AlarmDelay) == 190);
static_assert(offsetof(DigitalChannelConfig, Digital) == 192);

/// The record's `Type` byte.
inline uint8_t ChannelType(const ChannelConfigRecord& record) { return record.analogue.Type; }
/// The record's flags word (masks of the layout its `Type` selects).
inline uint32_t ChannelFlags(const ChannelConfigRecord& record) { return record.analogue.flags; }
/// Returns true when the record uses the digital layout (odd `Type`).
inline bool IsDigitalRecord(const ChannelConfigRecord& record) {
  return IsDigitalType(record.analogue.Type);
}
/// Returns true when the channel is enabled (bit 0x1 in both layouts).
inline bool ChannelEnabled(const ChannelConfigRecord& record) {
  return (record.analogue.flags & analogue_flags::kEnable) != 0;
}

// --- Split texts ---------------------------------------------------------------------------

/// Returns the tag (up to 15 characters: parts 1, 2 and 3 joined, ended at the first NUL) in
/// a per-thread buffer that the next GetChannelTag call on the same thread overwrites.
const char* GetChannelTag(const ChannelConfigRecord& record);

/// Returns the description (up to 32 characters) in a per-thread buffer that the next
/// GetChannelDescription call on the same thread overwrites.
const char* GetChannelDescription(const ChannelConfigRecord& record);

/// Returns the units (up to 8 characters) of an analogue-layout record in a per-thread buffer
/// that the next GetChannelUnits call on the same thread overwrites.
const char* GetChannelUnits(const ChannelConfigRecord& record);

/// Copies the tag into out (at most out_size - 1 characters and a NUL; nothing when out_size
/// is 0) and returns the tag's full length. Reentrant.
size_t CopyChannelTag(const ChannelConfigRecord& record, char* out, size_t out_size);

/// Stores the first 15 characters of `text` (up to an embedded NUL) as the tag: characters
/// 1-8 in part 1, 9-12 in part 2, 13-15 in part 3; unused parts and tails are NUL-filled.
void SetChannelTag(ChannelConfigRecord* record, std::string_view text);

/// Stores the first 32 characters of `text` as the description (16 + 16).
void SetChannelDescription(ChannelConfigRecord* record, std::string_view text);

/// Stores the first 8 characters of `text` as the units (4 + 4) of an analogue-layout record.
void SetChannelUnits(ChannelConfigRecord* record, std::string_view text);

}  // namespace kestrum

#endif  // PARVEX_RECORDS_CHANNEL_CONFIG_H_
