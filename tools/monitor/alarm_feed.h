// The alarm records that channel writers send to the alarm service's mailslot "xalarms", as
// the monitor receives them.
//
// A SCADA instance normally has an alarm data processor that owns "xalarms". On a commissioning
// set-up without one, the monitor binds the mailslot itself and shows what arrives. Writers
// only send alarm records while the data processor "ALARM" is listed as present in
// "dm_datproc", and each writer looks for the mailslot once: the mailslot must be bound before
// the scanner raises its first alarm, or that scanner never sends any.
#ifndef PARVEX_TOOLS_MONITOR_ALARM_FEED_H_
#define PARVEX_TOOLS_MONITOR_ALARM_FEED_H_

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <optional>
#include <string>

#include "records/alarm_record.h"

namespace kestrum {
struct Mailslot;
}

namespace kestrum::monitor {

/// One received alarm record, decoded.
struct AlarmEntry {
  std::time_t received = 0;  ///< wall-clock time of arrival (the record carries none)
  AlarmRecordKind kind = AlarmRecordKind::kAlarmRaised;
  std::string prefix;
  uint16_t channel = 0;   ///< 1-based
  bool no_value = false;  ///< the channel had no valid value
  bool value_channel = false;
  bool high_side = false;  ///< alarm side (status 0x4) or warning side (status 0x200)
  bool drive_common = false;
  int priority = 0;            ///< raised records
  uint16_t delay = 0;          ///< alarm raised records
  std::optional<float> value;  ///< none when the sender gave none
  std::string computer;
  std::string user;
};

/// Decodes one datagram of `size` bytes. Returns false, leaving *out alone, unless it is a
/// whole 296-byte record.
bool DecodeAlarmRecord(const void* data, std::size_t size, std::time_t received, AlarmEntry* out);

/// "ALARM RAISED", "ALARM ENDED", "WARNING RAISED" or "WARNING ENDED".
const char* AlarmKindText(AlarmRecordKind kind);

/// Receives alarm records on "xalarms" and keeps the most recent ones. Not thread-safe.
class AlarmFeed {
 public:
  /// Keeps at most `capacity` records (at least 1).
  explicit AlarmFeed(std::size_t capacity = 50);
  ~AlarmFeed();
  AlarmFeed(const AlarmFeed&) = delete;
  AlarmFeed& operator=(const AlarmFeed&) = delete;

  /// Binds "xalarms" in the current instance (a stale socket is taken over). Returns 0, or -1
  /// with the error number set: EADDRINUSE when a live process (an alarm data processor)
  /// owns it.
  int Bind();

  /// Takes every record waiting now, without waiting. Returns how many arrived.
  int Drain();

  /// Waits up to `milliseconds` for a record, then drains. Returns how many arrived, or 0 when
  /// the feed is not bound (after sleeping nothing).
  int WaitAndDrain(int milliseconds);

  bool bound() const { return slot_ != nullptr; }

  /// The most recent records, oldest first.
  const std::deque<AlarmEntry>& entries() const { return entries_; }

  /// Records received since the feed was bound, including those no longer kept.
  uint64_t received() const { return received_; }

 private:
  std::size_t capacity_;
  Mailslot* slot_ = nullptr;
  std::deque<AlarmEntry> entries_;
  uint64_t received_ = 0;
};

}  // namespace kestrum::monitor

#endif  // PARVEX_TOOLS_MONITOR_ALARM_FEED_H_
