#include <locale.h>
#include <stdlib.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/c_number.h"
#include "records/text_case.h"

namespace kestrum {
namespace {

// The C99 words for infinity and not-a-number that strtod reads after blanks and a sign:
// msvcrt's _strtod_l reads none of them and stops before the word. Returns the value and sets
// `*end` past the word, or returns false when `text` holds none.
bool ReadSpecialValue(const char* text, char** end, double* value) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  double magnitude;
  std::size_t length;
  if (CompareIgnoringCase(p, "infinity", 8) == 0) {
    magnitude = HUGE_VAL;
    length = 8;
  } else if (CompareIgnoringCase(p, "inf", 3) == 0) {
    magnitude = HUGE_VAL;
    length = 3;
  } else if (CompareIgnoringCase(p, "nan", 3) == 0) {
    magnitude = std::nan("");
    length = 3;
  } else {
    return false;
  }
  *value = negative ? -magnitude : magnitude;
  if (end != nullptr) *end = const_cast<char*>(p + length);
  return true;
}

}  // namespace

double StringToDoubleC(const char* text, char** end) {
  double special;
  if (ReadSpecialValue(text, end, &special)) return special;
  static const _locale_t c_locale = _create_locale(LC_ALL, "C");
  return _strtod_l(text, end, c_locale);
}

}  // namespace kestrum
