// The print exports' common part, for any printer a platform's exports build: the module's one
// page position, argument checks, and no exception reaching the host.
#ifndef PARVEX_CONFIGUI_PRINT_CALLS_H_
#define PARVEX_CONFIGUI_PRINT_CALLS_H_

#include <cstdint>

#include "configui/parvex_cf.h"
#include "configui/print_out.h"

namespace parvex {

/// PrintDeviceConfig on `printer` at the module's page position with the real sources. Returns
/// -1 with error number EINVAL when `printer` or the request's entry is null, ENOMEM when the
/// print-out throws, else the print-out's result.
int PrintDeviceOnModulePage(const ParvexPrinter* printer, const DevicePrintRequest& request);

/// PrintBlockConfig on `printer` at the module's page position with the real sources; failures
/// as PrintDeviceOnModulePage.
int PrintBlockOnModulePage(const ParvexPrinter* printer, const ParvexDeviceEntry* entry,
                           int32_t block, int32_t first, int32_t last,
                           const ParvexChannelRecord* records);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_PRINT_CALLS_H_
