// What the configuration compiler found odd in a device folder: a warning (the input was used,
// perhaps not as its writer meant) or an error (the input cannot be used).
#ifndef PARVEX_CONFIG_FOLDER_FINDINGS_H_
#define PARVEX_CONFIG_FOLDER_FINDINGS_H_

#include <string>
#include <vector>

namespace kestrum {

struct FolderFinding {
  bool error = false;
  std::string text;  ///< "file:line: message" where a line is known, else "file: message"
};

using FolderFindings = std::vector<FolderFinding>;

/// True when one of `findings` is an error.
inline bool HasError(const FolderFindings& findings) {
  for (const FolderFinding& f : findings)
    if (f.error) return true;
  return false;
}

}  // namespace kestrum

#endif  // PARVEX_CONFIG_FOLDER_FINDINGS_H_
