#include "tools/monitor/view_render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "platform/local_time.h"
#include "records/status_bit_names.h"

namespace kestrum::monitor {
namespace {

using json = nlohmann::ordered_json;

const char* SideText(Side side) {
  return side == Side::kHigh ? "HIGH" : side == Side::kLow ? "LOW" : "";
}

const char* AlarmText(AlarmState alarm) {
  switch (alarm) {
    case AlarmState::kHigh:
      return "HIGH";
    case AlarmState::kLow:
      return "LOW";
    case AlarmState::kError:
      return "ERROR";
    case AlarmState::kNone:
      break;
  }
  return "";
}

std::string Number(float value) {
  char text[64];
  if (!std::isfinite(value)) {
    std::snprintf(text, sizeof(text), "%g", value);
  } else if (value == std::nearbyint(value) && std::fabs(value) < 1e9f) {
    std::snprintf(text, sizeof(text), "%.0f", value);
  } else {
    std::snprintf(text, sizeof(text), "%.3f", value);
    std::string trimmed = text;
    while (trimmed.back() == '0') trimmed.pop_back();
    if (trimmed.back() == '.') trimmed.pop_back();
    return trimmed;
  }
  return text;
}

std::string ClockText(std::time_t when) {
  std::tm local{};
  LocalCalendarTime(when, &local);
  char text[16];
  std::strftime(text, sizeof(text), "%H:%M:%S", &local);
  return text;
}

// The side word of an alarm record: an alarm of a channel without a value is its error alarm.
const char* RecordSide(const AlarmEntry& e) {
  const bool alarm =
      e.kind == AlarmRecordKind::kAlarmRaised || e.kind == AlarmRecordKind::kAlarmEnded;
  if (alarm && e.no_value && !e.high_side) return "ERROR";
  return e.high_side ? "HIGH" : "LOW";
}

json StateJson(const ChannelState& s) {
  json j = {{"no_value", s.no_value}};
  if (s.value_channel) {
    j["sig_change"] = s.sig_change;
  } else {
    j["state"] = s.digital_state;
  }
  j["warning"] = s.warning == Side::kNone ? json(nullptr) : json(SideText(s.warning));
  if (s.alarm == AlarmState::kNone) {
    j["alarm"] = nullptr;
  } else {
    j["alarm"] = {{"kind", AlarmText(s.alarm)},
                  {"priority", s.alarm_priority < 0 ? json(nullptr) : json(s.alarm_priority)},
                  {"immediate", s.alarm_immediate},
                  {"flag", s.alarm_flag}};
  }
  j["event"] = s.event == Side::kNone ? json(nullptr) : json(SideText(s.event));
  return j;
}

json ChannelJson(const ChannelView& c) {
  char status[16];
  std::snprintf(status, sizeof(status), "0x%X", c.status);
  json j = {{"channel", c.number}, {"tag", c.tag}, {"description", c.description}};
  j["type"] =
      c.type >= 0 && c.type < kChannelTypeCount ? json(kChannelTypeNames[c.type]) : json(nullptr);
  j["enabled"] = c.enabled;
  j["units"] = c.units;
  j["value"] =
      c.value && !c.state.no_value && std::isfinite(*c.value) ? json(*c.value) : json(nullptr);
  j["status"] = status;
  j["bits"] = StatusBitNames(c.status);
  j["state"] = StateJson(c.state);
  j["state_text"] = StateText(c.state);
  return j;
}

json AlarmJson(const AlarmEntry& e, const DeviceView& view) {
  const ChannelView* channel = FindChannel(view, e.prefix, e.channel);
  json j = {{"received", ClockText(e.received)},
            {"kind", AlarmKindText(e.kind)},
            {"prefix", e.prefix},
            {"channel", e.channel},
            {"tag", channel ? json(channel->tag) : json(nullptr)},
            {"side", RecordSide(e)},
            {"no_value", e.no_value}};
  if (e.kind == AlarmRecordKind::kAlarmRaised || e.kind == AlarmRecordKind::kWarningRaised) {
    j["priority"] = e.priority;
  }
  if (e.kind == AlarmRecordKind::kAlarmRaised) {
    j["delay"] = e.delay;
    j["drive_common"] = e.drive_common;
  }
  j["value"] = e.value && std::isfinite(*e.value) ? json(*e.value) : json(nullptr);
  j["computer"] = e.computer;
  j["user"] = e.user;
  return j;
}

// Pads the UTF-8 `text` to `width` characters (a continuation byte is no character of its own).
std::string Padded(const std::string& text, std::size_t width) {
  const auto characters =
      static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
      }));
  return characters >= width ? text + " " : text + std::string(width - characters, ' ');
}

}  // namespace

