#include "config/record_types.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "records/channel_config.h"
#include "records/device_record.h"

namespace kestrum {
namespace {

// Save settings.
constexpr StructsType kOffOn = StructsBooleanType(true, kStructsOffOn);
constexpr StructsType kUint32 = StructsUintType(kStructsInt32, kStructsUnsigned);

constexpr StructsField kSaveSettingsFields[] = {
    {"AutoEnable", &kOffOn, 4, 0}, {"SaveOutputs", &kOffOn, 4, 4}, {"SaveByTag", &kOffOn, 4, 8},
    {"SaveRate", &kUint32, 4, 12}, {nullptr, nullptr, 0, 0},
};

// The particle counter's device block: its serial settings.
constexpr StructsType kInt32 = StructsUintType(kStructsInt32, kStructsSigned);
constexpr StructsType kPortName = StructsFixedStringType(7);
constexpr StructsIdEntry kParityNames[] = {{"None", 0, 1}, {"Odd", 1, 1},   {"Even", 2, 1},
                                           {"Mark", 3, 1}, {"Space", 4, 1}, {nullptr, 0, 0}};
constexpr StructsType kParity = StructsIdType(4, kParityNames);
constexpr StructsField kCounterConfigFields[] = {
    {"ScanRate", &kUint32, 4, offsetof(CommSettings, ScanRate)},
    {"BaudRate", &kInt32, 4, offsetof(CommSettings, BaudRate)},
    {"PortName", &kPortName, 7, offsetof(CommSettings, PortName)},
    {"Parity", &kParity, 4, offsetof(CommSettings, Parity)},
    {"DataBits", &kInt32, 4, offsetof(CommSettings, DataBits)},
    {nullptr, nullptr, 0, 0},
};

// Channel records.
constexpr int kFlagsOffset = 28;
// Bit fields have no bytes of their own; each gets a distinct nominal offset past the record
// and finds the flags word through the distance in its first argument.
constexpr int kBitNominalBase = static_cast<int>(kChannelConfigSize);

constexpr StructsIdEntry kOnOffNames[] = {{"Off", 0, 0}, {"On", 1, 0}, {nullptr, 0, 0}};
constexpr StructsIdEntry kLowHighNames[] = {{"Low", 0, 0}, {"High", 1, 0}, {nullptr, 0, 0}};
constexpr StructsIdEntry kTypeNames[] = {{"AI", 0, 0}, {"DI", 1, 0}, {"AO", 2, 0},
                                         {"DO", 3, 0}, {"CI", 4, 0}, {nullptr, 0, 0}};

// Bit n of a description is mask 0x80 >> (n % 8) in byte n / 8 of the flags word.
constexpr StructsType OnOffBit(int n) {
  return StructsBitFieldType(kBitNominalBase + n - kFlagsOffset, n, kOnOffNames);
}
constexpr StructsType LowHighBit(int n) {
  return StructsBitFieldType(kBitNominalBase + n - kFlagsOffset, n, kLowHighNames);
}
constexpr StructsField Bit(const char* name, const StructsType* type) {
  return {name, type, 0, static_cast<uint16_t>(kBitNominalBase + type->args[1].num)};
}

// Bits of the analogue layout (mask 0x0001 is bit 7, 0x0100 bit 15, ...).
constexpr StructsType kAiEnable = OnOffBit(7);
constexpr StructsType kAiEventEnable = OnOffBit(6);
constexpr StructsType kAiHighAlarmEnable = OnOffBit(5);
constexpr StructsType kAiHighAlarmDeadbandEnable = OnOffBit(4);
constexpr StructsType kAiHighAlarmDriveCommon = OnOffBit(3);
constexpr StructsType kAiLowAlarmEnable = OnOffBit(2);
constexpr StructsType kAiLowAlarmDeadbandEnable = OnOffBit(1);
constexpr StructsType kAiLowAlarmDriveCommon = OnOffBit(0);
constexpr StructsType kAiSigChangeEnable = OnOffBit(15);
constexpr StructsType kAiReferenceEnable = OnOffBit(14);
constexpr StructsType kAiScalingEnable = OnOffBit(13);
constexpr StructsType kAiHighWarningEnable = OnOffBit(12);
constexpr StructsType kAiLowWarningEnable = OnOffBit(11);
constexpr StructsType kAiErrorAlarmEnable = OnOffBit(10);
constexpr StructsType kAiErrorAlarmDriveCommon = OnOffBit(9);

// Bits of the digital layout.
constexpr StructsType kDiEnable = OnOffBit(7);
constexpr StructsType kDiAlarmDriveCommon = OnOffBit(6);
constexpr StructsType kDiEventEnable = OnOffBit(5);
constexpr StructsType kDiAlarmEnable = OnOffBit(4);
constexpr StructsType kDiEventState = LowHighBit(3);
constexpr StructsType kDiAlarmState = LowHighBit(2);
constexpr StructsType kDiErrorAlarmEnable = OnOffBit(1);
constexpr StructsType kDiErrorAlarmDriveCommon = OnOffBit(0);

constexpr StructsType kTag = StructsChanConfigStringType(kSplitTagOffset, kChannelTagMax);
constexpr StructsType kDescription =
    StructsChanConfigStringType(kSplitDescriptionOffset, kChannelDescriptionMax);
constexpr StructsType kUnits = StructsChanConfigStringType(kSplitUnitsOffset, kChannelUnitsMax);
constexpr StructsType kType = StructsIdType(1, kTypeNames);
constexpr StructsType kFloat = StructsFloatType(false);
constexpr StructsType kU8 = StructsUintType(kStructsInt8, kStructsUnsigned);
constexpr StructsType kU16 = StructsUintType(kStructsInt16, kStructsUnsigned);
constexpr StructsType kText32 = StructsFixedStringType(32);
constexpr StructsType kAnalogueHardware = StructsFixedDataType(kAnalogueHardwareBytes);
constexpr StructsType kDigitalHardware = StructsFixedDataType(kDigitalHardwareBytes);

constexpr StructsField kAnalogueFields[] = {
    Bit("Enable", &kAiEnable),
    {"Tag", &kTag, kChannelTagMax, kSplitTagOffset},
    {"Description", &kDescription, kChannelDescriptionMax, kSplitDescriptionOffset},
    {"Type", &kType, 1, 24},
    Bit("ErrorAlarmEnable", &kAiErrorAlarmEnable),
    Bit("ErrorAlarmDriveCommon", &kAiErrorAlarmDriveCommon),
    {"ErrorAlarmPriority", &kU8, 1, 165},
    {"ErrorAlarmDelay", &kU16, 2, 166},
    Bit("EventEnable", &kAiEventEnable),
    {"LowEventLimit", &kFloat, 4, 48},
    {"HighEventLimit", &kFloat, 4, 44},
    {"Units", &kUnits, kChannelUnitsMax, kSplitUnitsOffset},
    {"MaximumUnits", &kFloat, 4, 168},
    {"MinimumUnits", &kFloat, 4, 172},
    Bit("ReferenceEnable", &kAiReferenceEnable),
    Bit("SigChangeEnable", &kAiSigChangeEnable),
    {"SigChangeValue", &kFloat, 4, 68},
    Bit("ScalingEnable", &kAiScalingEnable),
    {"Gain", &kFloat, 4, 36},
    {"Offset", &kFloat, 4, 40},
    Bit("LowAlarmEnable", &kAiLowAlarmEnable),
    Bit("LowAlarmDriveCommon", &kAiLowAlarmDriveCommon),
    {"LowAlarmLimit", &kFloat, 4, 60},
    Bit("LowWarningEnable", &kAiLowWarningEnable),
    {"LowWarningLimit", &kFloat, 4, 180},
    Bit("LowAlarmDeadbandEnable", &kAiLowAlarmDeadbandEnable),
    {"LowAlarmDeadband", &kFloat, 4, 64},
    {"LowAlarmPriority", &kU8, 1, 73},
    {"LowAlarmDelay", &kU16, 2, 186},
    {"LowAlarmText", &kText32, 32, 106},
    Bit("HighAlarmEnable", &kAiHighAlarmEnable),
    Bit("HighAlarmDriveCommon", &kAiHighAlarmDriveCommon),
    {"HighAlarmLimit", &kFloat, 4, 52},
    Bit("HighWarningEnable", &kAiHighWarningEnable),
    {"HighWarningLimit", &kFloat, 4, 176},
    Bit("HighAlarmDeadbandEnable", &kAiHighAlarmDeadbandEnable),
    {"HighAlarmDeadband", &kFloat, 4, 56},
    {"HighAlarmPriority", &kU8, 1, 72},
    {"HighAlarmDelay", &kU16, 2, 184},
    {"HighAlarmText", &kText32, 32, 74},
    {"Analogue", &kAnalogueHardware, kAnalogueHardwareBytes, kAnalogueHardwareOffset},
    {nullptr, nullptr, 0, 0},
};

constexpr StructsField kDigitalFields[] = {
    Bit("Enable", &kDiEnable),
    {"Tag", &kTag, kChannelTagMax, kSplitTagOffset},
    {"Description", &kDescription, kChannelDescriptionMax, kSplitDescriptionOffset},
    {"Type", &kType, 1, 24},
    Bit("ErrorAlarmEnable", &kDiErrorAlarmEnable),
    Bit("ErrorAlarmDriveCommon", &kDiErrorAlarmDriveCommon),
    {"ErrorAlarmPriority", &kU8, 1, 186},
    {"ErrorAlarmDelay", &kU16, 2, 188},
    Bit("EventEnable", &kDiEventEnable),
    Bit("EventState", &kDiEventState),
    {"LowStateText", &kText32, 32, 64},
    {"HighStateText", &kText32, 32, 32},
    Bit("AlarmEnable", &kDiAlarmEnable),
    Bit("AlarmState", &kDiAlarmState),
    Bit("AlarmDriveCommon", &kDiAlarmDriveCommon),
    {"AlarmPriority", &kU8, 1, 96},
    {"AlarmDelay", &kU16, 2, 190},
    {"AlarmText", &kText32, 32, 97},
    {"Digital", &kDigitalHardware, kDigitalHardwareBytes, kDigitalHardwareOffset},
    {nullptr, nullptr, 0, 0},
};

static_assert(std::size(kAnalogueFields) == kAnalogueFieldCount + 1);
static_assert(std::size(kDigitalFields) == kDigitalFieldCount + 1);

// The hardware parts alone, as hexadecimal bytes.
constexpr StructsField kAnalogueBytesFields[] = {kAnalogueFields[kAnalogueFieldCount - 1],
                                                 {nullptr, nullptr, 0, 0}};
constexpr StructsField kDigitalBytesFields[] = {kDigitalFields[kDigitalFieldCount - 1],
                                                {nullptr, nullptr, 0, 0}};

}  // namespace

const StructsType kSaveSettingsType = StructsStructureType(16, kSaveSettingsFields);
const StructsType kCounterConfigType =
    StructsStructureType(static_cast<int32_t>(kDeviceConfigBlockSize), kCounterConfigFields);
const StructsType kAnalogueChannelType =
    StructsStructureType(static_cast<int32_t>(kChannelConfigSize), kAnalogueFields);
const StructsType kDigitalChannelType =
    StructsStructureType(static_cast<int32_t>(kChannelConfigSize), kDigitalFields);

const StructsType kAnalogueHardwareBytesType =
    StructsStructureType(static_cast<int32_t>(kChannelConfigSize), kAnalogueBytesFields);
const StructsType kDigitalHardwareBytesType =
    StructsStructureType(static_cast<int32_t>(kChannelConfigSize), kDigitalBytesFields);

const char* HardwareMemberName(const char* leaf_name) {
  for (const StructsField* hardware :
       {&kAnalogueFields[kAnalogueFieldCount - 1], &kDigitalFields[kDigitalFieldCount - 1]}) {
    const size_t length = std::strlen(hardware->name);
    if (std::strncmp(leaf_name, hardware->name, length) == 0 && leaf_name[length] == '.' &&
        leaf_name[length + 1] != '\0') {
      return leaf_name + length + 1;
    }
  }
  return nullptr;
}

ChannelLayout::ChannelLayout(bool digital, const StructsType* hardware) : fields_{} {
  const StructsField* source = digital ? kDigitalFields : kAnalogueFields;
  const size_t count = digital ? kDigitalFieldCount : kAnalogueFieldCount;
  std::copy(source, source + count + 1, fields_.begin());
  if (hardware != nullptr) fields_[count - 1].type = hardware;
  type_ = StructsStructureType(static_cast<int32_t>(kChannelConfigSize), fields_.data());
}

}  // namespace kestrum
