#include "platform/registry_value_format.h"

#include <cstdio>

#include "platform/registry.h"

namespace kestrum {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view WithoutNewline(std::string_view text) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  return text;
}

// "hh,hh,..." (empty allowed) into bytes; false when the text is not exactly that.
bool ParseBytePairs(std::string_view text, std::string* bytes) {
  bytes->clear();
  if (text.empty()) return true;
  for (size_t i = 0;; i += 3) {
    if (i + 2 > text.size()) return false;
    int high = HexDigit(text[i]);
    int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes->push_back(static_cast<char>(high * 16 + low));
    if (i + 2 == text.size()) return true;
    if (text[i + 2] != ',') return false;
  }
}

bool ParseDword(std::string_view text, std::string* bytes) {
  if (text.size() != 8) return false;
  uint32_t number = 0;
  for (char c : text) {
    int digit = HexDigit(c);
    if (digit < 0) return false;
    number = number * 16 + static_cast<uint32_t>(digit);
  }
  bytes->clear();
  for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
  return true;
}

// "hex(<type>):" with a hex type of 1 to 8 digits; sets `*type` and the length of the prefix.
bool ParseHexTypePrefix(std::string_view text, uint32_t* type, size_t* length) {
  if (text.substr(0, 4) != "hex(") return false;
  size_t close = text.find("):", 4);
  if (close == std::string_view::npos || close == 4 || close > 12) return false;
  uint32_t value = 0;
  for (size_t i = 4; i < close; ++i) {
    int digit = HexDigit(text[i]);
    if (digit < 0) return false;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  *type = value;
  *length = close + 2;
  return true;
}

bool DecodeTyped(std::string_view content, RegValueData* value) {
  std::string_view text = WithoutNewline(content);
  if (text.substr(0, 6) == "dword:") {
    value->type = kRegDword;
    return ParseDword(text.substr(6), &value->bytes);
  }
  if (text.substr(0, 4) == "hex:") {
    value->type = kRegBinary;
    return ParseBytePairs(text.substr(4), &value->bytes);
  }
  size_t prefix = 0;
  if (ParseHexTypePrefix(text, &value->type, &prefix)) {
    return ParseBytePairs(text.substr(prefix), &value->bytes);
  }
  return false;
}

std::string BytePairs(std::string_view bytes) {
  std::string text;
  char pair[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(pair, sizeof pair, i ? ",%02x" : "%02x", static_cast<unsigned char>(bytes[i]));
    text += pair;
  }
  return text;
}

std::string HexForm(uint32_t type, std::string_view bytes) {
  char prefix[20];
  if (type == kRegBinary) {
    std::snprintf(prefix, sizeof prefix, "hex:");
  } else {
    std::snprintf(prefix, sizeof prefix, "hex(%x):", type);
  }
  return prefix + BytePairs(bytes) + "\n";
}

}  // namespace

RegValueData DecodeRegValue(std::string_view content) {
  RegValueData value;
  if (DecodeTyped(content, &value)) return value;
  value.type = kRegSz;
  value.bytes = std::string(WithoutNewline(content));
  return value;
}

std::string EncodeRegValue(uint32_t type, std::string_view bytes) {
  if (type == kRegDword && bytes.size() == 4) {
    uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = number * 256 + static_cast<unsigned char>(bytes[i]);
    char text[20];
    std::snprintf(text, sizeof text, "dword:%08x\n", number);
    return text;
  }
  if (type == kRegSz) {
    std::string plain = std::string(bytes) + "\n";
    RegValueData typed;
    if (!DecodeTyped(plain, &typed)) return plain;
  }
  return HexForm(type, bytes);
}

}  // namespace kestrum
