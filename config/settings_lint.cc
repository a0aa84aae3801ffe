#include "config/settings_lint.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>

#include "config/channel_id.h"
#include "config/record_types.h"
#include "config/structs_type.h"
#include "config/xml_parser.h"
#include "platform/file_system.h"
#include "records/device_record.h"

namespace kestrum {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  std::iota(row.begin(), row.end(), size_t{0});
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// One leaf field the loaders read: its element name and the longest text it keeps (0: no
// limit that cuts).
struct KnownField {
  std::string name;
  int text_limit = 0;
};

// The leaf fields of `type` as the loaders ask for them (a zero value selects the layout).
void AddFields(const StructsType* type, std::vector<KnownField>* fields) {
  if (type == nullptr) return;
  std::vector<uint8_t> zero(
      std::max<size_t>(static_cast<size_t>(std::max(type->size, 0)), kDeviceConfigBlockSize), 0);
  char** names = nullptr;
  const int count = StructsTraverse(type, zero.data(), &names, "TEMPORARY");
  for (int i = 0; i < count; ++i) {
    KnownField field{names[i], 0};
    const StructsType* leaf = nullptr;
    void* address = nullptr;
    if (StructsFind(type, names[i], zero.data(), 0, &leaf, &address) == 0 &&
        (std::strcmp(leaf->name, "fixedstring") == 0 ||
         std::strcmp(leaf->name, "chanconfignstring") == 0)) {
      field.text_limit = leaf->size;
    }
    // A module-described hardware part is read by its members' shorter names too, and whole
    // (in hexadecimal) by its own name.
    if (const char* member = HardwareMemberName(names[i])) {
      fields->push_back({member, field.text_limit});
      const std::string whole(names[i], static_cast<size_t>(member - names[i] - 1));
      if (std::none_of(fields->begin(), fields->end(),
                       [&](const KnownField& f) { return f.name == whole; })) {
        fields->push_back({whole, 0});
      }
    }
    fields->push_back(std::move(field));
  }
  if (count >= 0) StructsFreeNames(names, count);
}

std::string Text(xmlNode* element) {
  xmlChar* content = xmlNodeGetContent(element);
  std::string text = content ? reinterpret_cast<const char*>(content) : "";
  xmlFree(content);
  return text;
}

std::string Name(const xmlNode* element) { return reinterpret_cast<const char*>(element->name); }

class Linter {
 public:
  Linter(const std::string& path, FolderFindings* findings) : path_(path), findings_(findings) {}

  xmlDoc* Load() {
    doc_.reset(xmlReadFile(
        path_.c_str(), nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_BIG_LINES));
    return doc_.get();
  }

  // Reports every element child of `parent` that `fields` does not name, and every known one
  // whose text its field would cut.
  void CheckChildren(xmlNode* parent, const std::vector<KnownField>& fields) {
    std::vector<std::string> names;
    for (const KnownField& f : fields) names.push_back(f.name);
    for (xmlNode* child = parent->children; child != nullptr; child = child->next) {
      if (child->type != XML_ELEMENT_NODE) continue;
      const std::string name = Name(child);
      auto known = std::find_if(fields.begin(), fields.end(),
                                [&](const KnownField& f) { return f.name == name; });
      if (known == fields.end()) {
        std::string message = "unknown element <" + name + "> is ignored";
        const std::string nearest = NearestName(name, names);
        if (!nearest.empty()) message += "; did you mean <" + nearest + ">?";
        Add(child, false, message);
        continue;
      }
      const std::string text = Text(child);
      if (known->text_limit > 0 && text.size() > static_cast<size_t>(known->text_limit)) {
        Add(child, true,
            "<" + name + "> \"" + text + "\" is longer than its " +
                std::to_string(known->text_limit) + " characters and would be cut");
      }
    }
  }

 private:
  void Add(xmlNode* node, bool error, const std::string& message) {
    findings_->push_back(
        {error, path_ + ":" + std::to_string(xmlGetLineNo(node)) + ": " + message});
  }

