// The print-out's line output: text pieces become lines drawn on a printer, with page starts,
// form feeds and a line counter that outlives a single print-out.
#ifndef PARVEX_CONFIGUI_PRINT_TEXT_H_
#define PARVEX_CONFIGUI_PRINT_TEXT_H_

#include <string>
#include <string_view>

#include "configui/parvex_cf.h"

namespace parvex {

/// The longest line drawn; text beyond it on one line is dropped.
inline constexpr size_t kMaxLineLength = 200;

/// The page position of a print-out. The module keeps one for its whole lifetime, so a print-out
/// that ends on an open page is continued by the next one.
struct PageState {
  std::string line;          ///< text of the current line not drawn yet
  int line_number = 1;       ///< 1-based number of the next line on the page
  bool page_pending = true;  ///< a page must be started before the next text is drawn
};

/// Draws text on one printer, keeping the page position in a caller-owned PageState. The
/// printer and the state must outlive the sink. Not thread-safe.
class PrintSink {
 public:
  PrintSink(const ParvexPrinter& printer, PageState& state) : printer_(printer), state_(state) {}

  /// Appends `text` to the current line. Every line feed draws the line (when not empty) and
  /// moves to the next line; a form feed ends the page. Starts a page first when one is
  /// pending. Returns 1, or -1 when the printer refuses to start or end a page (the line
  /// buffer is emptied then).
  int Text(std::string_view text);

  /// Text() of a printf-style formatted text.
  int Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

  /// Text() of `count` blanks.
  int Blanks(int count);

  /// Lines that fit a page: (physical height - 6 x vertical offset) / line height; 0 when the
  /// printer reports no line height.
  int LinesPerPage() const;

  /// The number of the next line on the page.
  int line_number() const { return state_.line_number; }

 private:
  void DrawLine(std::string_view text);

  const ParvexPrinter& printer_;
  PageState& state_;
};

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_PRINT_TEXT_H_
