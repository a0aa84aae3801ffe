// Who and where the process runs: computer name, user name, the user's data folder.
#ifndef PARVEX_PLATFORM_USER_INFO_H_
#define PARVEX_PLATFORM_USER_INFO_H_

#include <string>

namespace kestrum {

/// The user's local application-data folder: $XDG_DATA_HOME when set and not empty, else
/// $HOME/.local/share; "" when neither variable is set (the folder may not exist yet). On Windows
/// it is %LOCALAPPDATA%, "" when that is not set.
std::string LocalAppDataFolder();

/// Sets `*name` to this computer's name (gethostname; the NetBIOS name on Windows). Returns 0, or
/// -1 with the error number set.
int GetComputerName(std::string* name);

/// Sets `*name` to the login name of the process's effective user. Returns 0, or -1 with the
/// error number set (ENOENT when the user has no entry in the user database; the Windows error
/// on Windows).
int GetUserName(std::string* name);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_USER_INFO_H_
