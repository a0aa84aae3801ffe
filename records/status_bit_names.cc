#include "records/status_bit_names.h"

#include <cstdio>
#include <utility>

#include "records/channel_table.h"

namespace kestrum {

std::string StatusBitNames(uint32_t status) {
  static const std::pair<uint32_t, const char*> kBits[] = {
      {kStatusAlarmFlag, "ALARM_FLAG"},       {kStatusAlarmSide, "ALARM_SIDE"},
      {kStatusEventActive, "EVENT_ACTIVE"},   {kStatusEventSide, "EVENT_SIDE"},
      {kStatusNoValue, "NO_VALUE"},           {kStatusAlarmImmediate, "ALARM_IMMEDIATE"},
      {kStatusValueChannel, "VALUE_CHANNEL"}, {kStatusExternal100, "EXTERNAL_100"},
      {kStatusWarningSide, "WARNING_SIDE"},   {kStatusWarningActive, "WARNING_ACTIVE"},
      {kStatusAlarmActive, "ALARM_ACTIVE"},   {kStatusExternal1000, "EXTERNAL_1000"},
  };
  std::string names;
  auto add = [&](const std::string& name) { names += (names.empty() ? "" : "|") + name; };
  if (status & kStatusSigChange) add(status & kStatusValueChannel ? "SIG_CHANGE" : "STATE");
  uint32_t known = kStatusSigChange;
  for (const auto& [bit, name] : kBits) {
    known |= bit;
    if (status & bit) add(name);
  }
  if (status & ~known) {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%X", status & ~known);
    add(hex);
  }
  return names;
}

}  // namespace kestrum
