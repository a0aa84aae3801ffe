#include "config/schema_check.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

#include <memory>

namespace kestrum {
namespace {

// Collects the errors of one validation.
struct Collector {
  std::string path;
  FolderFindings* findings;
  size_t count = 0;
};

void Collect(void* data, xmlErrorPtr error) {
  auto* c = static_cast<Collector*>(data);
  if (error == nullptr || error->level < XML_ERR_ERROR) return;
  std::string message = error->message ? error->message : "unknown error";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  const std::string file = error->file != nullptr ? error->file : c->path;
  c->findings->push_back({true, file + ":" + std::to_string(error->line) + ":" +
                                    std::to_string(error->int2) + ": " + message});
  ++c->count;
}

// Routes the parser's own errors (a file that is not well-formed) to the collector while it
// lives, and restores the handler that was set before.
class ParserErrorsTo {
 public:
  explicit ParserErrorsTo(Collector* c)
      : previous_(xmlStructuredError), previous_context_(xmlStructuredErrorContext) {
    xmlSetStructuredErrorFunc(c, Collect);
  }
  ~ParserErrorsTo() { xmlSetStructuredErrorFunc(previous_context_, previous_); }
  ParserErrorsTo(const ParserErrorsTo&) = delete;
  ParserErrorsTo& operator=(const ParserErrorsTo&) = delete;

 private:
  xmlStructuredErrorFunc previous_;
  void* previous_context_;
};

}  // namespace

int CheckAgainstSchema(const std::string& path, std::string_view schema, FolderFindings* findings) {
  Collector collector{path, findings};
  ParserErrorsTo route(&collector);
  std::unique_ptr<xmlSchemaParserCtxt, decltype(&xmlSchemaFreeParserCtxt)> parser(
      xmlSchemaNewMemParserCtxt(schema.data(), static_cast<int>(schema.size())),
      xmlSchemaFreeParserCtxt);
  if (!parser) {
    findings->push_back({true, path + ": the schema cannot be read"});
    return -1;
  }
  Collector schema_errors{"schema", findings};
  xmlSchemaSetParserStructuredErrors(parser.get(), Collect, &schema_errors);
  std::unique_ptr<xmlSchema, decltype(&xmlSchemaFree)> compiled(xmlSchemaParse(parser.get()),
                                                                xmlSchemaFree);
  if (!compiled) {
    findings->push_back({true, path + ": the schema does not compile"});
    return -1;
  }
  std::unique_ptr<xmlSchemaValidCtxt, decltype(&xmlSchemaFreeValidCtxt)> validator(
      xmlSchemaNewValidCtxt(compiled.get()), xmlSchemaFreeValidCtxt);
  if (!validator) {
    findings->push_back({true, path + ": no memory for the validation"});
    return -1;
  }
  xmlSchemaSetValidStructuredErrors(validator.get(), Collect, &collector);
  const int result = xmlSchemaValidateFile(validator.get(), path.c_str(), XML_PARSE_NONET);
  if (result != 0 && collector.count == 0) {
    findings->push_back({true, path + ": cannot be validated (" + std::to_string(result) + ")"});
  }
  return result == 0 && collector.count == 0 ? 0 : -1;
}

}  // namespace kestrum
