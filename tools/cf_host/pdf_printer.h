// A printer that draws the print-out into a PDF file with a fixed-pitch font.
#ifndef PARVEX_TOOLS_CF_HOST_PDF_PRINTER_H_
#define PARVEX_TOOLS_CF_HOST_PDF_PRINTER_H_

#include <QFile>
#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QString>

#include <memory>

#include "configui/parvex_cf.h"
#include "configui/printer_backend.h"

namespace parvex {

/// Landscape A4 pages at 300 device units per inch, a quarter-inch printable offset, a 7-point
/// fixed-pitch font (the widest table row fits a line). The file is created (or emptied) at
/// construction; when that fails, every page start is refused. Not thread-safe; must outlive the
/// context.
class PdfPrinter : public PrinterBackend {
 public:
  explicit PdfPrinter(const QString& file);
  ~PdfPrinter();

  /// Ends the document (and a page the print-out left open) and closes the file. Returns false
  /// when the file could not be written; error() then says why.
  bool Finish();

  /// Why the file could not be written; empty while nothing failed.
  const QString& error() const { return error_; }

  int pages() const { return pages_; }

 private:
  int StartPage() override;
  int EndPage() override;
  void TextOut(int x, int y, const char* text, int length) override;
  int DeviceCaps(int index) override;
  int TextHeight() override;

  void Fail(const QString& reason);

  QFile file_;
  QPdfWriter writer_;  // writes into file_, so it comes after it
  QPainter painter_;
  QFont font_;
  int pages_ = 0;
  QString error_;
};

}  // namespace parvex

#endif  // PARVEX_TOOLS_CF_HOST_PDF_PRINTER_H_
