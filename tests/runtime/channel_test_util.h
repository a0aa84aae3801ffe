// Helpers for tests of channel writes, event batches, error reporting and status channels: an
// instance built from a JSON description, typed access to its channel tables, configuration
// records, event rows and loggers, and the two services as real mailslots.
#ifndef PARVEX_TESTS_RUNTIME_CHANNEL_TEST_UTIL_H_
#define PARVEX_TESTS_RUNTIME_CHANNEL_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mailslot.h"
#include "records/alarm_record.h"
#include "records/area_layout.h"
#include "records/channel_config.h"
#include "records/channel_table.h"
#include "runtime/channel_prefixes.h"
#include "runtime/service_mailslots.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"
#include "tools/dm/instance.h"

namespace kestrum::channel_test {

// Builds the instance of `json`, forgetting the areas of any earlier one. Fails the test when
// the description is refused.
inline std::unique_ptr<dm::TemporaryInstance> Build(std::string_view json) {
  ForgetSharedAreas();
  std::string error;
  auto instance = dm::BuildInstance(json, &error);
  EXPECT_NE(instance, nullptr) << error;
  return instance;
}

inline ChannelTableView Table(std::string_view prefix) {
  ChannelTableView view;
  EXPECT_EQ(GetChannelTableView(prefix, &view), 0) << prefix;
  return view;
}

// Configuration record of channel `channel` (0-based).
inline ChannelConfigRecord& Config(std::string_view prefix, uint32_t channel) {
  auto* records = static_cast<ChannelConfigRecord*>(GetChannelConfigRecords(prefix));
  EXPECT_NE(records, nullptr) << prefix;
  return records[channel];
}

// A "DO" channel with the given digital flags.
inline void MakeDigitalOutput(std::string_view prefix, uint32_t channel, uint32_t flags,
                              uint8_t priority = 0, uint16_t delay = 0) {
  ChannelConfigRecord& r = Config(prefix, channel);
  std::memset(r.bytes, 0, sizeof r.bytes);
  r.digital.Type = kTypeDO;
  r.digital.flags = flags;
  r.digital.AlarmPriority = priority;
  r.digital.AlarmDelay = delay;
}

// An "AO" channel with the given analogue flags; the limits are set by the caller.
inline AnalogueChannelConfig& MakeAnalogueOutput(std::string_view prefix, uint32_t channel,
                                                 uint32_t flags) {
  ChannelConfigRecord& r = Config(prefix, channel);
  std::memset(r.bytes, 0, sizeof r.bytes);
  r.analogue.Type = kTypeAO;
  r.analogue.flags = flags;
  return r.analogue;
}

// Sets channel `channel`'s bit in row `row` of the prefix's event area.
inline void SetEventBit(std::string_view prefix, uint32_t row, uint32_t channel) {
  void* events = GetChannelEventArea(prefix);
  ASSERT_NE(events, nullptr);
  const uint32_t length = EventRowLength(Table(prefix).count);
  auto* rows = static_cast<uint8_t*>(events) + kAreaHeaderSize;
  rows[row * length + EventBitByte(channel)] |= EventBitMask(channel);
}

inline LoggerRecord* Logger(uint32_t index) {
  SystemArea loggers;
  EXPECT_EQ(OpenLoggerArea(&loggers), 0);
  return reinterpret_cast<LoggerRecord*>(loggers.records) + index;
}

// A service mailslot held by the test: "xalarms" (296-byte records) or "derived" (2 bytes).
class Service {
 public:
  Service(const char* name, size_t size) : size_(size), slot_(CreateMailslot(name, size)) {
    EXPECT_NE(slot_, nullptr) << name;
  }
  ~Service() { CloseMailslot(slot_); }
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Reads the next message within `ms` milliseconds.
  bool Next(void* out, int ms = 2000) { return ReadMailslotFor(slot_, out, ms) == long(size_); }
  // True when nothing arrives within `ms` milliseconds.
  bool Quiet(int ms = 100) {
    std::vector<char> buffer(size_);
    return ReadMailslotFor(slot_, buffer.data(), ms) < 0;
  }

 private:
  size_t size_;
  Mailslot* slot_;
};

class AlarmService : public Service {
 public:
  AlarmService() : Service(kAlarmServiceMailslot, sizeof(AlarmRecord)) {}
  // The next record; a zeroed one (channel 0) when none came.
  AlarmRecord Record() {
    AlarmRecord record{};
    EXPECT_TRUE(Next(&record)) << "no alarm record";
    return record;
  }
};

class DerivedService : public Service {
 public:
  DerivedService() : Service(kDerivedServiceMailslot, 2) {}
  std::string Prefix() {
    char prefix[2] = {0, 0};
    EXPECT_TRUE(Next(prefix)) << "no derived notice";
    return std::string(prefix, 2);
  }
};

inline float ValueOf(const AlarmRecord& record) {
  float value;
  std::memcpy(&value, &record.value_bits, sizeof value);
  return value;
}

inline uint32_t PriorityOf(const AlarmRecord& record) {
  return (record.flags & kAlarmFlagPriorityMask) >> kAlarmFlagPriorityShift;
}

}  // namespace kestrum::channel_test

#endif  // PARVEX_TESTS_RUNTIME_CHANNEL_TEST_UTIL_H_
