// The particle counter's extension module. Built apart from the scanner as a shared object named
// as the loaders look for it, it switches the counter's devices to the XML form of their
// configuration and describes what the loaders cannot know themselves:
//   - the device configuration block: the serial settings ScanRate, BaudRate, PortName, Parity
//     and DataBits, checked where they are given;
//   - the hardware part of an analogue channel: FieldType, PortNumber and ValueType, written
//     with their words ("VALUE", "0.5-1.0", ...) instead of hexadecimal bytes. A word that is
//     not one of them is refused with the list of those that are.
// Only the Ex_ entry points are exported, with C linkage.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "config/counter_block.h"
#include "config/extension_api.h"
#include "config/record_types.h"
#include "records/channel_config.h"

namespace {

using namespace kestrum;

// The words of a table in one text: "VALUE, TIME, DATE, PORT, VOLUME".
std::string Words(const StructsIdEntry* table) {
  std::string words;
  for (const StructsIdEntry* e = table; e->text != nullptr; ++e) {
    if (!words.empty()) words += ", ";
    words += e->text;
  }
  return words;
}

}  // namespace

extern "C" {

// Reads a word of an "id" table; a refusal names every word the field accepts.
static int ParseWord(const StructsType* type, const char* text, void* value, char* ebuf, int emax) {
  if (StructsIdParse(type, text, value, ebuf, emax) == 0) return 0;
  std::snprintf(ebuf, static_cast<size_t>(emax), "invalid value \"%s\" (one of %s)",
                text != nullptr ? text : "",
                Words(static_cast<const StructsIdEntry*>(type->args[0].ptr)).c_str());
  return -1;
}

// Reads a port id; a refusal names the range.
static int ParsePortNumber(const StructsType* type, const char* text, void* value, char* ebuf,
                           int emax) {
  if (StructsUintParse(type, text, value, ebuf, emax) == 0) return 0;
  const std::string reason = ebuf[0] != '\0' ? ebuf : "invalid integer value";
  std::snprintf(ebuf, static_cast<size_t>(emax), "%s (a port id from 0 to 255)", reason.c_str());
  return -1;
}

}  // extern "C"

namespace {

constexpr StructsType WordType(const StructsIdEntry* table) {
  StructsType type = StructsIdType(1, table);
  type.parse = ParseWord;
  return type;
}

constexpr StructsIdEntry kFieldTypes[] = {
    {kFieldTypeNames[kFieldValue], kFieldValue, 1},   {kFieldTypeNames[kFieldTime], kFieldTime, 1},
    {kFieldTypeNames[kFieldDate], kFieldDate, 1},     {kFieldTypeNames[kFieldPort], kFieldPort, 1},
    {kFieldTypeNames[kFieldVolume], kFieldVolume, 1}, {nullptr, 0, 0}};
constexpr StructsIdEntry kValueTypes[] = {{kValueTypeNames[kValue03To05], kValue03To05, 1},
                                          {kValueTypeNames[kValue05To1], kValue05To1, 1},
                                          {kValueTypeNames[kValue1To5], kValue1To5, 1},
                                          {kValueTypeNames[kValue5To10], kValue5To10, 1},
                                          {kValueTypeNames[kValue10To25], kValue10To25, 1},
                                          {kValueTypeNames[kValueAbove25], kValueAbove25, 1},
                                          {kValueTypeNames[kValueRH], kValueRH, 1},
                                          {kValueTypeNames[kValueTemp], kValueTemp, 1},
                                          {kValueTypeNames[kValueFlow], kValueFlow, 1},
                                          {nullptr, 0, 0}};
static_assert(std::size(kFieldTypes) == kFieldTypeCount + 1);
static_assert(std::size(kValueTypes) == kValueTypeCount + 1);

constexpr StructsType kFieldType = WordType(kFieldTypes);
constexpr StructsType kValueType = WordType(kValueTypes);
constexpr StructsType kPortNumber = [] {
  StructsType type = StructsUintType(kStructsInt8, kStructsUnsigned);
  type.parse = ParsePortNumber;
  return type;
}();

constexpr StructsField kHardwareFields[] = {
    {"FieldType", &kFieldType, 1, offsetof(AnalogueHardware, FieldType)},
    {"PortNumber", &kPortNumber, 1, offsetof(AnalogueHardware, PortNumber)},
    {"ValueType", &kValueType, 1, offsetof(AnalogueHardware, ValueType)},
    {nullptr, nullptr, 0, 0},
};
constexpr StructsType kHardwareType =
    StructsStructureType(sizeof(AnalogueHardware), kHardwareFields);

}  // namespace

extern "C" {

EX_EXPORT void Ex_DoXml(void) {}

EX_EXPORT const StructsType* Ex_Get_Config_Type(void*, int32_t) { return &kCounterConfigType; }

// The serial settings that were given must be ones the scanner can open the port with.
EX_EXPORT int32_t Ex_Validate_Device(const char* found, void* block, char* ebuf, int32_t size) {
  return ValidateCounterBlock(found, block, ebuf, size);
}

// Analogue kinds (even) carry the counter's source of the value; digital ones keep the default.
EX_EXPORT const StructsType* Ex_Get_Channel_Hw_Type(int32_t kind, int32_t, void*) {
  return kind % 2 == 0 ? &kHardwareType : nullptr;
}

}  // extern "C"
