// Fixed-width text fields of records: NUL-padded, terminated only when shorter than the field.
#ifndef PARVEX_RECORDS_FIXED_TEXT_H_
#define PARVEX_RECORDS_FIXED_TEXT_H_

#include <cstddef>
#include <cstring>
#include <string_view>

namespace kestrum {

/// Returns the text of a fixed field: its characters up to the first NUL, or all `width`
/// characters when the field holds no NUL. Never reads beyond the field. The view points into
/// the field and lives as long as it does.
inline std::string_view FixedText(const char* field, size_t width) {
  const void* nul = std::memchr(field, '\0', width);
  return std::string_view(field, nul ? static_cast<const char*>(nul) - field : width);
}

/// FixedText for a character array member.
template <size_t N>
std::string_view FixedText(const char (&field)[N]) {
  return FixedText(field, N);
}

/// Stores `text` in a fixed field of `width` bytes and NUL-pads the rest. With `terminated`
/// the text is cut to width - 1 characters so that a NUL always ends it; without it a text of
/// exactly `width` characters fills the field. Returns the number of characters stored.
inline size_t SetFixedText(char* field, size_t width, std::string_view text, bool terminated) {
  size_t limit = terminated && width > 0 ? width - 1 : width;
  size_t n = text.size() < limit ? text.size() : limit;
  // Stop at an embedded NUL: what follows it could never be read back.
  if (n > 0) {
    if (const void* nul = std::memchr(text.data(), '\0', n)) {
      n = static_cast<const char*>(nul) - text.data();
    }
    std::memcpy(field, text.data(), n);
  }
  std::memset(field + n, 0, width - n);
  return n;
}

/// SetFixedText for a character array member.
template <size_t N>
size_t SetFixedText(char (&field)[N], std::string_view text, bool terminated) {
  return SetFixedText(field, N, text, terminated);
}

}  // namespace kestrum

#endif  // PARVEX_RECORDS_FIXED_TEXT_H_
