#include "tools/monitor/device_view.h"

#include <cstring>

#include "config/windows_1252.h"
#include "records/area_layout.h"
#include "records/channel_table.h"
#include "records/device_record.h"
#include "records/error_entries.h"
#include "records/fixed_text.h"
#include "records/text_case.h"
#include "runtime/area_lock.h"
#include "runtime/channel_prefixes.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"

namespace kestrum::monitor {
namespace {

int AlarmPriority(AlarmState alarm, bool digital, const ChannelConfigRecord& config) {
  if (digital) {
    const DigitalChannelConfig& d = config.digital;
    return alarm == AlarmState::kError ? d.ErrorAlarmPriority : d.AlarmPriority;
  }
  const AnalogueChannelConfig& a = config.analogue;
  switch (alarm) {
    case AlarmState::kHigh:
      return a.HighAlarmPriority;
    case AlarmState::kLow:
      return a.LowAlarmPriority;
    case AlarmState::kError:
      return a.ErrorAlarmPriority;
    case AlarmState::kNone:
      break;
  }
  return -1;
}

// The configuration records of `prefix`, copied under the area lock; empty when the area is
// missing or refused.
std::vector<ChannelConfigRecord> CopyConfigRecords(const std::string& prefix) {
  void* area = GetChannelConfigArea(prefix);
  AreaHeader header;
  if (!area || ReadAreaHeader(area, &header) != 0) return {};
  AreaLock lock(area);
  if (!lock.held()) return {};
  std::vector<ChannelConfigRecord> records(header.data_size / kChannelConfigSize);
  std::memcpy(records.data(), static_cast<const std::byte*>(area) + kAreaHeaderSize,
              records.size() * kChannelConfigSize);
  return records;
}

ChannelView MakeChannel(uint32_t index, uint32_t status, std::optional<float> value,
                        const ChannelConfigRecord* config) {
  ChannelView c;
  c.number = index + 1;
  c.status = status;
  c.value = value;
  c.state = DecodeChannelState(status, config);
  if (config) {
    char tag[kMaxTagLength + 1];
    CopyChannelTag(*config, tag, sizeof(tag));
    // Stored texts are Windows-1252; the view shows them (and writes JSON) in UTF-8.
    c.tag = Windows1252ToUtf8(tag);
    c.description = Windows1252ToUtf8(GetChannelDescription(*config));
    c.type = ChannelType(*config);
    c.enabled = ChannelEnabled(*config);
    if (!IsDigitalRecord(*config)) c.units = Windows1252ToUtf8(GetChannelUnits(*config));
  }
  return c;
}

// Reads the channel table of `prefix` as kind `kind`. Returns false when it cannot be used.
bool ReadTable(int kind, const std::string& prefix, TableView* out) {
  ChannelTableView table;
  if (GetChannelTableView(prefix, &table) != 0) return false;
  std::vector<ChannelConfigRecord> config = CopyConfigRecords(prefix);
  out->kind = kind;
  out->prefix = prefix;
  out->has_config = !config.empty();
  // A table whose lock cannot be taken (cut short, damaged) is left out until it can.
  AreaLock lock(GetChannelTable(prefix));
  if (!lock.held()) return false;
  out->error_code = table.header->error_code;
  out->scan_duration_ms = table.header->scan_duration_ms;
  out->channels.reserve(table.count);
  for (uint32_t i = 0; i < table.count; ++i) {
    std::optional<float> value;
    if (table.values) value = table.values[i];
    out->channels.push_back(
        MakeChannel(i, table.status[i], value, i < config.size() ? &config[i] : nullptr));
  }
  return true;
}

// Copies the message of the device's entry in "dm_errors" (source type device, its name).
void ReadErrorEntry(const std::string& device_name, DeviceView* view) {
  SystemArea errors;
  if (OpenErrorArea(&errors) != 0) return;
  AreaLock lock(errors.area);
  if (!lock.held()) return;
  const ErrorTableLayout layout = ClassifyErrorTable(errors.data_size, errors.count);
  const auto* base = static_cast<const std::byte*>(errors.area);
  for (uint32_t i = 0; i < errors.count && layout != ErrorTableLayout::kInvalid; ++i) {
    uint8_t type;
    const char* name;
    std::size_t name_size;
    const char* message;
    std::size_t message_size;
    if (layout == ErrorTableLayout::kLong) {
      const auto* e =
          reinterpret_cast<const LongErrorEntry*>(base + LongErrorEntryOffset(errors.count, i));
      type = e->source_type, name = e->source_name, name_size = sizeof(e->source_name);
      message = e->message, message_size = sizeof(e->message);
    } else {
      const auto* e = reinterpret_cast<const ShortErrorEntry*>(base + ShortErrorEntryOffset(i));
      type = e->source_type, name = e->source_name, name_size = sizeof(e->source_name);
      message = e->message, message_size = sizeof(e->message);
    }
    if (name[0] == '\0' || type != kErrorSourceDevice) continue;
    if (!FieldEqualsIgnoringCase(name, name_size, device_name, name_size)) continue;
    view->error_source_found = true;
    view->error_message = FixedText(message, message_size);
    return;
  }
}

bool Matches(const DeviceRecord& r, const DeviceSelector& selector) {
  if (selector.number != 0 && r.device_number != selector.number) return false;
  return selector.driver.empty() ||
         FieldEqualsIgnoringCase(r.driver_name, sizeof(r.driver_name), selector.driver, 5);
}

void CopyDeviceRecord(const DeviceRecord& r, DeviceView* view) {
  view->driver = FixedText(r.driver_name);
  view->name = FixedText(r.device_name);
  view->folder = FixedText(r.folder_name);
  view->number = r.device_number;
  view->port = FixedText(r.config.comm.PortName);
  view->scan_rate_ms = r.config.comm.ScanRate;
  view->scanner_pid = r.scanner_pid;
  view->attached = r.scanner_attached != 0;
  view->ready = r.scanner_ready != 0;
  view->operation_in_progress = r.operation_in_progress != 0;
  view->last_scan_ms = r.last_scan_ms;
}

}  // namespace

ChannelState DecodeChannelState(uint32_t status, const ChannelConfigRecord* config) {
  ChannelState s;
  // The record's type says what the channel is even before its writer first set 0x80.
  s.value_channel = config ? !IsDigitalRecord(*config) : (status & kStatusValueChannel) != 0;
  s.no_value = (status & kStatusNoValue) != 0;
  if (s.value_channel) {
    s.sig_change = (status & kStatusSigChange) != 0;
  } else {
    s.digital_state = (status & kStatusState) != 0;
  }
  if (status & kStatusWarningActive) {
    s.warning = (status & kStatusWarningSide) ? Side::kHigh : Side::kLow;
  }
  if (status & kStatusAlarmActive) {
    if (s.no_value) {
      s.alarm = AlarmState::kError;
    } else {
      s.alarm = (status & kStatusAlarmSide) ? AlarmState::kHigh : AlarmState::kLow;
    }
    if (config) s.alarm_priority = AlarmPriority(s.alarm, !s.value_channel, *config);
  }
  s.alarm_immediate = (status & kStatusAlarmImmediate) != 0;
  s.alarm_flag = (status & kStatusAlarmFlag) != 0;
  if (status & kStatusEventActive) {
    s.event = (status & kStatusEventSide) ? Side::kHigh : Side::kLow;
  }
  return s;
}

const char* TableKindName(int kind) {
  return kind >= 0 && kind < kChannelKindCount ? kChannelKindNames[kind] : "status";
}

int ReadDeviceView(const DeviceSelector& selector, DeviceView* view, std::string* error) {
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return -1;
  };
  SystemArea devices;
  if (OpenDeviceArea(&devices) != 0) return fail("no device table (\"dm_device\") yet");
  const auto* records = reinterpret_cast<const DeviceRecord*>(devices.records);
  uint32_t index = 0;
  while (index < devices.count && !Matches(records[index], selector)) ++index;
  if (index == devices.count) return fail("no such device in \"dm_device\"");

  DeviceView v;
  CopyDeviceRecord(records[index], &v);
  for (int kind = 0; kind < kChannelKindCount; ++kind) {
    const std::string prefix(FixedText(records[index].prefixes[kind]));
    TableView table;
    if (!prefix.empty() && ReadTable(kind, prefix, &table)) v.tables.push_back(std::move(table));
  }
  if (const char* extra = DeviceExtraPrefix(devices, index)) {
    const std::string prefix(FixedText(extra, 2));
    TableView table;
    if (!prefix.empty() && ReadTable(kChannelKindCount, prefix, &table)) {
      v.tables.push_back(std::move(table));
    }
  }
  ReadErrorEntry(v.name, &v);
  *view = std::move(v);
  return 0;
}

const ChannelView* FindChannel(const DeviceView& view, const std::string& prefix, uint32_t number) {
  for (const TableView& table : view.tables) {
    if (CompareIgnoringCase(table.prefix.c_str(), prefix.c_str()) != 0) continue;
    if (number >= 1 && number <= table.channels.size()) return &table.channels[number - 1];
  }
  return nullptr;
}

}  // namespace kestrum::monitor
