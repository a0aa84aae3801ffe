#include "config/channel_config.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/channel_id.h"
#include "config/extension_module.h"
#include "config/record_types.h"
#include "config/runtime_services.h"
#include "config/xml_document.h"
#include "config/xml_fields.h"
#include "platform/error_number.h"
#include "platform/file_handle.h"
#include "platform/file_system.h"
#include "records/area_layout.h"
#include "records/channel_table.h"
#include "runtime/area_lock.h"
#include "runtime/channel_prefixes.h"
#include "runtime/shared_area.h"

namespace kestrum {
namespace {

template <typename F>
F Symbol(ModuleHandle module, const char* name) {
  return module ? reinterpret_cast<F>(FindModuleSymbol(module, name)) : nullptr;
}

// The running position in the caller's extra buffer.
struct ExtraCursor {
  uint8_t* position = nullptr;
  int32_t left = 0;

  // Advances by the module's answer for channel `n`; an answer outside the buffer fails.
  void Advance(const ChannelConfigHooks& hooks, int kind, int n, ChannelConfigRecord* record) {
    int32_t size = hooks.get_extra_size(kind, n, record, position);
    if (size < 0 || size > left) {
      xml_SetStatus(-1, "channel extra data exceeds its buffer");
      return;
    }
    position += size;
    left -= size;
  }
};

bool UsesExtra(const ChannelConfigHooks& hooks, const ExtraCursor& cursor) {
  return cursor.position != nullptr && hooks.get_extra_size != nullptr &&
         hooks.get_extra_type != nullptr;
}

// A channel without an element: zero record, extra data stepped over without parsing.
void BlankChannel(const ChannelConfigHooks& hooks, int kind, int n, ChannelConfigRecord* record,
                  ExtraCursor& cursor) {
  std::memset(record, 0, sizeof *record);
  if (xml_GetStatus() < 0 || !UsesExtra(hooks, cursor)) return;
  if (hooks.get_extra_type(kind, n, record) != nullptr && hooks.decorate_extra != nullptr) {
    ConfigDesc desc{cursor.left, cursor.position, 0};
    hooks.decorate_extra(kind, n, record, &desc);
  }
  cursor.Advance(hooks, kind, n, record);
}

// The kind a channel element's `Type` text selects, or the file's kind without one.
int ChannelKindOf(XmlNode* channel, int file_kind) {
  XmlNode* type = xml_FindByName(channel, "Type");
  if (type == nullptr) return file_kind;
  char* text = xml_getText(type);
  std::string value = text ? text : "";
  std::free(text);
  if (value == "AI") return kKindAnalogInput;
  if (value == "AO") return kKindAnalogOutput;
  if (value == "CI") return kKindCounterInput;
  if (value == "DI") return kKindDigitalInput;
  return kKindDigitalOutput;
}

void ParseExtra(XmlNode* channel, const ChannelConfigHooks& hooks, int kind, int n,
                ChannelConfigRecord* record, ChannelConfigRecord* work, std::string* found,
                ExtraCursor& cursor) {
  if (xml_GetStatus() < 0 || !UsesExtra(hooks, cursor)) return;
  void* target = hooks.get_extra_struct ? hooks.get_extra_struct(kind) : cursor.position;
  if (const StructsType* type = hooks.get_extra_type(kind, n, record)) {
    if (target == cursor.position && type->size > cursor.left) {
      xml_SetStatus(-1, "channel extra data exceeds its buffer");
      return;
    }
    ParseXmlFields(channel, type, target, found, "<%s>  %s");
    if (xml_GetStatus() < 0) return;
    ConfigDesc desc{cursor.left, cursor.position, 0};
    if (hooks.decorate_extra != nullptr) hooks.decorate_extra(kind, n, record, &desc);
    if (hooks.validate_extra != nullptr) {
      char ebuf[EX_ERROR_BUFFER_SIZE] = "";
      if (hooks.validate_extra(found->c_str(), work, cursor.position, cursor.left, ebuf,
                               sizeof ebuf) == -1) {
        ebuf[sizeof ebuf - 1] = '\0';
        xml_SetStatus(-1, ebuf);
        return;
      }
    }
  }
  cursor.Advance(hooks, kind, n, record);
}

// Loads one present channel element into records[i]; the XML status tells how it went.
void LoadChannel(XmlNode* channel, int file_kind, int n, const ChannelConfigHooks& hooks,
                 ChannelConfigRecord* record, ExtraCursor& cursor) {
  ChannelConfigRecord work{};
  std::string found = ",";
  const int kind = ChannelKindOf(channel, file_kind);
  char context[64];
  std::snprintf(context, sizeof context, "%s Channel #%d", kChannelKindNames[kind], n + 1);
  xml_SetContext(nullptr, context);

  const StructsType* hardware =
      hooks.get_hw_type ? hooks.get_hw_type(file_kind, n, &work) : nullptr;
  const bool digital = IsDigitalType(static_cast<uint8_t>(kind));
  ChannelLayout layout(digital, hardware);
  // Files written before the module named the hardware bytes give them whole in hexadecimal;
  // named leaves given as well change the bytes they name.
  if (hardware != nullptr) {
    ParseXmlFields(channel, digital ? &kDigitalHardwareBytesType : &kAnalogueHardwareBytesType,
                   &work, &found, " <%s> %s");
  }
  ParseXmlFields(channel, layout.type(), &work, &found, " <%s> %s", hardware != nullptr);
  if (xml_GetStatus() < 0) return;
  if (hooks.decorate_hw != nullptr) {
    ConfigDesc desc{static_cast<int32_t>(sizeof work), &work, 0};
    hooks.decorate_hw(file_kind, n, &desc);
  }
  CheckChannelFields(found.c_str(), &work);
  if (hooks.validate != nullptr) {
    char ebuf[EX_ERROR_BUFFER_SIZE] = "";
    if (hooks.validate(found.c_str(), &work, ebuf, sizeof ebuf) == -1) {
      ebuf[sizeof ebuf - 1] = '\0';
      xml_SetStatus(-1, ebuf);
    }
  }
  *record = work;
  ParseExtra(channel, hooks, file_kind, n, record, &work, &found, cursor);
}

int LoadBinary(const char* folder, int kind, ChannelConfigRecord* records, int first, int count,
               void* extra, int extra_size, const char* extra_file_name) {
  if (records != nullptr && count > 0) {
    FileHandle file;
    if (file.Open(std::string(folder) + "/" + ChannelFileName(kind, false), kOpenRead) != 0) {
      return -1;
    }
    const size_t size = sizeof(ChannelConfigRecord) * static_cast<size_t>(count);
    const uint64_t offset = kChannelFileHeaderSize +
                            uint64_t{sizeof(ChannelConfigRecord)} * static_cast<uint64_t>(first);
    if (file.ReadExactlyAt(records, size, offset) != 0) return -1;
  }
  if (extra != nullptr && extra_size > 0 && extra_file_name != nullptr &&
      extra_file_name[0] != '\0') {
    FileHandle file;
    if (file.Open(std::string(folder) + "/" + extra_file_name, kOpenRead) != 0 &&
        GetErrorNumber() != ENOENT) {
      return -1;
    }
    std::memset(extra, 0, static_cast<size_t>(extra_size));
    if (file.is_open() && file.ReadAt(extra, static_cast<size_t>(extra_size), 0) < 0) return -1;
  }
  return 0;
}

}  // namespace

ChannelConfigHooks ChannelConfigHooksOf(ModuleHandle module) {
  ChannelConfigHooks h;
  h.get_hw_type = Symbol<ExGetChannelHwTypeFunc>(module, "Ex_Get_Channel_Hw_Type");
  h.decorate_hw = Symbol<ExDecorateChannelHwFunc>(module, "Ex_Decorate_Channel_Hw");
  h.validate = Symbol<ExValidateChanFunc>(module, "Ex_Validate_Chan");
  h.get_extra_type = Symbol<ExGetChannelExtraTypeFunc>(module, "Ex_Get_Channel_Extra_Type");
  h.get_extra_struct = Symbol<ExGetChannelExtraStructFunc>(module, "Ex_Get_Channel_Extra_Struct");
  h.decorate_extra = Symbol<ExDecorateChannelExtraFunc>(module, "Ex_Decorate_Channel_Extra");
  h.validate_extra = Symbol<ExValidateChanExtraFunc>(module, "Ex_Validate_Chan_Extra");
  h.get_extra_size = Symbol<ExGetChannelExtraSizeFunc>(module, "Ex_Get_Channel_Extra_Size");
  h.get_extra_file_name =
      Symbol<ExGetChannelExtraFileNameFunc>(module, "Ex_Get_Channel_Extra_FileName");
  return h;
}

std::string ChannelFileName(int kind, bool xml) {
  if (kind < 0 || kind >= kChannelKindCount) return "";
  return std::string(kChannelKindNames[kind]) + (xml ? ".xml" : "");
}

int LoadChannelConfigXml(const char* folder, int kind, const ChannelConfigHooks& hooks,
                         ChannelConfigRecord* records, int first, int count, void* extra,
                         int extra_size) {
  if (kind < 0 || kind >= kChannelKindCount || first < 0 || count < 0) return FailWith(EINVAL);
  xml_SetContext(FolderComponent(folder).c_str(), nullptr);
  {
    XmlLoad load(std::string(folder) + "/" + ChannelFileName(kind, true));
    XmlNode* root = load.Root("Channels");
    ExtraCursor cursor{static_cast<uint8_t*>(extra), extra ? extra_size : 0};
    // Blank channels and absent extra fields read as zeros, as in the binary form.
    if (UsesExtra(hooks, cursor) && extra_size > 0) {
      std::memset(extra, 0, static_cast<size_t>(extra_size));
    }
    for (int i = 0; i < count && xml_GetStatus() >= 0; ++i) {
      const int n = first + i;
      xml_SetContext(nullptr, "");
      // Selected by the same rule the compiler counts ids with ("+2", "2e0", "0x2" or "2.0"
      // select nothing, so a file the compiler refuses never loads differently here).
      const std::string id = std::to_string(n + 1);
      XmlNode* channel = xml_FindByName(root, ChannelIdQuery(n + 1).c_str());
      if (xml_GetStatus() < 0) break;
      if (channel == nullptr) {
        if (i == 0) {
          xml_SetStatus(-1, ("Channel id=" + id + " Not Found").c_str());
          break;
        }
        BlankChannel(hooks, kind, n, &records[i], cursor);
        continue;
      }
      LoadChannel(channel, kind, n, hooks, &records[i], cursor);
      xml_RemoveChild(root, channel);
    }
  }
  if (xml_GetStatus() < 0) return FailXmlLoad();
  return 0;
}

int LoadChannelConfig(const char* folder, int kind, ChannelConfigRecord* records, int first,
                      int count, void* extra, int extra_size, const char* extra_file_name) {
  if (folder == nullptr || kind < 0 || kind >= kChannelKindCount || first < 0 || count < 0) {
    return FailWith(EINVAL);
  }
  ModuleHandle module = LoadExtensionModule(folder);
  const bool xml = module != nullptr && FindModuleSymbol(module, "Ex_DoXml") != nullptr &&
                   ConfigUseXml(folder) &&
                   PathExists(std::string(folder) + "/" + ChannelFileName(kind, true));
  int result =
      xml ? LoadChannelConfigXml(folder, kind, ChannelConfigHooksOf(module), records, first, count,
                                 extra, extra_size)
          : LoadBinary(folder, kind, records, first, count, extra, extra_size, extra_file_name);
  KeepErrorNumber keep;
  FreeModule(module);
  return result;
}

int ReadChannelConfig(int kind, ChannelConfigRecord* records, int first, int count) {
  const std::string cwd = CurrentDirectory();
  return LoadChannelConfig(cwd.c_str(), kind, records, first, count, nullptr, 0, nullptr);
}

int ReloadChannelConfigIfChanged(int kind, void* channel_table) {
  if (kind < 0 || kind >= kChannelKindCount || channel_table == nullptr) return FailWith(EINVAL);
  const std::string cwd = CurrentDirectory();
  const std::string xml_path = cwd + "/" + ChannelFileName(kind, true);
  const bool xml = ConfigUseXml(cwd) && ExtensionSupportsXml(cwd.c_str()) && PathExists(xml_path);
  const std::string path = xml ? xml_path : cwd + "/" + ChannelFileName(kind, false);
  FileInfo info;
  if (GetFileInfo(path, &info) != 0) return -1;
  TimeStamp stamp{static_cast<int32_t>(info.modified_seconds),
                  static_cast<int16_t>(info.modified_nanoseconds / 1000000), 0};

  AreaHeader header;
  ChannelTableView table;
  if (ReadAreaHeader(channel_table, &header) != 0 ||
      !MakeChannelTableView(static_cast<uint8_t*>(channel_table) + kAreaHeaderSize,
                            header.data_size, &table)) {
    return FailWith(0);
  }
  if (SameTimeStamp(stamp, table.header->stamp)) return 0;

  const std::string prefix(table.header->prefix, 2);
  void* conf = GetChannelConfigArea(prefix);
  if (conf == nullptr) return -1;
  AreaHeader conf_header;
  if (ReadAreaHeader(conf, &conf_header) != 0) return FailWith(0);
  const uint64_t needed = uint64_t{table.count} * sizeof(ChannelConfigRecord);
  if (conf_header.data_size < needed) return FailWith(0);
  auto* records =
      reinterpret_cast<ChannelConfigRecord*>(static_cast<uint8_t*>(conf) + kAreaHeaderSize);
  // Readers take the area's lock, so they never see a half-loaded set of records.
  AreaLock lock(conf);
  if (!lock.held()) return -1;
  if (ReadChannelConfig(kind, records, 0, static_cast<int>(table.count)) != 0) {
    return FailWith(GetErrorNumber());
  }
  lock.Unlock();
  table.header->stamp = stamp;
  NotifyArea(conf, 0);
  return static_cast<int>(needed);
}

}  // namespace kestrum
