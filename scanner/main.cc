// parvex_sc: the particle counter's scanner. Started by the driver manager as
// "<driver>_<anything> <device number>".
#include <cstdio>
#include <cstring>

#include "platform/error_number.h"
#include "runtime/driver_link.h"
#include "scanner/requests.h"
#include "scanner/scanner_process.h"

namespace {

constexpr const char kUsage[] =
    "Usage: parvex_sc DEVICE\n"
    "The particle counter's scanner, started by the driver manager once per counter with the\n"
    "device number DEVICE (1 to 65535). The driver name is the program's file name before its\n"
    "last underscore. Any other argument list makes it exit at once with status 0.\n"
    "  -h, --help  print this text and exit\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  parvex::RaiseScannerPriority();
  // A link that cannot start turns the scanner's waits into plain sleeps; the scanner says so.
  kestrum::StartDriverLink(parvex::HandleDriverRequest);
  const int link_error = kestrum::GetErrorNumber();
  std::string driver;
  uint16_t number = 0;
  if (argc == 2 && parvex::DriverNameFromProgram(argv[0], &driver)) {
    number = parvex::DeviceNumberFromArgument(argv[1]);
  }
  if (number == 0) {
    kestrum::StopDriverLink();
    return 0;
  }
  return parvex::RunScanner(driver, number, link_error);
}
