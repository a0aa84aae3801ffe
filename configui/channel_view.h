// The fields of a 216-byte channel configuration record that the print-out shows, decoded once
// so that the table code reads names instead of byte offsets.
#ifndef PARVEX_CONFIGUI_CHANNEL_VIEW_H_
#define PARVEX_CONFIGUI_CHANNEL_VIEW_H_

#include <cstdint>
#include <string>

#include "configui/parvex_cf.h"

namespace parvex {

/// One alarm side (low or high) of an analogue channel.
struct AlarmView {
  bool enable = false;
  bool drive_common = false;
  float limit = 0;
  bool warning_enable = false;
  float warning_limit = 0;
  bool deadband_enable = false;
  float deadband = 0;
  int priority = 0;
  int delay = 0;
  std::string text;
};

/// A channel record as the print-out sees it. Texts are cut at their NUL or their length.
struct ChannelView {
  bool enable = false;
  bool digital = false;  ///< odd Type: DI or DO
  std::string tag;
  std::string description;
  // Analogue layout.
  std::string units;
  bool event_enable = false;
  float low_event_limit = 0;
  float high_event_limit = 0;
  AlarmView low;
  AlarmView high;
  bool sig_change_enable = false;
  float sig_change_value = 0;
  // Digital layout.
  std::string low_state_text;
  std::string high_state_text;
  bool event_state = false;  ///< true: High
  bool alarm_enable = false;
  bool alarm_state = false;  ///< true: High
  bool alarm_drive_common = false;
  int alarm_priority = 0;
  int alarm_delay = 0;
  std::string alarm_text;
};

/// Decodes `record` by its layout (digital when its Type is odd).
ChannelView ViewChannel(const ParvexChannelRecord& record);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_CHANNEL_VIEW_H_
