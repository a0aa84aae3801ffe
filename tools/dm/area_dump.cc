#include "tools/dm/area_dump.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>

#include "platform/instance_paths.h"
#include "records/area_layout.h"
#include "records/channel_config.h"
#include "records/channel_table.h"
#include "records/device_record.h"
#include "records/error_entries.h"
#include "records/fixed_text.h"
#include "records/status_bit_names.h"
#include "records/system_records.h"
#include "runtime/channel_prefixes.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"

namespace kestrum::dm {
namespace {

using json = nlohmann::ordered_json;

// A bounded view of the mapping that refuses reads outside it.
class Bytes {
 public:
  Bytes(const void* area, uint64_t size)
      : base_(static_cast<const std::byte*>(area)), size_(size) {}
  bool Fits(uint64_t offset, uint64_t length) const {
    return RangeInsideArea(offset, length, size_);
  }
  template <typename T>
  bool Read(uint64_t offset, T* out) const {
    if (!Fits(offset, sizeof(T))) return false;
    std::memcpy(out, base_ + offset, sizeof(T));
    return true;
  }
  const std::byte* at(uint64_t offset) const { return base_ + offset; }

 private:
  const std::byte* base_;
  uint64_t size_;
};

// Text of a fixed field; bytes that are not printable become '?'.
std::string FieldText(const char* field, std::size_t size) {
  std::string text(FixedText(field, size));
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  }
  return text;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%X", value);
  return text;
}

json Stamp(const TimeStamp& t) {
  return {{"seconds", t.seconds}, {"milliseconds", t.milliseconds}};
}

json DecodeHeader(const AreaHeader& h, const AreaTables* tables, const Bytes& bytes) {
  json j = {{"magic", Hex(h.magic)},
            {"size", h.size},
            {"total_size", AreaTotalSize(h.size)},
            {"mutex_name_offset", h.mutex_name_offset},
            {"update_pending", h.update_pending},
            {"lock_holder", h.lock_holder},
            {"data_size", h.data_size},
            {"lock_depth", h.lock_depth},
            {"subscriber_table_offset", h.subscriber_table_offset},
            {"message_table_offset", h.message_table_offset}};
  std::string_view base;
  if (AreaMutexBase(bytes.at(0), AreaTotalSize(h.size), &base)) {
    j["mutex_base"] = FieldText(base.data(), base.size());
  }
  if (tables) {
    j["long_subscribers"] = tables->long_subscriber_count;
    j["long_messages"] = tables->long_message_count;
  }
  return j;
}

// Subscriber and message entries that are in use (or have counted something).
void DecodeTables(const AreaTables& t, const Bytes& bytes, json* out) {
  json subscribers = json::array(), messages = json::array();
  for (uint32_t i = 0; i < t.short_subscriber_count; ++i) {
    ShortSubscriberEntry e;
    bytes.Read(t.short_subscriber_offset + i * sizeof(e), &e);
    if (e.process_id || e.change_counter || e.by_message) {
      subscribers.push_back({{"entry", i + 1},
                             {"long", false},
                             {"process_id", e.process_id},
                             {"by_message", e.by_message},
                             {"change_counter", e.change_counter}});
    }
  }
  for (uint32_t i = 0; i < t.long_subscriber_count; ++i) {
    LongSubscriberEntry e;
    bytes.Read(t.long_subscriber_offset + i * sizeof(e), &e);
    if (e.process_id || e.change_counter || e.by_message) {
      subscribers.push_back({{"entry", i + 1},
                             {"long", true},
                             {"process_id", e.process_id},
                             {"by_message", e.by_message},
                             {"change_counter", e.change_counter}});
    }
  }
  for (uint32_t i = 0; i < t.short_message_count; ++i) {
    ShortMessageEntry e;
    bytes.Read(t.short_message_offset + i * sizeof(e), &e);
    if (e.process_id) {
      messages.push_back(
          {{"entry", i}, {"long", false}, {"process_id", e.process_id}, {"message", e.message}});
    }
  }
  for (uint32_t i = 0; i < t.long_message_count; ++i) {
    LongMessageEntry e;
    bytes.Read(t.long_message_offset + i * sizeof(e), &e);
    if (e.process_id) {
      messages.push_back(
          {{"entry", i}, {"long", true}, {"process_id", e.process_id}, {"message", e.message}});
    }
  }
  (*out)["subscribers"] = subscribers;
  (*out)["messages"] = messages;
}

json DecodeDevice(const DeviceRecord& r, const char* extra) {
  json prefixes = json::array();
  for (const auto& prefix : r.prefixes) prefixes.push_back(FieldText(prefix, 2));
  const CommSettings& c = r.config.comm;
  json j = {{"driver", FieldText(r.driver_name, sizeof(r.driver_name))},
            {"name", FieldText(r.device_name, sizeof(r.device_name))},
            {"number", r.device_number},
            {"folder", FieldText(r.folder_name, sizeof(r.folder_name))},
            {"prefixes", prefixes},
            {"scan_rate", c.ScanRate},
            {"baud", c.BaudRate},
            {"port", FieldText(c.PortName, sizeof(c.PortName))},
            {"parity", c.Parity},
            {"data_bits", c.DataBits},
            {"scanner_attached", r.scanner_attached},
            {"last_scan_ms", r.last_scan_ms},
            {"next_scan", Stamp(r.next_scan)},
            {"operation_in_progress", r.operation_in_progress},
            {"scanner_pid", r.scanner_pid},
            {"scanner_ready", r.scanner_ready}};
  if (extra) j["extra_prefix"] = FieldText(extra, 2);
  return j;
}

json DecodeProcessor(const DataProcessorRecord& r) {
  return {{"name", FieldText(r.name, sizeof(r.name))},
          {"prefix", FieldText(r.prefix, 2)},
          {"write_mode", r.write_mode},
          {"present", r.present},
          {"value_kind", r.value_kind},
          {"owner_pid", r.owner_pid}};
}

json DecodeLogger(const LoggerRecord& r) {
  return {{"name", FieldText(r.name, sizeof(r.name))},
          {"enabled", r.enabled},
          {"process_id", r.process_id}};
}

// The records of a system area: a count at offset 128 and `decode` for each record.
template <typename Record, typename Decode>
void DecodeSystemRecords(const Bytes& bytes, const AreaHeader& h, const char* key, Decode decode,
                         json* out) {
  uint32_t count = 0;
  if (h.data_size < 4 || !bytes.Read(kSystemCountOffset, &count) ||
      !SystemRecordsFit(h.data_size, count, sizeof(Record))) {
    (*out)["problems"].push_back(std::string(key) + ": the count does not fit the data part");
    return;
  }
  json records = json::array();
  for (uint32_t i = 0; i < count; ++i) {
    Record r;
    bytes.Read(kSystemRecordsOffset + uint64_t{i} * sizeof(Record), &r);
    records.push_back(decode(r, i, count));
  }
  (*out)["count"] = count;
  (*out)[key] = records;
}

void DecodeErrors(const Bytes& bytes, const AreaHeader& h, json* out) {
  uint32_t count = 0;
  bytes.Read(kSystemCountOffset, &count);
  ErrorTableLayout layout =
      h.data_size < 4 ? ErrorTableLayout::kInvalid : ClassifyErrorTable(h.data_size, count);
  if (layout == ErrorTableLayout::kInvalid) {
    (*out)["problems"].push_back("errors: the count does not fit the data part");
    return;
  }
  json entries = json::array();
  for (uint32_t i = 0; i < count; ++i) {
    if (layout == ErrorTableLayout::kLong) {
      LongErrorEntry e;
      bytes.Read(LongErrorEntryOffset(count, i), &e);
      if (e.source_name[0] == '\0') continue;
      entries.push_back({{"entry", i},
                         {"source_type", e.source_type},
                         {"source", FieldText(e.source_name, sizeof(e.source_name))},
                         {"message", FieldText(e.message, sizeof(e.message))}});
    } else {
      ShortErrorEntry e;
      bytes.Read(ShortErrorEntryOffset(i), &e);
      if (e.source_name[0] == '\0') continue;
      entries.push_back({{"entry", i},
                         {"source_type", e.source_type},
                         {"source", FieldText(e.source_name, sizeof(e.source_name))},
                         {"message", FieldText(e.message, sizeof(e.message))}});
    }
  }
  (*out)["count"] = count;
  (*out)["layout"] = layout == ErrorTableLayout::kLong ? "long" : "short";
  (*out)["errors"] = entries;
}

void DecodeChannelTable(const Bytes& bytes, const AreaHeader& h, json* out) {
  ChannelTableHeader t;
  if (!bytes.Read(kAreaHeaderSize, &t) || !ChannelTableUsable(t, h.data_size)) {
    (*out)["problems"].push_back("channel table: not usable with this data size");
    return;
  }
  json channels = json::array();
  const uint64_t status_at = kAreaHeaderSize + kChannelStatusOffset;
  for (uint32_t i = 0; i < t.channel_count; ++i) {
    uint32_t status = 0;
    bytes.Read(status_at + 4 * i, &status);
    json c = {{"channel", i + 1}, {"status", Hex(status)}, {"bits", StatusBitNames(status)}};
    if (t.live_bytes == kLiveBytesWithValue) {
      float value = 0;
      bytes.Read(status_at + 4 * uint64_t{t.channel_count} + 4 * i, &value);
      c["value"] = value;
    }
    channels.push_back(c);
  }
  (*out)["channel_table"] = {{"prefix", FieldText(t.prefix, 2)},
                             {"live_bytes", t.live_bytes},
                             {"channel_count", t.channel_count},
                             {"error_code", t.error_code},
                             {"scan_duration_ms", t.scan_duration_ms},
                             {"stamp", Stamp(t.stamp)},
                             {"channels", channels}};
}

void DecodeDataRows(const Bytes& bytes, const AreaHeader& h, json* out) {
  json rows = json::array();
  for (uint32_t at = 0; at < h.data_size; at += 16) {
    std::string row;
    for (uint32_t i = at; i < std::min(h.data_size, at + 16); ++i) {
      char hex[4];
      std::snprintf(hex, sizeof(hex), "%02X",
                    static_cast<unsigned>(*bytes.at(kAreaHeaderSize + i)));
      if (!row.empty()) row += ' ';
      row += hex;
    }
    rows.push_back(row);
  }
  (*out)["data"] = rows;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

void DecodeData(const Bytes& bytes, const AreaHeader& h, std::string_view name, json* out) {
  if (name == kDeviceAreaName) {
    DecodeSystemRecords<DeviceRecord>(
        bytes, h, "devices",
        [&](const DeviceRecord& r, uint32_t i, uint32_t n) {
          char extra[2];
          bool has = DeviceAreaHasExtraPrefixes(h.data_size, n) &&
                     bytes.Read(DeviceExtraPrefixOffset(n, i), &extra);
          return DecodeDevice(r, has ? extra : nullptr);
        },
        out);
  } else if (name == kDataProcessorAreaName) {
    DecodeSystemRecords<DataProcessorRecord>(
        bytes, h, "data_processors",
        [](const DataProcessorRecord& r, uint32_t, uint32_t) { return DecodeProcessor(r); }, out);
  } else if (name == kLoggerAreaName) {
    DecodeSystemRecords<LoggerRecord>(
        bytes, h, "loggers",
        [](const LoggerRecord& r, uint32_t, uint32_t) { return DecodeLogger(r); }, out);
  } else if (name == kErrorAreaName) {
    DecodeErrors(bytes, h, out);
  } else if (EndsWith(name, "_conf")) {
    (*out)["config_records"] = h.data_size / kChannelConfigSize;
  } else if (EndsWith(name, "_event")) {
    DecodeDataRows(bytes, h, out);
  } else {
    DecodeChannelTable(bytes, h, out);
  }
}

void Render(const json& value, int depth, std::ostringstream& out);

void RenderScalar(const json& value, std::ostringstream& out) {
  if (value.is_string()) {
    out << value.get<std::string>();
  } else {
    out << value.dump();
  }
}

void Render(const json& value, int depth, std::ostringstream& out) {
  const std::string indent(2 * depth, ' ');
  if (value.is_object()) {
    for (const auto& [key, item] : value.items()) {
      out << indent << key << ":";
      if (item.is_structured() && !item.empty()) {
        out << "\n";
        Render(item, depth + 1, out);
      } else {
        out << " ";
        item.is_structured() ? void(out << "(none)") : RenderScalar(item, out);
        out << "\n";
      }
    }
  } else if (value.is_array()) {
    for (const auto& item : value) {
      if (item.is_object()) {
        out << indent << "-\n";
        Render(item, depth + 1, out);
      } else {
        out << indent << "- ";
        RenderScalar(item, out);
        out << "\n";
      }
    }
  } else {
    out << indent;
    RenderScalar(value, out);
    out << "\n";
  }
}

}  // namespace

json DecodeArea(const void* area, uint64_t mapped_size, std::string_view name, int platform_id) {
  json out = {{"name", std::string(name)}, {"problems", json::array()}};
  Bytes bytes(area, mapped_size);
  AreaHeader h;
  if (!bytes.Read(0, &h)) {
    out["problems"].push_back("shorter than an area header");
    return out;
  }
  AreaTables tables;
  const bool tables_ok = ComputeAreaTables(h, mapped_size, platform_id, &tables);
  out["header"] = DecodeHeader(h, tables_ok ? &tables : nullptr, bytes);
  if (!AreaHeaderValid(h, mapped_size)) {
    out["problems"].push_back("header refused: magic, size or data size outside the area");
    return out;
  }
  if (tables_ok) {
    DecodeTables(tables, bytes, &out);
  } else {
    out["problems"].push_back("subscriber or message table outside the area");
  }
  DecodeData(bytes, h, name, &out);
  return out;
}

std::string RenderText(const json& decoded) {
  std::ostringstream out;
  Render(decoded, 0, out);
  return out.str();
}

#ifndef _WIN32

std::vector<std::string> ListAreas() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(InstanceDir() + "/shm/Global", ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name.find('.') == std::string::npos) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

#else

// Windows cannot list the named objects of a namespace: the areas are the system's four and
// the three of every channel prefix that the device and data-processor records name.
std::vector<std::string> ListAreas() {
  std::set<std::string> names;
  auto add = [&](std::string_view name) {
    if (OpenSharedArea(name)) names.insert(std::string(name));
  };
  auto add_prefix = [&](const char* prefix) {
    if (prefix == nullptr || prefix[0] == '\0') return;
    for (const char* suffix : {"", "_conf", "_event"}) {
      add(PrefixAreaName(std::string_view(prefix, prefix[1] ? 2 : 1), suffix));
    }
  };
  for (const char* name :
       {kDeviceAreaName, kDataProcessorAreaName, kLoggerAreaName, kErrorAreaName}) {
    add(name);
  }
  SystemArea devices, processors;
  if (OpenDataProcessorArea(&processors) == 0) {
    for (uint32_t i = 0; i < processors.count; ++i) {
      add_prefix(reinterpret_cast<const DataProcessorRecord*>(processors.records)[i].prefix);
    }
  }
  if (OpenDeviceArea(&devices) == 0) {
    for (uint32_t i = 0; i < devices.count; ++i) {
      for (const auto& prefix :
           reinterpret_cast<const DeviceRecord*>(devices.records)[i].prefixes) {
        add_prefix(prefix);
      }
      add_prefix(DeviceExtraPrefix(devices, i));
    }
  }
  return std::vector<std::string>(names.begin(), names.end());
}

#endif

}  // namespace kestrum::dm
