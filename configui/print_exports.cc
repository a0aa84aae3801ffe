// The two print exports of parvex_cf.dll: the print-out on the host's printer device context.
#include "configui/gdi_printer.h"
#include "configui/parvex_cf.h"
#include "configui/print_calls.h"
#include "platform/printer_dc.h"

extern "C" {

int PrintAllConfig(ParvexPrintTarget dc, const char* server, ParvexDeviceEntry* entry,
                   uint8_t auto_enable, uint8_t save_outputs, uint8_t save_by_tag,
                   uint32_t save_rate, uint8_t* config_block,
                   ParvexChannelRecord** channel_arrays) {
  kestrum::WaitCursor wait;
  parvex::GdiPrinter printer(dc);
  ParvexPrinter context = printer.context();
  parvex::DevicePrintRequest request{server ? server : "", entry,     auto_enable,  save_outputs,
                                     save_by_tag,          save_rate, config_block, channel_arrays};
  return parvex::PrintDeviceOnModulePage(dc ? &context : nullptr, request);
}

int PrintConfig(ParvexPrintTarget dc, const char*, ParvexDeviceEntry* entry, int32_t block,
                int32_t first, int32_t last, uint8_t*, ParvexChannelRecord* records) {
  kestrum::WaitCursor wait;
  parvex::GdiPrinter printer(dc);
  ParvexPrinter context = printer.context();
  return parvex::PrintBlockOnModulePage(dc ? &context : nullptr, entry, block, first, last,
                                        records);
}

}  // extern "C"