std::string StateText(const ChannelState& s) {
  std::string text;
  auto add = [&](const std::string& word) { text += (text.empty() ? "" : ", ") + word; };
  if (s.no_value) add("NO VALUE");
  if (s.alarm != AlarmState::kNone) {
    std::string word = std::string("ALARM ") + AlarmText(s.alarm);
    if (s.alarm_priority >= 0) word += " P" + std::to_string(s.alarm_priority);
    add(word);
  }
  if (s.warning != Side::kNone) add(std::string("WARNING ") + SideText(s.warning));
  if (s.event != Side::kNone) add(std::string("EVENT ") + SideText(s.event));
  if (s.value_channel && s.sig_change) add("SIG CHANGE");
  if (!s.value_channel && !s.no_value) add(s.digital_state ? "ON" : "OFF");
  return text.empty() ? "OK" : text;
}

std::string ValueText(const ChannelView& channel) {
  if (!channel.value || channel.state.no_value) return "---";
  return Number(*channel.value);
}

std::string AlarmLine(const AlarmEntry& e, const DeviceView* view) {
  std::ostringstream out;
  out << ClockText(e.received) << " " << e.prefix << " " << e.channel;
  const ChannelView* channel = view ? FindChannel(*view, e.prefix, e.channel) : nullptr;
  if (channel && !channel->tag.empty()) out << " " << channel->tag;
  out << " " << AlarmKindText(e.kind) << " " << RecordSide(e);
  if (e.kind == AlarmRecordKind::kAlarmRaised || e.kind == AlarmRecordKind::kWarningRaised) {
    out << " P" << e.priority;
  }
  if (e.kind == AlarmRecordKind::kAlarmRaised && e.delay != 0) out << " delay " << e.delay;
  out << " value " << (e.value ? Number(*e.value) : std::string("none"));
  return out.str();
}

std::string RenderText(const DeviceView& v, const std::deque<AlarmEntry>& alarms,
                       bool alarms_bound) {
  std::ostringstream out;
  out << "device " << v.name << "  driver " << v.driver << "  number " << v.number << "  folder "
      << v.folder << "  port " << (v.port.empty() ? "COM" + std::to_string(v.number) : v.port)
      << "  scan rate " << v.scan_rate_ms << " ms\n";
  out << "scanner pid " << v.scanner_pid << "  attached " << (v.attached ? "yes" : "no")
      << "  ready " << (v.ready ? "yes" : "no") << "  last scan " << v.last_scan_ms << " ms\n";
  out << "error: "
      << (!v.error_source_found     ? "(no entry in dm_errors)"
          : v.error_message.empty() ? "none"
                                    : v.error_message)
      << "\n";
  for (const TableView& t : v.tables) {
    out << "\n"
        << TableKindName(t.kind) << " " << t.prefix << "  " << t.channels.size()
        << " channels  scan " << t.scan_duration_ms << " ms  error code " << t.error_code
        << (t.has_config ? "" : "  (no configuration)") << "\n";
    out << "   #  " << Padded("TAG", 16) << Padded("VALUE", 12) << Padded("UNITS", 9) << "STATE\n";
    for (const ChannelView& c : t.channels) {
      char number[8];
      std::snprintf(number, sizeof(number), "%4u", c.number);
      out << number << "  " << Padded(c.tag, 16) << Padded(ValueText(c), 12) << Padded(c.units, 9)
          << StateText(c.state) << "\n";
    }
  }
  out << "\nalarms";
  if (!alarms_bound) {
    out << ": not listening (\"xalarms\" belongs to another process)\n";
  } else if (alarms.empty()) {
    out << ": none received\n";
  } else {
    out << " (last " << alarms.size() << " received on xalarms):\n";
    for (const AlarmEntry& e : alarms) out << "  " << AlarmLine(e, &v) << "\n";
  }
  return out.str();
}

json RenderJson(const DeviceView& v, const std::deque<AlarmEntry>& alarms, bool alarms_bound) {
  json device = {{"name", v.name},
                 {"driver", v.driver},
                 {"number", v.number},
                 {"folder", v.folder},
                 {"port", v.port},
                 {"scan_rate_ms", v.scan_rate_ms},
                 {"scanner_pid", v.scanner_pid},
                 {"attached", v.attached},
                 {"ready", v.ready},
                 {"operation_in_progress", v.operation_in_progress},
                 {"last_scan_ms", v.last_scan_ms}};
  json j = {{"device", device}};
  j["error"] = v.error_source_found ? json(v.error_message) : json(nullptr);
  json tables = json::array();
  for (const TableView& t : v.tables) {
    json channels = json::array();
    for (const ChannelView& c : t.channels) channels.push_back(ChannelJson(c));
    tables.push_back({{"kind", TableKindName(t.kind)},
                      {"prefix", t.prefix},
                      {"scan_duration_ms", t.scan_duration_ms},
                      {"error_code", t.error_code},
                      {"has_config", t.has_config},
                      {"channels", channels}});
  }
  j["tables"] = tables;
  json list = json::array();
  for (const AlarmEntry& e : alarms) list.push_back(AlarmJson(e, v));
  j["alarms"] = {{"listening", alarms_bound}, {"records", list}};
  return j;
}

}  // namespace kestrum::monitor
