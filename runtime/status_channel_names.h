// Names and texts of the status channels that the library publishes for a device in its extra
// channel table: ten channels per group (state, reset request and eight counters), each named
// after the driver, the device number and the group.
#ifndef PARVEX_RUNTIME_STATUS_CHANNEL_NAMES_H_
#define PARVEX_RUNTIME_STATUS_CHANNEL_NAMES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "records/channel_config.h"

namespace kestrum {

/// Channels per status group.
inline constexpr uint32_t kStatusChannelsPerGroup = 10;
/// Longest port text an extension module may supply (buffer of 20 bytes with its NUL).
inline constexpr uint32_t kStatusPortTextSize = 20;

/// Positions of the channels inside a group.
enum StatusChannel : uint32_t {
  kStatusChannelState = 0,  ///< "ST": the device is attached (digital)
  kStatusChannelReset = 1,  ///< "RS": set from outside to reset the group's counters (digital)
  kStatusChannelFirstCounter = 2,  ///< "RB" .. "TE": counters (value channels)
};

/// One row of the status channel table: tag suffix, description suffix, the high-state text
/// (digital channels) or units (value channels), and the low-state text (digital only).
struct StatusChannelText {
  char tag_suffix[16];
  char description_suffix[32];
  char high_text_or_units[32];
  char low_text[32];
};

/// The ten rows, indexed by position in the group.
extern const StatusChannelText kStatusChannelTexts[kStatusChannelsPerGroup];

/// Returns the channel name for driver name `driver` (its first 12 characters, upper-cased),
/// device number `device`, group `group` and `suffix`: "%1.5s_%d_%03d_%s" when device and
/// group are both non-zero, "%1.9s_%d_%s" with only the device, "%1.8s_%03d_%s" with only the
/// group, "%1.12s_%s" with neither.
std::string StatusChannelName(std::string_view driver, uint32_t device, uint32_t group,
                              std::string_view suffix);

/// Fills the ten configuration records of group `group` (`records` points at the group's first
/// record): zeroes them, enables each, sets its tag and description, its type ("DO" for the
/// state and reset channels, "AO" for the counters) and its texts. A non-empty `port_text`
/// (cut to 19 characters) is appended after a blank to both state texts of the state channel.
void InitStatusGroupRecords(ChannelConfigRecord* records, std::string_view driver, uint32_t device,
                            uint32_t group, std::string_view port_text);

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_STATUS_CHANNEL_NAMES_H_
