// The primitive types of the field descriptions: parsing and formatting of booleans, integers,
// floats, named values, hexadecimal data, fixed texts, flag bits and split channel texts.
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/record_types.h"
#include "config/structs_type.h"
#include "platform/c_number.h"
#include "platform/error_number.h"
#include "records/channel_config.h"
#include "records/text_case.h"

namespace {

using kestrum::SetErrorNumber;

constexpr const char* kBooleanWords[][2] = {
    {"False", "True"}, {"No", "Yes"}, {"Off", "On"}, {"Disabled", "Enabled"}, {"0", "1"}};

// Writes a formatted message into the caller's buffer and fails with the invalid-argument
// error number.
__attribute__((format(printf, 3, 4))) int ParseFailure(char* ebuf, int emax, const char* format,
                                                       ...) {
  if (ebuf != nullptr && emax > 0) {
    va_list args;
    va_start(args, format);
    vsnprintf(ebuf, static_cast<size_t>(emax), format, args);
    va_end(args);
  }
  errno = EINVAL;
  SetErrorNumber(EINVAL);
  return -1;
}

int InvalidValue(const char* text, char* ebuf, int emax) {
  return ParseFailure(ebuf, emax, "invalid value \"%s\"", text);
}

char* Copy(std::string_view text) {
  char* out = static_cast<char*>(malloc(text.size() + 1));
  if (out == nullptr) {
    errno = ENOMEM;
    SetErrorNumber(ENOMEM);
    return nullptr;
  }
  memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return out;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

const char* SkipBlanks(const char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

int64_t ReadInteger(const void* value, int size, bool is_signed) {
  switch (size) {
    case 1: {
      uint8_t v;
      memcpy(&v, value, 1);
      return is_signed ? static_cast<int8_t>(v) : v;
    }
    case 2: {
      uint16_t v;
      memcpy(&v, value, 2);
      return is_signed ? static_cast<int16_t>(v) : v;
    }
    case 8: {
      int64_t v;
      memcpy(&v, value, 8);
      return v;
    }
    default: {
      uint32_t v;
      memcpy(&v, value, 4);
      return is_signed ? static_cast<int64_t>(static_cast<int32_t>(v)) : v;
    }
  }
}

// Stores the low `size` bytes of `v` (little-endian host).
void WriteInteger(void* value, int size, int64_t v) {
  memcpy(value, &v, static_cast<size_t>(size));
}

const StructsIdEntry* FindText(const StructsIdEntry* table, const char* text) {
  for (const StructsIdEntry* e = table; e != nullptr && e->text != nullptr; ++e) {
    if (e->ignore_case ? kestrum::CompareIgnoringCase(e->text, text) == 0
                       : strcmp(e->text, text) == 0)
      return e;
  }
  return nullptr;
}

const char* FindValue(const StructsIdEntry* table, int64_t value) {
  for (const StructsIdEntry* e = table; e != nullptr && e->text != nullptr; ++e) {
    if (e->value == value) return e->text;
  }
  return "INVALID";
}

const StructsIdEntry* Table(const StructsArg& arg) {
  return static_cast<const StructsIdEntry*>(arg.ptr);
}

// The flags word of a bit field: its nominal address minus the type's first argument.
uint8_t* FlagByte(const StructsType* type, const void* value) {
  uintptr_t word = reinterpret_cast<uintptr_t>(value) - static_cast<uintptr_t>(type->args[0].num);
  return reinterpret_cast<uint8_t*>(word) + type->args[1].num / 8;
}

uint8_t BitMask(const StructsType* type) {
  return static_cast<uint8_t>(0x80u >> (type->args[1].num % 8));
}

// The start of a channel record: the split text's nominal address minus its first argument.
kestrum::ChannelConfigRecord* RecordStart(const StructsType* type, const void* value) {
  uintptr_t start = reinterpret_cast<uintptr_t>(value) - static_cast<uintptr_t>(type->args[0].num);
  return reinterpret_cast<kestrum::ChannelConfigRecord*>(start);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

extern "C" {

int StructsBytesInit(const StructsType* type, void* value) {
  memset(value, 0, static_cast<size_t>(type->size));
  return 0;
}

int StructsBytesCopy(const StructsType* type, const void* from, void* to) {
  memmove(to, from, static_cast<size_t>(type->size));
  return 0;
}

int StructsBytesEqual(const StructsType* type, const void* a, const void* b) {
  return memcmp(a, b, static_cast<size_t>(type->size)) == 0 ? 1 : 0;
}

int StructsBytesEncode(const StructsType* type, const void* value, unsigned char* buf, int size) {
  if (size < type->size) {
    SetErrorNumber(ENOBUFS);
    return -1;
  }
  memcpy(buf, value, static_cast<size_t>(type->size));
  return type->size;
}

int StructsBytesDecode(const StructsType* type, const unsigned char* buf, int size, void* value) {
  if (size < type->size) {
    SetErrorNumber(EINVAL);
    return -1;
  }
  memcpy(value, buf, static_cast<size_t>(type->size));
  return type->size;
}

void StructsNoUninit(const StructsType*, void*) {}

int StructsBooleanParse(const StructsType* type, const char* text, void* value, char* ebuf,
                        int emax) {
  std::string_view input(text);
  input = input.substr(0, 63);
  while (!input.empty() && IsBlank(input.front())) input.remove_prefix(1);
  while (!input.empty() && IsBlank(input.back())) input.remove_suffix(1);
  std::string word(input);
  for (const auto& pair : kBooleanWords) {
    for (int v = 0; v < 2; ++v) {
      if (kestrum::CompareIgnoringCase(pair[v], word.c_str()) == 0) {
        WriteInteger(value, type->args[0].num == 1 ? 4 : 1, v);
        return 0;
      }
    }
  }
  return ParseFailure(ebuf, emax, "%s", "invalid Boolean value");
}

char* StructsBooleanFormat(const StructsType* type, const char*, const void* value) {
  int64_t v = ReadInteger(value, type->args[0].num == 1 ? 4 : 1, false);
  intptr_t pair = type->args[1].num;
  if (pair < 0 || pair > 4) pair = kestrum::kStructsOffOn;
  return Copy(kBooleanWords[pair][v != 0 ? 1 : 0]);
}

int StructsUintParse(const StructsType* type, const char* text, void* value, char* ebuf, int emax) {
  const int width = static_cast<int>(type->args[0].num);
  const int form = static_cast<int>(type->args[1].num);
  const char* start = SkipBlanks(text);
  const bool negative = *start == '-';
  char* end = nullptr;
  errno = 0;
  int64_t v;
  bool overflow;
  if (negative) {
    v = strtoll(start, &end, 0);
    overflow = errno == ERANGE;
  } else {
    unsigned long long u = strtoull(start, &end, 0);
    overflow = errno == ERANGE;
    v = static_cast<int64_t>(u);
    if (width != kestrum::kStructsInt64 || form == kestrum::kStructsSigned) {
      overflow = overflow || u > INT64_MAX;
    }
  }
  if (end == start) return ParseFailure(ebuf, emax, "%s", "invalid integer value");
  if (overflow) return ParseFailure(ebuf, emax, "%s", "integer value is out of range");
  if (*SkipBlanks(end) != '\0') {
    // Trailing characters carry no message of their own: the caller shows the error number.
    errno = EINVAL;
    SetErrorNumber(EINVAL);
    return -1;
  }
  if (negative && form != kestrum::kStructsSigned) {
    return ParseFailure(ebuf, emax, "%s", "integer value is out of range");
  }
  const int size = type->size;
  bool in_range = true;
  if (size == 1) in_range = v >= -128 && v <= 255;
  if (size == 2) in_range = v >= -32768 && v <= 65535;
  if (size == 4) in_range = v >= INT32_MIN && v <= static_cast<int64_t>(UINT32_MAX);
  if (!in_range) return ParseFailure(ebuf, emax, "%s", "integer value is out of range");
  WriteInteger(value, size, v);
  return 0;
}

char* StructsUintFormat(const StructsType* type, const char*, const void* value) {
  const int form = static_cast<int>(type->args[1].num);
  const int size = type->size;
  int64_t v = ReadInteger(value, size, form == kestrum::kStructsSigned);
  char buf[32];
  if (form == kestrum::kStructsHex) {
    snprintf(buf, sizeof buf, size == 1 ? "0x%02llx" : "0x%llx",
             static_cast<unsigned long long>(v));
  } else if (form == kestrum::kStructsSigned) {
    snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
  } else {
    snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(v));
  }
  return Copy(buf);
}

int StructsFloatParse(const StructsType* type, const char* text, void* value, char* ebuf,
                      int emax) {
  const bool is_double = type->args[0].num == 1;
  const char* start = SkipBlanks(text);
  char* end = nullptr;
  errno = 0;
  // Decimal conversion in the C locale: a host program's locale never changes the decimal point.
  double v = kestrum::StringToDoubleC(start, &end);
  const bool range_error = errno == ERANGE;
  if (end == start || *SkipBlanks(end) != '\0' || std::isnan(v)) {
    return ParseFailure(ebuf, emax, "%s", "invalid floating point value");
  }
  if (std::isinf(v) || (range_error && std::fabs(v) > 1.0)) {
    return ParseFailure(ebuf, emax, "%s", "floating point value overflow");
  }
  if (range_error) return ParseFailure(ebuf, emax, "%s", "floating point value underflow");
  if (is_double) {
    memcpy(value, &v, sizeof v);
    return 0;
  }
  double magnitude = std::fabs(v);
  if (magnitude > 3.4028234663852886e+38) {
    return ParseFailure(ebuf, emax, "%s", "floating point value overflow");
  }
  if (v != 0.0 && magnitude < 5.877473155409902e-39) {
    return ParseFailure(ebuf, emax, "%s", "floating point value underflow");
  }
  float f = static_cast<float>(v);
  memcpy(value, &f, sizeof f);
  return 0;
}

char* StructsFloatFormat(const StructsType* type, const char*, const void* value) {
  double v;
  if (type->args[0].num == 1) {
    memcpy(&v, value, sizeof v);
  } else {
    float f;
    memcpy(&f, value, sizeof f);
    v = f;
  }
  // Same digits as "%.16g", independent of the locale.
  char buf[64];
  auto result = std::to_chars(buf, buf + sizeof buf - 1, v, std::chars_format::general, 16);
  *result.ptr = '\0';
  return Copy(buf);
}

int StructsIdParse(const StructsType* type, const char* text, void* value, char* ebuf, int emax) {
  const StructsIdEntry* e = FindText(Table(type->args[0]), text);
  if (e == nullptr) return InvalidValue(text, ebuf, emax);
  WriteInteger(value, type->size, e->value);
  return 0;
}

char* StructsIdFormat(const StructsType* type, const char*, const void* value) {
  return Copy(FindValue(Table(type->args[0]), ReadInteger(value, type->size, true)));
}

int StructsFixedDataParse(const StructsType* type, const char* text, void* value, char* ebuf,
                          int emax) {
  const int size = type->size;
  std::string bytes(static_cast<size_t>(size), '\0');
  const char* p = text;
  for (int i = 0; i < 2 * size; ++i) {
    p = SkipBlanks(p);
    if (*p == '\0') return ParseFailure(ebuf, emax, "%s", "hex string is too short");
    int digit = HexDigit(*p++);
    if (digit < 0) return ParseFailure(ebuf, emax, "%s", "non-hex character seen");
    bytes[static_cast<size_t>(i / 2)] |= static_cast<char>(i % 2 == 0 ? digit << 4 : digit);
  }
  if (*SkipBlanks(p) != '\0') return ParseFailure(ebuf, emax, "%s", "hex string is too long");
  memcpy(value, bytes.data(), bytes.size());
  return 0;
}

char* StructsFixedDataFormat(const StructsType* type, const char*, const void* value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const auto* bytes = static_cast<const uint8_t*>(value);
  std::string out;
  for (int i = 0; i < type->size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return Copy(out);
}

int StructsFixedStringParse(const StructsType* type, const char* text, void* value, char*, int) {
  // Copies at most `size` characters and pads the rest with NULs.
  strncpy(static_cast<char*>(value), text, static_cast<size_t>(type->size));
  return 0;
}

char* StructsFixedStringFormat(const StructsType* type, const char*, const void* value) {
  const char* field = static_cast<const char*>(value);
  return Copy(std::string_view(field, strnlen(field, static_cast<size_t>(type->size))));
}

int StructsBitFieldParse(const StructsType* type, const char* text, void* value, char* ebuf,
                         int emax) {
  const StructsIdEntry* e = FindText(Table(type->args[2]), text);
  if (e == nullptr) return InvalidValue(text, ebuf, emax);
  uint8_t* byte = FlagByte(type, value);
  if (e->value == 1) *byte |= BitMask(type);
  if (e->value == 0) *byte &= static_cast<uint8_t>(~BitMask(type));
  return 0;
}

char* StructsBitFieldFormat(const StructsType* type, const char*, const void* value) {
  const uint8_t* byte = FlagByte(type, value);
  return Copy(FindValue(Table(type->args[2]), (*byte & BitMask(type)) != 0 ? 1 : 0));
}

int StructsChanConfigStringParse(const StructsType* type, const char* text, void* value, char* ebuf,
                                 int emax) {
  kestrum::ChannelConfigRecord* record = RecordStart(type, value);
  switch (type->args[0].num) {
    case kestrum::kSplitTagOffset:
      kestrum::SetChannelTag(record, text);
      return 0;
    case kestrum::kSplitDescriptionOffset:
      kestrum::SetChannelDescription(record, text);
      return 0;
    case kestrum::kSplitUnitsOffset:
      kestrum::SetChannelUnits(record, text);
      return 0;
    default:
      return InvalidValue(text, ebuf, emax);
  }
}

char* StructsChanConfigStringFormat(const StructsType* type, const char*, const void* value) {
  const kestrum::ChannelConfigRecord& record = *RecordStart(type, value);
  std::string text;
  switch (type->args[0].num) {
    case kestrum::kSplitTagOffset:
      text = kestrum::GetChannelTag(record);
      break;
    case kestrum::kSplitDescriptionOffset:
      text = kestrum::GetChannelDescription(record);
      break;
    case kestrum::kSplitUnitsOffset:
      text = kestrum::GetChannelUnits(record);
      break;
    default:
      text = "INVALID";
  }
  return Copy(text.substr(0, static_cast<size_t>(type->size)));
}

int StructsCompoundParse(const StructsType*, const char* text, void*, char* ebuf, int emax) {
  // A compound value is set field by field through its dotted names.
  return InvalidValue(text, ebuf, emax);
}

char* StructsCompoundFormat(const StructsType*, const char*, const void*) {
  errno = EINVAL;
  SetErrorNumber(EINVAL);
  return nullptr;
}

}  // extern "C"
