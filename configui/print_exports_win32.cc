// The two print exports of parvex_cf.dll: the print-out on the host's printer device context.
#include "configui/gdi_printer_win32.h"
#include "configui/parvex_cf.h"
#include "configui/print_calls.h"

// After the module's headers: <windows.h> renames TextOut, an operation of the printer backend.
#include <windows.h>

namespace parvex {
namespace {

// Shows the wait cursor while it lives and then puts the host's cursor back.
class WaitCursor {
 public:
  WaitCursor() : previous_(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { SetCursor(previous_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

}  // namespace
}  // namespace parvex

extern "C" {

int PrintAllConfig(HDC dc, const char* server, ParvexDeviceEntry* entry, uint8_t auto_enable,
                   uint8_t save_outputs, uint8_t save_by_tag, uint32_t save_rate,
                   uint8_t* config_block, ParvexChannelRecord** channel_arrays) {
  parvex::WaitCursor wait;
  parvex::GdiPrinter printer(dc);
  ParvexPrinter context = printer.context();
  parvex::DevicePrintRequest request{server ? server : "", entry,     auto_enable,  save_outputs,
                                     save_by_tag,          save_rate, config_block, channel_arrays};
  return parvex::PrintDeviceOnModulePage(dc ? &context : nullptr, request);
}

int PrintConfig(HDC dc, const char*, ParvexDeviceEntry* entry, int32_t block, int32_t first,
                int32_t last, uint8_t*, ParvexChannelRecord* records) {
  parvex::WaitCursor wait;
  parvex::GdiPrinter printer(dc);
  ParvexPrinter context = printer.context();
  return parvex::PrintBlockOnModulePage(dc ? &context : nullptr, entry, block, first, last,
                                        records);
}

}  // extern "C"
