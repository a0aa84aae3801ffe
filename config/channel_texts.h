// The split texts of a 216-byte channel configuration record on its raw bytes: the tag is
// stored in pieces of 8, 4 and 3 characters, the description in 16 and 16, the units in 4 and 4.
#ifndef PARVEX_CONFIG_CHANNEL_TEXTS_H_
#define PARVEX_CONFIG_CHANNEL_TEXTS_H_

#include <cstdint>
#include <string>

namespace kestrum {

/// Offsets of the first piece of each split text; also the first argument of the
/// "chanconfignstring" type that names the text.
inline constexpr int kSplitTagOffset = 0;
inline constexpr int kSplitDescriptionOffset = 8;
inline constexpr int kSplitUnitsOffset = 32;

/// Longest texts the pieces hold.
inline constexpr int kChannelTagMax = 15;
inline constexpr int kChannelDescriptionMax = 32;
inline constexpr int kChannelUnitsMax = 8;

/// Stores a tag: the first 8 characters NUL-padded, characters 9 to 12 in the second piece
/// when the text is longer than 8 (else its first byte 0), 13 to 15 in the third likewise.
void StoreChannelTag(uint8_t* record, const char* text);
/// Stores a description: 16 and 16 characters in the same way.
void StoreChannelDescription(uint8_t* record, const char* text);
/// Stores units: 4 and 4 characters in the same way.
void StoreChannelUnits(uint8_t* record, const char* text);

/// Returns the joined pieces, ended at the first NUL or at 15, 32 or 8 characters.
std::string ChannelTagText(const uint8_t* record);
std::string ChannelDescriptionText(const uint8_t* record);
std::string ChannelUnitsText(const uint8_t* record);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_CHANNEL_TEXTS_H_
