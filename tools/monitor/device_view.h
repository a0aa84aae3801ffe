// What a commissioning engineer wants to see of one device, read from the shared areas of an
// instance into plain values: the device record, each channel table with its channels (tag,
// units, value and decoded state), and the device's current error message.
//
// Nothing here draws or prints; the terminal view and the one-shot text and JSON forms render
// a DeviceView (view_render.h, monitor_screen.h).
#ifndef PARVEX_TOOLS_MONITOR_DEVICE_VIEW_H_
#define PARVEX_TOOLS_MONITOR_DEVICE_VIEW_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "records/channel_config.h"

namespace kestrum::monitor {

/// High or low side of a warning or event; none when it is not active.
enum class Side { kNone, kHigh, kLow };

/// The alarm a channel is in. Digital channels are high or low by the state that raised the
/// alarm; any channel without a valid value whose error alarm is enabled is in error.
enum class AlarmState { kNone, kHigh, kLow, kError };

/// A channel status word taken apart, with the priority of its alarm from the configuration.
struct ChannelState {
  bool value_channel = false;  ///< status 0x80: the channel carries a value
  bool no_value = false;       ///< status 0x20
  bool sig_change = false;     ///< value channels: significant change in the last scan
  bool digital_state = false;  ///< digital channels: the state
  Side warning = Side::kNone;
  AlarmState alarm = AlarmState::kNone;
  int alarm_priority = -1;       ///< from the configuration; -1 without alarm or record
  bool alarm_immediate = false;  ///< status 0x40: raised with a delay of 0
  bool alarm_flag = false;       ///< status 0x2
  Side event = Side::kNone;
};

/// Decodes `status`. `config` (may be null) says whether the channel is a value or a digital
/// channel (its `Type`; without a record, the status word's value-channel bit) and supplies
/// the alarm priority from the fields of its layout.
ChannelState DecodeChannelState(uint32_t status, const ChannelConfigRecord* config);

/// One channel of a table.
struct ChannelView {
  uint32_t number = 0;  ///< 1-based
  std::string tag;
  std::string description;
  std::string units;  ///< value channels only
  int type = -1;      ///< the record's `Type`, -1 without a configuration record
  bool enabled = false;
  uint32_t status = 0;
  std::optional<float> value;  ///< present when the table carries values
  ChannelState state;
};

/// One channel table of the device.
struct TableView {
  int kind = 0;  ///< 0 to 4 (ai, di, ao, do, ci), 5 for the device's status channel table
  std::string prefix;
  uint16_t error_code = 0;
  uint32_t scan_duration_ms = 0;
  bool has_config = false;  ///< the "_conf" area could be read
  std::vector<ChannelView> channels;
};

/// The device as the shared areas show it at one moment.
struct DeviceView {
  std::string driver;
  std::string name;
  std::string folder;
  uint16_t number = 0;
  std::string port;  ///< from the device configuration block; empty: the default port
  uint32_t scan_rate_ms = 0;
  uint32_t scanner_pid = 0;
  bool attached = false;
  bool ready = false;
  bool operation_in_progress = false;
  uint32_t last_scan_ms = 0;
  bool error_source_found = false;  ///< the device has an entry in "dm_errors"
  std::string error_message;        ///< the entry's message, "" when none
  std::vector<TableView> tables;
};

/// Which device to show: `driver` empty matches any driver (first five characters, ignoring
/// case, otherwise); `number` 0 matches any number. The first matching record is taken.
struct DeviceSelector {
  std::string driver;
  uint16_t number = 0;
};

/// The name under which a table of `kind` is shown: "ai" ... "ci", or "status" for kind 5.
const char* TableKindName(int kind);

/// Reads the device that `selector` names from the current instance into `*view`. Every channel
/// table is copied under its area lock, so one table is always seen as one scan left it.
/// Returns 0, or -1 with a message in `*error` (may be null) when "dm_device" cannot be opened
/// or holds no such device. A table or error table that cannot be read is left out (tables)
/// or reported as not found (error entry); that is not a failure.
int ReadDeviceView(const DeviceSelector& selector, DeviceView* view, std::string* error);

/// Returns the channel of `view` in the table of `prefix` (ignoring case) with the 1-based
/// `number`, or null.
const ChannelView* FindChannel(const DeviceView& view, const std::string& prefix, uint32_t number);

}  // namespace kestrum::monitor

#endif  // PARVEX_TOOLS_MONITOR_DEVICE_VIEW_H_
