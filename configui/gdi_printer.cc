#include "configui/gdi_printer.h"

// The print-out asks for capabilities by the device's own indexes.
static_assert(PARVEX_CAP_PHYSICALHEIGHT == kestrum::kPrinterCapPhysicalHeight);
static_assert(PARVEX_CAP_PHYSICALOFFSETX == kestrum::kPrinterCapPhysicalOffsetX);
static_assert(PARVEX_CAP_PHYSICALOFFSETY == kestrum::kPrinterCapPhysicalOffsetY);

namespace parvex {

int GdiPrinter::StartPage() { return kestrum::StartPrinterPage(dc_) == 0 ? 1 : 0; }

int GdiPrinter::EndPage() { return kestrum::EndPrinterPage(dc_) == 0 ? 1 : 0; }

void GdiPrinter::TextOut(int x, int y, const char* text, int length) {
  kestrum::PrinterTextOut(dc_, x, y, text, length);
}

int GdiPrinter::DeviceCaps(int index) { return kestrum::PrinterDeviceCaps(dc_, index); }

// 0 makes the print-out refuse the page: no line height, no lines.
int GdiPrinter::TextHeight() { return kestrum::PrinterTextHeight(dc_); }

}  // namespace parvex
