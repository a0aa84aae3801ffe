#include "config/processor_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/error_number.h"
#include "platform/file_system.h"
#include "records/text_case.h"

namespace kestrum {
namespace {

constexpr size_t kErrorTextMax = 519;

struct ReaderState {
  ~ReaderState() {
    if (file != nullptr) std::fclose(file);
  }
  FILE* file = nullptr;
  std::string line;       // the current line, split in place into fields
  std::string original;   // the current line unchanged, for messages
  int line_number = 0;    // physical lines read since the last rewind
  std::string file_name;  // shown in messages
  std::string error_text;
};

// A plain pointer, owned through ReplaceReader: a thread-local object with a destructor is not
// safe on Windows, where the compiler's emulated thread storage may be freed before such a
// destructor runs at thread end. A thread closes its reader with CloseProcessorFile.
thread_local ReaderState* t_reader = nullptr;

// Makes `next` the calling thread's reader; the reader it replaces is closed and freed.
void ReplaceReader(std::unique_ptr<ReaderState> next) {
  std::unique_ptr<ReaderState> previous(t_reader);
  t_reader = next.release();
}

ReaderState& Reader() {
  if (!t_reader) ReplaceReader(std::make_unique<ReaderState>());
  return *t_reader;
}

// Reads one physical line without its line feed and carriage return, cut to the longest line
// kept. Returns false at the end of the file.
bool ReadLine(FILE* file, std::string& out) {
  out.clear();
  int c;
  while ((c = std::getc(file)) != EOF && c != '\n') out.push_back(static_cast<char>(c));
  if (c == EOF && out.empty()) return false;
  if (!out.empty() && out.back() == '\r') out.pop_back();
  if (out.size() > static_cast<size_t>(kProcessorLineMax)) out.resize(kProcessorLineMax);
  return true;
}

bool IsComment(std::string_view line) {
  size_t first = line.find_first_not_of(" \t\v\f\r\n");
  return first == std::string_view::npos || line[first] == '*';
}

void CopyUpper(char* to, size_t width, std::string_view from) {
  size_t n = from.size() < width - 1 ? from.size() : width - 1;
  std::memset(to, 0, width);
  for (size_t i = 0; i < n; ++i)
    to[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(from[i])));
}

int Column(const int* columns, int index) { return columns != nullptr ? columns[index] : 0; }

int Reject(const char* message, int column, int length) {
  ReportParseError(1, message, column, length);
  return -2;
}

// Reads the decimal channel count after the first ':' (0 when there is none), clamped just above
// the largest count so that an absurd count stays out of range instead of wrapping into it.
int ChannelCount(std::string_view desc) {
  size_t colon = desc.find(':');
  if (colon == std::string_view::npos) return 0;
  long long count = 0;
  for (size_t i = colon + 1; i < desc.size() && std::isdigit(static_cast<unsigned char>(desc[i]));
       ++i) {
    count = count * 10 + (desc[i] - '0');
    if (count > kProcessorChannelsMax) return kProcessorChannelsMax + 1;
  }
  return static_cast<int>(count);
}

// Reads an alarm queue size: a whole decimal number from kAlarmQueueMin to kAlarmQueueMax, else
// -1.
int QueueSize(const char* text) {
  char* end = nullptr;
  errno = 0;
  long size = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE || size < kAlarmQueueMin ||
      size > kAlarmQueueMax) {
    return -1;
  }
  return static_cast<int>(size);
}

}  // namespace

int OpenProcessorFile(const char* file_name) {
  if (file_name == nullptr) return FailWith(EINVAL);
  std::string path = file_name;
  std::string shown;
  if (path.find('/') == std::string::npos && path.find('\\') == std::string::npos) {
    std::string cwd;
    if (GetCurrentDirectory(&cwd) != 0) return -1;
    path = cwd + "/" + path;
    shown = path;
  }
  // Binary mode: the same bytes on every platform (a text-mode read on Windows would end the
  // file at its first Ctrl-Z); ReadLine drops a line's carriage return itself.
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return FailFromErrno();
  ReplaceReader(std::make_unique<ReaderState>());
  t_reader->file = file;
  t_reader->file_name = shown;
  int data_lines = 0;
  std::string line;
  while (ReadLine(file, line)) {
    if (!IsComment(line)) ++data_lines;
  }
  std::rewind(file);
  return data_lines;
}

