#include "tools/cf_host/pdf_printer.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>

namespace parvex {
namespace {
constexpr int kResolution = 300;
constexpr int kOffset = kResolution / 4;
}  // namespace

PdfPrinter::PdfPrinter(const QString& file) : file_(file), writer_(&file_) {
  if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) Fail(file_.errorString());
  writer_.setResolution(kResolution);
  writer_.setPageLayout(
      QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(0, 0, 0, 0)));
  writer_.setCreator("parvex_cf_host");
  writer_.setTitle("Device configuration");
  font_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font_.setStyleHint(QFont::Monospace);
  font_.setFixedPitch(true);
  font_.setPointSizeF(7);
}

PdfPrinter::~PdfPrinter() { Finish(); }

void PdfPrinter::Fail(const QString& reason) {
  if (error_.isEmpty()) error_ = reason;
}

bool PdfPrinter::Finish() {
  if (painter_.isActive() && !painter_.end()) Fail("the document could not be ended");
  if (file_.isOpen()) {
    if (!file_.flush()) Fail(file_.errorString());
    file_.close();
  }
  return error_.isEmpty();
}

int PdfPrinter::StartPage() {
  if (!file_.isOpen()) return 0;
  if (!painter_.isActive()) {
    if (!painter_.begin(&writer_)) {
      Fail("the document could not be started");
      return 0;
    }
    painter_.setFont(font_);
  } else if (!writer_.newPage()) {
    Fail("a page could not be started");
    return 0;
  }
  ++pages_;
  return 1;
}

// A PDF page ends when the next one starts or the document is finished.
int PdfPrinter::EndPage() { return painter_.isActive() ? 1 : 0; }

void PdfPrinter::TextOut(int x, int y, const char* text, int length) {
  if (!painter_.isActive()) return;
  // The position is the top left corner of the text, as on the printer the module expects.
  QFontMetrics metrics(font_, &writer_);
  painter_.drawText(x, y + metrics.ascent(), QString::fromLatin1(text, length));
}

int PdfPrinter::DeviceCaps(int index) {
  switch (index) {
    case PARVEX_CAP_PHYSICALHEIGHT:
      return writer_.pageLayout().fullRectPixels(kResolution).height();
    case PARVEX_CAP_PHYSICALOFFSETX:
    case PARVEX_CAP_PHYSICALOFFSETY:
      return kOffset;
    default:
      return 0;
  }
}

int PdfPrinter::TextHeight() { return QFontMetrics(font_, &writer_).height(); }

}  // namespace parvex
