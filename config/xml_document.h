// Thin access to XML configuration files, with one process-wide XML status.
//
// The configuration loaders run a chain of steps (load, find, read text, remove) and check the
// status once at the end: the first failing operation sets a negative status and an error text,
// and every operation is inert (answers none, changes nothing) while the status is negative, so
// the first message survives. Creating a document starts a new chain (status 0, empty text).
//
// The status, the texts and the returned buffers are shared by the whole process and are not
// guarded: one loader at a time.
#ifndef PARVEX_CONFIG_XML_DOCUMENT_H_
#define PARVEX_CONFIG_XML_DOCUMENT_H_

namespace kestrum {

/// An XML document. Created by xml_CreateDocument, freed by xml_ReleaseDocument.
struct XmlDocument;
/// A node of a document; valid until the node is removed or the document is released.
struct XmlNode;

/// Status code of a load whose file does not exist (the component's "object not found").
inline constexpr int kXmlFileNotFound = static_cast<int>(0x800C0006u);
/// Status code of a failed component operation (an XPath query it cannot run, a failed removal).
inline constexpr int kXmlOperationFailed = static_cast<int>(0x80004005u);

/// Creates an empty document and resets the status to 0 with an empty error text. Returns the
/// document (owned by the caller, free it with xml_ReleaseDocument), or null on failure with
/// the status and "CoCreateInstance of MSXML6 failed 0x%x".
XmlDocument* xml_CreateDocument();

/// Loads `path` into `doc` (config/xml_parser.h: every well-formedness error, and elements
/// nested more than kXmlMaxDepth levels inside the document element, refuse the file; nothing
/// but the file is read). A missing file gives "Xml Load Failed (%s), File Not Found" and
/// status kXmlFileNotFound; a file that cannot be read "Xml Load Failed (%s) %s 0x%8x" with the
/// system's reason; a refused file "Xml Load Failed (%s) %d:%d: %s 0x%8x" with the line and
/// column of the first error, the parser's reason and a negative code, which becomes the
/// status. Every failure sets the platform's last error to kXmlParseError. Success leaves the
/// status as it was.
void xml_Load(XmlDocument* doc, const char* path);

/// Returns the document element, or null (status -1, "No Root element found").
XmlNode* xml_GetRoot(XmlDocument* doc);

/// Returns the first node that `name`, used as an XPath query relative to `node`, selects, or
/// null. Nothing selected leaves the status good; a query that cannot run gives
/// "xml_FindByName('%s') failed 0x%x".
XmlNode* xml_FindByName(XmlNode* node, const char* name);

/// Returns the first match of the query "element[@attribute=value]" relative to `node`, the
/// value unquoted so that the comparison is numeric (id=3 also matches "03" and "3.0"), or null.
/// A query that cannot run, or is longer than 127 characters, gives
/// "xml_FindByAttribute('%s') failed 0x%x".
XmlNode* xml_FindByAttribute(XmlNode* node, const char* element, const char* attribute,
                             const char* value);

/// Returns the first child node of `node` (of any node type; texts of white space only are
/// not nodes here), or null.
XmlNode* xml_FirstChild(XmlNode* node);

/// Returns the next sibling of `node` (as xml_FirstChild counts nodes), or null.
XmlNode* xml_NextSibling(XmlNode* node);

/// Removes `child` from `parent`. Returns 0, or -1 when the status is bad or a node is missing
/// (nothing done), or kXmlOperationFailed with "xml_RemoveChild() failed 0x%x" when `child` is
/// not a child of `parent`. The caller's handle of `child` is invalid afterwards.
int xml_RemoveChild(XmlNode* parent, XmlNode* child);

/// Returns a copy of the element's first text child (the empty text when it has none) in
/// Windows-1252, the code page of stored texts (config/windows_1252.h), which the caller frees
/// with free(); null when the status is bad or the element is missing, and null with status -1
/// and "<name> character U+%04X is not in Windows-1252" (the element's name) when the text holds a
/// character the code page cannot. Only the first text node counts, CDATA sections are not text,
/// and neither is a text of white space only.
char* xml_getText(XmlNode* element);

/// Gives up the caller's handle of `node`. Nodes are owned by their document, so this only
/// documents the end of the handle's use.
void xml_ReleaseNode(XmlDocument* doc, XmlNode* node);

/// Frees a document made by xml_CreateDocument and every node in it (null is ignored).
void xml_ReleaseDocument(XmlDocument* doc);

/// Returns the XML status: 0 good, negative failed.
int xml_GetStatus();

/// Sets the status; a non-null `text` (cut to 255 characters) becomes the error text.
void xml_SetStatus(int code, const char* text);

/// Stores the folder component and the context text of the failure text (each cut to 256
/// characters); a null argument leaves that part unchanged.
void xml_SetContext(const char* folder, const char* context);

/// Returns the failure text: folder component, context text, " - ", error text, in a
/// process-wide buffer that the next call overwrites.
const char* xml_GetErrorText();

/// Returns the error text alone (the message of the first failure of the chain).
const char* xml_GetStatusText();

}  // namespace kestrum

#endif  // PARVEX_CONFIG_XML_DOCUMENT_H_
