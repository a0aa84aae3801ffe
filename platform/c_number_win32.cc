#include <locale.h>
#include <stdlib.h>

#include "platform/c_number.h"

namespace kestrum {

double StringToDoubleC(const char* text, char** end) {
  static const _locale_t c_locale = _create_locale(LC_ALL, "C");
  return _strtod_l(text, end, c_locale);
}

}  // namespace kestrum
