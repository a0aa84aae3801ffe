// The computer name and user name under which this process writes channels and sends alarm
// records.
#ifndef PARVEX_RUNTIME_PROCESS_NAMES_H_
#define PARVEX_RUNTIME_PROCESS_NAMES_H_

namespace kestrum {

/// Returns this computer's name, cut to 15 characters ("" when it cannot be read). Read once
/// per process; the text is owned by the library and never changes afterwards.
const char* ProcessComputerName();

/// Returns the login name of the process's effective user, cut to 32 characters ("" when it
/// cannot be read). Read once per process; owned by the library.
const char* ProcessUserName();

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_PROCESS_NAMES_H_
