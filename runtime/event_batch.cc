#include "runtime/event_batch.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/error_number.h"
#include "records/area_layout.h"
#include "runtime/area_lock.h"
#include "runtime/channel_prefixes.h"
#include "runtime/driver_link.h"
#include "runtime/service_mailslots.h"
#include "runtime/shared_area.h"

namespace kestrum {
namespace {

// Byte offsets in a channel table's data part.
constexpr size_t kPrefixOffset = offsetof(ChannelTableHeader, prefix);
constexpr size_t kCountOffset = offsetof(ChannelTableHeader, channel_count);

uint16_t ReadCount(const uint8_t* table) {
  uint16_t count;
  std::memcpy(&count, table + kCountOffset, sizeof count);
  return count;
}

AlarmRecordContent Content(AlarmRecordKind kind, const char* prefix, uint32_t channel,
                           uint32_t status, std::string_view computer, std::string_view user,
                           std::optional<float> value) {
  AlarmRecordContent c{};
  c.kind = kind;
  std::memcpy(c.prefix, prefix, sizeof c.prefix);
  c.channel_index = channel;
  c.status = status;
  c.has_value = value.has_value();
  c.value = value.value_or(0.0f);
  c.computer_name = computer;
  c.user_name = user;
  return c;
}

}  // namespace

int EventBatch::Begin(const void* table_data, bool allow_missing_events) {
  if (bound()) return FailWith(EBUSY);
  if (table_data == nullptr) return FailWith(EINVAL);
  const auto* table = static_cast<const uint8_t*>(table_data);
  char prefix[2];
  std::memcpy(prefix, table + kPrefixOffset, sizeof prefix);
  void* events = GetChannelEventArea(std::string_view(prefix, prefix[1] ? 2 : 1));
  AreaHeader header{};
  if (events && ReadAreaHeader(events, &header) != 0) events = nullptr;
  if (!events && !allow_missing_events) return -1;
  AreaLock event_lock;
  if (events) {
    event_lock = AreaLock(events);
    if (!event_lock.held() && !allow_missing_events) return -1;
    if (!event_lock.held()) events = nullptr;
  }
  table_ = table;
  std::memcpy(prefix_, prefix, sizeof prefix_);
  channel_count_ = ReadCount(table);
  row_length_ = EventRowLength(channel_count_);
  event_lock_ = std::move(event_lock);
  event_rows_ = events ? static_cast<const uint8_t*>(events) + kAreaHeaderSize : nullptr;
  rows_ = events && row_length_ > 0 ? header.data_size / row_length_ : 0;
  loggers_ = SystemArea{};
  {
    KeepErrorNumber keep;
    if (OpenLoggerArea(&loggers_) != 0) loggers_ = SystemArea{};
  }
  if (counts_.size() < loggers_.count) counts_.resize(loggers_.count);
  for (LoggerCounts& c : counts_) c = LoggerCounts{};
  derived_count_ = 0;
  return 0;
}

int EventBatch::End() {
  if (!bound()) return FailWith(EINVAL);
  PostLoggerMessages();
  event_lock_.Unlock();
  if (derived_count_ != 0) {
    int derived = DerivedServiceHandle();
    if (derived >= 0) WriteExactly(derived, prefix_, sizeof prefix_);
  }
  derived_count_ = 0;
  table_ = nullptr;
  event_rows_ = nullptr;
  return 0;
}

void EventBatch::PostLoggerMessages() {
  KeepErrorNumber keep;
  for (uint32_t l = 0; l < loggers_.count; ++l) {
    LoggerCounts& c = counts_[l];
    const auto* logger =
        reinterpret_cast<const LoggerRecord*>(loggers_.records + l * sizeof(LoggerRecord));
    if ((c.net_events != 0 || c.value_changes != 0) && logger->enabled != 0 &&
        logger->process_id != 0) {
      // A logger whose process is gone fails alone; the others are still told.
      PostToProcess(logger->process_id, LoggerMessageCode(c.net_events, c.value_changes != 0));
    }
    c = LoggerCounts{};
  }
}

int EventBatch::CheckChannel(uint32_t channel) const {
  if (!bound() || channel >= channel_count_) return FailWith(EINVAL);
  return 0;
}

bool EventBatch::ChannelInRow(uint32_t channel, uint32_t row) const {
  if (row >= rows_ || !EventBitInRow(channel, row_length_)) return false;
  return (event_rows_[row * row_length_ + EventBitByte(channel)] & EventBitMask(channel)) != 0;
}

void EventBatch::CountDerived(uint32_t channel) {
  if (ChannelInRow(channel, kDerivedEventRow)) ++derived_count_;
}

void EventBatch::CountEvent(uint32_t channel, int32_t delta) {
  CountDerived(channel);
  for (uint32_t l = 0; l < loggers_.count; ++l) {
    if (ChannelInRow(channel, LoggerEventRow(l))) counts_[l].net_events += delta;
  }
}

int EventBatch::SendRecord(const AlarmRecordContent& content, bool must_arrive) {
  const int handle = AlarmServiceHandle();
  if (handle < 0) return 0;
  AlarmRecord record;
  BuildAlarmRecord(content, &record);
  if (must_arrive) {
    return WriteExactly(handle, &record, sizeof record) == static_cast<long>(sizeof record) ? 0
                                                                                            : -1;
  }
  KeepErrorNumber keep;  // a record that may be lost leaves the caller's error number alone
  WriteExactly(handle, &record, sizeof record);
  return 0;
}

int EventBatch::AlarmRaised(uint32_t channel, uint32_t status, bool drive_common, uint8_t priority,
                            uint16_t delay, std::string_view computer, std::string_view user,
                            std::optional<float> value) {
  if (CheckChannel(channel) != 0) return -1;
  CountDerived(channel);
  AlarmRecordContent c =
      Content(AlarmRecordKind::kAlarmRaised, prefix_, channel, status, computer, user, value);
  c.drive_common = drive_common;
  c.priority = priority;
  c.delay = delay;
  return SendRecord(c, true);
}

int EventBatch::AlarmEnded(uint32_t channel, uint32_t status, std::string_view computer,
                           std::string_view user, std::optional<float> value) {
  if (CheckChannel(channel) != 0) return -1;
  CountDerived(channel);
  return SendRecord(
      Content(AlarmRecordKind::kAlarmEnded, prefix_, channel, status, computer, user, value),
      false);
}

int EventBatch::WarningRaised(uint32_t channel, uint32_t status, uint8_t priority,
                              std::string_view computer, std::string_view user,
                              std::optional<float> value) {
  if (CheckChannel(channel) != 0) return -1;
  AlarmRecordContent c =
      Content(AlarmRecordKind::kWarningRaised, prefix_, channel, status, computer, user, value);
  c.priority = priority;
  return SendRecord(c, true);
}

int EventBatch::WarningEnded(uint32_t channel, uint32_t status, std::string_view computer,
                             std::string_view user, std::optional<float> value) {
  if (CheckChannel(channel) != 0) return -1;
  return SendRecord(
      Content(AlarmRecordKind::kWarningEnded, prefix_, channel, status, computer, user, value),
      false);
}

int EventBatch::EventStart(uint32_t channel) {
  if (CheckChannel(channel) != 0) return -1;
  CountEvent(channel, 1);
  return 0;
}

int EventBatch::EventEnd(uint32_t channel) {
  if (CheckChannel(channel) != 0) return -1;
  CountEvent(channel, -1);
  return 0;
}

int EventBatch::ValueChange(uint32_t channel) {
  if (CheckChannel(channel) != 0) return -1;
  for (uint32_t l = 0; l < loggers_.count; ++l) {
    if (ChannelInRow(channel, LoggerEventRow(l))) ++counts_[l].value_changes;
  }
  return 0;
}

namespace {

EventBatch& ProcessBatch() {
  static EventBatch batch;
  return batch;
}

}  // namespace

int BeginEventBatch(const void* table_data) { return ProcessBatch().Begin(table_data); }

int EndEventBatch() { return ProcessBatch().End(); }

int SendAlarmRaised(uint32_t channel, uint32_t status, bool drive_common, uint8_t priority,
                    uint16_t delay, std::string_view computer, std::string_view user,
                    std::optional<float> value) {
  return ProcessBatch().AlarmRaised(channel, status, drive_common, priority, delay, computer, user,
                                    value);
}

int SendAlarmEnded(uint32_t channel, uint32_t previous_status, std::string_view computer,
                   std::string_view user, std::optional<float> value) {
  return ProcessBatch().AlarmEnded(channel, previous_status, computer, user, value);
}

int SendWarningRaised(uint32_t channel, uint32_t status, uint8_t priority,
                      std::string_view computer, std::string_view user,
                      std::optional<float> value) {
  return ProcessBatch().WarningRaised(channel, status, priority, computer, user, value);
}

int SendWarningEnded(uint32_t channel, uint32_t previous_status, std::string_view computer,
                     std::string_view user, std::optional<float> value) {
  return ProcessBatch().WarningEnded(channel, previous_status, computer, user, value);
}

int CountEventStart(uint32_t channel) { return ProcessBatch().EventStart(channel); }
int CountEventEnd(uint32_t channel) { return ProcessBatch().EventEnd(channel); }
int CountValueChange(uint32_t channel) { return ProcessBatch().ValueChange(channel); }

}  // namespace kestrum
