// The scanner process: from the command line to the exit status. The program's own file name
// names the driver (the text before its last underscore); its one argument is the device
// number. Refusals of the command line end the process with status 0 and no message.
#ifndef PARVEX_SCANNER_SCANNER_PROCESS_H_
#define PARVEX_SCANNER_SCANNER_PROCESS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace parvex {

/// Messages of process start.
inline constexpr char kGetConfigDirFailed[] = "CAN'T GET CONFIG DIR -%04d";
inline constexpr char kAccessConfigDirFailed[] = "CAN'T ACCESS CONFIG DIR -%04d";
inline constexpr char kOpenMailslotFailed[] = "CAN'T OPEN MAILSLOT -%04d";

/// Sets `*driver` to the driver name of the program path `program`: the path cut at its last
/// underscore, then the text after the last '/' or '\' of what remains. Returns false when the
/// path has no underscore.
bool DriverNameFromProgram(std::string_view program, std::string* driver);

/// Returns the device number of the argument `argument` (decimal, as atoi reads it): its low
/// 16 bits; 0 means no device.
uint16_t DeviceNumberFromArgument(const char* argument);

/// Returns true when the device folder name `name` cannot lead out of the folder it is looked
/// up in, on any platform: it holds no '/', '\', ':' and no "..".
bool UsableAsDeviceFolderName(std::string_view name);

/// Asks for real-time scheduling, failing that for a lower nice value. A refusal is not an
/// error.
void RaiseScannerPriority();

/// Runs the scanner of device `number` of `driver`, with the driver-manager link already
/// started, and returns the process's exit status: 0 without a device record, else the error
/// number of the exit path (0 after a stop request). Stops the link before it returns.
/// `link_error` is the error number with which the link failed to start (0 when it runs): the
/// scanner then goes on without requests, and says so once its device is initialised, as the
/// device's error message ("CAN'T OPEN MAILSLOT -%04d") and in one system-log line.
int RunScanner(const std::string& driver, uint16_t number, int link_error);

}  // namespace parvex

#endif  // PARVEX_SCANNER_SCANNER_PROCESS_H_
