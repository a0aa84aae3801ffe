// The one way configuration XML is parsed: a conforming, non-validating XML 1.0 parse that
// refuses every well-formedness error, never reads anything but the bytes it is given (no
// external entity, no external DTD, no network), never prints, and refuses elements nested more
// than kXmlMaxDepth levels inside the document element, and documents that declare entities of
// their own (their references would not be replaced by text).
#ifndef PARVEX_CONFIG_XML_PARSER_H_
#define PARVEX_CONFIG_XML_PARSER_H_

#include <memory>
#include <string>
#include <string_view>

#include <libxml/tree.h>

namespace kestrum {

/// The deepest nesting of elements inside the document element that a document may have: the
/// parser's own limit (without its "huge" option).
inline constexpr int kXmlMaxDepth = 256;

/// Why a parse failed: where (line and column counted from 1; 0 when unknown), the parser's
/// code for the reason and its text (one line, no trailing newline).
struct XmlParseFailure {
  int line = 0;
  int column = 0;
  int code = 0;
  std::string reason;
};

/// Frees a parsed document.
struct XmlDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocFree>;

/// Parses `bytes` as a whole document in whatever encoding it declares or shows (texts are
/// UTF-8 inside), `name` naming it in the document. Whitespace-only texts are kept. Returns the
/// document, or null with the first reason in `*failure`. Safe to call from several threads.
XmlDocPtr ParseXml(std::string_view bytes, const char* name, XmlParseFailure* failure);

/// True when `node` is a text node of white space only (space, tab, carriage return, line
/// feed), which the configuration readers do not count as a node.
bool IsBlankText(const xmlNode* node);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_XML_PARSER_H_
