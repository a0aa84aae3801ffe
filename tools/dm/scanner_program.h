// The program file a scanner is started from. A scanner takes its driver name from its own file
// name ("<driver>_sc"), so the driver manager starts it under that name.
#ifndef PARVEX_TOOLS_DM_SCANNER_PROGRAM_H_
#define PARVEX_TOOLS_DM_SCANNER_PROGRAM_H_

#include <string>

namespace kestrum::dm {

#ifndef _WIN32
/// The program file name under which the scanner of a device with driver `driver` runs:
/// "<driver>_sc", in the instance's "bin" folder. (Windows has no instance folder.)
std::string ScannerLinkPath(const std::string& driver);
#endif

/// Gives `program` the file name of the scanner of `driver` and returns the path to start it
/// from, or "" with a message in `*error`.
/// Linux: the symbolic link ScannerLinkPath(driver) to `program`, made anew.
/// Windows: `program` itself (".exe" added to a name without extension) when its file name is
/// "<driver>_sc.exe" in any case; else a hard link of that name to it (a copy, where the two
/// folders lie on different volumes) in `*folder`, a fresh folder in the user's temporary
/// folder made on the first call that needs one (the caller removes it). A name a running
/// scanner holds (Windows keeps a running program's file) is kept when it is the same file or
/// a copy no older than `program`.
std::string PrepareScannerProgram(const std::string& driver, const std::string& program,
                                  std::string* folder, std::string* error);

}  // namespace kestrum::dm

#endif  // PARVEX_TOOLS_DM_SCANNER_PROGRAM_H_
