// The event batch of a channel table: alarm and warning records for the alarm service, event
// and value-change counts for the loggers, and change notices for the derived-value service.
//
// A table's writer binds a batch to the table's data part (BeginEventBatch), which locks the
// table's event area until the batch ends. Inside the batch it reports, channel by channel,
// what its evaluation found: alarms and warnings raised or ended (one 296-byte record each to
// "xalarms"), event starts and ends and value changes (counted per logger whose event row has
// the channel's bit). EndEventBatch posts 200000 plus the net event count to every logger with
// something to tell (bit 31 set when values changed), unlocks the event area and sends the
// table's prefix to "derived" when a channel of its row 0 changed.
//
// Lock order: the caller locks the channel table before it begins the batch; the batch locks
// the event area and releases it at its end, before the caller notifies and unlocks the table.
//
// The per-channel operations neither allocate nor take locks; they are meant for the scan path.
// The process-wide batch is used by one thread at a time.
#ifndef PARVEX_RUNTIME_EVENT_BATCH_H_
#define PARVEX_RUNTIME_EVENT_BATCH_H_

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "records/alarm_record.h"
#include "records/channel_table.h"
#include "runtime/area_lock.h"
#include "runtime/system_areas.h"

namespace kestrum {

/// Message code base posted to a logger at the end of a batch (plus the net event count).
inline constexpr uint32_t kLoggerEventMessage = 200000;
/// Bit of that message set when values changed.
inline constexpr uint32_t kLoggerValueChangeBit = 0x80000000u;

/// Returns the code posted to a logger for a net event count and whether values changed:
/// 200000 + net, with bit 31 set when `values_changed`.
constexpr int32_t LoggerMessageCode(int32_t net_events, bool values_changed) {
  uint32_t code = kLoggerEventMessage + static_cast<uint32_t>(net_events);
  if (values_changed) code |= kLoggerValueChangeBit;
  return static_cast<int32_t>(code);
}

/// One batch. The library keeps a process-wide one for the free functions below; the channel
/// writes use one of their own, so a write from inside another table's batch does not disturb
/// it. Not copyable; not thread-safe.
class EventBatch {
 public:
  EventBatch() = default;
  EventBatch(const EventBatch&) = delete;
  EventBatch& operator=(const EventBatch&) = delete;

  /// Binds the batch to the channel table whose data part is `table_data` (offset 128 of the
  /// area; its prefix and channel count are read from it) and locks the table's event area.
  /// Without an event area it fails, unless `allow_missing_events` is set: then the batch is
  /// bound without counting (alarm records are still sent). Returns 0, or -1 with the error
  /// number set (EBUSY when the batch is already bound, EINVAL for a null table, as
  /// GetChannelEventArea or the area lock otherwise).
  int Begin(const void* table_data, bool allow_missing_events = false);

  /// Posts the logger messages, unlocks the event area, sends the derived-value notice and
  /// unbinds. Returns 0, or -1 with error number EINVAL when the batch is not bound.
  int End();

  /// Returns true between Begin and End.
  bool bound() const { return table_ != nullptr; }

  /// Alarm and warning records for channel `channel` (0-based). `status` is the new status
  /// word for raised records and the previous one for ended records; `value` is the channel's
  /// value, or none. Returns 0; -1 with error number EINVAL outside a batch or for a channel
  /// beyond the count; a raised record also fails (error number as WriteExactly) when the
  /// alarm service took less than the whole record. Without an alarm service, records are
  /// dropped and 0 is returned.
  int AlarmRaised(uint32_t channel, uint32_t status, bool drive_common, uint8_t priority,
                  uint16_t delay, std::string_view computer, std::string_view user,
                  std::optional<float> value);
  int AlarmEnded(uint32_t channel, uint32_t status, std::string_view computer,
                 std::string_view user, std::optional<float> value);
  int WarningRaised(uint32_t channel, uint32_t status, uint8_t priority, std::string_view computer,
                    std::string_view user, std::optional<float> value);
  int WarningEnded(uint32_t channel, uint32_t status, std::string_view computer,
                   std::string_view user, std::optional<float> value);

  /// Counts for channel `channel` (0-based). Returns 0, or -1 with error number EINVAL outside
  /// a batch or for a channel beyond the count.
  int EventStart(uint32_t channel);
  int EventEnd(uint32_t channel);
  int ValueChange(uint32_t channel);

 private:
  struct LoggerCounts {
    int32_t net_events = 0;
    uint32_t value_changes = 0;
  };

  int CheckChannel(uint32_t channel) const;
  bool ChannelInRow(uint32_t channel, uint32_t row) const;
  void CountDerived(uint32_t channel);
  void CountEvent(uint32_t channel, int32_t delta);
  int SendRecord(const AlarmRecordContent& content, bool must_arrive);
  void PostLoggerMessages();

  const uint8_t* table_ = nullptr;  // the bound table's data part
  AreaLock event_lock_;             // held while bound; not held when counting is off
  const uint8_t* event_rows_ = nullptr;
  uint32_t rows_ = 0;        // whole rows inside the event area's data part
  uint32_t row_length_ = 0;  // R
  uint32_t channel_count_ = 0;
  char prefix_[2] = {0, 0};
  SystemArea loggers_;                // as found at Begin; count 0 without "dm_loggers"
  std::vector<LoggerCounts> counts_;  // grows, never shrinks: no allocation once sized
  uint32_t derived_count_ = 0;
};

/// Binds the process-wide batch to the channel table whose data part is `table_data` and locks
/// the table's event area. Returns 0, or -1 with the error number set (see EventBatch::Begin).
int BeginEventBatch(const void* table_data);

/// Ends the process-wide batch. Returns 0, or -1 with error number EINVAL without a batch.
int EndEventBatch();

/// The per-channel operations of the process-wide batch; see EventBatch.
int SendAlarmRaised(uint32_t channel, uint32_t status, bool drive_common, uint8_t priority,
                    uint16_t delay, std::string_view computer, std::string_view user,
                    std::optional<float> value);
int SendAlarmEnded(uint32_t channel, uint32_t previous_status, std::string_view computer,
                   std::string_view user, std::optional<float> value);
int SendWarningRaised(uint32_t channel, uint32_t status, uint8_t priority,
                      std::string_view computer, std::string_view user, std::optional<float> value);
int SendWarningEnded(uint32_t channel, uint32_t previous_status, std::string_view computer,
                     std::string_view user, std::optional<float> value);
int CountEventStart(uint32_t channel);
int CountEventEnd(uint32_t channel);
int CountValueChange(uint32_t channel);

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_EVENT_BATCH_H_
