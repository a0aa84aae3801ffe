// The decompiler's look at the binary files of a device folder before it reads them: what
// cannot be read as that file, and what would be left out without a word.
#ifndef PARVEX_CONFIG_BINARY_INPUTS_H_
#define PARVEX_CONFIG_BINARY_INPUTS_H_

#include <cstdint>
#include <string>

#include "config/folder_findings.h"

namespace kestrum {

/// Looks at the file `name` of `folder`, which holds a `header`-byte part and then whole
/// `record`-byte records (0: no records). Returns false with an error finding when it cannot be
/// read as that file: not a regular file (a folder where a file belongs), or shorter than
/// `least` bytes. Appends a warning for bytes past the header that make no whole record
/// ("ai: 100 bytes after the last whole record ignored") and for a file between `least` and
/// `header` bytes (its missing bytes read as zero).
bool BinaryInputUsable(const std::string& folder, const std::string& name, uint64_t least,
                       uint64_t header, uint64_t record, FolderFindings* findings);

/// BinaryInputUsable for "config" and "saveconfig" (both must be usable).
bool BinaryDeviceInputsUsable(const std::string& folder, FolderFindings* findings);

/// BinaryInputUsable for the binary channel file of `kind`.
bool BinaryChannelInputUsable(const std::string& folder, int kind, FolderFindings* findings);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_BINARY_INPUTS_H_
