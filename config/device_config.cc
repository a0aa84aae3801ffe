#include "config/device_config.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "config/extension_module.h"
#include "config/record_types.h"
#include "config/runtime_services.h"
#include "config/xml_document.h"
#include "config/xml_fields.h"
#include "platform/error_number.h"
#include "platform/file_handle.h"
#include "platform/file_system.h"
#include "records/device_record.h"
#include "records/text_case.h"

namespace kestrum {
namespace {

constexpr int kMinimumWorkBlock = static_cast<int>(kDeviceConfigBlockSize);

// The save settings as parsed from XML: one instance per process, kept between loads.
uint32_t g_save_settings[4];

template <typename F>
F Symbol(ModuleHandle module, const char* name) {
  return module ? reinterpret_cast<F>(FindModuleSymbol(module, name)) : nullptr;
}

std::string InFolder(const char* folder, const char* name) {
  return std::string(folder) + "/" + name;
}

// Finds one save setting in `config`, parses it into the process-wide structure and removes
// the element. Returns the parsed word (valid only while the status stays good).
uint32_t ReadSaveSetting(XmlNode* config, const char* name, int index) {
  if (xml_GetStatus() < 0) return 0;
  XmlNode* element = xml_FindByName(config, name);
  if (xml_GetStatus() < 0) return 0;
  if (element == nullptr) {
    std::string message = std::string("<") + name + "> tag not found";
    xml_SetStatus(-1, message.c_str());
    return 0;
  }
  char* text = xml_getText(element);
  if (text == nullptr) return 0;
  char ebuf[256];
  if (StructsSetString(&kSaveSettingsType, name, text, g_save_settings, ebuf, sizeof ebuf) != 0) {
    std::string message = std::string("<") + name + "> " + ebuf;
    xml_SetStatus(-1, message.c_str());
  }
  std::free(text);
  xml_RemoveChild(config, element);
  return g_save_settings[index];
}

void ReadXmlSaveSettings(XmlNode* config, const DeviceConfigRequest& r) {
  if (r.auto_enable != nullptr) {
    uint32_t v = ReadSaveSetting(config, "AutoEnable", 0);
    if (xml_GetStatus() >= 0) *r.auto_enable = static_cast<uint8_t>(v);
  }
  if (r.save_outputs != nullptr) {
    uint32_t outputs = ReadSaveSetting(config, "SaveOutputs", 1);
    uint32_t by_tag = ReadSaveSetting(config, "SaveByTag", 2);
    uint32_t rate = ReadSaveSetting(config, "SaveRate", 3);
    if (xml_GetStatus() >= 0) {
      *r.save_outputs = static_cast<uint8_t>(outputs);
      *r.save_by_tag = static_cast<uint8_t>(by_tag);
      *r.save_rate = rate;
    }
  }
}

void ReadXmlBlock(XmlNode* config, const DeviceConfigHooks& hooks, const DeviceConfigRequest& r) {
  if (xml_GetStatus() < 0 || r.block == nullptr || hooks.get_config_type == nullptr) return;
  std::vector<uint8_t> work(static_cast<size_t>(std::max(r.block_size, kMinimumWorkBlock)), 0);
  const StructsType* type = hooks.get_config_type(r.block, r.block_size);
  if (type == nullptr) return;
  std::vector<uint8_t> decorated;
  ConfigDesc desc{r.block_size, work.data(), 0};
  if (hooks.decorated_config_size != nullptr) {
    int32_t size = hooks.decorated_config_size(r.block_size);
    decorated.assign(static_cast<size_t>(std::max(size, 1)), 0);
    desc = ConfigDesc{size, decorated.data(), 1};
  }
  std::string found = ",";
  ParseXmlFields(config, type, desc.data, &found, "<%s> %s");
  if (xml_GetStatus() < 0) return;
  if (hooks.decorate_config != nullptr) hooks.decorate_config(&desc, work.data());
  std::memcpy(r.block, work.data(), static_cast<size_t>(r.block_size));
  if (hooks.validate_device != nullptr) {
    char ebuf[EX_ERROR_BUFFER_SIZE] = "";
    if (hooks.validate_device(found.c_str(), r.block, ebuf, sizeof ebuf) == -1) {
      ebuf[sizeof ebuf - 1] = '\0';
      xml_SetStatus(-1, ebuf);
    }
  }
}

void ReadXmlExtra(XmlNode* config, const DeviceConfigHooks& hooks, const DeviceConfigRequest& r) {
  if (xml_GetStatus() < 0 || r.extra == nullptr || hooks.get_config_extra_type == nullptr) return;
  const StructsType* type =
      hooks.get_config_extra_type(r.block, r.block_size, r.extra, r.extra_size);
  std::memset(r.extra, 0, static_cast<size_t>(std::max(r.extra_size, 0)));
  if (type == nullptr) return;
  std::string found = ",";
  ParseXmlFields(config, type, r.extra, &found, "<%s> %s");
  if (xml_GetStatus() < 0) return;
  ConfigDesc desc{r.extra_size, r.extra, 0};
  if (hooks.decorate_config_extra != nullptr) {
    hooks.decorate_config_extra(r.block, r.block_size, &desc);
  }
  if (hooks.validate_device_extra != nullptr) {
    char ebuf[EX_ERROR_BUFFER_SIZE] = "";
    if (hooks.validate_device_extra(found.c_str(), r.block, r.extra, r.extra_size, ebuf,
                                    sizeof ebuf) == -1) {
      ebuf[sizeof ebuf - 1] = '\0';
      xml_SetStatus(-1, ebuf);
    }
  }
}

// The save settings are asked for as a group, and sizes are never negative.
bool RequestValid(const DeviceConfigRequest& r) {
  return (r.save_outputs == nullptr || (r.save_by_tag != nullptr && r.save_rate != nullptr)) &&
         r.block_size >= 0 && r.extra_size >= 0;
}

}  // namespace

DeviceConfigHooks DeviceConfigHooksOf(ModuleHandle module) {
  DeviceConfigHooks h;
  h.get_config_type = Symbol<ExGetConfigTypeFunc>(module, "Ex_Get_Config_Type");
  h.decorated_config_size = Symbol<ExDecoratedConfigSizeFunc>(module, "Ex_Decorated_Config_Size");
  h.decorate_config = Symbol<ExDecorateConfigFunc>(module, "Ex_Decorate_Config");
  h.validate_device = Symbol<ExValidateDeviceFunc>(module, "Ex_Validate_Device");
  h.get_config_extra_type = Symbol<ExGetConfigExtraTypeFunc>(module, "Ex_Get_Config_Extra_Type");
  h.decorate_config_extra = Symbol<ExDecorateConfigExtraFunc>(module, "Ex_Decorate_Config_Extra");
  h.validate_device_extra = Symbol<ExValidateDeviceExtraFunc>(module, "Ex_Validate_Device_Extra");
  h.get_config_extra_file_offset =
      Symbol<ExGetConfigExtraFileOffsetFunc>(module, "Ex_Get_Config_Extra_FileOffset");
  h.get_config_extra_file_name =
      Symbol<ExGetConfigExtraFileNameFunc>(module, "Ex_Get_Config_Extra_FileName");
  return h;
}

bool EndsWithCurrentConfig(const char* folder) {
  std::string_view path(folder == nullptr ? "" : folder);
  while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
  constexpr std::string_view kEnding = "CURRENT_CONFIG";
  if (path.size() < kEnding.size() + 1) return false;
  char separator = path[path.size() - kEnding.size() - 1];
  return (separator == '/' || separator == '\\') &&
         CompareIgnoringCase(path.data() + path.size() - kEnding.size(), kEnding.data(),
                             kEnding.size()) == 0;
}

int LoadDeviceConfigXml(const char* folder, const DeviceConfigHooks& hooks,
                        const DeviceConfigRequest& request) {
  if (!RequestValid(request)) return FailWith(EINVAL);
  xml_SetContext(FolderComponent(folder).c_str(), kDeviceConfigContext);
  {
    XmlLoad load(InFolder(folder, kDeviceConfigXmlFile));
    XmlNode* root = load.Root("Configs");
    XmlNode* config = nullptr;
    if (xml_GetStatus() >= 0) {
      config = xml_FindByName(root, "Config");
      if (xml_GetStatus() >= 0 && config == nullptr) xml_SetStatus(-1, "<Config> tag not found");
    }
    ReadXmlSaveSettings(config, request);
    ReadXmlBlock(config, hooks, request);
    ReadXmlExtra(config, hooks, request);
  }
  if (xml_GetStatus() < 0) return FailXmlLoad();
  return 0;
}

int LoadDeviceConfigBinary(const char* folder, const DeviceConfigHooks& hooks,
                           const DeviceConfigRequest& r) {
  if (!RequestValid(r)) return FailWith(EINVAL);
  const std::string config_path = InFolder(folder, kDeviceConfigFile);
  if (r.auto_enable != nullptr) {
    FileHandle file;
    if (file.Open(config_path, kOpenRead) != 0) return -1;
    if (file.ReadExactlyAt(r.auto_enable, 1, 0) != 0) return -1;
  }
  if (r.save_outputs != nullptr) {
    FileHandle file;
    if (file.Open(InFolder(folder, kSaveConfigFile), kOpenRead) != 0) return -1;
    uint8_t bytes[6];
    if (file.ReadExactlyAt(bytes, sizeof bytes, 0) != 0) return -1;
    *r.save_outputs = bytes[0];
    *r.save_by_tag = bytes[1];
    std::memcpy(r.save_rate, bytes + 2, 4);
  }
  if (r.block != nullptr && r.block_size > 0) {
    FileHandle file;
    if (file.Open(config_path, kOpenRead) != 0) return -1;
    // A shorter file is accepted: the bytes past its end keep what the caller had.
    if (file.ReadAt(r.block, static_cast<size_t>(r.block_size), 1) < 0) return -1;
  }
  if (r.extra != nullptr && r.extra_size > 0 && r.extra_file_name != nullptr &&
      r.extra_file_name[0] != '\0') {
    FileHandle file;
    if (file.Open(InFolder(folder, r.extra_file_name), kOpenRead) != 0 &&
        GetErrorNumber() != ENOENT) {
      return -1;
    }
    std::memset(r.extra, 0, static_cast<size_t>(r.extra_size));
    if (file.is_open()) {
      uint64_t offset = 0;
      if (hooks.get_config_extra_file_offset != nullptr) {
        offset = static_cast<uint64_t>(hooks.get_config_extra_file_offset(r.extra, r.extra_size));
      }
      if (file.ReadAt(r.extra, static_cast<size_t>(r.extra_size), offset) < 0) return -1;
    }
  }
  return 0;
}

int LoadDeviceConfig(const char* folder, void* block, int block_size, void* extra, int extra_size,
                     const char* extra_file_name, uint8_t* auto_enable, uint8_t* save_outputs,
                     uint8_t* save_by_tag, uint32_t* save_rate) {
  if (folder == nullptr) return FailWith(EINVAL);
  DeviceConfigRequest request{block,       block_size,   extra,       extra_size, extra_file_name,
                              auto_enable, save_outputs, save_by_tag, save_rate};
  xml_SetContext(FolderComponent(folder).c_str(), kDeviceConfigContext);
  ModuleHandle module = LoadExtensionModule(folder);
  const DeviceConfigHooks hooks = DeviceConfigHooksOf(module);
  const bool xml = module != nullptr && FindModuleSymbol(module, "Ex_DoXml") != nullptr &&
                   !EndsWithCurrentConfig(folder) && ConfigUseXml(folder) &&
                   PathExists(InFolder(folder, kDeviceConfigXmlFile));
  int result = xml ? LoadDeviceConfigXml(folder, hooks, request)
                   : LoadDeviceConfigBinary(folder, hooks, request);
  KeepErrorNumber keep;
  FreeModule(module);
  return result;
}

int ReadDeviceConfig(void* block, int size) {
  const std::string cwd = CurrentDirectory();
  return LoadDeviceConfig(cwd.c_str(), block, size, nullptr, 0, nullptr, nullptr, nullptr, nullptr,
                          nullptr);
}

int ReadSaveSettings(uint8_t* save_outputs, uint8_t* save_by_tag, uint32_t* save_rate) {
  const std::string cwd = CurrentDirectory();
  return LoadDeviceConfig(cwd.c_str(), nullptr, 0, nullptr, 0, nullptr, nullptr, save_outputs,
                          save_by_tag, save_rate);
}

}  // namespace kestrum
