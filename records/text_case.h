// Comparing names the way the system does: ignoring the case of ASCII letters, byte by byte,
// whatever the process's locale.
#ifndef PARVEX_RECORDS_TEXT_CASE_H_
#define PARVEX_RECORDS_TEXT_CASE_H_

#include <cstddef>

namespace kestrum {

/// The ASCII lower-case form of `c`; every other byte stays as it is.
inline constexpr unsigned char LowerAscii(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

/// Compares at most `limit` bytes of the NUL-terminated texts `a` and `b`, ignoring the case of
/// ASCII letters. Returns 0 when they match, else a negative or positive number as `a` sorts
/// before or after `b`.
inline int CompareIgnoringCase(const char* a, const char* b, std::size_t limit) {
  for (std::size_t i = 0; i < limit; ++i) {
    const int left = LowerAscii(static_cast<unsigned char>(a[i]));
    const int right = LowerAscii(static_cast<unsigned char>(b[i]));
    if (left != right || left == 0) return left - right;
  }
  return 0;
}

/// CompareIgnoringCase over the whole of both texts.
inline int CompareIgnoringCase(const char* a, const char* b) {
  return CompareIgnoringCase(a, b, static_cast<std::size_t>(-1));
}

}  // namespace kestrum

#endif  // PARVEX_RECORDS_TEXT_CASE_H_
