// The printer of the print-out over a Windows device context (a printer's, or a metafile's).
#ifndef PARVEX_CONFIGUI_GDI_PRINTER_H_
#define PARVEX_CONFIGUI_GDI_PRINTER_H_

#include "configui/printer_backend.h"
#include "platform/printer_dc.h"

namespace parvex {

/// Draws on the host's device context: pages start and end on it, each line is drawn as text,
/// the device's capabilities give the page's height and offsets and the selected font the line
/// height. Does not own the context; the host opens and closes the document. Not thread-safe.
class GdiPrinter : public PrinterBackend {
 public:
  explicit GdiPrinter(kestrum::PrinterDc dc) : dc_(dc) {}

 private:
  int StartPage() override;
  int EndPage() override;
  void TextOut(int x, int y, const char* text, int length) override;
  int DeviceCaps(int index) override;
  int TextHeight() override;

  kestrum::PrinterDc dc_;
};

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_GDI_PRINTER_H_
