#include "runtime/error_reporting.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/error_number.h"
#include "records/area_layout.h"
#include "records/channel_config.h"
#include "records/channel_table.h"
#include "records/fixed_text.h"
#include "records/text_case.h"
#include "runtime/area_lock.h"
#include "runtime/channel_prefixes.h"
#include "runtime/channel_writes.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"
#include "runtime/time_stamps.h"

namespace kestrum {
namespace {

// Longest texts of each place a message goes.
constexpr size_t kLongNameLength = sizeof(LongErrorEntry::source_name) - 1;
constexpr size_t kShortNameLength = sizeof(ShortErrorEntry::source_name) - 1;
constexpr size_t kLongMessageBuffer = 121;  // formatting buffer of the long layout
constexpr size_t kShortMessageStored = sizeof(ShortErrorEntry::message) - 1;
constexpr size_t kMatchNameLength = 47;
constexpr size_t kSyserTagLength = 15;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareIgnoringCase(a.data(), b.data(), a.size()) == 0;
}

// The process's binding: its entry and its SYSER channel.
struct Binding {
  uint64_t generation = 0;
  void* errors = nullptr;  // "dm_errors"; null while unbound
  uint8_t* entry_type = nullptr;
  char* message = nullptr;  // the entry's message field
  size_t message_size = 0;
  size_t stored_length = 0;  // longest message stored: 80 or 30
  bool long_layout = false;
  uint32_t syser_channel = 0;  // 1-based; 0 without a SYSER channel
  char syser_prefix[2] = {0, 0};
  void* syser_config = nullptr;  // configuration area of the SYSER table
  ChannelConfigRecord* syser_record = nullptr;
  ChannelTableView syser_table;
};

struct ReportingState {
  std::mutex mutex;
  Binding binding;
  ErrorSourceNameRule rules[2] = {nullptr, nullptr};  // types 4 and 5
};

ReportingState& State() {
  static ReportingState state;
  return state;
}

bool Bound(const Binding& b) {
  return b.errors != nullptr && b.generation == SharedAreaGeneration();
}

std::string_view SyserPrefix(const Binding& b) {
  return std::string_view(b.syser_prefix, b.syser_prefix[1] ? 2 : 1);
}

// Finds (or claims) the entry of `type` and `name` in a locked table and fills the entry
// fields of `*b`. Returns false when the table is full.
bool ClaimEntry(const SystemArea& errors, uint8_t type, std::string_view name, Binding* b) {
  const ErrorTableLayout layout = ClassifyErrorTable(errors.data_size, errors.count);
  auto* base = static_cast<uint8_t*>(errors.area);
  b->long_layout = layout == ErrorTableLayout::kLong;
  int64_t found = -1, free_entry = -1;
  for (uint32_t i = 0; i < errors.count; ++i) {
    uint8_t* entry =
        base + (b->long_layout ? LongErrorEntryOffset(errors.count, i) : ShortErrorEntryOffset(i));
    const char* entry_name = reinterpret_cast<char*>(entry) + 1;
    const size_t size = b->long_layout ? kLongNameLength + 1 : kShortNameLength + 1;
    if (entry_name[0] == '\0') {
      // The long layout claims the first free entry, the short one the last.
      if (free_entry < 0 || !b->long_layout) free_entry = i;
    } else if (entry[0] == type && FieldEqualsIgnoringCase(entry_name, size, name, size - 1)) {
      found = i;
      break;
    }
  }
  const int64_t index = found >= 0 ? found : free_entry;
  if (index < 0) return false;
  uint8_t* entry = base + (b->long_layout ? LongErrorEntryOffset(errors.count, index)
                                          : ShortErrorEntryOffset(index));
  b->entry_type = entry;
  if (b->long_layout) {
    auto* e = reinterpret_cast<LongErrorEntry*>(entry);
    SetFixedText(e->source_name, name, true);
    b->message = e->message;
    b->message_size = sizeof e->message;
    b->stored_length = kLongErrorMessageLength;
  } else {
    auto* e = reinterpret_cast<ShortErrorEntry*>(entry);
    SetFixedText(e->source_name, name, true);
    b->message = e->message;
    b->message_size = sizeof e->message;
    b->stored_length = kShortMessageStored;
  }
  *entry = type;
  std::memset(b->message, 0, b->message_size);
  return true;
}

// The name the SYSER channel of a source carries.
std::string MatchName(uint8_t type, const char* name, const ReportingState& state) {
  if (type == kErrorSourceLogger || type == kErrorSourceResubLogger) {
    ErrorSourceNameRule rule = state.rules[type - kErrorSourceLogger];
    const int logger = rule ? FindLoggerIndex(name) : 0;
    SystemArea loggers;
    if (logger > 0 && OpenLoggerArea(&loggers) == 0 &&
        static_cast<uint32_t>(logger) <= loggers.count) {
      const auto* record = reinterpret_cast<const LoggerRecord*>(loggers.records) + (logger - 1);
      if (const char* shortened = rule(record, name)) {
        return std::string(shortened).substr(0, kMatchNameLength);
      }
    }
  }
  return std::string(name).substr(0, kMatchNameLength);
}

bool ChannelMatches(const ChannelConfigRecord& r, uint8_t type, const std::string& match,
                    bool long_layout) {
  const std::string_view description = GetChannelDescription(r);
  if (long_layout && type == kErrorSourceResubLogger && match.size() > kSyserTagLength) {
    return EqualsIgnoringCase(GetChannelTag(r),
                              std::string_view(match).substr(0, kSyserTagLength)) &&
           EqualsIgnoringCase(description, std::string_view(match).substr(kSyserTagLength));
  }
  return EqualsIgnoringCase(description, match);
}

// Binds the SYSER channel of the source, if the system has one, and shows a state that is
// still raised as the entry's message.
void BindSyserChannel(uint8_t type, const char* name, const ReportingState& state, Binding* b) {
  const DataProcessorRecord* syser = FindDataProcessor(kSystemErrorProcessorName);
  if (!syser || syser->prefix[0] == '\0') return;
  const std::string_view prefix(syser->prefix, syser->prefix[1] ? 2 : 1);
  ChannelTableView table;
  void* config = GetChannelConfigArea(prefix);
  AreaHeader header;
  if (GetChannelTableView(prefix, &table) != 0 || !config || ReadAreaHeader(config, &header) != 0) {
    return;
  }
  const uint32_t count = std::min<uint64_t>(table.count, header.data_size / kChannelConfigSize);
  auto* records =
      reinterpret_cast<ChannelConfigRecord*>(static_cast<uint8_t*>(config) + kAreaHeaderSize);
  const std::string match = MatchName(type, name, state);
  for (uint32_t c = 0; c < count; ++c) {
    if (!ChannelMatches(records[c], type, match, b->long_layout)) continue;
    b->syser_channel = c + 1;
    std::memcpy(b->syser_prefix, syser->prefix, sizeof b->syser_prefix);
    b->syser_config = config;
    b->syser_record = &records[c];
    b->syser_table = table;
    if (table.status[c] & kStatusState) {
      SetFixedText(b->message, b->message_size,
                   FixedText(records[c].digital.HighStateText).substr(0, b->stored_length), true);
    }
    return;
  }
}

void SetSyserTexts(const Binding& b, std::string_view message) {
  AreaLock lock(b.syser_config);
  if (!lock.held()) return;
  const std::string_view text = message.substr(0, kConfigTextWidth);
  SetFixedText(b.syser_record->digital.HighStateText, text, false);
  SetFixedText(b.syser_record->digital.AlarmText, text, false);
  NotifyArea(b.syser_config, 0);
}

void WriteSyserState(const Binding& b, uint32_t state) {
  const uint32_t values[1] = {state};
  WriteDigitalChannels(SyserPrefix(b), b.syser_channel, b.syser_channel, values);
}

void StoreMessage(const Binding& b, std::string_view message) {
  AreaLock lock(b.errors);
  if (!lock.held()) return;
  SetFixedText(b.message, b.message_size, message, true);
  NotifyArea(b.errors, 0);
}

void ClearBound(const Binding& b) {
  if (b.message[0] == '\0') return;
  StoreMessage(b, "");
  if (b.syser_channel != 0) WriteSyserState(b, 0);
}

// Formats the message as the layout keeps it: the long layout cuts the formatted text at 120
// characters, the short one formats without a limit; both store only the first 80 or 30.
std::string FormatMessage(const Binding& b, const char* format, va_list args) {
  if (b.long_layout) {
    char buffer[kLongMessageBuffer] = {};
    std::vsnprintf(buffer, sizeof buffer, format, args);
    return buffer;
  }
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out(length > 0 ? length : 0, '\0');
  if (length > 0) std::vsnprintf(out.data(), out.size() + 1, format, args);
  return out;
}

}  // namespace

