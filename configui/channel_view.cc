#include "configui/channel_view.h"

#include <cstring>
#include <string_view>

namespace parvex {
namespace {

// Little-endian field reads at fixed record offsets.
uint32_t U32(const uint8_t* b, int at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
int U16(const uint8_t* b, int at) { return b[at] | b[at + 1] << 8; }
float F32(const uint8_t* b, int at) {
  uint32_t bits = U32(b, at);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
// Appends up to `width` characters at `at`, stopping at a NUL; returns false when a NUL ended it.
bool Append(std::string& out, const uint8_t* b, int at, int width) {
  const char* text = reinterpret_cast<const char*>(b + at);
  size_t length = strnlen(text, width);
  out.append(text, length);
  return length == static_cast<size_t>(width);
}
std::string Text(const uint8_t* b, int at, int width) {
  std::string out;
  Append(out, b, at, width);
  return out;
}
// Joins a text stored in pieces; a NUL in one piece ends the text.
std::string Joined(const uint8_t* b, std::initializer_list<std::pair<int, int>> pieces) {
  std::string out;
  for (auto [at, width] : pieces) {
    if (!Append(out, b, at, width)) break;
  }
  return out;
}

bool On(uint32_t flags, uint32_t mask) { return (flags & mask) != 0; }

// Flag masks of the analogue layout.
constexpr uint32_t kEnable = 0x0001;
constexpr uint32_t kEventEnable = 0x0002;
constexpr uint32_t kHighAlarmEnable = 0x0004;
constexpr uint32_t kHighDeadbandEnable = 0x0008;
constexpr uint32_t kHighDriveCommon = 0x0010;
constexpr uint32_t kLowAlarmEnable = 0x0020;
constexpr uint32_t kLowDeadbandEnable = 0x0040;
constexpr uint32_t kLowDriveCommon = 0x0080;
constexpr uint32_t kSigChangeEnable = 0x0100;
constexpr uint32_t kHighWarningEnable = 0x0800;
constexpr uint32_t kLowWarningEnable = 0x1000;
// Flag masks of the digital layout.
constexpr uint32_t kDigitalDriveCommon = 0x0002;
constexpr uint32_t kDigitalEventEnable = 0x0004;
constexpr uint32_t kDigitalAlarmEnable = 0x0008;
constexpr uint32_t kDigitalEventState = 0x0010;
constexpr uint32_t kDigitalAlarmState = 0x0020;

void ViewAnalogue(const uint8_t* b, uint32_t flags, ChannelView& v) {
  v.units = Joined(b, {{32, 4}, {161, 4}});
  v.event_enable = flags & kEventEnable;
  v.high_event_limit = F32(b, 44);
  v.low_event_limit = F32(b, 48);
  v.sig_change_enable = flags & kSigChangeEnable;
  v.sig_change_value = F32(b, 68);
  v.low = AlarmView{On(flags, kLowAlarmEnable),
                    On(flags, kLowDriveCommon),
                    F32(b, 60),
                    On(flags, kLowWarningEnable),
                    F32(b, 180),
                    On(flags, kLowDeadbandEnable),
                    F32(b, 64),
                    b[73],
                    U16(b, 186),
                    Text(b, 106, 32)};
  v.high = AlarmView{On(flags, kHighAlarmEnable),
                     On(flags, kHighDriveCommon),
                     F32(b, 52),
                     On(flags, kHighWarningEnable),
                     F32(b, 176),
                     On(flags, kHighDeadbandEnable),
                     F32(b, 56),
                     b[72],
                     U16(b, 184),
                     Text(b, 74, 32)};
}

void ViewDigital(const uint8_t* b, uint32_t flags, ChannelView& v) {
  v.high_state_text = Text(b, 32, 32);
  v.low_state_text = Text(b, 64, 32);
  v.alarm_priority = b[96];
  v.alarm_text = Text(b, 97, 32);
  v.alarm_delay = U16(b, 190);
  v.alarm_drive_common = flags & kDigitalDriveCommon;
  v.event_enable = flags & kDigitalEventEnable;
  v.alarm_enable = flags & kDigitalAlarmEnable;
  v.event_state = flags & kDigitalEventState;
  v.alarm_state = flags & kDigitalAlarmState;
}

}  // namespace

ChannelView ViewChannel(const ParvexChannelRecord& record) {
  const uint8_t* b = record.Bytes;
  ChannelView v;
  uint32_t flags = U32(b, 28);
  v.enable = flags & kEnable;
  v.digital = b[24] & 1;
  v.tag = Joined(b, {{0, 8}, {138, 4}, {158, 3}});
  v.description = Joined(b, {{8, 16}, {142, 16}});
  if (v.digital) {
    ViewDigital(b, flags, v);
  } else {
    ViewAnalogue(b, flags, v);
  }
  return v;
}

}  // namespace parvex
