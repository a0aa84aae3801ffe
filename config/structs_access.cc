// Walking field descriptions: the leaf names of a value, finding a field by its dotted name,
// and setting or getting a field as text.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <string_view>
#include <vector>

#include "config/structs_type.h"
#include "platform/error_number.h"

namespace {

int Fail(int error) {
  errno = error;
  kestrum::SetErrorNumber(error);
  return -1;
}

std::string Join(const std::string& prefix, std::string_view component) {
  if (prefix.empty()) return std::string(component);
  return prefix + "." + std::string(component);
}

const StructsType* Target(const StructsType* type) {
  return static_cast<const StructsType*>(type->args[0].ptr);
}

const StructsField* Members(const StructsType* type) {
  return static_cast<const StructsField*>(type->args[0].ptr);
}

const StructsField* Member(const StructsType* type, std::string_view name) {
  for (const StructsField* f = Members(type); f != nullptr && f->name != nullptr; ++f) {
    if (name == f->name) return f;
  }
  return nullptr;
}

// The current member of a union value, or null.
const StructsField* CurrentMember(const StructsType* type, const StructsUnionValue* u) {
  if (u == nullptr || u->field_name == nullptr) return nullptr;
  return Member(type, u->field_name);
}

// Collects the leaf names below `type` into `out`; false for a class outside 0 to 5.
bool Collect(const StructsType* type, const void* value, const std::string& prefix,
             std::vector<std::string>& out) {
  switch (type->tclass) {
    case STRUCTS_CLASS_PRIMITIVE:
      out.push_back(prefix);
      return true;
    case STRUCTS_CLASS_POINTER: {
      const void* target = value ? *static_cast<void* const*>(value) : nullptr;
      return target == nullptr || Collect(Target(type), target, prefix, out);
    }
    case STRUCTS_CLASS_STRUCTURE:
      for (const StructsField* f = Members(type); f != nullptr && f->name != nullptr; ++f) {
        const void* member = value ? static_cast<const char*>(value) + f->offset : nullptr;
        if (!Collect(f->type, member, Join(prefix, f->name), out)) return false;
      }
      return true;
    case STRUCTS_CLASS_ARRAY:
    case STRUCTS_CLASS_FIXEDARRAY: {
      const StructsType* element = Target(type);
      const char* elems = static_cast<const char*>(value);
      uint32_t count = static_cast<uint32_t>(type->args[2].num);
      if (type->tclass == STRUCTS_CLASS_ARRAY) {
        const auto* array = static_cast<const StructsArrayValue*>(value);
        count = array ? array->length : 0;
        elems = array ? static_cast<const char*>(array->elems) : nullptr;
      }
      for (uint32_t i = 0; i < count; ++i) {
        const void* item = elems ? elems + static_cast<size_t>(i) * element->size : nullptr;
        if (!Collect(element, item, Join(prefix, std::to_string(i)), out)) return false;
      }
      return true;
    }
    case STRUCTS_CLASS_UNION: {
      const auto* u = static_cast<const StructsUnionValue*>(value);
      const StructsField* member = CurrentMember(type, u);
      return member == nullptr || Collect(member->type, u->un, Join(prefix, member->name), out);
    }
    default:
      return false;
  }
}

// Parses a decimal array index; -1 when the text is not one.
long long Index(std::string_view text) {
  if (text.empty() || text.size() > 10) return -1;
  long long n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

char* FormatUnionName(const StructsType*, const char*, const void* value) {
  const char* name = *static_cast<const char* const*>(value);
  return strdup(name ? name : "");
}

int ParseUnionName(const StructsType*, const char* text, void*, char* ebuf, int emax) {
  if (ebuf && emax > 0) snprintf(ebuf, static_cast<size_t>(emax), "invalid value \"%s\"", text);
  return Fail(EINVAL);
}

// The type of the length of a variable-length array and of the member name of a union.
const StructsType kLengthType =
    kestrum::StructsUintType(kestrum::kStructsInt32, kestrum::kStructsUnsigned);
const StructsType kUnionNameType = kestrum::structs_detail::Primitive(
    sizeof(const char*), "fieldname", FormatUnionName, ParseUnionName);

// Switches a union value to `member`: a new zeroed, initialised value replaces the old one.
int SwitchUnion(const StructsType* type, StructsUnionValue* u, const StructsField* member) {
  void* fresh = calloc(1, member->type->size > 0 ? static_cast<size_t>(member->type->size) : 1);
  if (fresh == nullptr) return Fail(ENOMEM);
  if (member->type->init != nullptr && member->type->init(member->type, fresh) != 0) {
    free(fresh);
    return Fail(EINVAL);
  }
  if (const StructsField* old = CurrentMember(type, u); old != nullptr && u->un != nullptr) {
    if (old->type->uninit != nullptr) old->type->uninit(old->type, u->un);
  }
  free(u->un);
  u->un = fresh;
  u->field_name = member->name;
  return 0;
}

// Moves one component down from (type, value). Returns 0 or -1 with the error number set.
int Step(const StructsType*& type, void*& value, std::string_view component, bool last,
         int may_switch) {
  switch (type->tclass) {
    case STRUCTS_CLASS_STRUCTURE: {
      const StructsField* f = Member(type, component);
      if (f == nullptr) return Fail(ENOENT);
      type = f->type;
      value = static_cast<char*>(value) + f->offset;
      return 0;
    }
    case STRUCTS_CLASS_ARRAY:
    case STRUCTS_CLASS_FIXEDARRAY: {
      auto* array = static_cast<StructsArrayValue*>(value);
      if (type->tclass == STRUCTS_CLASS_ARRAY && component == "length" && last) {
        type = &kLengthType;
        value = &array->length;
        return 0;
      }
      const bool fixed = type->tclass == STRUCTS_CLASS_FIXEDARRAY;
      long long count = fixed ? type->args[2].num : array->length;
      long long i = Index(component);
      if (i < 0 || i >= count) return Fail(EDOM);
      char* elems = fixed ? static_cast<char*>(value) : static_cast<char*>(array->elems);
      type = Target(type);
      value = elems + i * type->size;
      return 0;
    }
    case STRUCTS_CLASS_UNION: {
      auto* u = static_cast<StructsUnionValue*>(value);
      if (component == "field_name" && last) {
        type = &kUnionNameType;
        value = &u->field_name;
        return 0;
      }
      const StructsField* member = Member(type, component);
      if (member == nullptr) return Fail(ENOENT);
      if (member != CurrentMember(type, u)) {
        if (!may_switch) return Fail(ENOENT);
        if (SwitchUnion(type, u, member) != 0) return -1;
      }
      type = member->type;
      value = u->un;
      return 0;
    }
    case STRUCTS_CLASS_PRIMITIVE:
      return Fail(ENOENT);
    default:
      return Fail(EINVAL);
  }
}

}  // namespace

extern "C" {

int StructsTraverse(const StructsType* type, const void* value, char*** names, const char*) {
  *names = nullptr;
  std::vector<std::string> found;
  if (type == nullptr || !Collect(type, value, "", found)) return Fail(EINVAL);
  char** list = static_cast<char**>(calloc(found.size() + 1, sizeof(char*)));
  if (list == nullptr) return Fail(ENOMEM);
  for (size_t i = 0; i < found.size(); ++i) {
    list[i] = strdup(found[i].c_str());
    if (list[i] == nullptr) {
      StructsFreeNames(list, static_cast<int>(i));
      return Fail(ENOMEM);
    }
  }
  *names = list;
  return static_cast<int>(found.size());
}

void StructsFreeNames(char** names, int count) {
  if (names == nullptr) return;
  for (int i = 0; i < count; ++i) free(names[i]);
  free(names);
}

int StructsFind(const StructsType* type, const char* name, void* value, int may_switch,
                const StructsType** field_type, void** field_value) {
  if (type == nullptr || name == nullptr) return Fail(EINVAL);
  std::string_view rest(name);
  for (;;) {
    while (type->tclass == STRUCTS_CLASS_POINTER) {
      value = value ? *static_cast<void**>(value) : nullptr;
      if (value == nullptr) return Fail(ENOENT);
      type = Target(type);
    }
    if (rest.empty()) break;
    if (value == nullptr && type->tclass != STRUCTS_CLASS_STRUCTURE &&
        type->tclass != STRUCTS_CLASS_FIXEDARRAY) {
      return Fail(ENOENT);
    }
    size_t dot = rest.find('.');
    std::string_view component = rest.substr(0, dot);
    rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
    if (Step(type, value, component, rest.empty(), may_switch) != 0) return -1;
  }
  if (type->tclass < STRUCTS_CLASS_PRIMITIVE || type->tclass > STRUCTS_CLASS_UNION) {
    return Fail(EINVAL);
  }
  *field_type = type;
  *field_value = value;
  return 0;
}

int StructsSetString(const StructsType* type, const char* name, const char* text, void* value,
                     char* ebuf, int emax) {
  if (ebuf != nullptr && emax > 0) ebuf[0] = '\0';
  const StructsType* field = nullptr;
  void* address = nullptr;
  int result = StructsFind(type, name, value, 1, &field, &address);
  if (result == 0) {
    errno = 0;
    kestrum::SetErrorNumber(0);
    result = field->parse == nullptr ? Fail(EINVAL)
                                     : field->parse(field, text ? text : "", address, ebuf, emax);
  }
  if (result != 0 && ebuf != nullptr && emax > 0 && ebuf[0] == '\0') {
    // The parser said nothing of its own: show the standard text of the error number.
    int error = kestrum::GetErrorNumber() ? kestrum::GetErrorNumber() : errno ? errno : EINVAL;
    kestrum::SetErrorNumber(error);
    snprintf(ebuf, static_cast<size_t>(emax), "%s", strerror(error));
  }
  return result == 0 ? 0 : -1;
}

char* StructsGetString(const StructsType* type, const char* name, const void* value,
                       const char* mtype) {
  const StructsType* field = nullptr;
  void* address = nullptr;
  if (StructsFind(type, name, const_cast<void*>(value), 0, &field, &address) != 0) return nullptr;
  if (field->format == nullptr) {
    Fail(EINVAL);
    return nullptr;
  }
  return field->format(field, mtype, address);
}

}  // extern "C"
