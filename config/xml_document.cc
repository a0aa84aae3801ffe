#include "config/xml_document.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <libxml/tree.h>
#include <libxml/xpath.h>

#include "config/windows_1252.h"
#include "config/xml_parser.h"
#include "platform/error_number.h"
#include "platform/file_handle.h"
#include "platform/file_system.h"

namespace kestrum {

struct XmlDocument {
  XmlDocPtr doc;
};

namespace {

// Parse errors are reported with codes in the component's parse-error range, one per reason.
constexpr unsigned kParseErrorBase = 0xC00CE500u;
// Open failures other than a missing file carry the system error in the low bits.
constexpr unsigned kSystemErrorBase = 0x80070000u;

constexpr size_t kErrorTextMax = 255;
constexpr size_t kContextMax = 256;

struct XmlStatus {
  int status = 0;
  std::string error_text;
  std::string folder;
  std::string context;
  std::string failure_text;
};

XmlStatus& State() {
  static XmlStatus state;
  return state;
}

bool Bad() { return State().status < 0; }

void Fail(int code, const std::string& text) {
  State().status = code;
  State().error_text = text.substr(0, kErrorTextMax);
}

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int needed = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string out(needed > 0 ? static_cast<size_t>(needed) : 0, '\0');
  std::vsnprintf(out.data(), out.size() + 1, format, again);
  va_end(again);
  return out;
}

xmlNode* ToNode(XmlNode* node) { return reinterpret_cast<xmlNode*>(node); }

XmlNode* ToHandle(xmlNode* node) { return reinterpret_cast<XmlNode*>(node); }

// The first node from `node` on, along its siblings, that the readers count: white-space-only
// texts are not nodes to them.
xmlNode* Counted(xmlNode* node) {
  while (node != nullptr && IsBlankText(node)) node = node->next;
  return node;
}

// XPath errors are answered by the caller's message; the parser prints nothing.
void IgnoreXPathError(void*, xmlErrorPtr) {}

// Owns an XPath context and its result for one query.
class XPathQuery {
 public:
  XPathQuery(xmlNode* node, const char* query) : context_(xmlXPathNewContext(node->doc)) {
    if (context_ == nullptr) return;
    context_->node = node;
    context_->error = IgnoreXPathError;
    result_ = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(query), context_);
  }
  ~XPathQuery() {
    xmlXPathFreeObject(result_);
    xmlXPathFreeContext(context_);
  }
  XPathQuery(const XPathQuery&) = delete;
  XPathQuery& operator=(const XPathQuery&) = delete;

  // True when the query ran and selected a set of nodes (perhaps empty).
  bool ran() const { return result_ != nullptr && result_->type == XPATH_NODESET; }

  // The first selected node that is a node of the tree (an element, a text, a comment ...),
  // or null.
  xmlNode* first() const {
    const xmlNodeSet* set = result_->nodesetval;
    if (set == nullptr || set->nodeNr == 0) return nullptr;
    xmlNode* node = set->nodeTab[0];
    switch (node->type) {
      case XML_ELEMENT_NODE:
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
      case XML_COMMENT_NODE:
      case XML_PI_NODE:
        return node;
      default:
        return nullptr;
    }
  }

 private:
  xmlXPathContextPtr context_;
  xmlXPathObjectPtr result_ = nullptr;
};

// Runs an XPath query relative to `node`; on a query the parser refuses, records the failure
// with `message_format` ("...('%s') failed 0x%x") and answers null.
XmlNode* Select(xmlNode* node, const char* query, const char* message_format) {
  XPathQuery selection(node, query);
  if (selection.ran()) return ToHandle(selection.first());
  Fail(kXmlOperationFailed,
       Format(message_format, query, static_cast<unsigned>(kXmlOperationFailed)));
  return nullptr;
}

// Records a file that cannot be opened or read, by the system's error number.
void FailOpen(const char* path, int error) {
  if (error == ENOENT || error == ENOTDIR) {
    Fail(kXmlFileNotFound, Format("Xml Load Failed (%s), File Not Found", path));
    return;
  }
  unsigned code = kSystemErrorBase | (static_cast<unsigned>(error) & 0xFFFFu);
  Fail(static_cast<int>(code),
       Format("Xml Load Failed (%s) %s 0x%8x", path, std::strerror(error), code));
}

// Reads the whole file at `path` into `*bytes`. Returns 0, or -1 with the error number set.
int ReadWhole(const char* path, std::string* bytes) {
  FileHandle file;
  if (file.Open(path, kOpenRead) != 0) return -1;
  char chunk[65536];
  for (uint64_t offset = 0;;) {
    long got = file.ReadAt(chunk, sizeof chunk, offset);
    if (got < 0) return -1;
    if (got == 0) return 0;
    bytes->append(chunk, static_cast<size_t>(got));
    offset += static_cast<uint64_t>(got);
  }
}

}  // namespace

XmlDocument* xml_CreateDocument() {
  auto* doc = new (std::nothrow) XmlDocument;
  if (doc == nullptr) {
    Fail(kXmlOperationFailed, Format("CoCreateInstance of MSXML6 failed 0x%x",
                                     static_cast<unsigned>(kXmlOperationFailed)));
    return nullptr;
  }
  State().status = 0;
  State().error_text.clear();
  return doc;
}

