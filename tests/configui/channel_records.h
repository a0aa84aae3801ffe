// Builders of channel configuration records and device entries for the module's tests.
#ifndef PARVEX_TESTS_CONFIGUI_CHANNEL_RECORDS_H_
#define PARVEX_TESTS_CONFIGUI_CHANNEL_RECORDS_H_

#include <cstdint>
#include <cstring>
#include <string_view>

#include "configui/parvex_cf.h"

namespace parvex_test {

/// Writes fields of one 216-byte record at their stored positions.
class RecordBuilder {
 public:
  explicit RecordBuilder(int type) { record_.Bytes[24] = static_cast<uint8_t>(type); }

  RecordBuilder& Flags(uint32_t mask) {
    uint32_t flags;
    std::memcpy(&flags, record_.Bytes + 28, 4);
    flags |= mask;
    std::memcpy(record_.Bytes + 28, &flags, 4);
    return *this;
  }
  RecordBuilder& Float(int at, float value) {
    std::memcpy(record_.Bytes + at, &value, 4);
    return *this;
  }
  RecordBuilder& U8(int at, uint8_t value) {
    record_.Bytes[at] = value;
    return *this;
  }
  RecordBuilder& U16(int at, uint16_t value) {
    std::memcpy(record_.Bytes + at, &value, 2);
    return *this;
  }
  RecordBuilder& Chars(int at, std::string_view text, size_t width) {
    std::memcpy(record_.Bytes + at, text.data(), text.size() < width ? text.size() : width);
    return *this;
  }
  /// Tag split 8 + 4 + 3.
  RecordBuilder& Tag(std::string_view tag) {
    Chars(0, tag.substr(0, 8), 8);
    if (tag.size() > 8) Chars(138, tag.substr(8, 4), 4);
    if (tag.size() > 12) Chars(158, tag.substr(12, 3), 3);
    return *this;
  }
  /// Description split 16 + 16.
  RecordBuilder& Description(std::string_view text) {
    Chars(8, text.substr(0, 16), 16);
    if (text.size() > 16) Chars(142, text.substr(16, 16), 16);
    return *this;
  }
  /// Units split 4 + 4.
  RecordBuilder& Units(std::string_view text) {
    Chars(32, text.substr(0, 4), 4);
    if (text.size() > 4) Chars(161, text.substr(4, 4), 4);
    return *this;
  }
  ParvexChannelRecord Build() const { return record_; }

 private:
  ParvexChannelRecord record_{};
};

// Analogue flag masks.
inline constexpr uint32_t kEnable = 0x0001;
inline constexpr uint32_t kEventEnable = 0x0002;
inline constexpr uint32_t kHighAlarmEnable = 0x0004;
inline constexpr uint32_t kHighDeadbandEnable = 0x0008;
inline constexpr uint32_t kHighDriveCommon = 0x0010;
inline constexpr uint32_t kLowAlarmEnable = 0x0020;
inline constexpr uint32_t kLowDeadbandEnable = 0x0040;
inline constexpr uint32_t kLowDriveCommon = 0x0080;
inline constexpr uint32_t kSigChangeEnable = 0x0100;
inline constexpr uint32_t kHighWarningEnable = 0x0800;
inline constexpr uint32_t kLowWarningEnable = 0x1000;
// Digital flag masks.
inline constexpr uint32_t kDigitalDriveCommon = 0x0002;
inline constexpr uint32_t kDigitalEventEnable = 0x0004;
inline constexpr uint32_t kDigitalAlarmEnable = 0x0008;
inline constexpr uint32_t kDigitalEventState = 0x0010;
inline constexpr uint32_t kDigitalAlarmState = 0x0020;

/// A device entry with a name, a folder and the given blocks.
inline ParvexDeviceEntry MakeEntry(uint16_t number, std::string_view name) {
  ParvexDeviceEntry entry{};
  entry.DeviceNumber = number;
  std::memcpy(entry.DeviceName, name.data(), name.size());
  std::memcpy(entry.FolderName, "DEV1", 4);
  return entry;
}

inline void SetBlock(ParvexDeviceEntry& entry, int index, std::string_view prefix, uint16_t count) {
  std::memcpy(entry.Blocks[index].Prefix, prefix.data(), prefix.size() < 2 ? prefix.size() : 2);
  entry.Blocks[index].ChannelCount = count;
}

}  // namespace parvex_test

#endif  // PARVEX_TESTS_CONFIGUI_CHANNEL_RECORDS_H_
