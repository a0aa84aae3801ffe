// Typed field descriptions: how a binary record maps onto named texts.
//
// A record is described by a tree of StructsType descriptions. The configuration loaders ask a
// description for the dotted names of its leaf fields (StructsTraverse) and hand each XML text
// to the field of that name (StructsSetString), which parses it into the record; writers format
// fields back into text (StructsGetString).
//
// Extension modules built apart from this library hand the loaders descriptions of their own,
// so the in-memory layout of StructsType and StructsField is a contract: plain C structs, C
// linkage for every operation, no C++ types inside. Descriptions are constant data.
//
// Every function that can fail returns -1 (or null) and leaves the reason in the calling
// thread's error number (platform/error_number.h) and in errno.
#ifndef PARVEX_CONFIG_STRUCTS_TYPE_H_
#define PARVEX_CONFIG_STRUCTS_TYPE_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct StructsType StructsType;

/// Classes of descriptions.
enum {
  STRUCTS_CLASS_PRIMITIVE = 0,
  STRUCTS_CLASS_POINTER = 1,    /* args[0]: the pointed-to type */
  STRUCTS_CLASS_ARRAY = 2,      /* value StructsArrayValue; args[0]: element type */
  STRUCTS_CLASS_FIXEDARRAY = 3, /* elements in place; args[0] element type, args[2] count */
  STRUCTS_CLASS_STRUCTURE = 4,  /* args[0]: StructsField list ending with a null name */
  STRUCTS_CLASS_UNION = 5       /* value StructsUnionValue; args[0]: member list */
};

/// Sets a value to the type's default. Returns 0 or -1.
typedef int (*StructsInitFunc)(const StructsType* type, void* value);
/// Copies a value. Returns 0 or -1.
typedef int (*StructsCopyFunc)(const StructsType* type, const void* from, void* to);
/// Returns 1 when both values are equal, else 0.
typedef int (*StructsEqualFunc)(const StructsType* type, const void* a, const void* b);
/// Returns the value as a newly allocated text (free() it), or null.
typedef char* (*StructsFormatFunc)(const StructsType* type, const char* mtype, const void* value);
/// Parses `text` into the value. Returns 0, or -1 with a message in `ebuf` (at most `emax`
/// bytes, NUL-terminated) and the invalid-argument error number.
typedef int (*StructsParseFunc)(const StructsType* type, const char* text, void* value, char* ebuf,
                                int emax);
/// Writes the value's byte encoding into `buf` (`size` bytes). Returns the bytes written or -1.
typedef int (*StructsEncodeFunc)(const StructsType* type, const void* value, unsigned char* buf,
                                 int size);
/// Reads a value from its byte encoding. Returns the bytes used or -1.
typedef int (*StructsDecodeFunc)(const StructsType* type, const unsigned char* buf, int size,
                                 void* value);
/// Releases what a value holds (not the value's own bytes).
typedef void (*StructsUninitFunc)(const StructsType* type, void* value);

/// One argument word of a description: a number or a pointer, as the type defines.
typedef union StructsArg {
  intptr_t num;
  const void* ptr;
} StructsArg;

/// One description. Field order and types are fixed; see the file comment.
struct StructsType {
  int32_t size;     /* bytes one value occupies */
  const char* name; /* "structure", "boolean", "uint", "float", "id", ... */
  int32_t tclass;   /* a STRUCTS_CLASS_ value */
  StructsInitFunc init;
  StructsCopyFunc copy;
  StructsEqualFunc equal;
  StructsFormatFunc format;
  StructsParseFunc parse;
  StructsEncodeFunc encode;
  StructsDecodeFunc decode;
  StructsUninitFunc uninit;
  StructsArg args[3];
};

/// One member of a structure or union. A list ends with an entry whose name is null.
typedef struct StructsField {
  const char* name;
  const StructsType* type;
  uint16_t size;
  uint16_t offset; /* bytes from the start of the structure */
} StructsField;

/// One entry of an "id" or "bitfield" table. A table ends with an entry whose text is null.
typedef struct StructsIdEntry {
  const char* text;
  int32_t value;
  int32_t ignore_case;
} StructsIdEntry;

/// The value of a variable-length array.
typedef struct StructsArrayValue {
  uint32_t length;
  void* elems;
} StructsArrayValue;

/// The value of a union: the current member's name and its separately allocated value.
typedef struct StructsUnionValue {
  const char* field_name;
  void* un;
} StructsUnionValue;

/// Lists the dotted names of every leaf field of `value`, depth first in declaration order, as
/// a newly allocated array of newly allocated texts in *names (free() each and the array; see
/// StructsFreeNames). Returns the number of names, or -1 (EINVAL for a class outside 0 to 5,
/// ENOMEM). `mtype` tags the allocations and changes nothing.
int StructsTraverse(const StructsType* type, const void* value, char*** names, const char* mtype);

/// Frees a name list from StructsTraverse.
void StructsFreeNames(char** names, int count);

