// The description of a SCADA system from which the driver-manager stand-in builds an instance.
//
// JSON, every key optional unless marked:
//   {
//     "subscriber_entries": 0,  "message_entries": 0,   // N and M of every area
//     "error_entries": 32,      "long_errors": true,    // "dm_errors"
//     "scanner": "/path/to/parvex_sc",                  // program started for each device
//     "devices": [{
//       "driver": "parvex",  "number": 1,               // required
//       "name": "COUNTER 1", "folder": "CNT1",
//       "scan_rate": 1000, "port": "COM3", "baud": 9600, "parity": 0, "data_bits": 8,
//       "prefixes": {"ai": {"prefix": "P1", "channels": 16, "live_bytes": 8}, "di": {...}},
//       "extra_prefix": {"prefix": "X1", "channels": 8}
//     }],
//     "data_processors": [{"name": "SYSER", "prefix": "SE", "channels": 10, "live_bytes": 8,
//                          "write_mode": 0, "present": true, "value_kind": 0, "owner_pid": 0}],
//     "loggers": [{"name": "HISTORY", "enabled": true, "pid": 0}]
//   }
// Channel kinds are "ai", "di", "ao", "do", "ci"; live bytes default to 8 for the value kinds
// (ai, ao, ci) and 4 for the others.
#ifndef PARVEX_TOOLS_DM_SYSTEM_DESCRIPTION_H_
#define PARVEX_TOOLS_DM_SYSTEM_DESCRIPTION_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/dm/area_builder.h"

namespace kestrum::dm {

/// One channel prefix and the size of its channel table.
struct PrefixSpec {
  std::string prefix;       ///< one or two characters, upper case
  uint16_t channels = 0;    ///< channel count
  uint16_t live_bytes = 8;  ///< 4 or 8
};

struct DeviceSpec {
  std::string driver;  ///< at most 8 characters
  std::string name;    ///< at most 24 characters
  std::string folder;  ///< at most 11 characters
  uint16_t number = 0;
  uint32_t scan_rate = 1000;  ///< milliseconds
  std::string port;           ///< at most 7 characters; empty: the default port
  int32_t baud = 9600;
  uint32_t parity = 0;
  int32_t data_bits = 8;
  std::array<std::optional<PrefixSpec>, 5> kinds;  ///< ai, di, ao, do, ci
  std::optional<PrefixSpec> extra;
};

struct DataProcessorSpec {
  std::string name;  ///< at most 9 characters
  std::optional<PrefixSpec> prefix;
  int8_t write_mode = 0;
  bool present = true;
  uint8_t value_kind = 0;
  uint32_t owner_pid = 0;
};

struct LoggerSpec {
  std::string name;  ///< at most 134 characters
  bool enabled = true;
  uint32_t pid = 0;
};

struct SystemDescription {
  AreaShape shape;
  uint32_t error_entries = 32;
  bool long_errors = true;
  std::string scanner;
  std::vector<DeviceSpec> devices;
  std::vector<DataProcessorSpec> processors;
  std::vector<LoggerSpec> loggers;
};

/// The two-letter names of the channel kinds, in kind order.
inline constexpr std::array<std::string_view, 5> kKindNames = {"ai", "di", "ao", "do", "ci"};

/// Parses a JSON description. Returns 0, or -1 with a message in `*error` (unknown kinds,
/// names too long for their fields, bad live bytes, malformed JSON).
int ParseSystemDescription(std::string_view json, SystemDescription* out, std::string* error);

}  // namespace kestrum::dm

#endif  // PARVEX_TOOLS_DM_SYSTEM_DESCRIPTION_H_
