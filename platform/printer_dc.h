// Drawing on a printer's device context (a printer's, or a metafile recorded for a printer):
// pages, lines of text and the page's measures. Windows only: elsewhere the print-out goes to
// a printer the host hands over.
#ifndef PARVEX_PLATFORM_PRINTER_DC_H_
#define PARVEX_PLATFORM_PRINTER_DC_H_

struct HDC__;  // an HDC is HDC__* with STRICT; this header needs no <windows.h>

namespace kestrum {

/// The host's device context; not owned by these calls.
using PrinterDc = HDC__*;

/// Indexes of the page's measures for PrinterDeviceCaps, in device units: the page's whole
/// height and the offsets of its printable area.
inline constexpr int kPrinterCapPhysicalHeight = 111;
inline constexpr int kPrinterCapPhysicalOffsetX = 112;
inline constexpr int kPrinterCapPhysicalOffsetY = 113;

/// Starts a page (StartPage); returns 0, or -1 with the error number set.
int StartPrinterPage(PrinterDc dc);
/// Ends the current page (EndPage); returns 0, or -1 with the error number set.
int EndPrinterPage(PrinterDc dc);
/// Draws `length` characters of `text` (narrow, not terminated) with their top left corner at
/// x, y in device units.
void PrinterTextOut(PrinterDc dc, int x, int y, const char* text, int length);
/// Returns the device capability `index` (one of kPrinterCap*); 0 when the device has none.
int PrinterDeviceCaps(PrinterDc dc, int index);
/// Returns the height of a line of the font selected in the context (tmHeight), or 0 when it
/// cannot be read.
int PrinterTextHeight(PrinterDc dc);

/// Shows the wait cursor while it lives and then puts the previous cursor back.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  void* previous_;  // the HCURSOR shown before
};

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_PRINTER_DC_H_
