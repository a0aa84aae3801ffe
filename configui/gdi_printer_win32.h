// The printer of the print-out over a Windows device context (a printer's, or a metafile's).
#ifndef PARVEX_CONFIGUI_GDI_PRINTER_WIN32_H_
#define PARVEX_CONFIGUI_GDI_PRINTER_WIN32_H_

#include "configui/printer_backend.h"

struct HDC__;  // HDC is HDC__* with STRICT; this header needs no <windows.h>

namespace parvex {

/// Draws on the host's device context: StartPage and EndPage start and end pages, TextOutA
/// draws each line, GetDeviceCaps gives the page's height and offsets and GetTextMetricsA the
/// line height (tmHeight) of the font selected in the context. Does not own the context; the
/// host opens and closes the document. Not thread-safe.
class GdiPrinter : public PrinterBackend {
 public:
  explicit GdiPrinter(HDC__* dc) : dc_(dc) {}

 private:
  int StartPage() override;
  int EndPage() override;
  void TextOut(int x, int y, const char* text, int length) override;
  int DeviceCaps(int index) override;
  int TextHeight() override;

  HDC__* dc_;
};

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_GDI_PRINTER_WIN32_H_