void SetErrorSourceNameRules(ErrorSourceNameRule type4, ErrorSourceNameRule type5) {
  ReportingState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.rules[0] = type4;
  state.rules[1] = type5;
}

int RegisterErrorSource(uint8_t type, const char* name) {
  if (!name || !*name) return FailWith(EINVAL);
  ReportingState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.binding = Binding{};
  SystemArea errors;
  if (OpenErrorArea(&errors) != 0) return -1;
  AreaLock errors_lock(errors.area);
  if (!errors_lock.held()) return -1;
  Binding b;
  const std::string_view full(name);
  const bool claimed = ClaimEntry(errors, type, full, &b);
  if (claimed) {
    b.errors = errors.area;
    b.generation = SharedAreaGeneration();
    KeepErrorNumber keep;
    BindSyserChannel(type, name, state, &b);
  }
  errors_lock.Unlock();
  if (!claimed) return FailWith(ENOSPC);
  state.binding = b;
  return 0;
}

void ReportError(const char* format, ...) {
  ReportingState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  const Binding& b = state.binding;
  if (!Bound(b) || !format) return;
  KeepErrorNumber keep;
  va_list args;
  va_start(args, format);
  const std::string formatted = FormatMessage(b, format, args);
  va_end(args);
  // Only what the entry keeps is compared, so a long message reported twice is stored once.
  const std::string_view message = std::string_view(formatted).substr(0, b.stored_length);
  if (EqualsIgnoringCase(message, FixedText(b.message, b.message_size))) return;
  if (message.empty()) {
    ClearBound(b);
    return;
  }
  StoreMessage(b, message);
  if (b.syser_channel == 0) return;
  // The channel texts hold more than a short entry: they take from the formatted text.
  SetSyserTexts(b, formatted);
  if (AreaLock table_lock(GetChannelTable(SyserPrefix(b))); table_lock.held()) {
    LocalTimeNow(&b.syser_table.header->stamp);  // when the last error was reported
  }
  WriteSyserState(b, 1);
}

void ClearError() {
  ReportingState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!Bound(state.binding)) return;
  KeepErrorNumber keep;
  ClearBound(state.binding);
}

}  // namespace kestrum
