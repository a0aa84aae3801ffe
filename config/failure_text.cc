#include "config/failure_text.h"

#include <initializer_list>

namespace kestrum {
namespace {

// How the XML layer names the file of a failed load: "Xml Load Failed (<path>)", followed by
// ", File Not Found", by a blank and the reason, or by nothing.
constexpr std::string_view kLoadFailedLead = "Xml Load Failed (";
// The result code that closes a load failure: " 0x" and eight hex digits padded with blanks.
constexpr std::string_view kCodeLead = " 0x";
constexpr size_t kCodeDigits = 8;
// Marks a text that was cut; the whole text is in the system log.
constexpr std::string_view kCutMark = "...";

// Finds the path of a load failure text: [*begin, *end). Returns false when there is none.
bool FindLoadPath(std::string_view text, size_t* begin, size_t* end) {
  const size_t lead = text.find(kLoadFailedLead);
  if (lead == std::string_view::npos) return false;
  *begin = lead + kLoadFailedLead.size();
  for (size_t close = text.find(')', *begin); close != std::string_view::npos;
       close = text.find(')', close + 1)) {
    if (close + 1 == text.size() || text[close + 1] == ' ' || text[close + 1] == ',') {
      *end = close;
      return true;
    }
  }
  return false;
}

// Returns the last `components` components of `path` ("a/b/c.xml", 2: "b/c.xml"), or the
// whole path when it has no more.
std::string_view LastComponents(std::string_view path, int components) {
  size_t start = path.size();
  for (int i = 0; i < components; ++i) {
    if (start == 0) return path;
    const size_t separator = path.find_last_of("/\\", start - 1);
    if (separator == std::string_view::npos) return path;
    start = separator;
  }
  return path.substr(start + 1);
}

bool EndsWithResultCode(std::string_view text) {
  const size_t length = kCodeLead.size() + kCodeDigits;
  if (text.size() < length || text.back() == ' ') return false;
  const std::string_view digits = text.substr(text.size() - kCodeDigits);
  return text.substr(text.size() - length, kCodeLead.size()) == kCodeLead &&
         digits.find_first_not_of("0123456789abcdef ") == std::string_view::npos;
}

// Returns `text` without its closing result code, or unchanged when it has none.
std::string_view WithoutResultCode(std::string_view text) {
  return EndsWithResultCode(text) ? text.substr(0, text.size() - kCodeLead.size() - kCodeDigits)
                                  : text;
}

}  // namespace

std::string FitFailureText(std::string_view text, size_t width) {
  std::string fitted(text);
  if (fitted.size() <= width) return fitted;
  // The folder and file name say more to an operator than the result code, which the system
  // log keeps: the code goes first, then the folder.
  size_t begin = 0;
  size_t end = 0;
  if (FindLoadPath(text, &begin, &end)) {
    const std::string_view path = text.substr(begin, end - begin);
    for (int components : {2, 1}) {
      for (std::string_view rest : {text.substr(end), WithoutResultCode(text.substr(end))}) {
        fitted = std::string(text.substr(0, begin));
        fitted += LastComponents(path, components);
        fitted += rest;
        if (fitted.size() <= width) return fitted;
      }
    }
  } else {
    fitted = WithoutResultCode(text);
    if (fitted.size() <= width) return fitted;
  }
  if (width <= kCutMark.size()) return fitted.substr(0, width);
  fitted.resize(width - kCutMark.size());
  return fitted += kCutMark;
}

}  // namespace kestrum
