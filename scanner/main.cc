// parvex_sc: the particle counter's scanner. Started by the driver manager as
// "<driver>_<anything> <device number>".
#include "platform/error_number.h"
#include "runtime/driver_link.h"
#include "scanner/requests.h"
#include "scanner/scanner_process.h"

int main(int argc, char** argv) {
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
