// Decimal numbers read in the C locale, whatever locale the host program has set.
#ifndef PARVEX_PLATFORM_C_NUMBER_H_
#define PARVEX_PLATFORM_C_NUMBER_H_

namespace kestrum {

/// strtod in the C locale: the decimal point is always '.'. Sets errno as strtod does (ERANGE
/// when the value overflows or underflows); `*end` is where the conversion stopped.
double StringToDoubleC(const char* text, char** end);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_C_NUMBER_H_
