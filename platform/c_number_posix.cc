#include <locale.h>
#include <stdlib.h>

#include "platform/c_number.h"

namespace kestrum {

double StringToDoubleC(const char* text, char** end) {
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return strtod_l(text, end, c_locale);
}

}  // namespace kestrum