  std::string path_;
  FolderFindings* findings_;
  XmlDocPtr doc_;
};

void LintDevice(const std::string& folder, const DeviceConfigHooks& hooks,
                FolderFindings* findings) {
  Linter linter(folder + "/" + kDeviceConfigXmlFile, findings);
  xmlDoc* doc = linter.Load();
  xmlNode* root = doc ? xmlDocGetRootElement(doc) : nullptr;
  if (root == nullptr) return;
  linter.CheckChildren(root, {{"Config", 0}});
  std::vector<KnownField> fields;
  AddFields(&kSaveSettingsType, &fields);
  std::vector<uint8_t> block(kDeviceConfigBlockSize, 0);
  const int32_t size = static_cast<int32_t>(block.size());
  if (hooks.get_config_type != nullptr) {
    const StructsType* type = hooks.get_config_type(block.data(), size);
    AddFields(type, &fields);
    if (hooks.get_config_extra_type != nullptr) {
      std::vector<uint8_t> extra(kDeviceConfigBlockSize, 0);
      AddFields(hooks.get_config_extra_type(block.data(), size, extra.data(), size), &fields);
    }
  }
  for (xmlNode* config = root->children; config != nullptr; config = config->next) {
    if (config->type != XML_ELEMENT_NODE || Name(config) != "Config") continue;
    linter.CheckChildren(config, fields);
    break;  // the loaders read the first Config element alone
  }
}

// The layout the loader picks for a channel element: its Type, or the file's kind without one.
bool DigitalChannel(xmlNode* channel, int file_kind) {
  for (xmlNode* child = channel->children; child != nullptr; child = child->next) {
    if (child->type != XML_ELEMENT_NODE || Name(child) != "Type") continue;
    const std::string type = Text(child);
    return !(type == "AI" || type == "AO" || type == "CI");
  }
  return IsDigitalType(static_cast<uint8_t>(file_kind));
}

void LintChannels(const std::string& folder, int kind, const ChannelConfigHooks& hooks,
                  FolderFindings* findings) {
  Linter linter(folder + "/" + ChannelFileName(kind, true), findings);
  xmlDoc* doc = linter.Load();
  xmlNode* root = doc ? xmlDocGetRootElement(doc) : nullptr;
  if (root == nullptr) return;
  linter.CheckChildren(root, {{"Channel", 0}});
  for (xmlNode* channel = root->children; channel != nullptr; channel = channel->next) {
    if (channel->type != XML_ELEMENT_NODE || Name(channel) != "Channel") continue;
    xmlChar* id_text = xmlGetProp(channel, reinterpret_cast<const xmlChar*>("id"));
    const int id = ParseChannelId(id_text ? reinterpret_cast<const char*>(id_text) : "");
    xmlFree(id_text);
    if (id < 0) continue;  // the compiler refuses the id itself
    ChannelConfigRecord record{};
    const StructsType* hardware =
        hooks.get_hw_type ? hooks.get_hw_type(kind, id - 1, &record) : nullptr;
    ChannelLayout layout(DigitalChannel(channel, kind), hardware);
    std::vector<KnownField> fields;
    AddFields(layout.type(), &fields);
    if (hooks.get_extra_type != nullptr) {
      AddFields(hooks.get_extra_type(kind, id - 1, &record), &fields);
    }
    linter.CheckChildren(channel, fields);
  }
}

}  // namespace

std::string NearestName(std::string_view name, const std::vector<std::string>& known) {
  const std::string lower = Lower(name);
  std::string best;
  size_t best_distance = std::max<size_t>(2, name.size() / 3) + 1;
  for (const std::string& candidate : known) {
    const size_t d = EditDistance(lower, Lower(candidate));
    if (d < best_distance) {
      best_distance = d;
      best = candidate;
    }
  }
  return best;
}

void LintConfigFolder(const std::string& folder, const DeviceConfigHooks& device,
                      const ChannelConfigHooks& channel, FolderFindings* findings) {
  if (PathExists(folder + "/" + kDeviceConfigXmlFile)) LintDevice(folder, device, findings);
  for (int kind = 0; kind < kChannelKindCount; ++kind) {
    if (PathExists(folder + "/" + ChannelFileName(kind, true))) {
      LintChannels(folder, kind, channel, findings);
    }
  }
}

}  // namespace kestrum
