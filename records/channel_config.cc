#include "records/channel_config.h"

#include <cstring>

namespace kestrum {
namespace {

// One piece of a split text: where it lies in the record and how wide it is.
struct Piece {
  size_t offset;
  size_t width;
};

constexpr Piece kTagPieces[] = {{offsetof(AnalogueChannelConfig, tag_part1), 8},
                                {offsetof(AnalogueChannelConfig, tag_part2), 4},
                                {offsetof(AnalogueChannelConfig, tag_part3), 3}};
constexpr Piece kDescriptionPieces[] = {{offsetof(AnalogueChannelConfig, description_part1), 16},
                                        {offsetof(AnalogueChannelConfig, description_part2), 16}};
constexpr Piece kUnitsPieces[] = {{offsetof(AnalogueChannelConfig, units_part1), 4},
                                  {offsetof(AnalogueChannelConfig, units_part2), 4}};

// Joins the pieces into out (which has room for their total width plus a NUL), stopping at
// the first NUL; returns the length.
template <size_t N>
size_t JoinPieces(const ChannelConfigRecord& record, const Piece (&pieces)[N], char* out) {
  size_t length = 0;
  for (const Piece& piece : pieces) {
    const char* from = reinterpret_cast<const char*>(record.bytes) + piece.offset;
    const void* nul = std::memchr(from, '\0', piece.width);
    size_t n = nul ? static_cast<const char*>(nul) - from : piece.width;
    std::memcpy(out + length, from, n);
    length += n;
    if (nul) break;
  }
  out[length] = '\0';
  return length;
}

// Spreads text over the pieces, NUL-filling each piece beyond the text.
template <size_t N>
void SplitPieces(ChannelConfigRecord* record, const Piece (&pieces)[N], std::string_view text) {
  if (const void* nul = text.empty() ? nullptr : std::memchr(text.data(), '\0', text.size())) {
    text = text.substr(0, static_cast<const char*>(nul) - text.data());
  }
  size_t used = 0;
  for (const Piece& piece : pieces) {
    char* to = reinterpret_cast<char*>(record->bytes) + piece.offset;
    size_t n = text.size() > used ? text.size() - used : 0;
    if (n > piece.width) n = piece.width;
    if (n > 0) std::memcpy(to, text.data() + used, n);
    std::memset(to + n, 0, piece.width - n);
    used += n;
  }
}

thread_local char tag_buffer[kMaxTagLength + 1];
thread_local char description_buffer[kMaxDescriptionLength + 1];
thread_local char units_buffer[kMaxUnitsLength + 1];

}  // namespace

const char* GetChannelTag(const ChannelConfigRecord& record) {
  JoinPieces(record, kTagPieces, tag_buffer);
  return tag_buffer;
}

const char* GetChannelDescription(const ChannelConfigRecord& record) {
  JoinPieces(record, kDescriptionPieces, description_buffer);
  return description_buffer;
}

const char* GetChannelUnits(const ChannelConfigRecord& record) {
  JoinPieces(record, kUnitsPieces, units_buffer);
  return units_buffer;
}

size_t CopyChannelTag(const ChannelConfigRecord& record, char* out, size_t out_size) {
  char joined[kMaxTagLength + 1];
  size_t length = JoinPieces(record, kTagPieces, joined);
  if (out_size > 0) {
    size_t n = length < out_size - 1 ? length : out_size - 1;
    std::memcpy(out, joined, n);
    out[n] = '\0';
  }
  return length;
}

void SetChannelTag(ChannelConfigRecord* record, std::string_view text) {
  SplitPieces(record, kTagPieces, text);
}

void SetChannelDescription(ChannelConfigRecord* record, std::string_view text) {
  SplitPieces(record, kDescriptionPieces, text);
}

void SetChannelUnits(ChannelConfigRecord* record, std::string_view text) {
  SplitPieces(record, kUnitsPieces, text);
}

}  // namespace kestrum
