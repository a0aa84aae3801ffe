#include "config/config_compiler.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <utility>

#include <libxml/tree.h>

#include "config/binary_inputs.h"
#include "config/channel_config.h"
#include "config/channel_id.h"
#include "config/compiler_extras.h"
#include "config/counter_block.h"
#include "config/device_config.h"
#include "config/extension_module.h"
#include "config/record_types.h"
#include "config/runtime_services.h"
#include "config/settings_lint.h"
#include "config/windows_1252.h"
#include "config/xml_document.h"
#include "config/xml_parser.h"
#include "platform/error_number.h"
#include "platform/file_handle.h"
#include "platform/file_system.h"
#include "records/device_record.h"
#include "records/time_stamp.h"
#include "runtime/time_stamps.h"

namespace kestrum {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

struct Output {
  std::string name;
  std::string bytes;
};

const StructsType* CounterConfigType(void*, int32_t) { return &kCounterConfigType; }

// Holds the folder's extension module while its descriptions are in use.
class FolderModule {
 public:
  explicit FolderModule(const std::string& folder) : module_(LoadExtensionModule(folder.c_str())) {
    device_ = DeviceConfigHooksOf(module_);
    channel_ = ChannelConfigHooksOf(module_);
    if (device_.get_config_type == nullptr) {
      device_ = DeviceConfigHooks{};
      device_.get_config_type = CounterConfigType;
      device_.validate_device = ValidateCounterBlock;
    }
  }
  ~FolderModule() { FreeModule(module_); }
  FolderModule(const FolderModule&) = delete;
  FolderModule& operator=(const FolderModule&) = delete;

  const DeviceConfigHooks& device() const { return device_; }
  const ChannelConfigHooks& channel() const { return channel_; }

 private:
  ModuleHandle module_;
  DeviceConfigHooks device_;
  ChannelConfigHooks channel_;
};

// Turns event reports of configuration errors off for the compiler's lifetime of a call.
class QuietEvents {
 public:
  QuietEvents() { SetConfigErrorEvents(false); }
  ~QuietEvents() { SetConfigErrorEvents(true); }
};

bool ReadFile(const std::string& path, std::string* bytes) {
  FileInfo info;
  if (GetFileInfo(path, &info) != 0 || !info.regular) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), {});
  return !in.bad();
}

// The shortest text that the float field `name` of `value` reads back from as the same float,
// or empty when the field is not a float. The field's own format gives 16 significant digits of
// the widened value, which do not always read back: FLT_MAX comes back as 3.402823466385289e+38,
// above the reader's limit. The shortest float text can also fall outside the reader's limits
// (3.4028235e+38 for FLT_MAX), and then the shortest text of the widened value is used, which
// is the float's exact value and so always within them.
std::string ShortestFloatText(const StructsType* type, const char* name, const void* value) {
  const StructsType* field = nullptr;
  void* address = nullptr;
  if (StructsFind(type, name, const_cast<void*>(value), 0, &field, &address) != 0 ||
      field->format != StructsFloatFormat || field->args[0].num != 0) {
    return {};
  }
  float f;
  std::memcpy(&f, address, sizeof f);
  char buf[64];
  auto result = std::to_chars(buf, buf + sizeof buf - 1, f);
  *result.ptr = '\0';
  float back;
  char ebuf[128];
  if (field->parse(field, buf, &back, ebuf, sizeof ebuf) != 0 ||
      std::memcmp(&back, &f, sizeof f) != 0) {
    result = std::to_chars(buf, buf + sizeof buf - 1, static_cast<double>(f));
    *result.ptr = '\0';
  }
  return buf;
}

// The leaf fields of `value` as (name, text) pairs.
bool Format(const StructsType* type, const void* value, Fields* out, std::string* error) {
  char** names = nullptr;
  int count = StructsTraverse(type, value, &names, "TEMPORARY");
  if (count < 0) {
    *error = "invalid field description";
    return false;
  }
  bool ok = true;
  for (int i = 0; i < count; ++i) {
    char* text = StructsGetString(type, names[i], value, "TEMPORARY");
    if (text == nullptr) {
      *error = std::string("field ") + names[i] + " cannot be formatted";
      ok = false;
      break;
    }
    std::string shortest = ShortestFloatText(type, names[i], value);
    out->emplace_back(names[i], shortest.empty() ? std::string(text) : shortest);
    std::free(text);
  }
  StructsFreeNames(names, count);
  return ok;
}

