#include "config/windows_1252.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include <libxml/encoding.h>

namespace kestrum {
namespace {

// The characters of the bytes 0x80 to 0x9F; every other byte is the character of its number.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

constexpr char32_t kReplacement = 0xFFFD;

char32_t CharOf(uint8_t byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

// The byte of `c`, or -1 when the code page has none.
int ByteOf(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == c) return static_cast<int>(0x80 + i);
  }
  return -1;
}

// Appends the UTF-8 form of `c` (at most U+FFFF here) at `out`; returns its length.
size_t EncodeUtf8(char32_t c, unsigned char* out) {
  if (c < 0x80) {
    out[0] = static_cast<unsigned char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 2;
  }
  out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
  out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
  return 3;
}

// Decodes the UTF-8 character at `in` (`size` bytes available). Returns its length with the
// character in `*c`; 0 when the sequence is cut off by the end of the input; for a malformed
// sequence 1 with U+FFFD.
size_t DecodeUtf8(const unsigned char* in, size_t size, char32_t* c) {
  const unsigned char lead = in[0];
  size_t length;
  char32_t value;
  if (lead < 0x80) {
    *c = lead;
    return 1;
  } else if (lead >= 0xC2 && lead < 0xE0) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3;
    value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead < 0xF5) {
    length = 4;
    value = lead & 0x07;
  } else {
    *c = kReplacement;
    return 1;
  }
  for (size_t i = 1; i < length; ++i) {
    if (i >= size) return 0;
    if ((in[i] & 0xC0) != 0x80) {
      *c = kReplacement;
      return 1;
    }
    value = (value << 6) | (in[i] & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || (value >= 0xD800 && value < 0xE000) || value > 0x10FFFF) {
    value = kReplacement;
  }
  *c = value;
  return length;
}

// The parser's input conversion: Windows-1252 bytes to UTF-8, as many as fit. Every byte has a
// character, so it never fails.
int ParserInput(unsigned char* out, int* out_len, const unsigned char* in, int* in_len) {
  if (in == nullptr || *in_len <= 0) {
    *out_len = 0;
    *in_len = 0;
    return 0;
  }
  int read = 0, written = 0;
  unsigned char buffer[3];
  while (read < *in_len) {
    const size_t size = EncodeUtf8(CharOf(in[read]), buffer);
    if (written + static_cast<int>(size) > *out_len) break;
    for (size_t i = 0; i < size; ++i) out[written++] = buffer[i];
    ++read;
  }
  *in_len = read;
  *out_len = written;
  return written;
}

// The parser's output conversion: UTF-8 to Windows-1252. Stops before a character cut off at
// the end of the input; -2 (the parser's "cannot convert") at one the code page cannot hold.
int ParserOutput(unsigned char* out, int* out_len, const unsigned char* in, int* in_len) {
  if (in == nullptr || *in_len <= 0) {
    *out_len = 0;
    *in_len = 0;
    return 0;
  }
  int read = 0, written = 0;
  while (read < *in_len && written < *out_len) {
    char32_t c;
    const size_t size = DecodeUtf8(in + read, static_cast<size_t>(*in_len - read), &c);
    if (size == 0) break;
    const int byte = ByteOf(c);
    if (byte < 0) {
      *in_len = read;
      *out_len = written;
      return -2;
    }
    out[written++] = static_cast<unsigned char>(byte);
    read += static_cast<int>(size);
  }
  *in_len = read;
  *out_len = written;
  return written;
}

}  // namespace

int Utf8ToWindows1252(std::string_view utf8, std::string* out, char32_t* unmappable) {
  out->clear();
  const auto* in = reinterpret_cast<const unsigned char*>(utf8.data());
  size_t read = 0;
  while (read < utf8.size()) {
    char32_t c;
    size_t size = DecodeUtf8(in + read, utf8.size() - read, &c);
    if (size == 0) c = kReplacement;
    const int byte = c == kReplacement ? -1 : ByteOf(c);
    if (byte < 0) {
      *unmappable = c;
      return -1;
    }
    out->push_back(static_cast<char>(byte));
    read += size;
  }
  return 0;
}

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  unsigned char buffer[3];
  for (char byte : text) {
    const size_t size = EncodeUtf8(CharOf(static_cast<uint8_t>(byte)), buffer);
    out.append(reinterpret_cast<const char*>(buffer), size);
  }
  return out;
}

void RegisterWindows1252ForXml() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Registered handlers are found before the system's converters, by name without regard to
    // case; the parser keeps them for the life of the process.
    xmlNewCharEncodingHandler("windows-1252", ParserInput, ParserOutput);
    xmlNewCharEncodingHandler("cp1252", ParserInput, ParserOutput);
  });
}

}  // namespace kestrum
