#include "config/xml_document.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <pugixml.hpp>

#include "platform/error_number.h"
#include "platform/file_handle.h"
#include "platform/file_system.h"

namespace kestrum {

struct XmlDocument {
  pugi::xml_document doc;
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

pugi::xml_node ToNode(XmlNode* node) {
  return pugi::xml_node(reinterpret_cast<pugi::xml_node_struct*>(node));
}

XmlNode* ToHandle(pugi::xml_node node) {
  return reinterpret_cast<XmlNode*>(node.internal_object());
}

// Runs an XPath query relative to `node`; on a query the parser refuses, records the failure
// with `message_format` ("...('%s') failed 0x%x") and answers null.
XmlNode* Select(pugi::xml_node node, const char* query, const char* message_format) {
  try {
    pugi::xpath_node found = node.select_node(query);
    return ToHandle(found.node());
  } catch (const pugi::xpath_exception&) {
  } catch (const std::bad_alloc&) {
  }
  Fail(kXmlOperationFailed,
       Format(message_format, query, static_cast<unsigned>(kXmlOperationFailed)));
  return nullptr;
}

// Where a byte offset of a text file lies: its line and column, both counted from 1, the
// column in characters (a UTF-8 sequence counts once).
struct TextPosition {
  long line = 1;
  long column = 1;
};

// Reads `path` up to `offset` and fills `*at` with the offset's line and column, so that a
// parse failure names the place as an editor shows it. Returns 0, or -1 when the file cannot be
// read that far (it changed since the parse).
int FindTextPosition(const char* path, ptrdiff_t offset, TextPosition* at) {
  KeepErrorNumber keep;  // the load's own failure is what the caller reads
  FileHandle file;
  if (offset < 0 || file.Open(path, kOpenRead) != 0) return -1;
  char block[4096];
  for (ptrdiff_t done = 0; done < offset;) {
    const size_t want = static_cast<size_t>(std::min<ptrdiff_t>(offset - done, sizeof block));
    const long got = file.ReadAt(block, want, static_cast<uint64_t>(done));
    if (got <= 0) return -1;
    for (long i = 0; i < got; ++i) {
      if (block[i] == '\n') {
        ++at->line;
        at->column = 1;
      } else if ((static_cast<unsigned char>(block[i]) & 0xC0) != 0x80) {
        ++at->column;
      }
    }
    done += got;
  }
  return 0;
}

void ReportLoadFailure(const char* path, const pugi::xml_parse_result& result, int open_errno) {
  if (result.status == pugi::status_file_not_found) {
    if (open_errno == ENOENT || open_errno == ENOTDIR || open_errno == 0) {
      Fail(kXmlFileNotFound, Format("Xml Load Failed (%s), File Not Found", path));
      return;
    }
    unsigned code = kSystemErrorBase | (static_cast<unsigned>(open_errno) & 0xFFFFu);
    Fail(static_cast<int>(code),
         Format("Xml Load Failed (%s) %s 0x%8x", path, std::strerror(open_errno), code));
    return;
  }
  unsigned code = kParseErrorBase + static_cast<unsigned>(result.status);
  char reason[160];
  TextPosition at;
  if (FindTextPosition(path, result.offset, &at) == 0) {
    std::snprintf(reason, sizeof reason, "%ld:%ld: %s", at.line, at.column, result.description());
  } else {
    std::snprintf(reason, sizeof reason, "%s at offset %lld", result.description(),
                  static_cast<long long>(result.offset));
  }
  Fail(static_cast<int>(code), Format("Xml Load Failed (%s) %s 0x%8x", path, reason, code));
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
  if (GetFileInfo(path, &info) == 0 && info.directory) {
    // The parser would report a directory as a memory failure; say what it is.
    pugi::xml_parse_result refused;
    refused.status = pugi::status_file_not_found;
    ReportLoadFailure(path, refused, EISDIR);
    SetLastPlatformError(kXmlParseError);
    return;
  }
  errno = 0;
  // Comments are kept as nodes so that a text after a comment stays a separate text node.
  pugi::xml_parse_result result =
      doc->doc.load_file(path, pugi::parse_default | pugi::parse_comments);
  int open_errno = errno;
  if (!result) {
    ReportLoadFailure(path, result, open_errno);
    // The caller's device message shows the XML text when the last error is the parse error.
    SetLastPlatformError(kXmlParseError);
  }
}

XmlNode* xml_GetRoot(XmlDocument* doc) {
  if (Bad() || doc == nullptr) return nullptr;
  pugi::xml_node root = doc->doc.document_element();
  if (!root) {
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
  return ToHandle(ToNode(node).first_child());
}

XmlNode* xml_NextSibling(XmlNode* node) {
  if (Bad() || node == nullptr) return nullptr;
  return ToHandle(ToNode(node).next_sibling());
}

int xml_RemoveChild(XmlNode* parent, XmlNode* child) {
  if (Bad() || parent == nullptr || child == nullptr) return -1;
  if (!ToNode(parent).remove_child(ToNode(child))) {
    Fail(kXmlOperationFailed,
         Format("xml_RemoveChild() failed 0x%x", static_cast<unsigned>(kXmlOperationFailed)));
    return kXmlOperationFailed;
  }
  return 0;
}

char* xml_getText(XmlNode* element) {
  if (Bad() || element == nullptr) return nullptr;
  const char* text = "";
  for (pugi::xml_node child = ToNode(element).first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_pcdata) {
      text = child.value();
      break;
    }
  }
  return strdup(text);
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
