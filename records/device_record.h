// The device record in "dm_device", the device configuration block it embeds, the serial
// settings at the start of that block, and the save settings of a device.
#ifndef PARVEX_RECORDS_DEVICE_RECORD_H_
#define PARVEX_RECORDS_DEVICE_RECORD_H_

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "records/time_stamp.h"

namespace kestrum {

/// Parity codes of CommSettings::Parity.
enum Parity : uint32_t {
  kParityNone = 0,
  kParityOdd = 1,
  kParityEven = 2,
  kParityMark = 3,
  kParitySpace = 4,
};

/// Serial settings used when CommSettings::PortName is empty: port "COM<device number>",
/// 9600 baud, no parity, 8 data bits.
inline constexpr int32_t kDefaultBaudRate = 9600;
inline constexpr int32_t kDefaultDataBits = 8;

/// The first 24 bytes of the device configuration block: scan interval and serial settings.
struct CommSettings {
  uint32_t ScanRate;  ///< scan interval in milliseconds
  int32_t BaudRate;   ///< serial baud rate
  char PortName[8];   ///< NUL-terminated port name such as "COM3"; empty: the default port
  uint32_t Parity;    ///< a Parity code
  int32_t DataBits;   ///< 5 to 8
};

static_assert(sizeof(CommSettings) == 24);
static_assert(offsetof(CommSettings, ScanRate) == 0);
static_assert(offsetof(CommSettings, BaudRate) == 4);
static_assert(offsetof(CommSettings, PortName) == 8);
static_assert(offsetof(CommSettings, Parity) == 16);
static_assert(offsetof(CommSettings, DataBits) == 20);

/// Size of CommSettings::PortName, its NUL included.
inline constexpr size_t kPortNameSize = sizeof(CommSettings::PortName);

/// Writes the default port name "COM<device number>" with its NUL into `port_name`. Returns
/// false, leaving `port_name` untouched, when the name does not fit (device numbers of 10000 and
/// above): a cut name would be another, valid-looking port.
inline bool DefaultPortName(uint32_t device_number, char (&port_name)[kPortNameSize]) {
  char name[kPortNameSize + 8] = "COM";
  const std::to_chars_result end = std::to_chars(name + 3, name + sizeof name, device_number);
  const size_t length = static_cast<size_t>(end.ptr - name);
  if (end.ec != std::errc() || length >= kPortNameSize) return false;
  std::memcpy(port_name, name, length);
  port_name[length] = '\0';
  return true;
}

/// Size of the device configuration block of the particle counter.
inline constexpr size_t kDeviceConfigBlockSize = 704;

/// The device configuration block (704 bytes). Only CommSettings is used by this device; the
/// rest is carried along unchanged.
struct DeviceConfigBlock {
  CommSettings comm;
  uint8_t unused[680];
};

static_assert(sizeof(DeviceConfigBlock) == kDeviceConfigBlockSize);
static_assert(offsetof(DeviceConfigBlock, comm) == 0);
static_assert(offsetof(DeviceConfigBlock, unused) == 24);

/// Number of channel kinds a device may have tables for ("ai", "di", "ao", "do", "ci").
inline constexpr size_t kDeviceKindPrefixes = 5;

/// One device in "dm_device" (788 bytes), as the library and the scanner use it.
struct DeviceRecord {
  char driver_name[9];                    ///< NUL-terminated; matched on its first 5 characters
  char device_name[25];                   ///< NUL-terminated; the name errors are reported under
  uint16_t device_number;                 ///< the scanner's command-line argument
  char folder_name[12];                   ///< NUL-terminated device folder and saved-value prefix
  char prefixes[kDeviceKindPrefixes][2];  ///< per kind 0-4; first byte 0: no table
  uint8_t scanner_attached;               ///< 1 once the scanner reached its folder, 0 after exit
  uint8_t reserved_59;
  DeviceConfigBlock config;       ///< the device configuration block
  uint32_t last_scan_ms;          ///< duration of the last scan in milliseconds
  TimeStamp next_scan;            ///< next scan boundary (seconds, milliseconds, padding)
  uint8_t operation_in_progress;  ///< 1 while the scanner runs a device operation
  uint8_t reserved_777[3];
  uint32_t scanner_pid;   ///< process id of the device's scanner
  uint8_t scanner_ready;  ///< 1 once the scanner's start-up succeeded
  uint8_t reserved_785[3];
};

static_assert(sizeof(DeviceRecord) == 788);
static_assert(offsetof(DeviceRecord, driver_name) == 0);
static_assert(offsetof(DeviceRecord, device_name) == 9);
static_assert(offsetof(DeviceRecord, device_number) == 34);
static_assert(offsetof(DeviceRecord, folder_name) == 36);
static_assert(offsetof(DeviceRecord, prefixes) == 48);
static_assert(offsetof(DeviceRecord, scanner_attached) == 58);
static_assert(offsetof(DeviceRecord, reserved_59) == 59);
static_assert(offsetof(DeviceRecord, config) == 60);
static_assert(offsetof(DeviceRecord, last_scan_ms) == 764);
static_assert(offsetof(DeviceRecord, next_scan) == 768);
static_assert(offsetof(DeviceRecord, operation_in_progress) == 776);
static_assert(offsetof(DeviceRecord, reserved_777) == 777);
static_assert(offsetof(DeviceRecord, scanner_pid) == 780);
static_assert(offsetof(DeviceRecord, scanner_ready) == 784);
static_assert(offsetof(DeviceRecord, reserved_785) == 785);

/// The save settings of a device as the loader hands them to its caller.
struct SaveSettings {
  uint8_t AutoEnable;
  uint8_t SaveOutputs;  ///< periodic saving of output values on (1) or off (0)
  uint8_t SaveByTag;    ///< saved values are keyed by tag name
  uint32_t SaveRate;    ///< milliseconds between saves
};

/// The save settings as the XML reader parses them: four 32-bit fields in this order
/// (three 32-bit booleans and an unsigned integer).
struct SaveSettingsFields {
  uint32_t AutoEnable;
  uint32_t SaveOutputs;
  uint32_t SaveByTag;
  uint32_t SaveRate;
};

static_assert(sizeof(SaveSettingsFields) == 16);
static_assert(offsetof(SaveSettingsFields, AutoEnable) == 0);
static_assert(offsetof(SaveSettingsFields, SaveOutputs) == 4);
static_assert(offsetof(SaveSettingsFields, SaveByTag) == 8);
static_assert(offsetof(SaveSettingsFields, SaveRate) == 12);

#pragma pack(push, 1)
/// The binary file "config": AutoEnable, then the device configuration block (705 bytes).
struct DeviceConfigFile {
  uint8_t AutoEnable;
  DeviceConfigBlock block;
};

/// The binary file "saveconfig" (6 bytes).
struct SaveConfigFile {
  uint8_t SaveOutputs;
  uint8_t SaveByTag;
  uint32_t SaveRate;
};
#pragma pack(pop)

static_assert(sizeof(DeviceConfigFile) == 705);
static_assert(offsetof(DeviceConfigFile, AutoEnable) == 0);
static_assert(offsetof(DeviceConfigFile, block) == 1);
static_assert(sizeof(SaveConfigFile) == 6);
static_assert(offsetof(SaveConfigFile, SaveOutputs) == 0);
static_assert(offsetof(SaveConfigFile, SaveByTag) == 1);
static_assert(offsetof(SaveConfigFile, SaveRate) == 2);

/// Offset of the device configuration block inside "config".
inline constexpr size_t kConfigFileBlockOffset = 1;

}  // namespace kestrum

#endif  // PARVEX_RECORDS_DEVICE_RECORD_H_
