// The fields an enabled channel record must have been given in its XML form.
#include <string>

#include "config/channel_config.h"
#include "config/xml_document.h"

namespace kestrum {
namespace {

// Walks the checks in order and stops at the first missing field.
class Check {
 public:
  explicit Check(const char* found) : found_(found == nullptr ? "" : found) {}

  // Requires `name`; false (with the message set) when it is missing or an earlier check failed.
  bool Need(const char* name) {
    if (failed_) return false;
    if (found_.find("," + std::string(name) + ",") == std::string::npos) {
      Fail("<" + std::string(name) + "> Required");
    }
    return !failed_;
  }

  // Requires `name` only when `when` holds.
  bool NeedIf(bool when, const char* name) { return !when ? !failed_ : Need(name); }

  void Fail(const std::string& message) {
    failed_ = true;
    xml_SetStatus(-1, message.c_str());
  }
  bool failed() const { return failed_; }

 private:
  std::string found_;
  bool failed_ = false;
};

void CheckDigital(Check& c, uint32_t flags) {
  using namespace digital_flags;
  c.Need("EventEnable");
  c.NeedIf(flags & kEventEnable, "EventState");
  c.Need("LowStateText");
  c.Need("HighStateText");
  if (!c.Need("AlarmEnable") || !(flags & kAlarmEnable)) return;
  for (const char* name :
       {"AlarmDriveCommon", "AlarmState", "AlarmPriority", "AlarmDelay", "AlarmText"}) {
    c.Need(name);
  }
}

// The alarm side `side` ("Low" or "High") of an analogue record.
void CheckAlarmSide(Check& c, const std::string& side, bool warning_on, bool deadband_on) {
  c.Need((side + "AlarmDriveCommon").c_str());
  c.Need((side + "AlarmLimit").c_str());
  c.Need((side + "WarningEnable").c_str());
  c.NeedIf(warning_on, (side + "WarningLimit").c_str());
  c.Need((side + "AlarmDeadbandEnable").c_str());
  c.NeedIf(deadband_on, (side + "AlarmDeadband").c_str());
  c.Need((side + "AlarmPriority").c_str());
  c.Need((side + "AlarmDelay").c_str());
  c.Need((side + "AlarmText").c_str());
}

void CheckAnalogue(Check& c, const AnalogueChannelConfig& a) {
  using namespace analogue_flags;
  const uint32_t flags = a.flags;
  if (c.Need("EventEnable") && (flags & kEventEnable)) {
    c.Need("LowEventLimit");
    c.Need("HighEventLimit");
    if (!c.failed() && a.LowEventLimit > a.HighEventLimit) {
      c.Fail("LowEventLimiit > HighEventLimit");
    }
  }
  for (const char* name :
       {"Units", "MaximumUnits", "MinimumUnits", "ReferenceEnable", "SigChangeEnable"}) {
    c.Need(name);
  }
  c.NeedIf(flags & kSigChangeEnable, "SigChangeValue");
  c.Need("ScalingEnable");
  c.NeedIf(flags & kScalingEnable, "Gain");
  c.NeedIf(flags & kScalingEnable, "Offset");
  if (c.Need("LowAlarmEnable") && (flags & kLowAlarmEnable)) {
    CheckAlarmSide(c, "Low", flags & kLowWarningEnable, flags & kLowAlarmDeadbandEnable);
  }
  if (!c.Need("HighAlarmEnable") || !(flags & kHighAlarmEnable)) return;
  CheckAlarmSide(c, "High", flags & kHighWarningEnable, flags & kHighAlarmDeadbandEnable);
}

}  // namespace

int CheckChannelFields(const char* found, const ChannelConfigRecord* record) {
  Check c(found);
  if (!c.Need("Enable")) return -1;
  if (!ChannelEnabled(*record)) return 0;
  const bool digital = IsDigitalRecord(*record);
  const uint32_t flags = ChannelFlags(*record);
  const uint32_t error_alarm =
      digital ? digital_flags::kErrorAlarmEnable : analogue_flags::kErrorAlarmEnable;
  for (const char* name : {"Tag", "Description", "Type", "ErrorAlarmEnable"}) c.Need(name);
  if (flags & error_alarm) {
    for (const char* name : {"ErrorAlarmDriveCommon", "ErrorAlarmPriority", "ErrorAlarmDelay"}) {
      c.Need(name);
    }
  }
  if (digital) {
    CheckDigital(c, flags);
  } else {
    CheckAnalogue(c, record->analogue);
  }
  return c.failed() ? -1 : 0;
}

}  // namespace kestrum
