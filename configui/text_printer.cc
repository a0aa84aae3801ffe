#include "configui/text_printer.h"

#include <algorithm>

namespace parvex {

TextPrinter::TextPrinter(Geometry geometry) : geometry_(geometry) {
  if (geometry_.line_height < 1) geometry_.line_height = 1;  // rows are y / line height
}

std::string TextPrinter::Text() const { return done_ + (page_open_ ? PageText() : ""); }

std::string TextPrinter::PageText() const {
  std::string page;
  int next = 0;
  for (const auto& [row, text] : rows_) {
    for (; next < row; ++next) page += '\n';
    page += text;
    page += '\n';
    next = row + 1;
  }
  return page;
}

int TextPrinter::StartPage() {
  rows_.clear();
  page_open_ = true;
  ++pages_started_;
  return 1;
}

int TextPrinter::EndPage() {
  done_ += PageText() + '\f';
  rows_.clear();
  page_open_ = false;
  ++pages_ended_;
  return 1;
}

void TextPrinter::TextOut(int x, int y, const char* text, int length) {
  const Geometry& g = geometry_;
  // The first line of a page is drawn at line position 1, one line below the top offset.
  int row = (y - g.offset_y) / g.line_height - 1;
  int column = (x - 2 * g.offset_x) / g.line_height;
  std::string& line = rows_[row < 0 ? 0 : row];
  size_t at = column < 0 ? 0 : static_cast<size_t>(column);
  if (line.size() < at) line.resize(at, ' ');
  line.replace(at, std::min(line.size() - at, static_cast<size_t>(length)),
               std::string(text, length));
}

int TextPrinter::DeviceCaps(int index) {
  const Geometry& g = geometry_;
  switch (index) {
    case PARVEX_CAP_PHYSICALHEIGHT:
      return g.physical_height;
    case PARVEX_CAP_PHYSICALOFFSETX:
      return g.offset_x;
    case PARVEX_CAP_PHYSICALOFFSETY:
      return g.offset_y;
    default:
      return 0;
  }
}

int TextPrinter::TextHeight() { return geometry_.line_height; }

}  // namespace parvex
