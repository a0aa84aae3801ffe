#include "config/xml_fields.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "config/record_types.h"
#include "config/runtime_services.h"
#include "platform/error_number.h"

namespace kestrum {

void ParseXmlFields(XmlNode* parent, const StructsType* type, void* value, std::string* found,
                    const char* message_format, bool hardware_names) {
  if (xml_GetStatus() < 0) return;
  char** names = nullptr;
  int count = StructsTraverse(type, value, &names, "TEMPORARY");
  if (count < 0) {
    xml_SetStatus(-1, "invalid field description");
    return;
  }
  for (int i = 0; i < count && xml_GetStatus() >= 0; ++i) {
    const char* written = names[i];
    XmlNode* element = xml_FindByName(parent, written);
    const char* member = hardware_names ? HardwareMemberName(names[i]) : nullptr;
    if (element == nullptr && member != nullptr) {
      written = member;
      element = xml_FindByName(parent, written);
    }
    if (element == nullptr) continue;
    char* text = xml_getText(element);
    if (text == nullptr) break;
    char ebuf[256];
    if (StructsSetString(type, names[i], text, value, ebuf, sizeof ebuf) != 0) {
      char message[600];
      std::snprintf(message, sizeof message, message_format, written, ebuf);
      xml_SetStatus(-1, message);
    } else {
      *found += names[i];
      *found += ",";
      xml_RemoveChild(parent, element);
    }
    std::free(text);
  }
  StructsFreeNames(names, count);
}

std::string FolderComponent(const std::string& folder) {
  std::string_view path(folder);
  while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
  size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

int FailXmlLoad() {
  ConfigReportError(xml_GetErrorText());
  return FailWith(kXmlParseError);
}

XmlLoad::XmlLoad(const std::string& path) : doc_(xml_CreateDocument()) {
  xml_Load(doc_, path.c_str());
}

XmlLoad::~XmlLoad() { xml_ReleaseDocument(doc_); }

XmlNode* XmlLoad::Root(const char* expected) {
  if (xml_GetStatus() < 0) return nullptr;
  XmlNode* root = xml_GetRoot(doc_);
  if (root == nullptr) {
    std::string message = std::string("Root Element <") + expected + "> not found";
    xml_SetStatus(-1, message.c_str());
  }
  return root;
}

}  // namespace kestrum
