#include "configui/print_format.h"

#include <cstdio>

namespace parvex {

std::string FormatValue(float value) {
  char text[512];
  for (int precision = 6; precision >= 0; --precision) {
    int length = std::snprintf(text, sizeof text, "%8.*f", precision, static_cast<double>(value));
    if (length <= 8) break;
  }
  std::string result(text);
  if (result.size() > 8) result.resize(8);
  return result;
}

Duration SplitDuration(uint32_t ms) {
  uint32_t minutes = ms / 60000;
  return Duration{static_cast<int>(minutes > 99 ? 99 : minutes),
                  static_cast<int>((ms % 60000) / 1000), static_cast<int>(ms % 1000)};
}

std::string FormatDuration(uint32_t ms) {
  Duration d = SplitDuration(ms);
  char text[64];
  std::snprintf(text, sizeof text, "%02d(min) %02d(sec) %03d(ms)", d.minutes, d.seconds,
                d.milliseconds);
  return text;
}

const char* YesNo(bool flag) { return flag ? "Y" : "N"; }

const char* StatusName(int auto_enable) { return auto_enable ? "ENABLED " : "DISABLED"; }

const char* LowHighName(bool high) { return high ? "HIGH" : "LOW "; }

const char* ParityName(uint32_t parity) {
  switch (parity) {
    case 0:
      return "NONE";
    case 1:
      return "ODD";
    case 2:
      return "EVEN";
    case 4:
      return "SPACE";
    default:
      return "MARK";
  }
}

}  // namespace parvex
