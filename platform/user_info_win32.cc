#include <windows.h>
// <windows.h> maps these names onto its own ANSI or wide functions; the system's functions of
// the same name are meant here, and the Windows ones are called by their ANSI names.
#undef GetComputerName
#undef GetUserName

#include <lmcons.h>

#include <cstdlib>

#include "platform/error_number.h"
#include "platform/user_info.h"

namespace kestrum {

std::string LocalAppDataFolder() {
  const char* data = std::getenv("LOCALAPPDATA");
  return data && *data ? data : "";
}

int GetComputerName(std::string* name) {
  char buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof buffer;
  if (!GetComputerNameA(buffer, &size)) return FailFromLastError();
  name->assign(buffer, size);
  return 0;
}

int GetUserName(std::string* name) {
  char buffer[UNLEN + 1] = {};
  DWORD size = sizeof buffer;
  if (!GetUserNameA(buffer, &size)) return FailFromLastError();
  name->assign(buffer);  // size counts the terminating zero
  return 0;
}

}  // namespace kestrum
