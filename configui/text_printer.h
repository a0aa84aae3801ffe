// A plain-text printer: pages of fixed-pitch lines, separated by form feeds. Hosts use it to
// print a configuration to a text file; it is also what print-out tests compare.
#ifndef PARVEX_CONFIGUI_TEXT_PRINTER_H_
#define PARVEX_CONFIGUI_TEXT_PRINTER_H_

#include <map>
#include <string>

#include "configui/parvex_cf.h"
#include "configui/printer_backend.h"

namespace parvex {

/// Collects drawn lines by their vertical position. Every line is `line_height` device units
/// high; the page is `physical_height` units high with a printable area offset by `offset_x` and
/// `offset_y`. Not thread-safe; must outlive the ParvexPrinter it hands out.
class TextPrinter : public PrinterBackend {
 public:
  struct Geometry {
    int line_height = 10;       ///< at least 1
    int physical_height = 660;  ///< 66 lines of 10 units
    int offset_x = 0;
    int offset_y = 0;
  };

  explicit TextPrinter(Geometry geometry);
  TextPrinter() : TextPrinter(Geometry{}) {}

  /// Every page ended so far, each followed by a form feed, then the open page (if any). Each
  /// page holds its lines from the first line position down to the last drawn line, every line
  /// ending with a line feed; positions without text are empty lines.
  std::string Text() const;

  int pages_started() const { return pages_started_; }
  int pages_ended() const { return pages_ended_; }
  bool page_open() const { return page_open_; }

 private:
  int StartPage() override;
  int EndPage() override;
  void TextOut(int x, int y, const char* text, int length) override;
  int DeviceCaps(int index) override;
  int TextHeight() override;
  std::string PageText() const;

  Geometry geometry_;
  std::string done_;                 // ended pages
  std::map<int, std::string> rows_;  // open page: row -> text
  int pages_started_ = 0;
  int pages_ended_ = 0;
  bool page_open_ = false;
};

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_TEXT_PRINTER_H_
