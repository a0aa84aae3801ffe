// Fresh folders in the user's temporary folder, for the files of the driver-manager stand-in.
#ifndef PARVEX_TOOLS_DM_TEMPORARY_FOLDER_H_
#define PARVEX_TOOLS_DM_TEMPORARY_FOLDER_H_

#include <string>
#include <string_view>

namespace kestrum::dm {

/// Creates a folder that did not exist before, "<stem><random number>" in the temporary folder
/// (TMPDIR, else /tmp, on Linux; the user's temporary folder on Windows). Returns its path, or ""
/// when none could be made.
std::string MakeTemporaryFolder(std::string_view stem);

}  // namespace kestrum::dm

#endif  // PARVEX_TOOLS_DM_TEMPORARY_FOLDER_H_
