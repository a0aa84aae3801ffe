// Validation of a configuration XML file against an XML schema (libxml2's XML Schema support).
#ifndef PARVEX_CONFIG_SCHEMA_CHECK_H_
#define PARVEX_CONFIG_SCHEMA_CHECK_H_

#include <string>
#include <string_view>

#include "config/folder_findings.h"

namespace kestrum {

/// Validates the file `path` against the schema whose text is `schema`. Appends every error
/// the validator reports, not only the first, as "path:line:column: message" (column 0 where
/// the validator gives none), each an error finding. Returns 0 when the file is valid, else -1
/// (also when the file does not parse or the schema does not compile; that is reported too).
int CheckAgainstSchema(const std::string& path, std::string_view schema, FolderFindings* findings);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_SCHEMA_CHECK_H_
