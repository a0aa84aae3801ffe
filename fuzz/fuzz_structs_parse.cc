// Every primitive parse operation of the field descriptions on text from the input, and the
// field lookup by dotted name. The first byte picks the case; the rest is the text.
//
// A value is parsed into a heap buffer of exactly the type's size (bit fields and channel texts
// into the bytes they reach before their nominal offset). A text that parses is formatted back,
// and the formatted text must parse again into the same bytes (floats: parse again at all).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/structs_type.h"
#include "fuzz_descriptions.h"
#include "fuzz_util.h"
#include "records/channel_config.h"

namespace {

using namespace parvex_fuzz;

constexpr StructsType kTag = StructsChanConfigStringType(0, 15);
constexpr StructsType kDescription = StructsChanConfigStringType(8, 32);
constexpr StructsType kUnits = StructsChanConfigStringType(32, 8);

// A primitive type and the bytes its value reaches before the nominal offset.
struct Case {
  const StructsType* type;
  int before;
  bool exact;  // formatting and parsing again gives the same bytes
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  for (const auto& row : kUintTypes) {
    for (const StructsType& t : row) cases.push_back({&t, 0, true});
  }
  for (const auto& row : kBooleanTypes) {
    for (const StructsType& t : row) cases.push_back({&t, 0, true});
  }
  cases.push_back({&kFloat, 0, false});
  cases.push_back({&kDouble, 0, false});
  for (const StructsType* t :
       {&kParity, &kFieldType, &kValueType, &kShortId, &kKey, &kName8, &kName12}) {
    cases.push_back({t, 0, true});
  }
  cases.push_back({&kBit0, 1, true});
  cases.push_back({&kBit9, 2, true});
  cases.push_back({&kTag, 0, true});
  cases.push_back({&kDescription, 8, true});
  cases.push_back({&kUnits, 32, true});
  return cases;
}

char Error(const char* ebuf, int emax) {
  Check(std::memchr(ebuf, '\0', static_cast<std::size_t>(emax)) != nullptr,
        "the message is terminated");
  return ebuf[0];
}

void ParsePrimitive(const Case& c, const std::string& text) {
  // Channel texts reach the whole record; every other value reaches `before` + size bytes.
  const bool channel = c.type == &kTag || c.type == &kDescription || c.type == &kUnits;
  const std::size_t bytes = channel ? sizeof(kestrum::ChannelConfigRecord)
                                    : c.before + static_cast<std::size_t>(c.type->size);
  std::vector<uint8_t> buffer(bytes, 0);
  void* value = buffer.data() + c.before;
  char ebuf[64];
  // A parser may leave the buffer as it was (the caller then shows the error number's text),
  // so it starts empty; whatever it writes must stay inside and be terminated.
  std::memset(ebuf, 'x', sizeof ebuf);
  ebuf[0] = '\0';
  if (c.type->parse(c.type, text.c_str(), value, ebuf, sizeof ebuf) != 0) {
    Error(ebuf, sizeof ebuf);
    return;
  }
  char* formatted = c.type->format(c.type, "FUZZ", value);
  Check(formatted != nullptr, "a parsed value formats");
  std::vector<uint8_t> again(bytes, 0);
  int reparsed = c.type->parse(c.type, formatted, again.data() + c.before, ebuf, sizeof ebuf);
  if (reparsed != 0) std::fprintf(stderr, "text [%s] formatted [%s]\n", text.c_str(), formatted);
  Check(reparsed == 0, "a formatted value parses again");
  if (c.exact && again != buffer) {
    std::fprintf(stderr, "text [%s] formatted [%s]\n", text.c_str(), formatted);
    Check(false, "formatting and parsing again keeps the value");
  }
  std::free(formatted);
}

// "name=text": the field `name` of the device block set from `text`, then read back.
void SetByName(const std::string& input) {
  std::size_t equals = input.find('=');
  std::string name = input.substr(0, equals);
  std::string text = equals == std::string::npos ? "" : input.substr(equals + 1);
  std::vector<uint8_t> block(sizeof(Block), 0);
  char ebuf[128];
  std::memset(ebuf, 'x', sizeof ebuf);
  if (StructsSetString(&kBlockType, name.c_str(), text.c_str(), block.data(), ebuf, sizeof ebuf) !=
      0) {
    Check(Error(ebuf, sizeof ebuf) != '\0', "a refused text has a message");
    return;
  }
  char* back = StructsGetString(&kBlockType, name.c_str(), block.data(), "FUZZ");
  std::free(back);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::vector<Case> cases = Cases();
  if (size < 1) return 0;
  // The text ends at the first NUL, as it would in a C string.
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  text.resize(std::strlen(text.c_str()));
  const std::size_t pick = data[0] % (cases.size() + 1);
  if (pick == cases.size()) {
    SetByName(text);
  } else {
    ParsePrimitive(cases[pick], text);
  }
  return 0;
}
