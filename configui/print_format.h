// Fixed-width pieces of the configuration print-out: numbers, durations and name tables.
#ifndef PARVEX_CONFIGUI_PRINT_FORMAT_H_
#define PARVEX_CONFIGUI_PRINT_FORMAT_H_

#include <cstdint>
#include <string>

namespace parvex {

/// Returns `value` as a text of at most 8 characters: printed with width 8 and the most
/// decimals (6 down to 0) that fit in 8 characters, else cut to its first 8 characters.
std::string FormatValue(float value);

/// A millisecond count split for printing; minutes are capped at 99.
struct Duration {
  int minutes;
  int seconds;
  int milliseconds;
};

/// Splits `ms` into minutes (at most 99), seconds and milliseconds.
Duration SplitDuration(uint32_t ms);

/// Returns "%02d(min) %02d(sec) %03d(ms)" of SplitDuration(ms).
std::string FormatDuration(uint32_t ms);

/// Returns "Y" for a set flag, "N" otherwise.
const char* YesNo(bool flag);

/// Returns "ENABLED " for a nonzero AutoEnable, "DISABLED" for 0.
const char* StatusName(int auto_enable);

/// Returns "HIGH" for a high state, "LOW " for a low one.
const char* LowHighName(bool high);

/// Returns the parity's name: NONE, ODD, EVEN, SPACE, and MARK for 3 and every unknown value.
const char* ParityName(uint32_t parity);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_PRINT_FORMAT_H_
