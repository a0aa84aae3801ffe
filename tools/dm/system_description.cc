#include "tools/dm/system_description.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <limits>
#include <stdexcept>

namespace kestrum::dm {
namespace {

using nlohmann::json;

[[noreturn]] void Invalid(const std::string& what) { throw std::invalid_argument(what); }

std::string Text(const json& j, const char* key, std::size_t max, const std::string& fallback) {
  std::string value = j.value(key, fallback);
  if (value.size() > max) {
    Invalid(std::string("\"") + key + "\" longer than " + std::to_string(max) + ": " + value);
  }
  return value;
}

template <typename T>
T Number(const json& j, const char* key, T fallback) {
  if (!j.contains(key)) return fallback;
  const json& value = j.at(key);
  if (!value.is_number_integer()) Invalid(std::string("\"") + key + "\" must be an integer");
  long long n = value.get<long long>();
  if (n < static_cast<long long>(std::numeric_limits<T>::min()) ||
      n > static_cast<long long>(std::numeric_limits<T>::max())) {
    Invalid(std::string("\"") + key + "\" out of range: " + std::to_string(n));
  }
  return static_cast<T>(n);
}

std::string UpperPrefix(const std::string& prefix) {
  if (prefix.empty() || prefix.size() > 2) Invalid("a prefix has one or two characters: " + prefix);
  std::string upper;
  for (char c : prefix) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

PrefixSpec ParsePrefix(const json& j, uint16_t default_live_bytes) {
  PrefixSpec desc;
  desc.prefix = UpperPrefix(j.at("prefix").get<std::string>());
  desc.channels = Number<uint16_t>(j, "channels", 0);
  desc.live_bytes = Number<uint16_t>(j, "live_bytes", default_live_bytes);
  if (desc.live_bytes != 4 && desc.live_bytes != 8) {
    Invalid("live_bytes must be 4 or 8 for prefix " + desc.prefix);
  }
  return desc;
}

DeviceSpec ParseDevice(const json& j) {
  DeviceSpec d;
  d.driver = Text(j, "driver", 8, "");
  if (d.driver.empty()) Invalid("a device needs a \"driver\"");
  if (!j.contains("number")) Invalid("device " + d.driver + " needs a \"number\"");
  d.number = Number<uint16_t>(j, "number", 0);
  d.name = Text(j, "name", 24, d.driver + " " + std::to_string(d.number));
  d.folder = Text(j, "folder", 11, d.driver.substr(0, 5) + std::to_string(d.number));
  d.scan_rate = Number<uint32_t>(j, "scan_rate", d.scan_rate);
  d.port = Text(j, "port", 7, "");
  d.baud = Number<int32_t>(j, "baud", d.baud);
  d.parity = Number<uint32_t>(j, "parity", d.parity);
  d.data_bits = Number<int32_t>(j, "data_bits", d.data_bits);
  if (j.contains("prefixes")) {
    for (const auto& [kind, desc] : j.at("prefixes").items()) {
      std::size_t k = 0;
      while (k < kKindNames.size() && kKindNames[k] != kind) ++k;
      if (k == kKindNames.size()) Invalid("unknown channel kind \"" + kind + "\"");
      d.kinds[k] = ParsePrefix(desc, k % 2 == 0 ? 8 : 4);
    }
  }
  if (j.contains("extra_prefix")) d.extra = ParsePrefix(j.at("extra_prefix"), 8);
  return d;
}

DataProcessorSpec ParseProcessor(const json& j) {
  DataProcessorSpec p;
  p.name = Text(j, "name", 9, "");
  if (p.name.empty()) Invalid("a data processor needs a \"name\"");
  if (j.contains("prefix")) p.prefix = ParsePrefix(j, 8);
  p.write_mode = Number<int8_t>(j, "write_mode", 0);
  p.present = j.value("present", true);
  p.value_kind = Number<uint8_t>(j, "value_kind", 0);
  p.owner_pid = Number<uint32_t>(j, "owner_pid", 0);
  return p;
}

LoggerSpec ParseLogger(const json& j) {
  LoggerSpec l;
  l.name = Text(j, "name", 134, "");
  l.enabled = j.value("enabled", true);
  l.pid = Number<uint32_t>(j, "pid", 0);
  return l;
}

}  // namespace

int ParseSystemDescription(std::string_view text, SystemDescription* out, std::string* error) {
  try {
    json j = json::parse(text);
    SystemDescription d;
    d.shape.long_subscribers = Number<uint32_t>(j, "subscriber_entries", 0);
    d.shape.long_messages = Number<uint32_t>(j, "message_entries", 0);
    d.error_entries = Number<uint32_t>(j, "error_entries", d.error_entries);
    d.long_errors = j.value("long_errors", true);
    d.scanner = j.value("scanner", "");
    for (const auto& device : j.value("devices", json::array())) {
      d.devices.push_back(ParseDevice(device));
    }
    for (const auto& processor : j.value("data_processors", json::array())) {
      d.processors.push_back(ParseProcessor(processor));
    }
    for (const auto& logger : j.value("loggers", json::array())) {
      d.loggers.push_back(ParseLogger(logger));
    }
    *out = std::move(d);
    return 0;
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return -1;
  }
}

}  // namespace kestrum::dm