int NextProcessorLine(char** fields, int* columns, int maximum) {
  if (!t_reader || t_reader->file == nullptr) return FailWith(EBADF);
  ReaderState& r = *t_reader;
  for (;;) {
    if (!ReadLine(r.file, r.line)) {
      std::rewind(r.file);
      r.line_number = 0;
      return 0;
    }
    ++r.line_number;
    if (!IsComment(r.line)) break;
  }
  r.original = r.line;
  int count = 0;
  size_t start = 0;
  char* text = r.line.data();
  for (;;) {
    size_t comma = r.line.find(',', start);
    if (comma != std::string::npos) text[comma] = '\0';
    if (count < maximum) {
      fields[count] = text + start;
      if (columns != nullptr) columns[count] = static_cast<int>(start);
      ++count;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return count;
}

void CloseProcessorFile() { ReplaceReader(nullptr); }

int ParseProcessorLine(ProcessorEntry* entry, char** fields, const int* columns, int field_count,
                       const ProcessorEntry* first) {
  std::memset(entry, 0, sizeof *entry);
  std::string_view name = field_count >= 1 ? fields[0] : "";
  const int name_column = Column(columns, 0);
  if (name.empty()) return Reject("no processor name specified", name_column, 0);
  if (name.size() > kProcessorNameMax) {
    return Reject("processor name too long", name_column, static_cast<int>(name.size()));
  }
  CopyUpper(entry->name, sizeof entry->name, name);

  std::string_view print = name;
  int print_column = name_column;
  if (field_count >= 2 && fields[1][0] != '\0') {
    print = fields[1];
    print_column = Column(columns, 1);
    if (print.size() > kProcessorPrintNameMax) {
      return Reject("processor print name too long", print_column, static_cast<int>(print.size()));
    }
  }
  CopyUpper(entry->print_name, sizeof entry->print_name, print);

  for (const ProcessorEntry* e = first; e != nullptr && e < entry; ++e) {
    if (std::strcmp(e->name, entry->name) == 0) {
      return Reject("duplicate processor name", name_column, static_cast<int>(name.size()));
    }
    if (std::strcmp(e->print_name, entry->print_name) == 0) {
      return Reject("duplicate processor print name", print_column, static_cast<int>(print.size()));
    }
  }

  const bool is_alarm = std::strcmp(entry->name, "ALARM") == 0;
  if (field_count >= 3 && fields[2][0] != '\0' && !is_alarm) {
    char* desc = fields[2];
    const size_t length = std::strlen(desc);
    const int column = Column(columns, 2);
    if (length >= 2 && desc[1] == '-') {
      desc[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(desc[0])));
      if (CompareIgnoringCase(entry->name, "modb", 4) == 0) {
        entry->kind = kProcessorKindModbus;
      } else if (desc[0] == 'A') {
        entry->kind = kProcessorKindAnalogue;
      } else if (desc[0] == 'D') {
        entry->kind = kProcessorKindDigital;
      } else {
        return Reject("channel type must be A or D", column, static_cast<int>(length));
      }
    } else {
      entry->kind = kProcessorKindDigital;
    }
    if (std::strcmp(entry->name, "USERA") == 0) entry->kind = kProcessorKindAnalogue;
    entry->prefix[0] = length > 2 ? desc[2] : '\0';
    entry->prefix[1] = length > 3 && desc[3] != ':' ? desc[3] : '\0';
    int count = ChannelCount(desc);
    char prefix[3] = {entry->prefix[0], entry->prefix[1], '\0'};
    if (CheckChannelPrefix(prefix, count, column, static_cast<int>(length)) == 0) return -2;
    entry->channel_count = static_cast<uint16_t>(count);
  }

  if (field_count >= 4 && fields[3][0] != '\0') {
    for (char* p = fields[3]; *p != '\0'; ++p) {
      *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
    if (std::strcmp(fields[3], "run") == 0) {
      entry->run = 1;
      if (is_alarm) {
        const char* size_text = field_count >= 3 ? fields[2] : "";
        int size = size_text[0] == '\0' ? kAlarmQueueDefault : QueueSize(size_text);
        if (size < 0) {
          return Reject("invalid number of alarm queue entries", Column(columns, 2),
                        static_cast<int>(std::strlen(size_text)));
        }
        entry->channel_count = static_cast<uint16_t>(size);
      }
    }
  }
  return 1;
}

int CheckChannelPrefix(const char* prefix, int count, int column, int length) {
  auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
  if (!letter(prefix[0]) || (prefix[1] != '\0' && !letter(prefix[1]))) {
    ReportParseError(1, "invalid channel prefix", column, length);
    return 0;
  }
  if (count < kProcessorChannelsMin || count > kProcessorChannelsMax) {
    ReportParseError(1, "invalid number of channels", column, length);
    return 0;
  }
  return 1;
}

void ReportParseError(int code, const char* message, int column, int length) {
  ReaderState& r = Reader();
  char head[700];
  std::snprintf(head, sizeof head, "Can't Parse %s\nLine %d : **** %s ****\n", r.file_name.c_str(),
                r.line_number, message);
  std::string text = head;
  const std::string& line = r.original;
  if (length > 0 && column >= 0 && static_cast<size_t>(column) <= line.size()) {
    size_t end = std::min(line.size(), static_cast<size_t>(column) + static_cast<size_t>(length));
    text += line.substr(0, static_cast<size_t>(column)) + ">" +
            line.substr(static_cast<size_t>(column), end - static_cast<size_t>(column)) + "<" +
            line.substr(end);
  } else {
    text += line;
  }
  if (code != 0) text += "\nError : " + std::to_string(code) + "\n";
  if (text.size() > kErrorTextMax) text.resize(kErrorTextMax);
  r.error_text = text;
}

const char* ProcessorParseErrorText() { return t_reader ? t_reader->error_text.c_str() : ""; }

}  // namespace kestrum
