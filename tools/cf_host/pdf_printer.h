// A printer that draws the print-out into a PDF file with a fixed-pitch font.
#ifndef PARVEX_TOOLS_CF_HOST_PDF_PRINTER_H_
#define PARVEX_TOOLS_CF_HOST_PDF_PRINTER_H_

#include <QFont>
#include <QPainter>
#include <QPdfWriter>

#include <memory>

#include "configui/parvex_cf.h"

namespace parvex {

/// Landscape A4 pages at 300 device units per inch, a quarter-inch printable offset, a 7-point
/// fixed-pitch font (the widest table row fits a line). Not thread-safe; must outlive the context.
class PdfPrinter {
 public:
  explicit PdfPrinter(const QString& file);
  ~PdfPrinter();

  /// The printer context to hand to the module; its `user` is this object.
  ParvexPrinter context();

  /// Ends the document (and a page the print-out left open). Returns false when the file
  /// could not be written.
  bool Finish();

  int pages() const { return pages_; }

 private:
  static int StartPage(void* user);
  static int EndPage(void* user);
  static void TextOut(void* user, int x, int y, const char* text, int length);
  static int DeviceCaps(void* user, int index);
  static int TextHeight(void* user);

  QPdfWriter writer_;
  QPainter painter_;
  QFont font_;
  int pages_ = 0;
  bool failed_ = false;
};

}  // namespace parvex

#endif  // PARVEX_TOOLS_CF_HOST_PDF_PRINTER_H_
