// The C printer context as a C++ class: a host's printer derives from PrinterBackend and
// implements the five operations; context() hands out the ParvexPrinter that calls them.
#ifndef PARVEX_CONFIGUI_PRINTER_BACKEND_H_
#define PARVEX_CONFIGUI_PRINTER_BACKEND_H_

#include "configui/parvex_cf.h"

namespace parvex {

/// Base of the printers this project ships. Not thread-safe; must outlive every context it
/// hands out.
class PrinterBackend {
 public:
  virtual ~PrinterBackend() = default;

  /// The printer context to hand to the print-out; its `user` is this object.
  ParvexPrinter context() {
    return ParvexPrinter{this,         &CallStartPage,  &CallEndPage,
                         &CallTextOut, &CallDeviceCaps, &CallTextHeight};
  }

 protected:
  /// Starts a page; returns a value above 0 on success.
  virtual int StartPage() = 0;
  /// Ends the current page; returns a value above 0 on success.
  virtual int EndPage() = 0;
  /// Draws `length` characters of `text` with their top left corner at x, y.
  virtual void TextOut(int x, int y, const char* text, int length) = 0;
  /// Returns the device capability `index` (one of PARVEX_CAP_*).
  virtual int DeviceCaps(int index) = 0;
  /// Returns the height of a line of text, in device units.
  virtual int TextHeight() = 0;

 private:
  static PrinterBackend* Of(void* user) { return static_cast<PrinterBackend*>(user); }
  static int CallStartPage(void* user) { return Of(user)->StartPage(); }
  static int CallEndPage(void* user) { return Of(user)->EndPage(); }
  static void CallTextOut(void* user, int x, int y, const char* text, int length) {
    Of(user)->TextOut(x, y, text, length);
  }
  static int CallDeviceCaps(void* user, int index) { return Of(user)->DeviceCaps(index); }
  static int CallTextHeight(void* user) { return Of(user)->TextHeight(); }
};

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_PRINTER_BACKEND_H_