// Appends one element per field to `parent`, its stored (Windows-1252) text written as UTF-8.
// A text holding a control character XML cannot carry (any below 0x20 but tab, line feed and
// carriage return) fails naming its field: the file written would not read back.
bool AddFields(xmlNode* parent, const Fields& fields, std::string* error) {
  for (const auto& [name, text] : fields) {
    auto bad = std::find_if(text.begin(), text.end(), [](char c) {
      return c != '\0' && static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' &&
             c != '\r';
    });
    if (bad != text.end()) {
      char code[8];
      std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(*bad));
      *error = "<" + name + "> character U+" + code + " cannot be written in XML";
      return false;
    }
    xmlNewTextChild(parent, nullptr, reinterpret_cast<const xmlChar*>(name.c_str()),
                    reinterpret_cast<const xmlChar*>(Windows1252ToUtf8(text).c_str()));
  }
  return true;
}

xmlNode* AddElement(xmlNode* parent, const char* name) {
  return xmlNewChild(parent, nullptr, reinterpret_cast<const xmlChar*>(name), nullptr);
}

// A new document whose document element is named `root`.
XmlDocPtr NewDocument(const char* root, xmlNode** element) {
  XmlDocPtr doc(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
  *element = xmlNewDocNode(doc.get(), nullptr, reinterpret_cast<const xmlChar*>(root), nullptr);
  xmlDocSetRootElement(doc.get(), *element);
  return doc;
}

// The document as indented UTF-8 text.
std::string Serialize(const XmlDocPtr& doc) {
  xmlChar* text = nullptr;
  int size = 0;
  xmlDocDumpFormatMemoryEnc(doc.get(), &text, &size, "UTF-8", 1);
  std::string out(reinterpret_cast<const char*>(text), text != nullptr ? size : 0);
  xmlFree(text);
  return out;
}

// The value of `node`'s attribute `name`, or the empty text.
std::string AttributeOf(xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  std::string out = value != nullptr ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return out;
}

// The number of records the channel file at `path` compiles to: `channels` when above 0, else
// the highest id. Every Channel element must select its own slot: an id that is not a channel
// number, lies above `channels` or repeats an earlier one fails with a message naming the id
// and its line. Returns -1 with the message in `*error`.
int ChannelCount(const std::string& path, int channels, std::string* error) {
  std::string text;
  if (!ReadFile(path, &text)) {
    *error = path + ": cannot be read";
    return -1;
  }
  XmlParseFailure failure;
  XmlDocPtr doc = ParseXml(text, path.c_str(), &failure);
  if (doc == nullptr) {
    *error = path + ":" + std::to_string(failure.line) + ": " + failure.reason;
    return -1;
  }
  std::map<int, int> line_of_id;
  int highest = 0;
  for (xmlNode* channel = xmlDocGetRootElement(doc.get())->children; channel != nullptr;
       channel = channel->next) {
    if (channel->type != XML_ELEMENT_NODE ||
        std::strcmp(reinterpret_cast<const char*>(channel->name), "Channel") != 0) {
      continue;
    }
    const std::string id_text = AttributeOf(channel, "id");
    const int line = static_cast<int>(xmlGetLineNo(channel));
    const std::string where =
        path + ":" + std::to_string(line) + ": Channel id \"" + id_text + "\" ";
    const int id = ParseChannelId(id_text.c_str());
    if (id < 0) {
      *error = where + "is not a channel number from 1 to " + std::to_string(kMaxChannelId);
      return -1;
    }
    if (channels > 0 && id > channels) {
      *error = where + "is above the table's " + std::to_string(channels) + " channels";
      return -1;
    }
    auto [earlier, added] = line_of_id.emplace(id, line);
    if (!added) {
      *error = where + "repeats the channel of line " + std::to_string(earlier->second);
      return -1;
    }
    highest = std::max(highest, id);
  }
  if (highest == 0) {
    *error = path + ": no Channel element";
    return -1;
  }
  return channels > 0 ? channels : highest;
}

// A device's configuration block and save settings, and the request that loads them.
struct DeviceSettings {
  std::string block = std::string(kDeviceConfigBlockSize, '\0');
  uint8_t auto_enable = 0, save_outputs = 0, save_by_tag = 0;
  uint32_t save_rate = 0;

  DeviceConfigRequest Request() {
    DeviceConfigRequest request;
    request.block = block.data();
    request.block_size = static_cast<int>(block.size());
    request.auto_enable = &auto_enable;
    request.save_outputs = &save_outputs;
    request.save_by_tag = &save_by_tag;
    request.save_rate = &save_rate;
    return request;
  }
};

// Writes `bytes` at `offset` of the file `name`, keeping what an existing file holds before it.
Output WithHeader(const std::string& folder, const std::string& name, size_t offset,
                  const std::string& bytes) {
  std::string old;
  ReadFile(folder + "/" + name, &old);
  old.resize(offset, '\0');
  return {name, old + bytes};
}

bool CompileDevice(const std::string& folder, const FolderModule& module,
                   std::vector<Output>* outputs, std::string* error) {
  const std::string path = folder + "/" + kDeviceConfigXmlFile;
  DeviceSettings d;
  if (LoadDeviceConfigXml(folder.c_str(), module.device(), d.Request()) != 0) {
    *error = path + ": " + xml_GetErrorText();
    return false;
  }
  // The extra block is described for the block as read; read again with it.
  DeviceExtra extra;
  if (!DescribeDeviceExtra(module.device(), d.block, &extra, error)) {
    *error = path + ": " + *error;
    return false;
  }
  if (extra.type != nullptr) {
    DeviceConfigRequest request = d.Request();
    request.extra = extra.bytes.data();
    request.extra_size = static_cast<int>(extra.bytes.size());
    if (LoadDeviceConfigXml(folder.c_str(), module.device(), request) != 0) {
      *error = path + ": " + xml_GetErrorText();
      return false;
    }
  }
  outputs->push_back(
      {kDeviceConfigFile, std::string(1, static_cast<char>(d.auto_enable)) + d.block});
  std::string save(6, '\0');
  save[0] = static_cast<char>(d.save_outputs);
  save[1] = static_cast<char>(d.save_by_tag);
  std::memcpy(save.data() + 2, &d.save_rate, 4);
  outputs->push_back({kSaveConfigFile, save});
  if (extra.type != nullptr) {
    const ExGetConfigExtraFileOffsetFunc offset_of = module.device().get_config_extra_file_offset;
    const int32_t offset =
        offset_of ? offset_of(extra.bytes.data(), static_cast<int32_t>(extra.bytes.size())) : 0;
    outputs->push_back(
        WithHeader(folder, extra.file, static_cast<size_t>(std::max(offset, 0)), extra.bytes));
  }
  return true;
}

bool CompileChannels(const std::string& folder, int kind, int channels, const FolderModule& module,
                     std::vector<Output>* outputs, std::string* error) {
  const std::string path = folder + "/" + ChannelFileName(kind, true);
  int count = ChannelCount(path, channels, error);
  if (count < 0) return false;
  ChannelExtra extra;
  if (!DescribeChannelExtra(module.channel(), kind, &extra, error)) {
    *error = path + ": " + *error;
    return false;
  }
  std::vector<ChannelConfigRecord> records(static_cast<size_t>(count));
  if (LoadChannelConfigXml(folder.c_str(), kind, module.channel(), records.data(), 0, count,
                           nullptr, 0) != 0) {
    *error = path + ": " + xml_GetErrorText();
    return false;
  }
  // The extra data is sized from the records, then read (and checked) with them.
  std::string extra_bytes;
  if (extra.described) {
    extra_bytes.assign(ChannelExtraCapacity(module.channel(), kind, records), '\0');
    if (LoadChannelConfigXml(folder.c_str(), kind, module.channel(), records.data(), 0, count,
                             extra_bytes.data(), static_cast<int>(extra_bytes.size())) != 0) {
      *error = path + ": " + xml_GetErrorText();
      return false;
    }
    extra_bytes.resize(ChannelExtraUsed(module.channel(), kind, records, extra_bytes));
  }
  TimeStamp stamp = LocalTimeNow();
  std::string bytes(reinterpret_cast<const char*>(&stamp), sizeof stamp);
  bytes.append(reinterpret_cast<const char*>(records.data()),
               records.size() * sizeof(ChannelConfigRecord));
  outputs->push_back({ChannelFileName(kind, false), bytes});
  if (extra.described) outputs->push_back({extra.file, extra_bytes});
  return true;
}

bool DecompileDevice(const std::string& folder, const FolderModule& module,
                     std::vector<Output>* outputs, std::string* error) {
  DeviceSettings d;
  if (LoadDeviceConfigBinary(folder.c_str(), module.device(), d.Request()) != 0) {
    *error = folder + ": cannot read " + kDeviceConfigFile + " and " + kSaveConfigFile + ": " +
             std::strerror(GetErrorNumber());
    return false;
  }
  DeviceExtra extra;
  if (!DescribeDeviceExtra(module.device(), d.block, &extra, error)) {
    *error = folder + ": " + *error;
    return false;
  }
  if (extra.type != nullptr) {
    DeviceConfigRequest request;
    request.extra = extra.bytes.data();
    request.extra_size = static_cast<int>(extra.bytes.size());
    request.extra_file_name = extra.file.c_str();
    if (LoadDeviceConfigBinary(folder.c_str(), module.device(), request) != 0) {
      *error = folder + "/" + extra.file + ": " + std::strerror(GetErrorNumber());
      return false;
    }
  }
  SaveSettingsFields settings{d.auto_enable, d.save_outputs, d.save_by_tag, d.save_rate};
  Fields fields;
  if (!Format(&kSaveSettingsType, &settings, &fields, error)) return false;
  const StructsType* type =
      module.device().get_config_type(d.block.data(), static_cast<int32_t>(d.block.size()));
  if (type != nullptr && !Format(type, d.block.data(), &fields, error)) return false;
  if (extra.type != nullptr && !Format(extra.type, extra.bytes.data(), &fields, error)) {
    return false;
  }
  xmlNode* configs = nullptr;
  XmlDocPtr doc = NewDocument("Configs", &configs);
  if (!AddFields(AddElement(configs, "Config"), fields, error)) return false;
  outputs->push_back({kDeviceConfigXmlFile, Serialize(doc)});
  return true;
}

// Writes the leaves of a module-described hardware part under their shorter names, where no
// other field of the channel has that name.
void ShortenHardwareNames(Fields* fields) {
  for (auto& [name, text] : *fields) {
    const char* member = HardwareMemberName(name.c_str());
    if (member == nullptr) continue;
    const std::string shorter = member;
    if (std::none_of(fields->begin(), fields->end(),
                     [&](const auto& field) { return field.first == shorter; })) {
      name = shorter;
    }
  }
}

bool DecompileChannels(const std::string& folder, int kind, int /*channels*/,
                       const FolderModule& module, std::vector<Output>* outputs,
                       std::string* error) {
  const std::string path = folder + "/" + ChannelFileName(kind, false);
  std::string bytes;
  if (!ReadFile(path, &bytes) || bytes.size() < kChannelFileHeaderSize) {
    *error = path + ": not a channel file";
    return false;
  }
  const ChannelConfigHooks& hooks = module.channel();
  ChannelExtra extra;
  if (!DescribeChannelExtra(module.channel(), kind, &extra, error)) {
    *error = path + ": " + *error;
    return false;
  }
  if (extra.described && hooks.get_extra_struct != nullptr) {
    *error = path +
             ": the extension module reads channel extra data into a structure of its own, "
             "which cannot be written back as text";
    return false;
  }
  // A missing extra file reads as zeros, as the loader reads it.
  std::string extra_bytes;
  if (extra.described) ReadFile(folder + "/" + extra.file, &extra_bytes);
  size_t position = 0;
  const size_t count = (bytes.size() - kChannelFileHeaderSize) / sizeof(ChannelConfigRecord);
  xmlNode* root = nullptr;
  XmlDocPtr doc = NewDocument("Channels", &root);
  static const ChannelConfigRecord kZero{};
  for (size_t i = 0; i < count; ++i) {
    ChannelConfigRecord record;
    std::memcpy(&record, bytes.data() + kChannelFileHeaderSize + i * sizeof record, sizeof record);
    const auto n = static_cast<int32_t>(i);
    const StructsType* extra_type =
        extra.described ? hooks.get_extra_type(kind, n, &record) : nullptr;
    if (extra.described) {
      const size_t need = position + static_cast<size_t>(std::max(extra_type ? extra_type->size : 0,
                                                                  kChannelExtraScratchBytes));
      if (extra_bytes.size() < need) extra_bytes.resize(need, '\0');
    }
    const bool blank = i > 0 && std::memcmp(&record, &kZero, sizeof record) == 0;
    if (!blank) {
      const StructsType* hardware =
          hooks.get_hw_type ? hooks.get_hw_type(kind, n, &record) : nullptr;
      ChannelLayout layout(IsDigitalRecord(record), hardware);
      Fields fields;
      bool ok = Format(layout.type(), &record, &fields, error);
      if (ok && hardware != nullptr) ShortenHardwareNames(&fields);
      if (ok && extra_type != nullptr) {
        ok = Format(extra_type, extra_bytes.data() + position, &fields, error);
      }
      if (!ok) {
        *error = path + ": channel " + std::to_string(i + 1) + ": " + *error;
        return false;
      }
      xmlNode* channel = AddElement(root, "Channel");
      xmlNewProp(channel, reinterpret_cast<const xmlChar*>("id"),
                 reinterpret_cast<const xmlChar*>(std::to_string(i + 1).c_str()));
      if (!AddFields(channel, fields, error)) {
        *error = path + ": channel " + std::to_string(i + 1) + ": " + *error;
        return false;
      }
    }
    if (extra.described) {
      position += static_cast<size_t>(
          std::max(hooks.get_extra_size(kind, n, &record, extra_bytes.data() + position), 0));
    }
  }
  outputs->push_back({ChannelFileName(kind, true), Serialize(doc)});
  return true;
}

// Where an output waits, written whole, until every output is.
std::string TemporaryPath(const std::string& folder, const Output& out) {
  return folder + "/." + out.name + ".cfgc-new";
}

// Writes `bytes` as the whole file at `path` (created or emptied) with the exact permission
// bits 0644, on the storage before it returns. Returns 0, or -1 with the error number set.
int WriteWholeFile(const std::string& path, const std::string& bytes) {
  FileHandle file;
  if (file.Open(path, kOpenWrite | kOpenCreate | kOpenTruncate, 0644) != 0 ||
      file.SetPermissions(0644) != 0 || file.WriteExactly(bytes.data(), bytes.size()) != 0 ||
      file.Sync() != 0) {
    return -1;
  }
  return file.Close();
}

// Writes every output to a temporary file in `folder`, then renames them into place, so that a
// failure to write any of them leaves every old file as it was and no temporary file behind.
// Without `replace` an output whose file exists is refused before anything is written.
int WriteOutputs(const std::string& folder, const std::vector<Output>& outputs, bool replace,
                 std::vector<std::string>* written, std::string* error) {
  size_t ready = 0;
  auto fail = [&](const std::string& path) {
    *error = path + ": " + std::strerror(GetErrorNumber());
    for (size_t i = 0; i < ready; ++i) RemoveFile(TemporaryPath(folder, outputs[i]));
    return -1;
  };
  for (const Output& out : outputs) {
    const std::string path = folder + "/" + out.name;
    FileInfo info;
    // A folder in the way would only refuse the rename, after others were already replaced.
    if (GetFileInfo(path, &info) == 0 && (info.directory || !replace)) {
      SetErrorNumber(info.directory ? EISDIR : EEXIST);
      return fail(path);
    }
  }
  for (const Output& out : outputs) {
    // Counted before the write, so that a partly written temporary file goes too.
    ++ready;
    if (WriteWholeFile(TemporaryPath(folder, out), out.bytes) != 0) {
      return fail(folder + "/" + out.name);
    }
  }
  for (const Output& out : outputs) {
    const std::string path = folder + "/" + out.name;
    if (RenameFile(TemporaryPath(folder, out), path) != 0) {
      *error = path + ": " + std::strerror(GetErrorNumber());
      for (const Output& left : outputs) RemoveFile(TemporaryPath(folder, left));
      return -1;
    }
    if (written != nullptr) written->push_back(out.name);
  }
  return 0;
}

// One direction of the conversion: its converters, and what a folder must hold for it.
struct Direction {
  bool from_xml;  // the input files are the XML ones
  const char* device_file;
  bool (*device)(const std::string&, const FolderModule&, std::vector<Output>*, std::string*);
  // The second int is the channel count asked for (0: the highest id).
  bool (*channels)(const std::string&, int, int, const FolderModule&, std::vector<Output>*,
                   std::string*);
  const char* nothing_found;
};

// How one conversion runs.
struct Run {
  std::string to;        // the folder the outputs go to
  bool replace = true;   // existing outputs may be replaced
  bool write = true;     // false: read and check only
  bool partial = false;  // write the outputs of the good inputs even when others failed
};

// Converts every input of `folder`. Every failed input and every odd thing found goes to
// `*findings`; the other inputs are still read, so that one run reports them all. Returns 0, or
// -1 when a finding is an error, with the first one in `*error`.
int ConvertConfigFolder(const Direction& direction, const std::string& folder, int channels,
                        const Run& run, std::vector<std::string>* written, std::string* error,
                        FolderFindings* findings) {
  QuietEvents quiet;
  FolderModule module(folder);
  std::vector<Output> outputs;
  auto add_error = [&] { findings->push_back({true, *error}); };
  if (PathExists(folder + "/" + direction.device_file) &&
      (direction.from_xml || BinaryDeviceInputsUsable(folder, findings)) &&
      !direction.device(folder, module, &outputs, error)) {
    add_error();
  }
  for (int kind = 0; kind < kChannelKindCount; ++kind) {
    if (PathExists(folder + "/" + ChannelFileName(kind, direction.from_xml)) &&
        (direction.from_xml || BinaryChannelInputUsable(folder, kind, findings)) &&
        !direction.channels(folder, kind, channels, module, &outputs, error)) {
      add_error();
    }
  }
  if (direction.from_xml) LintConfigFolder(folder, module.device(), module.channel(), findings);
  if (outputs.empty() && !HasError(*findings)) {
    findings->push_back({true, folder + direction.nothing_found});
  }
  if (run.write && !outputs.empty() && (run.partial || !HasError(*findings)) &&
      WriteOutputs(run.to, outputs, run.replace, written, error) != 0) {
    add_error();
  }
  for (const FolderFinding& f : *findings) {
    if (f.error) {
      *error = f.text;
      return -1;
    }
  }
  return 0;
}

constexpr Direction kCompile{true, kDeviceConfigXmlFile, CompileDevice, CompileChannels,
                             ": no config.xml and no channel XML file"};
constexpr Direction kDecompile{false, kDeviceConfigFile, DecompileDevice, DecompileChannels,
                               ": no config file and no channel file"};

bool ChannelCountValid(int channels, std::string* error) {
  if (channels >= 0 && channels <= kMaxChannelId) return true;
  *error = "the channel count " + std::to_string(channels) + " is not from 1 to " +
           std::to_string(kMaxChannelId);
  return false;
}

}  // namespace

