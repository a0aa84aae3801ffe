// The scan cycle: each served kind's scan handler, the channel state evaluation, and the
// publication of status words and values into the channel table under its lock; also marking
// every channel failed.
//
// This is the hot path: nothing here allocates, and the channel table is written directly.
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/error_number.h"
#include "runtime/area_lock.h"
#include "runtime/event_batch.h"
#include "runtime/post_delivery.h"
#include "runtime/shared_area.h"
#include "runtime/time_stamps.h"
#include "scanner/scanner.h"

namespace parvex {
namespace {

bool IsOutputKind(int k) {
  return k == kestrum::kKindAnalogOutput || k == kestrum::kKindDigitalOutput;
}
bool IsValueKind(int k) { return !kestrum::IsDigitalType(static_cast<uint8_t>(k)); }

constexpr uint32_t kFailedClears =
    kestrum::kStatusAlarmFlag | kestrum::kStatusAlarmImmediate | kestrum::kStatusAlarmActive;

std::optional<float> ValueOf(const Notification& n) {
  return n.has_value ? std::optional<float>(n.value) : std::nullopt;
}

}  // namespace

void Scanner::EvaluateAndSend(int k, bool first_scan) {
  KindChannels& kind = kinds_[k];
  const KindChannels& inputs = kinds_[kestrum::kKindAnalogInput];
  EvaluationContext context;
  context.arrays.working_status = kind.working_status;
  context.arrays.published_status = kind.published_status;
  context.arrays.readings = kind.readings;
  context.arrays.working_values = kind.working_values;
  context.arrays.published_values = kind.published_values;
  context.arrays.last_significant = kind.last_significant;
  context.arrays.reference = inputs.reference;
  context.arrays.reference_count = inputs.reference != nullptr ? inputs.count : 0;
  context.arrays.output_kind = IsOutputKind(k);
  context.first_scan = first_scan;
  context.output_changed = output_changed_;
  context.state = &scan_state_;
  context.out = &notifications_;
  ResetScanState(&scan_state_);
  notifications_.Clear();
  EvaluateChannels(context, kind.records, kind.count);

  const std::string_view computer(computer_name_, computer_length_);
  const std::string_view user(user_name_, user_length_);
  for (const Notification& n : notifications_.items()) {
    switch (n.kind) {
      case NotificationKind::kSignificantChange:
        kestrum::CountValueChange(n.channel);
        break;
      case NotificationKind::kWarningEnded:
        kestrum::SendWarningEnded(n.channel, n.status, computer, user, ValueOf(n));
        break;
      case NotificationKind::kWarningRaised:
        kestrum::SendWarningRaised(n.channel, n.status, n.priority, computer, user, ValueOf(n));
        break;
      case NotificationKind::kAlarmEnded:
        kestrum::SendAlarmEnded(n.channel, n.status, computer, user, ValueOf(n));
        break;
      case NotificationKind::kAlarmRaised:
        kestrum::SendAlarmRaised(n.channel, n.status, n.drive_common, n.priority, n.delay, computer,
                                 user, ValueOf(n));
        break;
      case NotificationKind::kEventEnded:
        kestrum::CountEventEnd(n.channel);
        break;
      case NotificationKind::kEventStarted:
        kestrum::CountEventStart(n.channel);
        break;
    }
  }
}

void Scanner::Publish(int k) {
  KindChannels& kind = kinds_[k];
  std::memcpy(kind.published_status, kind.working_status, 4u * kind.count);
  kind.header->error_code = 0;
  if (IsValueKind(k) && kind.published_values != nullptr && kind.working_values != nullptr) {
    std::memcpy(kind.published_values, kind.working_values, 4u * kind.count);
  }
}

// Scans kind `k`: its handler's result goes to `*result`. Returns -1 when the handler failed or
// the channel table could not be locked, else the milliseconds the kind took (0 when it
// published nothing).
//
// A table that cannot be locked (cut short, header damaged, mutex gone) is never written: the
// scan fails with the lock's error number, so the main loop reports it and initialise device
// retries until the table can be locked again.
int Scanner::ScanKind(int k, bool first_scan, int* result) {
  KindChannels& kind = kinds_[k];
  const kestrum::TimeStamp start = hooks_.Now();
  const bool output = IsOutputKind(k);
  kestrum::AreaLock lock;
  if (output) {
    lock = kestrum::AreaLock(kind.table);
    if (!lock.held()) return -1;
  }
  *result = handlers_.Scan(k, &device_->config, kind.count, kind.records, kind.working_status,
                           kind.readings);
  if (*result == -1 || *result == kNothingScanned) return *result == -1 ? -1 : 0;
  // Input kinds lock only now, so that the serial wait never holds the table's lock.
  if (!output) {
    lock = kestrum::AreaLock(kind.table);
    if (!lock.held()) return -1;
  }
  kestrum::BeginEventBatch(kind.data);
  EvaluateAndSend(k, first_scan);
  Publish(k);
  kestrum::EndEventBatch();
  kestrum::NotifyArea(kind.table, 0);
  lock.Unlock();
  const int64_t ms = kestrum::DiffMs(hooks_.Now(), start);
  const uint32_t duration = ms > 0 ? static_cast<uint32_t>(ms) : 0;
  kind.header->scan_duration_ms = duration;
  return static_cast<int>(duration);
}

int Scanner::Scan(bool first_scan) {
  if (!running()) return 0;
  kestrum::PostBudget budget;  // every record and message of the scan shares one wait
  uint32_t total = 0;
  int last = kNothingScanned;
  for (int k = kestrum::kChannelKindCount - 1; k >= 0; --k) {
    if (kinds_[k].laid_out) {
      const int ms = ScanKind(k, first_scan, &last);
      if (ms == -1) return -1;
      total += static_cast<uint32_t>(ms);
    }
    if (!running()) break;
  }
  if (last != kNothingScanned) device_->last_scan_ms = total;
  return 0;
}

int Scanner::MarkAllChannelsFailed(int error) {
  kestrum::PostBudget budget;  // the messages the notifications deliver share one wait
  device_->last_scan_ms = 0;
  for (KindChannels& kind : kinds_) {
    if (kind.table == nullptr) continue;
    // A table that cannot be locked is not written; the caller reports the failure anyway.
    kestrum::AreaLock lock(kind.table);
    if (!lock.held()) continue;
    kestrum::BeginEventBatch(kind.data);
    kind.header->error_code = static_cast<uint16_t>(error & 0xFFFF);
    kind.header->scan_duration_ms = 0;
    for (uint32_t i = 0; i < kind.count; ++i) {
      kind.table_status[i] = (kind.table_status[i] & ~kFailedClears) | kestrum::kStatusNoValue;
      if (kind.extended != nullptr) kind.extended[i].code = kestrum::kExtendedCodeFailed;
    }
    uint32_t* own =
        kind.table_status == kind.working_status ? kind.published_status : kind.working_status;
    if (own != nullptr) std::memcpy(own, kind.table_status, 4u * kind.count);
    kestrum::EndEventBatch();
    kestrum::NotifyArea(kind.table, 0);
  }
  kestrum::SetErrorNumber(error);
  return 0;
}

}  // namespace parvex
