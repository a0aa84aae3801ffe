#include "configui/print_calls.h"

#include <cerrno>

#include "platform/error_number.h"

namespace parvex {
namespace {

// The page position of the print-out: kept from one print-out to the next, so a print-out that
// ends on an open page is continued there.
PageState g_page;

}  // namespace

int PrintDeviceOnModulePage(const ParvexPrinter* printer, const DevicePrintRequest& request) {
  if (printer == nullptr || request.entry == nullptr) return kestrum::FailWith(EINVAL);
  try {
    return PrintDeviceConfig(*printer, g_page, DefaultPrintSources(), request);
  } catch (...) {
    return kestrum::FailWith(ENOMEM);  // no exception crosses into the host
  }
}

int PrintBlockOnModulePage(const ParvexPrinter* printer, const ParvexDeviceEntry* entry,
                           int32_t block, int32_t first, int32_t last,
                           const ParvexChannelRecord* records) {
  if (printer == nullptr || entry == nullptr) return kestrum::FailWith(EINVAL);
  try {
    return PrintBlockConfig(*printer, g_page, DefaultPrintSources(), *entry, block, first, last,
                            records);
  } catch (...) {
    return kestrum::FailWith(ENOMEM);  // no exception crosses into the host
  }
}

}  // namespace parvex