int CompileConfigFolder(const std::string& folder, std::vector<std::string>* written,
                        std::string* error, int channels, FolderFindings* findings) {
  if (!ChannelCountValid(channels, error)) return -1;
  FolderFindings local;
  return ConvertConfigFolder(kCompile, folder, channels, Run{folder}, written, error,
                             findings != nullptr ? findings : &local);
}

int CheckConfigFolder(const std::string& folder, int channels, FolderFindings* findings) {
  std::string error;
  if (!ChannelCountValid(channels, &error)) {
    findings->push_back({true, error});
    return -1;
  }
  Run run{folder};
  run.write = false;
  return ConvertConfigFolder(kCompile, folder, channels, run, nullptr, &error, findings);
}

int DecompileConfigFolder(const std::string& folder, std::vector<std::string>* written,
                          std::string* error) {
  FolderFindings findings;
  return ConvertConfigFolder(kDecompile, folder, 0, Run{folder}, written, error, &findings);
}

int DecompileConfigFolderTo(const std::string& folder, const std::string& to, bool replace,
                            std::vector<std::string>* written, FolderFindings* findings) {
  std::string error;
  Run run{to, replace};
  run.partial = true;
  return ConvertConfigFolder(kDecompile, folder, 0, run, written, &error, findings);
}

}  // namespace kestrum
