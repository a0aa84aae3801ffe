// The device-wide configuration of a device folder: the device configuration block, the save
// settings and an optional extra block.
//
// Two forms are read. The XML form ("config.xml": a document element holding one "Config"
// element with one element per field) is used when the folder's extension module exports
// "Ex_DoXml", the folder does not end in "CURRENT_CONFIG", XML configuration is switched on for
// the machine and the file exists; the module's field descriptions map the texts onto the
// block. Otherwise the binary form: "config" (AutoEnable byte, then the block), "saveconfig"
// (SaveOutputs, SaveByTag, SaveRate u32) and the extra block's own file.
//
// The loaders share the process-wide XML status and are called from one thread at a time.
#ifndef PARVEX_CONFIG_DEVICE_CONFIG_H_
#define PARVEX_CONFIG_DEVICE_CONFIG_H_

#include <cstdint>

#include "config/extension_api.h"
#include "platform/shared_object.h"

namespace kestrum {

/// File names of the device configuration in a device folder.
inline constexpr const char* kDeviceConfigFile = "config";
inline constexpr const char* kSaveConfigFile = "saveconfig";
inline constexpr const char* kDeviceConfigXmlFile = "config.xml";
/// The error context of device configuration failures.
inline constexpr const char* kDeviceConfigContext = "Dev/Proc Config";

/// The device configuration entry points of an extension module; null where it has none.
struct DeviceConfigHooks {
  ExGetConfigTypeFunc get_config_type = nullptr;
  ExDecoratedConfigSizeFunc decorated_config_size = nullptr;
  ExDecorateConfigFunc decorate_config = nullptr;
  ExValidateDeviceFunc validate_device = nullptr;
  ExGetConfigExtraTypeFunc get_config_extra_type = nullptr;
  ExDecorateConfigExtraFunc decorate_config_extra = nullptr;
  ExValidateDeviceExtraFunc validate_device_extra = nullptr;
  ExGetConfigExtraFileOffsetFunc get_config_extra_file_offset = nullptr;
  ExGetConfigExtraFileNameFunc get_config_extra_file_name = nullptr;
};

/// Looks up the device configuration entry points of `module` (null gives none).
DeviceConfigHooks DeviceConfigHooksOf(ModuleHandle module);

/// What a load reads; a null output is not read.
struct DeviceConfigRequest {
  void* block = nullptr;  ///< the device configuration block, `block_size` bytes
  int block_size = 0;
  void* extra = nullptr;  ///< the extra block, `extra_size` bytes
  int extra_size = 0;
  const char* extra_file_name = nullptr;  ///< file of the extra block (binary form)
  uint8_t* auto_enable = nullptr;
  uint8_t* save_outputs = nullptr;  ///< asks for the group SaveOutputs, SaveByTag, SaveRate
  uint8_t* save_by_tag = nullptr;
  uint32_t* save_rate = nullptr;
};

/// Loads the device configuration of `folder` in the form described above. Returns 0, or -1:
/// after an XML failure with error number and platform last error 1465 (the composed text is
/// xml_GetErrorText() and was reported as an error event); after a binary failure with the
/// platform's error. Asking for save_outputs without save_by_tag and save_rate fails (EINVAL).
int LoadDeviceConfig(const char* folder, void* block, int block_size, void* extra, int extra_size,
                     const char* extra_file_name, uint8_t* auto_enable, uint8_t* save_outputs,
                     uint8_t* save_by_tag, uint32_t* save_rate);

/// LoadDeviceConfig on the current directory for the block alone.
int ReadDeviceConfig(void* block, int size);

/// LoadDeviceConfig on the current directory for the three save settings alone.
int ReadSaveSettings(uint8_t* save_outputs, uint8_t* save_by_tag, uint32_t* save_rate);

/// Reads "config.xml" of `folder` with the given entry points, whatever the folder's module
/// says (the configuration compiler's way in). Same results as LoadDeviceConfig's XML form.
int LoadDeviceConfigXml(const char* folder, const DeviceConfigHooks& hooks,
                        const DeviceConfigRequest& request);

/// Reads the binary form of `folder`. Same results as LoadDeviceConfig's binary form.
int LoadDeviceConfigBinary(const char* folder, const DeviceConfigHooks& hooks,
                           const DeviceConfigRequest& request);

/// Returns true when a folder path ends in "CURRENT_CONFIG" after a separator (either, any
/// case), where the binary form is always read.
bool EndsWithCurrentConfig(const char* folder);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_DEVICE_CONFIG_H_
