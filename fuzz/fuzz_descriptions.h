// Field descriptions and module entry points for the configuration fuzz targets: a device block
// and channel parts that use every primitive type of the field descriptions (each width and
// form of "uint", every word pair of "boolean", float and double, "id" with and without case,
// "fixeddata", "fixedstring", "bitfield"), nested in structures and a fixed-length array.
#ifndef PARVEX_FUZZ_FUZZ_DESCRIPTIONS_H_
#define PARVEX_FUZZ_FUZZ_DESCRIPTIONS_H_

#include <cstddef>
#include <cstdint>

#include "config/channel_config.h"
#include "config/device_config.h"
#include "config/structs_type.h"

namespace parvex_fuzz {

using namespace kestrum;

inline constexpr StructsIdEntry kParityNames[] = {{"None", 0, 1}, {"Odd", 1, 1},   {"Even", 2, 1},
                                                  {"Mark", 3, 1}, {"Space", 4, 1}, {nullptr, 0, 0}};
inline constexpr StructsIdEntry kOnOff[] = {{"Off", 0, 1}, {"On", 1, 1}, {nullptr, 0, 0}};
inline constexpr StructsIdEntry kFieldNames[] = {{"VALUE", 0, 1},  {"TIME", 1, 1},
                                                 {"DATE", 2, 1},   {"PORT", 3, 1},
                                                 {"VOLUME", 4, 1}, {nullptr, 0, 0}};
inline constexpr StructsIdEntry kValueNames[] = {
    {"0.3-0.5", 0, 0}, {"0.5-1.0", 1, 0}, {"1.0-5.0", 2, 0}, {"5.0-10", 3, 0}, {"10-25", 4, 0},
    {">25", 5, 0},     {"RH", 6, 1},      {"TEMP", 7, 1},    {"FLOW", 8, 1},   {nullptr, 0, 0}};

// Every "uint" width and form, every "boolean" pair, and the other primitives.
inline constexpr StructsType kUintTypes[8][3] = {
#define PARVEX_FUZZ_UINT_ROW(w)                                               \
  {                                                                           \
    StructsUintType(w, kStructsUnsigned), StructsUintType(w, kStructsSigned), \
        StructsUintType(w, kStructsHex)                                       \
  }
    PARVEX_FUZZ_UINT_ROW(kStructsChar),  PARVEX_FUZZ_UINT_ROW(kStructsShort),
    PARVEX_FUZZ_UINT_ROW(kStructsInt),   PARVEX_FUZZ_UINT_ROW(kStructsLong),
    PARVEX_FUZZ_UINT_ROW(kStructsInt8),  PARVEX_FUZZ_UINT_ROW(kStructsInt16),
    PARVEX_FUZZ_UINT_ROW(kStructsInt32), PARVEX_FUZZ_UINT_ROW(kStructsInt64),
#undef PARVEX_FUZZ_UINT_ROW
};
inline constexpr StructsType kBooleanTypes[2][5] = {
    {StructsBooleanType(false, kStructsFalseTrue), StructsBooleanType(false, kStructsNoYes),
     StructsBooleanType(false, kStructsOffOn), StructsBooleanType(false, kStructsDisabledEnabled),
     StructsBooleanType(false, kStructsZeroOne)},
    {StructsBooleanType(true, kStructsFalseTrue), StructsBooleanType(true, kStructsNoYes),
     StructsBooleanType(true, kStructsOffOn), StructsBooleanType(true, kStructsDisabledEnabled),
     StructsBooleanType(true, kStructsZeroOne)},
};
inline constexpr StructsType kFloat = StructsFloatType(false);
inline constexpr StructsType kDouble = StructsFloatType(true);
inline constexpr StructsType kParity = StructsIdType(4, kParityNames);
inline constexpr StructsType kFieldType = StructsIdType(1, kFieldNames);
inline constexpr StructsType kValueType = StructsIdType(1, kValueNames);
inline constexpr StructsType kShortId = StructsIdType(2, kValueNames);
inline constexpr StructsType kKey = StructsFixedDataType(6);
inline constexpr StructsType kName8 = StructsFixedStringType(8);
inline constexpr StructsType kName12 = StructsFixedStringType(12);
inline constexpr StructsType kBit0 = StructsBitFieldType(1, 0, kOnOff);
inline constexpr StructsType kBit9 = StructsBitFieldType(2, 9, kOnOff);

// The device block: the serial settings first, as the counter's driver keeps them.
struct Block {
  uint32_t ScanRate;
  int32_t BaudRate;
  char PortName[8];
  uint32_t Parity;
  int32_t DataBits;
  uint8_t Flags[2];
  uint8_t Small;
  int8_t Tiny;
  int16_t Short;
  uint16_t Limits[3];
  int64_t Big;
  uint32_t Mask;
  int32_t Long;
  double Ratio;
  float Gain;
  uint8_t Key[6];
  char Label[12];
  uint8_t Yes;
  uint32_t Enabled;
  uint16_t Range;
};

inline constexpr StructsType kLimits = StructsFixedArrayType(&kUintTypes[5][0], 2, 3);
inline constexpr StructsField kCommFields[] = {
    {"ScanRate", &kUintTypes[6][0], 4, offsetof(Block, ScanRate)},
    {"BaudRate", &kUintTypes[2][1], 4, offsetof(Block, BaudRate)},
    {"PortName", &kName8, 8, offsetof(Block, PortName)},
    {"Parity", &kParity, 4, offsetof(Block, Parity)},
    {"DataBits", &kUintTypes[6][1], 4, offsetof(Block, DataBits)},
    {nullptr, nullptr, 0, 0}};
inline constexpr StructsType kComm = StructsStructureType(offsetof(Block, Flags), kCommFields);
inline constexpr StructsField kBlockFields[] = {
    {"Comm", &kComm, offsetof(Block, Flags), 0},
    {"Logging", &kBit0, 0, offsetof(Block, Flags) + 1},
    {"Trace", &kBit9, 0, offsetof(Block, Flags) + 2},
    {"Small", &kUintTypes[0][0], 1, offsetof(Block, Small)},
    {"Tiny", &kUintTypes[4][1], 1, offsetof(Block, Tiny)},
    {"Short", &kUintTypes[1][1], 2, offsetof(Block, Short)},
    {"Limits", &kLimits, 6, offsetof(Block, Limits)},
    {"Big", &kUintTypes[7][1], 8, offsetof(Block, Big)},
    {"Mask", &kUintTypes[3][2], 4, offsetof(Block, Mask)},
    {"Long", &kUintTypes[3][1], 4, offsetof(Block, Long)},
    {"Ratio", &kDouble, 8, offsetof(Block, Ratio)},
    {"Gain", &kFloat, 4, offsetof(Block, Gain)},
    {"Key", &kKey, 6, offsetof(Block, Key)},
    {"Label", &kName12, 12, offsetof(Block, Label)},
    {"Yes", &kBooleanTypes[0][1], 1, offsetof(Block, Yes)},
    {"Enabled", &kBooleanTypes[1][3], 4, offsetof(Block, Enabled)},
    {"Range", &kShortId, 2, offsetof(Block, Range)},
    {nullptr, nullptr, 0, 0}};
inline constexpr StructsType kBlockType = StructsStructureType(sizeof(Block), kBlockFields);

struct Extra {
  uint32_t Retries;
  char Label[12];
  uint8_t Hex;
};
inline constexpr StructsField kExtraFields[] = {
    {"Retries", &kUintTypes[2][0], 4, offsetof(Extra, Retries)},
    {"Tag", &kName12, 12, offsetof(Extra, Label)},
    {"Hex", &kUintTypes[0][2], 1, offsetof(Extra, Hex)},
    {nullptr, nullptr, 0, 0}};
inline constexpr StructsType kExtraType = StructsStructureType(sizeof(Extra), kExtraFields);

// The analogue hardware part of a channel record and four bytes of extra data per channel.
inline constexpr StructsField kHwFields[] = {{"FieldType", &kFieldType, 1, 0},
                                             {"PortNumber", &kUintTypes[4][0], 1, 1},
                                             {"ValueType", &kValueType, 1, 2},
                                             {"Words", &kBooleanTypes[0][2], 1, 3},
                                             {nullptr, nullptr, 0, 0}};
inline constexpr StructsType kHwType = StructsStructureType(16, kHwFields);
inline constexpr StructsField kChannelExtraFields[] = {{"Scale", &kFloat, 4, 0},
                                                       {nullptr, nullptr, 0, 0}};
inline constexpr StructsType kChannelExtraType = StructsStructureType(4, kChannelExtraFields);

inline DeviceConfigHooks DeviceHooks() {
  DeviceConfigHooks hooks;
  hooks.get_config_type = [](void*, int32_t) { return &kBlockType; };
  hooks.get_config_extra_type = [](void*, int32_t, void*, int32_t) { return &kExtraType; };
  return hooks;
}

inline ChannelConfigHooks ChannelHooks() {
  ChannelConfigHooks hooks;
  hooks.get_hw_type = [](int32_t kind, int32_t, void*) -> const StructsType* {
    return kind % 2 == 0 ? &kHwType : nullptr;
  };
  hooks.get_extra_type = [](int32_t, int32_t, void*) { return &kChannelExtraType; };
  hooks.get_extra_size = [](int32_t, int32_t, void*, void*) { return int32_t{4}; };
  return hooks;
}

}  // namespace parvex_fuzz

#endif  // PARVEX_FUZZ_FUZZ_DESCRIPTIONS_H_
