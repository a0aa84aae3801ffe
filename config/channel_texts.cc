#include "config/channel_texts.h"

#include <cstring>
#include <span>
#include <string_view>
#include <utility>

namespace kestrum {
namespace {

using Piece = std::pair<int, int>;  // offset, width

// Each piece after the first receives its characters only when the text reaches into it;
// otherwise its first byte is 0 and the rest of it is left as it was.
void Store(uint8_t* record, const char* text, std::span<const Piece> pieces) {
  std::string_view rest(text == nullptr ? "" : text);
  bool first = true;
  for (auto [offset, width] : pieces) {
    char* field = reinterpret_cast<char*>(record + offset);
    if (first || !rest.empty()) {
      size_t n = rest.size() < static_cast<size_t>(width) ? rest.size() : width;
      std::memset(field, 0, static_cast<size_t>(width));
      std::memcpy(field, rest.data(), n);
      rest.remove_prefix(n);
    } else {
      field[0] = '\0';
    }
    first = false;
  }
}

std::string Join(const uint8_t* record, std::span<const Piece> pieces) {
  std::string out;
  for (auto [offset, width] : pieces) {
    const char* field = reinterpret_cast<const char*>(record + offset);
    size_t n = strnlen(field, static_cast<size_t>(width));
    out.append(field, n);
    if (n < static_cast<size_t>(width)) break;
  }
  return out;
}

constexpr Piece kTag[] = {{0, 8}, {138, 4}, {158, 3}};
constexpr Piece kDescription[] = {{8, 16}, {142, 16}};
constexpr Piece kUnits[] = {{32, 4}, {161, 4}};

}  // namespace

void StoreChannelTag(uint8_t* record, const char* text) { Store(record, text, kTag); }
void StoreChannelDescription(uint8_t* record, const char* text) {
  Store(record, text, kDescription);
}
void StoreChannelUnits(uint8_t* record, const char* text) { Store(record, text, kUnits); }

std::string ChannelTagText(const uint8_t* record) { return Join(record, kTag); }
std::string ChannelDescriptionText(const uint8_t* record) { return Join(record, kDescription); }
std::string ChannelUnitsText(const uint8_t* record) { return Join(record, kUnits); }

}  // namespace kestrum
