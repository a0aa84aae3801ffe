#include "configui/gdi_printer_win32.h"

#include <windows.h>

// <windows.h> renames TextOut to TextOutA; the backend's operation keeps its own name.
#undef TextOut

// The print-out asks for capabilities by the system's own indexes.
static_assert(PARVEX_CAP_PHYSICALHEIGHT == PHYSICALHEIGHT);
static_assert(PARVEX_CAP_PHYSICALOFFSETX == PHYSICALOFFSETX);
static_assert(PARVEX_CAP_PHYSICALOFFSETY == PHYSICALOFFSETY);

namespace parvex {

int GdiPrinter::StartPage() { return ::StartPage(dc_); }

int GdiPrinter::EndPage() { return ::EndPage(dc_); }

void GdiPrinter::TextOut(int x, int y, const char* text, int length) {
  ::TextOutA(dc_, x, y, text, length);
}

int GdiPrinter::DeviceCaps(int index) { return ::GetDeviceCaps(dc_, index); }

int GdiPrinter::TextHeight() {
  TEXTMETRICA metrics;
  // 0 makes the print-out refuse the page: no line height, no lines.
  return ::GetTextMetricsA(dc_, &metrics) ? metrics.tmHeight : 0;
}

}  // namespace parvex
