// Helpers shared by the XML forms of the configuration loaders.
#ifndef PARVEX_CONFIG_XML_FIELDS_H_
#define PARVEX_CONFIG_XML_FIELDS_H_

#include <string>

#include "config/structs_type.h"
#include "config/xml_document.h"

namespace kestrum {

/// For every leaf field of `type` (in the description's order) while the XML status is good:
/// finds the child element of that name in `parent`, parses its text into `value`, appends the
/// name and "," to `found` and removes the element. An absent element is skipped. A text that
/// does not parse sets status -1 with `message_format` (two "%s": field name as written, parser
/// message). With `hardware_names`, a leaf of a module-described hardware part whose dotted
/// element is absent is also looked for under its shorter name (HardwareMemberName); `found`
/// always receives the dotted name.
void ParseXmlFields(XmlNode* parent, const StructsType* type, void* value, std::string* found,
                    const char* message_format, bool hardware_names = false);

/// Returns the last path component of a folder (either separator; trailing ones ignored).
std::string FolderComponent(const std::string& folder);

/// Reports the composed XML failure text as an error event, sets the error number and the
/// platform's last error to the XML parse error (1465) and returns -1.
int FailXmlLoad();

/// Owns a document for one load.
class XmlLoad {
 public:
  /// Creates a document and loads `path` into it (the XML status tells how that went).
  explicit XmlLoad(const std::string& path);
  ~XmlLoad();
  XmlLoad(const XmlLoad&) = delete;
  XmlLoad& operator=(const XmlLoad&) = delete;

  /// The document element while the status is good, else null; a missing one sets status -1
  /// with "Root Element <%s> not found" of `expected`.
  XmlNode* Root(const char* expected);

 private:
  XmlDocument* doc_;
};

}  // namespace kestrum

#endif  // PARVEX_CONFIG_XML_FIELDS_H_
