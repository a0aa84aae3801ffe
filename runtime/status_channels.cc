#include "runtime/status_channels.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/error_number.h"
#include "platform/shared_object.h"
#include "records/area_layout.h"
#include "records/channel_config.h"
#include "records/channel_table.h"
#include "records/fixed_text.h"
#include "runtime/area_lock.h"
#include "runtime/channel_prefixes.h"
#include "runtime/channel_writes.h"
#include "runtime/extension_names.h"
#include "runtime/install_roots.h"
#include "runtime/shared_area.h"
#include "runtime/status_channel_names.h"
#include "runtime/time_stamps.h"

namespace kestrum {
namespace {

// Bit set in the published word of each group's state channel.
constexpr uint32_t kStatusGroupMark = 0x80;

struct StatusState {
  std::mutex mutex;  // serialises start, update and stop
  bool running = false;
  char prefix[2] = {0, 0};
  uint32_t groups = 0;
  std::vector<uint32_t> counters;  // raw counts, 10 per group
  std::vector<uint32_t> words;     // status words to publish
  std::vector<float> values;       // values to publish
  char port_text[kStatusPortTextSize] = {};
  bool send_all = false;
};

StatusState& State() {
  static StatusState state;
  return state;
}

std::string_view Prefix(const StatusState& s) {
  return std::string_view(s.prefix, s.prefix[1] ? 2 : 1);
}

std::string DriverName(const DeviceRecord& device) {
  std::string name(FixedText(device.driver_name));
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// The program folder ("KSM_BIN"), or "" when it cannot be resolved.
std::string ProgramFolder() {
  KeepErrorNumber keep;
  const char* bin = ResolveLocation("KSM_BIN");
  return bin ? bin : "";
}

// Loads the driver's extension module (ExtensionModuleFile) as formed, then lower-cased, through
// the loader's search, then in the program folder.
ModuleHandle LoadDriverModule(const std::string& driver) {
  std::string file = ExtensionModuleFile(driver);
  std::string lower = file;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string folder = ProgramFolder();
  for (const std::string* name : {&file, &lower}) {
    if (ModuleHandle m = LoadModule(*name)) return m;
  }
  if (folder.empty()) return nullptr;
  for (const std::string* name : {&file, &lower}) {
    if (ModuleHandle m = LoadModuleFrom(folder, *name)) return m;
  }
  return nullptr;
}

// Asks the driver's module for its port text; leaves `text` empty without one.
void ReadPortText(const DeviceRecord& device, char (&text)[kStatusPortTextSize]) {
  std::memset(text, 0, sizeof text);
  ModuleHandle module = LoadDriverModule(DriverName(device));
  if (!module) return;
  auto get_port =
      reinterpret_cast<ExGetConfigPortFunc>(FindModuleSymbol(module, "Ex_Get_Config_Port"));
  if (get_port) get_port(&device, kStatusPortTextSize, text);
  text[kStatusPortTextSize - 1] = '\0';  // a module may fill the whole buffer
  FreeModule(module);
}

// Publishes the words and values: all of them unconditionally after a start, else what
// differs from the table when `changed`.
void Publish(StatusState& s, bool changed) {
  const uint32_t last = s.groups * kStatusChannelsPerGroup;
  if (s.send_all) {
    WriteDigitalChannelsUnconditional(Prefix(s), 1, last, s.words);
    WriteAnalogueChannelsUnconditional(Prefix(s), 1, last, s.values);
    s.send_all = false;
  } else if (changed) {
    WriteDigitalChannels(Prefix(s), 1, last, s.words);
    WriteAnalogueChannels(Prefix(s), 1, last, s.values);
  }
}

void UpdateLocked(StatusState& s) {
  if (!s.running) return;
  void* table = GetChannelTable(Prefix(s));
  ChannelTableView view;
  if (!table || GetChannelTableView(Prefix(s), &view) != 0 ||
      view.count < s.groups * kStatusChannelsPerGroup) {
    return;
  }
  AreaLock lock(table);
  if (!lock.held()) return;
  bool changed = false;
  for (uint32_t g = 0; g < s.groups; ++g) {
    const uint32_t first = g * kStatusChannelsPerGroup;
    const uint32_t state = s.counters[first] != 0 ? kStatusState : 0;
    if ((s.words[first] & kStatusState) != state) {
      s.words[first] = (s.words[first] & ~kStatusState) | state;
      changed = true;
    }
    if (view.status[first + kStatusChannelReset] & kStatusState) {
      // The state counter is no count: a reset must not show the device as disabled.
      std::fill_n(s.counters.begin() + first + kStatusChannelReset,
                  kStatusChannelsPerGroup - kStatusChannelReset, 0u);
      s.words[first + kStatusChannelReset] &= ~kStatusState;
      changed = true;
    }
    for (uint32_t k = 0; k < kStatusChannelsPerGroup; ++k) {
      const float value = static_cast<float>(s.counters[first + k]);
      if (s.values[first + k] != value) {
        s.values[first + k] = value;
        changed = true;
      }
    }
  }
  lock.Unlock();
  Publish(s, changed);
}

int FailInvalid() { return FailWith(EINVAL); }

}  // namespace

int StartStatusChannels(const DeviceRecord* device, const char* extra_prefix) {
  if (!device || !extra_prefix || !extra_prefix[0]) return FailInvalid();
  StatusState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.running = false;
  s.send_all = true;
  s.prefix[0] = extra_prefix[0];
  s.prefix[1] = extra_prefix[1];
  ReadPortText(*device, s.port_text);

  ChannelTableView view;
  if (GetChannelTableView(Prefix(s), &view) != 0) return -1;
  if (view.values == nullptr) return FailInvalid();
  const uint32_t groups = view.count / kStatusChannelsPerGroup;
  if (groups < 1) return FailInvalid();
  const uint32_t channels = groups * kStatusChannelsPerGroup;
  void* config = GetChannelConfigArea(Prefix(s));
  AreaHeader header;
  if (!config || ReadAreaHeader(config, &header) != 0) return -1;
  if (uint64_t{channels} * kChannelConfigSize > header.data_size) {
    SetErrorNumber(0);
    return -1;
  }
  s.groups = groups;
  s.counters.assign(channels, 0);
  s.words.assign(channels, 0);
  s.values.assign(channels, 0.0f);

  AreaLock config_lock(config);
  if (!config_lock.held()) return -1;
  s.counters[0] = device->scanner_attached;
  auto* records =
      reinterpret_cast<ChannelConfigRecord*>(static_cast<uint8_t*>(config) + kAreaHeaderSize);
  const std::string driver = DriverName(*device);
  for (uint32_t g = 0; g < groups; ++g) {
    InitStatusGroupRecords(records + g * kStatusChannelsPerGroup, driver, device->device_number, g,
                           s.port_text);
    s.words[g * kStatusChannelsPerGroup] |= kStatusGroupMark;
  }
  NotifyArea(config, 0);
  config_lock.Unlock();
  if (AreaLock table_lock(GetChannelTable(Prefix(s))); table_lock.held()) {
    LocalTimeNow(&view.header->stamp);  // when the status channels started
  }

  s.running = true;
  KeepErrorNumber keep;
  UpdateLocked(s);
  return 0;
}

void UpdateStatusChannels() {
  StatusState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  KeepErrorNumber keep;
  UpdateLocked(s);
}

void StopStatusChannels() {
  StatusState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.running) return;
  KeepErrorNumber keep;
  for (uint32_t g = 0; g < s.groups; ++g) s.counters[g * kStatusChannelsPerGroup] = 0;
  UpdateLocked(s);
  s.counters = {};
  s.words = {};
  s.values = {};
  s.groups = 0;
  s.running = false;
  std::memset(s.port_text, 0, sizeof s.port_text);
}

int AddToStatusCounter(uint32_t channel, uint32_t amount) {
  StatusState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.running || channel >= s.counters.size()) return FailInvalid();
  s.counters[channel] += amount;
  return 0;
}

}  // namespace kestrum
