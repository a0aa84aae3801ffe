#include "config/xml_parser.h"

#include <climits>
#include <mutex>
#include <string>
#include <string_view>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include "config/windows_1252.h"

namespace kestrum {
namespace {

// What the error handler of one parse keeps: the first error, warnings aside.
struct FirstError {
  bool seen = false;
  XmlParseFailure failure;
};

// One line of text: inner line breaks become blanks, trailing ones go.
std::string OneLine(const char* message) {
  std::string text = message != nullptr ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

// The parse's structured error handler: keeps the first error and prints nothing. `data` is the
// parser context, whose private pointer holds the FirstError.
void KeepFirstError(void* data, xmlErrorPtr error) {
  auto* context = static_cast<xmlParserCtxtPtr>(data);
  auto* first = context != nullptr ? static_cast<FirstError*>(context->_private) : nullptr;
  if (first == nullptr || error == nullptr || first->seen || error->level < XML_ERR_ERROR) return;
  first->seen = true;
  first->failure.line = error->line;
  first->failure.column = error->int2;
  first->failure.code = error->code;
  if (error->code == XML_ERR_INTERNAL_ERROR && error->message != nullptr &&
      std::string_view(error->message).starts_with("Excessive depth")) {
    // The parser's text names an option of its own; say what is wrong with the document.
    first->failure.reason =
        "elements nested more than " + std::to_string(kXmlMaxDepth) + " levels deep";
  } else {
    first->failure.reason = OneLine(error->message);
  }
}

// The parse's handler of entity declarations: refuses the document. The parser is not asked
// to replace entity references, so a declared entity would leave a reference node where the
// readers expect text; configuration documents have no use for their own entities.
void RefuseEntityDeclaration(void* data, const xmlChar* name, int, const xmlChar*, const xmlChar*,
                             xmlChar*) {
  auto* context = static_cast<xmlParserCtxtPtr>(data);
  auto* first = static_cast<FirstError*>(context->_private);
  if (!first->seen) {
    first->seen = true;
    first->failure.line = context->input != nullptr ? context->input->line : 0;
    first->failure.column = context->input != nullptr ? context->input->col : 0;
    first->failure.code = XML_ERR_ENTITY_PROCESSING;
    first->failure.reason = "entity '" + std::string(reinterpret_cast<const char*>(name)) +
                            "' is declared; " + "configuration documents declare no entities";
  }
  xmlStopParser(context);
}

void InitializeOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    // The parser's own default, set here so that the limit has one name.
    xmlParserMaxDepth = kXmlMaxDepth;
    RegisterWindows1252ForXml();
  });
}

// No external entity or DTD is read (no NOENT, DTDLOAD, DTDATTR or DTDVALID), nothing is fetched
// from the network, no "huge" option lifts the parser's limits, and line numbers above 65535
// stay right.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_BIG_LINES;

}  // namespace

XmlDocPtr ParseXml(std::string_view bytes, const char* name, XmlParseFailure* failure) {
  InitializeOnce();
  *failure = XmlParseFailure{};
  if (bytes.size() > static_cast<size_t>(INT_MAX)) {
    failure->code = XML_ERR_DOCUMENT_END;
    failure->reason = "document too large";
    return nullptr;
  }
  xmlParserCtxtPtr context = xmlNewParserCtxt();
  if (context == nullptr) {
    failure->code = XML_ERR_NO_MEMORY;
    failure->reason = "out of memory";
    return nullptr;
  }
  FirstError first;
  context->_private = &first;
  context->sax->serror = KeepFirstError;
  context->sax->entityDecl = RefuseEntityDeclaration;
  XmlDocPtr doc(xmlCtxtReadMemory(context, bytes.data(), static_cast<int>(bytes.size()), name,
                                  nullptr, kParseOptions));
  const bool well_formed = context->wellFormed != 0;
  xmlFreeParserCtxt(context);
  if (doc != nullptr && well_formed && !first.seen) return doc;
  *failure = first.failure;
  if (!first.seen) {
    failure->code = XML_ERR_DOCUMENT_END;
    failure->reason = "not well-formed";
  }
  return nullptr;
}

bool IsBlankText(const xmlNode* node) {
  if (node == nullptr || node->type != XML_TEXT_NODE) return false;
  for (const xmlChar* c = node->content; c != nullptr && *c != '\0'; ++c) {
    if (*c != ' ' && *c != '\t' && *c != '\r' && *c != '\n') return false;
  }
  return true;
}

}  // namespace kestrum