/// Finds the field `name` (dotted) in `value`: stores its type in *field_type and its address
/// in *field_value. Returns 0, or -1 with ENOENT (no such member), EDOM (an array index at or
/// beyond the count, or not a number) or EINVAL (a class outside 0 to 5). With `may_switch` a
/// union is switched to a member that the name selects.
int StructsFind(const StructsType* type, const char* name, void* value, int may_switch,
                const StructsType** field_type, void** field_value);

/// Parses `text` (null counts as empty) into the field `name` of `value`. Returns 0, or -1 with
/// the parser's message in `ebuf`, or the standard text of the error number when the parser
/// left the buffer empty ("Invalid argument").
int StructsSetString(const StructsType* type, const char* name, const char* text, void* value,
                     char* ebuf, int emax);

/// Returns the field `name` of `value` formatted as newly allocated text (free() it), or null.
char* StructsGetString(const StructsType* type, const char* name, const void* value,
                       const char* mtype);

/* Operations of the library's primitive types, for descriptions built elsewhere. */
int StructsBooleanParse(const StructsType*, const char*, void*, char*, int);
char* StructsBooleanFormat(const StructsType*, const char*, const void*);
int StructsUintParse(const StructsType*, const char*, void*, char*, int);
char* StructsUintFormat(const StructsType*, const char*, const void*);
int StructsFloatParse(const StructsType*, const char*, void*, char*, int);
char* StructsFloatFormat(const StructsType*, const char*, const void*);
int StructsIdParse(const StructsType*, const char*, void*, char*, int);
char* StructsIdFormat(const StructsType*, const char*, const void*);
int StructsFixedDataParse(const StructsType*, const char*, void*, char*, int);
char* StructsFixedDataFormat(const StructsType*, const char*, const void*);
int StructsFixedStringParse(const StructsType*, const char*, void*, char*, int);
char* StructsFixedStringFormat(const StructsType*, const char*, const void*);
int StructsBitFieldParse(const StructsType*, const char*, void*, char*, int);
char* StructsBitFieldFormat(const StructsType*, const char*, const void*);
int StructsChanConfigStringParse(const StructsType*, const char*, void*, char*, int);
char* StructsChanConfigStringFormat(const StructsType*, const char*, const void*);
int StructsCompoundParse(const StructsType*, const char*, void*, char*, int);
char* StructsCompoundFormat(const StructsType*, const char*, const void*);

/* Operations shared by every type whose value is its own bytes. */
int StructsBytesInit(const StructsType*, void*);
int StructsBytesCopy(const StructsType*, const void*, void*);
int StructsBytesEqual(const StructsType*, const void*, const void*);
int StructsBytesEncode(const StructsType*, const void*, unsigned char*, int);
int StructsBytesDecode(const StructsType*, const unsigned char*, int, void*);
void StructsNoUninit(const StructsType*, void*);

#ifdef __cplusplus
}  // extern "C"