void xml_Load(XmlDocument* doc, const char* path) {
  if (Bad() || doc == nullptr || path == nullptr) return;
  FileInfo info;
  std::string bytes;
  if (GetFileInfo(path, &info) == 0 && info.directory) {
    // A folder would only fail at its first read; say what it is.
    FailOpen(path, EISDIR);
  } else if (ReadWhole(path, &bytes) != 0) {
    FailOpen(path, GetErrorNumber());
  } else {
    XmlParseFailure failure;
    doc->doc = ParseXml(bytes, path, &failure);
    if (doc->doc != nullptr) return;
    unsigned code = kParseErrorBase + static_cast<unsigned>(failure.code);
    Fail(static_cast<int>(code), Format("Xml Load Failed (%s) %d:%d: %s 0x%8x", path, failure.line,
                                        failure.column, failure.reason.c_str(), code));
  }
  // The caller's device message shows the XML text when the last error is the parse error.
  SetLastPlatformError(kXmlParseError);
}

XmlNode* xml_GetRoot(XmlDocument* doc) {
  if (Bad() || doc == nullptr) return nullptr;
  xmlNode* root = doc->doc != nullptr ? xmlDocGetRootElement(doc->doc.get()) : nullptr;
  if (root == nullptr) {
    Fail(-1, "No Root element found");
    return nullptr;
  }
  return ToHandle(root);
}

XmlNode* xml_FindByName(XmlNode* node, const char* name) {
  if (Bad() || node == nullptr || name == nullptr) return nullptr;
  return Select(ToNode(node), name, "xml_FindByName('%s') failed 0x%x");
}

XmlNode* xml_FindByAttribute(XmlNode* node, const char* element, const char* attribute,
                             const char* value) {
  if (Bad() || node == nullptr || element == nullptr || attribute == nullptr || value == nullptr) {
    return nullptr;
  }
  std::string query = std::string(element) + "[@" + attribute + "=" + value + "]";
  if (query.size() > 127) {
    // A cut query could select the wrong element; refuse it instead.
    Fail(kXmlOperationFailed,
         Format("xml_FindByAttribute('%s') failed 0x%x", query.substr(0, 127).c_str(),
                static_cast<unsigned>(kXmlOperationFailed)));
    return nullptr;
  }
  return Select(ToNode(node), query.c_str(), "xml_FindByAttribute('%s') failed 0x%x");
}

XmlNode* xml_FirstChild(XmlNode* node) {
  if (Bad() || node == nullptr) return nullptr;
  return ToHandle(Counted(ToNode(node)->children));
}

XmlNode* xml_NextSibling(XmlNode* node) {
  if (Bad() || node == nullptr) return nullptr;
  return ToHandle(Counted(ToNode(node)->next));
}

int xml_RemoveChild(XmlNode* parent, XmlNode* child) {
  if (Bad() || parent == nullptr || child == nullptr) return -1;
  xmlNode* removed = ToNode(child);
  if (removed->parent != ToNode(parent)) {
    Fail(kXmlOperationFailed,
         Format("xml_RemoveChild() failed 0x%x", static_cast<unsigned>(kXmlOperationFailed)));
    return kXmlOperationFailed;
  }
  xmlUnlinkNode(removed);
  xmlFreeNode(removed);
  return 0;
}

char* xml_getText(XmlNode* element) {
  if (Bad() || element == nullptr) return nullptr;
  const char* text = "";
  for (xmlNode* child = Counted(ToNode(element)->children); child != nullptr;
       child = Counted(child->next)) {
    if (child->type == XML_TEXT_NODE) {
      if (child->content != nullptr) text = reinterpret_cast<const char*>(child->content);
      break;
    }
  }
  std::string stored;
  char32_t unmappable = 0;
  if (Utf8ToWindows1252(text, &stored, &unmappable) != 0) {
    Fail(-1, Format("<%s> character U+%04X is not in Windows-1252",
                    reinterpret_cast<const char*>(ToNode(element)->name),
                    static_cast<unsigned>(unmappable)));
    return nullptr;
  }
  return strdup(stored.c_str());
}

void xml_ReleaseNode(XmlDocument*, XmlNode*) {}

void xml_ReleaseDocument(XmlDocument* doc) { delete doc; }

int xml_GetStatus() { return State().status; }

void xml_SetStatus(int code, const char* text) {
  State().status = code;
  if (text != nullptr) State().error_text = std::string(text).substr(0, kErrorTextMax);
}

void xml_SetContext(const char* folder, const char* context) {
  if (folder != nullptr) State().folder = std::string(folder).substr(0, kContextMax);
  if (context != nullptr) State().context = std::string(context).substr(0, kContextMax);
}

const char* xml_GetErrorText() {
  XmlStatus& s = State();
  s.failure_text = s.folder + s.context + " - " + s.error_text;
  return s.failure_text.c_str();
}

const char* xml_GetStatusText() { return State().error_text.c_str(); }

}  // namespace kestrum
