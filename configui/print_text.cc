#include "configui/print_text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace parvex {

int PrintSink::Text(std::string_view text) {
  // Iterative form of "append, handle the first line or form feed, repeat on the rest".
  std::string pending(text);
  for (;;) {
    state_.line += pending;
    pending.clear();
    if (state_.line_number == 1 && state_.page_pending) {
      if (printer_.start_page(printer_.user) <= 0) {
        state_.line.clear();
        return -1;
      }
      state_.page_pending = false;
    }
    size_t stop = state_.line.find_first_of("\n\f");
    if (stop == std::string::npos) return 1;
    pending = state_.line.substr(stop + 1);
    if (state_.line[stop] == '\n') {
      if (stop > 0) DrawLine(std::string_view(state_.line).substr(0, stop));
      ++state_.line_number;
      state_.line.clear();
    } else {
      if (printer_.end_page(printer_.user) <= 0) {
        state_.line.clear();
        return -1;
      }
      state_.line.clear();
      state_.line_number = 1;
      state_.page_pending = true;
    }
    if (pending.empty()) return 1;
  }
}

int PrintSink::Format(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (length < 0) return Text("");
  return Text(std::string_view(buffer, std::min<size_t>(length, sizeof buffer - 1)));
}

int PrintSink::Blanks(int count) { return Text(std::string(count > 0 ? count : 0, ' ')); }

int PrintSink::LinesPerPage() const {
  int height = printer_.text_height(printer_.user);
  if (height <= 0) return 0;
  int physical = printer_.device_caps(printer_.user, PARVEX_CAP_PHYSICALHEIGHT);
  int offset_y = printer_.device_caps(printer_.user, PARVEX_CAP_PHYSICALOFFSETY);
  return (physical - 6 * offset_y) / height;
}

void PrintSink::DrawLine(std::string_view text) {
  if (text.size() > kMaxLineLength) text = text.substr(0, kMaxLineLength);
  int x = 2 * printer_.device_caps(printer_.user, PARVEX_CAP_PHYSICALOFFSETX);
  int y = printer_.device_caps(printer_.user, PARVEX_CAP_PHYSICALOFFSETY) +
          state_.line_number * printer_.text_height(printer_.user);
  printer_.text_out(printer_.user, x, y, text.data(), static_cast<int>(text.size()));
}

}  // namespace parvex