namespace kestrum {

/// Width codes of the "uint" type's first argument.
enum StructsUintWidth : int {
  kStructsChar = 0,   // 8-bit
  kStructsShort = 1,  // 16-bit
  kStructsInt = 2,    // 32-bit
  kStructsLong = 3,   // 32-bit, as stored records define it
  kStructsInt8 = 4,
  kStructsInt16 = 5,
  kStructsInt32 = 6,
  kStructsInt64 = 7,
};

/// Forms of the "uint" type's second argument.
enum StructsUintForm : int { kStructsUnsigned = 0, kStructsSigned = 1, kStructsHex = 2 };

/// Word pairs of the "boolean" type's second argument (first word 0, second 1).
enum StructsBooleanPair : int {
  kStructsFalseTrue = 0,
  kStructsNoYes = 1,
  kStructsOffOn = 2,
  kStructsDisabledEnabled = 3,
  kStructsZeroOne = 4,
};

namespace structs_detail {
constexpr StructsType Primitive(int32_t size, const char* name, StructsFormatFunc format,
                                StructsParseFunc parse, StructsArg a0 = {}, StructsArg a1 = {},
                                StructsArg a2 = {}) {
  return StructsType{size,
                     name,
                     STRUCTS_CLASS_PRIMITIVE,
                     StructsBytesInit,
                     StructsBytesCopy,
                     StructsBytesEqual,
                     format,
                     parse,
                     StructsBytesEncode,
                     StructsBytesDecode,
                     StructsNoUninit,
                     {a0, a1, a2}};
}
constexpr StructsArg Num(intptr_t n) { return StructsArg{.num = n}; }
constexpr StructsArg Ptr(const void* p) { return StructsArg{.ptr = p}; }
constexpr int32_t UintSize(int width) {
  return width == kStructsChar || width == kStructsInt8     ? 1
         : width == kStructsShort || width == kStructsInt16 ? 2
         : width == kStructsInt64                           ? 8
                                                            : 4;
}
}  // namespace structs_detail

/// "boolean": 32-bit (or one byte), formatted with the words of `pair`.
constexpr StructsType StructsBooleanType(bool as_int32, StructsBooleanPair pair) {
  using namespace structs_detail;
  return Primitive(as_int32 ? 4 : 1, "boolean", StructsBooleanFormat, StructsBooleanParse,
                   Num(as_int32 ? 1 : 0), Num(pair));
}

/// "uint" of a StructsUintWidth and a StructsUintForm.
constexpr StructsType StructsUintType(StructsUintWidth width, StructsUintForm form) {
  using namespace structs_detail;
  return Primitive(UintSize(width), "uint", StructsUintFormat, StructsUintParse, Num(width),
                   Num(form));
}

/// "float": a 32-bit float, or a double.
constexpr StructsType StructsFloatType(bool is_double) {
  using namespace structs_detail;
  return Primitive(is_double ? 8 : 4, "float", StructsFloatFormat, StructsFloatParse,
                   Num(is_double ? 1 : 0));
}

/// "id": an integer of `size` bytes (1, 2 or 4) named by the texts of `table`.
constexpr StructsType StructsIdType(int32_t size, const StructsIdEntry* table) {
  using namespace structs_detail;
  return Primitive(size, "id", StructsIdFormat, StructsIdParse, Ptr(table));
}

/// "fixeddata": `size` bytes written as hexadecimal text.
constexpr StructsType StructsFixedDataType(int32_t size) {
  using namespace structs_detail;
  return Primitive(size, "fixeddata", StructsFixedDataFormat, StructsFixedDataParse);
}

/// "fixedstring": a text of at most `size` characters, NUL-padded.
constexpr StructsType StructsFixedStringType(int32_t size) {
  using namespace structs_detail;
  return Primitive(size, "fixedstring", StructsFixedStringFormat, StructsFixedStringParse);
}

/// "bitfield": bit `bit` (byte bit / 8, mask 0x80 >> bit % 8) of the flags word that lies
/// `distance` bytes before the field's nominal offset, named by `table`.
constexpr StructsType StructsBitFieldType(intptr_t distance, int bit, const StructsIdEntry* table) {
  using namespace structs_detail;
  return Primitive(0, "bitfield", StructsBitFieldFormat, StructsBitFieldParse, Num(distance),
                   Num(bit), Ptr(table));
}

/// "chanconfignstring": the split tag (which 0, 15 characters), description (8, 32) or units
/// (32, 8) of a channel record whose start lies `which` bytes before the nominal offset.
constexpr StructsType StructsChanConfigStringType(intptr_t which, int32_t max_length) {
  using namespace structs_detail;
  return Primitive(max_length, "chanconfignstring", StructsChanConfigStringFormat,
                   StructsChanConfigStringParse, Num(which));
}

/// A structure of `size` bytes with the members of `fields`.
constexpr StructsType StructsStructureType(int32_t size, const StructsField* fields) {
  using namespace structs_detail;
  StructsType type =
      Primitive(size, "structure", StructsCompoundFormat, StructsCompoundParse, Ptr(fields));
  type.tclass = STRUCTS_CLASS_STRUCTURE;
  return type;
}

/// A fixed-length array of `count` elements of `element`, held in place.
constexpr StructsType StructsFixedArrayType(const StructsType* element, int32_t element_size,
                                            int32_t count) {
  using namespace structs_detail;
  StructsType type = Primitive(element_size * count, "fixedarray", StructsCompoundFormat,
                               StructsCompoundParse, Ptr(element), Num(0), Num(count));
  type.tclass = STRUCTS_CLASS_FIXEDARRAY;
  return type;
}

/// A variable-length array (StructsArrayValue) of `element`.
constexpr StructsType StructsArrayType(const StructsType* element) {
  using namespace structs_detail;
  StructsType type = Primitive(sizeof(StructsArrayValue), "array", StructsCompoundFormat,
                               StructsCompoundParse, Ptr(element));
  type.tclass = STRUCTS_CLASS_ARRAY;
  return type;
}

/// A pointer to a value of `target`.
constexpr StructsType StructsPointerType(const StructsType* target) {
  using namespace structs_detail;
  StructsType type =
      Primitive(sizeof(void*), "pointer", StructsCompoundFormat, StructsCompoundParse, Ptr(target));
  type.tclass = STRUCTS_CLASS_POINTER;
  return type;
}

/// A union (StructsUnionValue) of the members of `fields`.
constexpr StructsType StructsUnionType(const StructsField* fields) {
  using namespace structs_detail;
  StructsType type = Primitive(sizeof(StructsUnionValue), "union", StructsCompoundFormat,
                               StructsCompoundParse, Ptr(fields));
  type.tclass = STRUCTS_CLASS_UNION;
  return type;
}

}  // namespace kestrum
#endif  // __cplusplus

#endif  // PARVEX_CONFIG_STRUCTS_TYPE_H_
