#include "config/logger_names.h"

#include "records/text_case.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum {
namespace {

constexpr size_t kShortMax = 47;
constexpr size_t kTagWidth = 15;
constexpr size_t kNameConsidered = 129;

std::string Shorten(const LoggerRecord* logger, const char* name) {
  std::string_view full(name == nullptr ? "" : name);
  if (full.size() <= kTagWidth) return std::string(full);
  const bool resub =
      logger != nullptr && kestrum::CompareIgnoringCase(logger->kind_text, "resub", 5) == 0;
  std::string_view text = full.substr(0, kNameConsidered);
  std::vector<size_t> bars;
  for (size_t i = 0; i < text.size() && bars.size() < 5; ++i) {
    if (text[i] == '_') bars.push_back(i);
  }
  if (!resub || bars.size() < 4) return std::string(full.substr(0, kShortMax));

  auto between = [&](size_t k) {
    size_t start = bars[k] + 1;
    size_t end = k + 1 < bars.size() ? bars[k + 1] : text.size();
    return std::string(text.substr(start, end - start));
  };
  const std::string f1 = between(0), f2 = between(1), f3 = between(2), f4 = between(3);
  char head[64];
  std::snprintf(head, sizeof head, "%-1.2s_%1.12s", f1.c_str(), f2.c_str());
  std::string out = head;
  out.resize(kTagWidth, ' ');
  char tail[64];
  if (bars.size() == 5 && bars[4] + 1 < text.size()) {
    std::snprintf(tail, sizeof tail, "_%-1.14s_%-1.14s_%c", f3.c_str(), f4.c_str(),
                  text[bars[4] + 1]);
  } else {
    std::snprintf(tail, sizeof tail, "_%-1.15s_%-1.15s", f3.c_str(), f4.c_str());
  }
  out += tail;
  return out.substr(0, kShortMax);
}

}  // namespace

const char* ShortenResubName(const LoggerRecord* logger, const char* name) {
  static std::string buffer;
  buffer = Shorten(logger, name);
  return buffer.c_str();
}

const char* ExportedName(const LoggerRecord* logger, const char* name) {
  static std::string buffer;
  buffer = ("EXP " + Shorten(logger, name)).substr(0, kShortMax);
  return buffer.c_str();
}

}  // namespace kestrum
