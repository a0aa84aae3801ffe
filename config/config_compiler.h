// Turning a device folder's XML configuration into the binary files the loaders read without
// XML support, and back.
//
// Compiling reads "config.xml" and every "<kind>.xml" of the folder with the loaders' own XML
// readers, through the field descriptions of the folder's extension module or, without one, the
// particle counter's built-in description of the device block; it writes "config",
// "saveconfig" and one "<kind>" file per kind (8-byte write-time stamp, then the records).
// Decompiling reads those binary files and writes the XML forms with the descriptions' format
// operations. Every file is written whole (a temporary file renamed into place) and only after
// every input was read without error, so a failure leaves the folder as it was.
#ifndef PARVEX_CONFIG_CONFIG_COMPILER_H_
#define PARVEX_CONFIG_CONFIG_COMPILER_H_

#include <string>
#include <vector>

#include "config/folder_findings.h"

namespace kestrum {

/// Compiles the XML files of `folder`. Each channel file gets `channels` records (the table's
/// channel count; 0: as many as the highest id), and every Channel element must select a slot
/// of its own. Returns 0 with the names of the files written in `*written`, or -1 with a message
/// naming the file and, for a bad field, the loader's own message, for a bad id the id and its
/// line, in `*error`. Settings that would load but not work are refused too (a text longer than
/// its field, a serial port the scanner could not open); every finding, the warnings about
/// unknown elements included, goes to `*findings` when given (nothing is written on an error).
int CompileConfigFolder(const std::string& folder, std::vector<std::string>* written,
                        std::string* error, int channels = 0, FolderFindings* findings = nullptr);

/// Reads the XML files of `folder` as compiling would, writing nothing, and appends every
/// finding (each failed file's loader message, the compiler's own checks) to `*findings`.
/// Returns 0, or -1 when a finding is an error.
int CheckConfigFolder(const std::string& folder, int channels, FolderFindings* findings);

/// Writes the XML forms of the binary files of `folder`. Channels whose records are all zero
/// are left out (they read back as blank channels), except the first. A float field is written
/// as the shortest text that reads back to the same float. Returns 0 with the names
/// of the files written, or -1 with a message in `*error`. Replaces the XML files in place.
int DecompileConfigFolder(const std::string& folder, std::vector<std::string>* written,
                          std::string* error);

/// As DecompileConfigFolder, but writes into the existing folder `to`, where a file in the way
/// is replaced only with `replace` (else nothing is written). Every odd input goes to
/// `*findings`: an input that cannot be read (a folder where a file belongs, a channel file
/// shorter than its stamp) is an error and left out while the others are still written; bytes
/// after the last whole record are a warning. Returns 0, or -1 when a finding is an error.
int DecompileConfigFolderTo(const std::string& folder, const std::string& to, bool replace,
                            std::vector<std::string>* written, FolderFindings* findings);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_CONFIG_COMPILER_H_
