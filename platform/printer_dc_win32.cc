#include "platform/printer_dc.h"

#include <windows.h>

#include "platform/error_number.h"

static_assert(kestrum::kPrinterCapPhysicalHeight == PHYSICALHEIGHT);
static_assert(kestrum::kPrinterCapPhysicalOffsetX == PHYSICALOFFSETX);
static_assert(kestrum::kPrinterCapPhysicalOffsetY == PHYSICALOFFSETY);

namespace kestrum {

int StartPrinterPage(PrinterDc dc) { return ::StartPage(dc) > 0 ? 0 : FailFromLastError(); }

int EndPrinterPage(PrinterDc dc) { return ::EndPage(dc) > 0 ? 0 : FailFromLastError(); }

void PrinterTextOut(PrinterDc dc, int x, int y, const char* text, int length) {
  ::TextOutA(dc, x, y, text, length);
}

int PrinterDeviceCaps(PrinterDc dc, int index) { return ::GetDeviceCaps(dc, index); }

int PrinterTextHeight(PrinterDc dc) {
  TEXTMETRICA metrics;
  return ::GetTextMetricsA(dc, &metrics) ? metrics.tmHeight : 0;
}

WaitCursor::WaitCursor() : previous_(::SetCursor(::LoadCursor(nullptr, IDC_WAIT))) {}

WaitCursor::~WaitCursor() { ::SetCursor(static_cast<HCURSOR>(previous_)); }

}  // namespace kestrum
