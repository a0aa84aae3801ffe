// The names of the bits of a channel status word, as the area dump and the monitor spell them.
#ifndef PARVEX_RECORDS_STATUS_BIT_NAMES_H_
#define PARVEX_RECORDS_STATUS_BIT_NAMES_H_

#include <cstdint>
#include <string>

namespace kestrum {

/// The names of the status bits set in `status`, joined by "|" ("" for 0). Bit 0 is
/// "SIG_CHANGE" for a value channel (bit 0x80 set) and "STATE" for a digital one; bits without
/// a name are added as one hexadecimal number.
std::string StatusBitNames(uint32_t status);

}  // namespace kestrum

#endif  // PARVEX_RECORDS_STATUS_BIT_NAMES_H_
