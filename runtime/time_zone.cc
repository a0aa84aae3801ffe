#include "runtime/time_zone.h"

#include <cctype>
#include <fstream>
#include <iterator>

#include "platform/local_time.h"

namespace kestrum {
namespace {

std::string QuotedName(std::string_view name) {
  bool plain = name.size() >= 3;
  for (char c : name) plain = plain && std::isalpha(static_cast<unsigned char>(c));
  return plain ? std::string(name) : "<" + std::string(name) + ">";
}

// The rule line at the end of a version 2+ zone file ("CET-1CEST,M3.5.0,M10.5.0/3").
bool ReadZoneFooter(const std::string& path, std::string* footer) {
  std::ifstream in(path, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (content.compare(0, 4, "TZif") != 0 || content.size() < 2 || content.back() != '\n') {
    return false;
  }
  size_t start = content.rfind('\n', content.size() - 2);
  if (start == std::string::npos) return false;
  *footer = content.substr(start + 1, content.size() - start - 2);
  return !footer->empty();
}

// Skips a zone name ("CET" or "<+0530>") at `at`; npos when there is none.
size_t SkipName(const std::string& text, size_t at) {
  if (at < text.size() && text[at] == '<') {
    size_t close = text.find('>', at);
    return close == std::string::npos ? close : close + 1;
  }
  size_t end = at;
  while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
  return end > at ? end : std::string::npos;
}

size_t SkipOffset(const std::string& text, size_t at) {
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  while (at < text.size() &&
         (std::isdigit(static_cast<unsigned char>(text[at])) || text[at] == ':')) {
    ++at;
  }
  return at;
}

// What follows the daylight name in a footer (its own offset and the rules); false when the
// footer has no daylight part.
bool DaylightRules(const std::string& footer, std::string* rules) {
  size_t at = SkipName(footer, 0);
  if (at == std::string::npos) return false;
  at = SkipOffset(footer, at);
  size_t end = SkipName(footer, at);
  if (end == std::string::npos) return false;
  *rules = footer.substr(end);
  return true;
}

}  // namespace

std::string TimeZoneOffsetText(int bias_minutes) {
  if (bias_minutes == 0) return "";
  int magnitude = bias_minutes < 0 ? -bias_minutes : bias_minutes;
  return std::string(bias_minutes < 0 ? "-" : "") + std::to_string(magnitude / 60) + ":" +
         std::to_string(magnitude % 60) + ":0";
}

std::string FormatTimeZoneSetting(std::string_view standard_name, int bias_minutes,
                                  std::string_view daylight_name) {
  std::string setting = QuotedName(standard_name) + TimeZoneOffsetText(bias_minutes);
  if (!daylight_name.empty()) setting += QuotedName(daylight_name);
  return setting;
}

std::string SetProcessTimeZone() {
  std::string path;
  const ProcessTimeZone zone = ReloadSystemTimeZone(&path);
  std::string footer;
  if (path.empty() || !ReadZoneFooter(path, &footer)) return "";
  int bias = static_cast<int>(zone.bias_seconds / 60);
  std::string rules;
  std::string setting;
  if (DaylightRules(footer, &rules)) {
    setting = FormatTimeZoneSetting(zone.standard_name, bias, zone.daylight_name) + rules;
  } else {
    setting = FormatTimeZoneSetting(zone.standard_name, bias, "");
  }
  if (SetProcessTimeZoneSetting(setting) != 0) return "";
  return setting;
}

}  // namespace kestrum
