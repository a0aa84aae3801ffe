// An extension module for the configuration tests, built as a shared object apart from the
// test program and loaded by the loaders as a driver's module. It describes a device block
// that starts with the serial settings, an extra block, an analogue hardware part, and four
// bytes of extra data per channel, and refuses some values in its validation entry points.
// Built twice: "testx_ex.so" exports Ex_DoXml, "nxmlx_ex.so" (PARVEX_TEST_NO_XML) does not.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "config/extension_api.h"
#include "config/structs_type.h"

namespace {

using namespace kestrum;

struct TestComm {
  uint32_t ScanRate;
  int32_t BaudRate;
  char PortName[8];
  uint32_t Parity;
  int32_t DataBits;
};

constexpr StructsType kU32 = StructsUintType(kStructsInt32, kStructsUnsigned);
constexpr StructsType kS32 = StructsUintType(kStructsInt32, kStructsSigned);
constexpr StructsType kU8 = StructsUintType(kStructsInt8, kStructsUnsigned);
constexpr StructsType kName8 = StructsFixedStringType(8);
constexpr StructsType kName12 = StructsFixedStringType(12);
constexpr StructsIdEntry kParityNames[] = {{"None", 0, 1}, {"Odd", 1, 1},   {"Even", 2, 1},
                                           {"Mark", 3, 1}, {"Space", 4, 1}, {nullptr, 0, 0}};
constexpr StructsType kParity = StructsIdType(4, kParityNames);

constexpr StructsField kCommFields[] = {{"ScanRate", &kU32, 4, offsetof(TestComm, ScanRate)},
                                        {"BaudRate", &kS32, 4, offsetof(TestComm, BaudRate)},
                                        {"PortName", &kName8, 8, offsetof(TestComm, PortName)},
                                        {"Parity", &kParity, 4, offsetof(TestComm, Parity)},
                                        {"DataBits", &kS32, 4, offsetof(TestComm, DataBits)},
                                        {nullptr, nullptr, 0, 0}};
constexpr StructsType kCommType = StructsStructureType(sizeof(TestComm), kCommFields);

struct TestExtra {
  uint32_t Retries;
  char Label[12];
};
constexpr StructsField kExtraFields[] = {{"Retries", &kU32, 4, offsetof(TestExtra, Retries)},
                                         {"Label", &kName12, 12, offsetof(TestExtra, Label)},
                                         {nullptr, nullptr, 0, 0}};
constexpr StructsType kExtraType = StructsStructureType(sizeof(TestExtra), kExtraFields);

constexpr StructsIdEntry kFieldTypes[] = {{"VALUE", 0, 1}, {"TIME", 1, 1},   {"DATE", 2, 1},
                                          {"PORT", 3, 1},  {"VOLUME", 4, 1}, {nullptr, 0, 0}};
constexpr StructsIdEntry kValueTypes[] = {
    {"0.3-0.5", 0, 0}, {"0.5-1.0", 1, 0}, {"1.0-5.0", 2, 0}, {"5.0-10", 3, 0}, {"10-25", 4, 0},
    {">25", 5, 0},     {"RH", 6, 1},      {"TEMP", 7, 1},    {"FLOW", 8, 1},   {nullptr, 0, 0}};
constexpr StructsType kFieldType = StructsIdType(1, kFieldTypes);
constexpr StructsType kValueType = StructsIdType(1, kValueTypes);
constexpr StructsField kHwFields[] = {{"FieldType", &kFieldType, 1, 0},
                                      {"PortNumber", &kU8, 1, 1},
                                      {"ValueType", &kValueType, 1, 2},
                                      {nullptr, nullptr, 0, 0}};
constexpr StructsType kHwType = StructsStructureType(16, kHwFields);

constexpr StructsField kChannelExtraFields[] = {{"Scale", &kU32, 4, 0}, {nullptr, nullptr, 0, 0}};
constexpr StructsType kChannelExtraType = StructsStructureType(4, kChannelExtraFields);

constexpr int kHardwareOffset = 188;
constexpr uint8_t kDecoratedMark = 0x5A;

}  // namespace

extern "C" {

#ifndef PARVEX_TEST_NO_XML
EX_EXPORT void Ex_DoXml(void) {}
#endif

EX_EXPORT const StructsType* Ex_Get_Config_Type(void*, int32_t) { return &kCommType; }

EX_EXPORT int32_t Ex_Validate_Device(const char* found, void* block, char* ebuf, int32_t size) {
  const auto* comm = static_cast<const TestComm*>(block);
  if (std::strstr(found, ",ScanRate,") == nullptr) {
    std::snprintf(ebuf, static_cast<size_t>(size), "ScanRate must be given");
    return -1;
  }
  if (comm->BaudRate < 0) {
    std::snprintf(ebuf, static_cast<size_t>(size), "BaudRate %d is negative", comm->BaudRate);
    return -1;
  }
  return 0;
}

EX_EXPORT const StructsType* Ex_Get_Config_Extra_Type(void*, int32_t, void*, int32_t) {
  return &kExtraType;
}

EX_EXPORT int32_t Ex_Validate_Device_Extra(const char*, void*, void* extra, int32_t, char* ebuf,
                                           int32_t size) {
  const auto* e = static_cast<const TestExtra*>(extra);
  if (e->Retries > 10) {
    std::snprintf(ebuf, static_cast<size_t>(size), "Retries %u above 10", e->Retries);
    return -1;
  }
  return 0;
}

// The binary extra file starts with a 4-byte header.
EX_EXPORT int32_t Ex_Get_Config_Extra_FileOffset(void*, int32_t) { return 4; }

EX_EXPORT const char* Ex_Get_Config_Extra_FileName(void*, int32_t) { return "extra.bin"; }

EX_EXPORT const StructsType* Ex_Get_Channel_Hw_Type(int32_t kind, int32_t, void*) {
  return kind % 2 == 0 ? &kHwType : nullptr;
}

// Marks analogue hardware parts as seen by the module.
EX_EXPORT void Ex_Decorate_Channel_Hw(int32_t kind, int32_t, ConfigDesc* record) {
  if (kind % 2 == 0) static_cast<uint8_t*>(record->data)[kHardwareOffset + 15] = kDecoratedMark;
}

EX_EXPORT int32_t Ex_Validate_Chan(const char*, void* record, char* ebuf, int32_t size) {
  const auto* bytes = static_cast<const uint8_t*>(record);
  if (bytes[24] % 2 == 0 && bytes[kHardwareOffset + 1] == 255) {
    std::snprintf(ebuf, static_cast<size_t>(size), "PortNumber 255 is reserved");
    return -1;
  }
  return 0;
}

EX_EXPORT const StructsType* Ex_Get_Channel_Extra_Type(int32_t, int32_t, void*) {
  return &kChannelExtraType;
}

EX_EXPORT int32_t Ex_Validate_Chan_Extra(const char*, void*, void* position, int32_t, char* ebuf,
                                         int32_t size) {
  uint32_t scale;
  std::memcpy(&scale, position, 4);
  if (scale > 1000) {
    std::snprintf(ebuf, static_cast<size_t>(size), "Scale %u above 1000", scale);
    return -1;
  }
  return 0;
}

EX_EXPORT int32_t Ex_Get_Channel_Extra_Size(int32_t, int32_t, void*, void*) { return 4; }

EX_EXPORT const char* Ex_Get_Channel_Extra_FileName(int32_t kind) {
  static const char* const kFiles[] = {"ai.extra", "di.extra", "ao.extra", "do.extra", "ci.extra"};
  return kind >= 0 && kind < 5 ? kFiles[kind] : nullptr;
}

}  // extern "C"
