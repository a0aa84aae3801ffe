// The code page of every text stored in a configuration record: Windows-1252, the single-byte
// code page the Windows configuration tool writes. XML texts (UTF-8 inside the parser) are
// converted to it before the field parsers see them, and stored texts back to UTF-8 when they
// are written as XML. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) stand for the control characters of the same number, as Windows converts them, so
// every byte has a character and every stored text survives a round trip.
#ifndef PARVEX_CONFIG_WINDOWS_1252_H_
#define PARVEX_CONFIG_WINDOWS_1252_H_

#include <string>
#include <string_view>

namespace kestrum {

/// Converts the UTF-8 text `utf8` to Windows-1252 into `*out`. Returns 0, or -1 with the first
/// character the code page cannot hold in `*unmappable` (U+FFFD for a byte sequence that is not
/// UTF-8); `*out` then holds the characters before it.
int Utf8ToWindows1252(std::string_view utf8, std::string* out, char32_t* unmappable);

/// Returns the UTF-8 form of the Windows-1252 text `text`.
std::string Windows1252ToUtf8(std::string_view text);

/// Makes the XML parser read documents declared "windows-1252" (or "cp1252") through the
/// conversion above, on every platform, whether or not the system has a converter of its own.
/// Registers once per process; later calls do nothing. Call before the first parse.
void RegisterWindows1252ForXml();

}  // namespace kestrum

#endif  // PARVEX_CONFIG_WINDOWS_1252_H_
