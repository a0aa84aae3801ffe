// Channel state evaluation: for one channel of a scanned kind, validity, scaling and
// reference, significant change, warnings, alarms (with deadbands, delays and error alarms),
// events and the records every state change calls for.
//
// The evaluation is pure: it reads the channel's configuration record and the per-kind arrays,
// writes the channel's working status word, working value and last significant value and the
// output-changed flags, and appends what must be sent (alarm and warning records, event
// starts and ends, significant-change marks) to a caller-owned NotificationList. The scan
// cycle turns that list into alarm records and event counts inside its event batch. Nothing
// here allocates, locks or touches shared memory, and there is no virtual call per channel.
//
// Two decisions this unit makes:
//
// (a) Raw readings are kept apart from processed values. The scan handler writes each
//     channel's reading into the kind's `readings` array (and clears kStatusNoValue in the
//     working word); the evaluation derives the working value from the reading in every scan:
//     V = reading * Gain + Offset - reference. A scan that leaves a reading unwritten (the
//     counter sent nothing, or the channel listens to another port) therefore yields the same
//     V as before, and Gain, Offset and the reference are never applied to an already
//     processed value. The scanner keeps one float per channel of every value kind for the
//     readings; for output kinds, where the SCADA writes the channel table, the readings are
//     the written values themselves (no scaling or reference applies to "AO").
//
// (b) An alarm always carries the priority, drive-common flag and delay of its own side, as
//     its status word tells it: the error-alarm fields for a channel without a value, the
//     high fields when kStatusAlarmSide is set, the low fields otherwise. The direction of the
//     last limit comparison no longer picks them, so a low alarm held by its deadband (value
//     above the low limit, direction +1) right after an error alarm is raised with the low
//     alarm's own priority, drive-common flag and delay rather than with whatever the previous
//     alarm of the scan carried. ScanState still records the direction and the last raised
//     alarm's fields for diagnostics.
//
// A value that is not finite after scaling (a reading that overflows with Gain) counts as no
// value, exactly like a reading that is not a number.
#ifndef PARVEX_SCANNER_CHANNEL_STATE_H_
#define PARVEX_SCANNER_CHANNEL_STATE_H_

#include <cstdint>
#include <span>

#include "records/channel_config.h"
#include "records/channel_table.h"

namespace parvex {

/// What one evaluation asks the scan cycle to send, in the order it must be sent.
enum class NotificationKind : uint8_t {
  kSignificantChange,  ///< count a value change on the channel
  kWarningEnded,       ///< warning ended record; status = previous word
  kWarningRaised,      ///< warning raised record; status = new word
  kAlarmEnded,         ///< alarm ended record; status = previous word
  kAlarmRaised,        ///< alarm raised record; status = new word
  kEventEnded,         ///< count an event end on the channel
  kEventStarted,       ///< count an event start on the channel
};

/// One record or mark to send. Fields a kind does not use are 0.
struct Notification {
  NotificationKind kind;
  bool drive_common;  ///< alarm raised
  uint8_t priority;   ///< alarm and warning raised
  bool has_value;     ///< false: the record carries no value
  uint16_t delay;     ///< alarm raised
  uint32_t channel;   ///< 0-based channel index
  uint32_t status;    ///< the status word the record takes its bits from
  float value;        ///< value channels: V; digital channels: the state as 0.0 or 1.0
};

/// Most notifications one channel evaluation can produce.
inline constexpr uint32_t kMaxNotificationsPerChannel = 7;

/// A caller-owned, fixed-capacity list of notifications. Never allocates: when the storage is
/// full further notifications are counted as dropped instead of stored. Size the storage for
/// kMaxNotificationsPerChannel times the channels evaluated between two Clear() calls.
class NotificationList {
 public:
  /// Uses `storage` (owned by the caller, which keeps it alive) for at most `capacity` items.
  NotificationList(Notification* storage, uint32_t capacity)
      : items_(storage), capacity_(capacity) {}

  /// Forgets all stored and dropped notifications.
  void Clear() {
    count_ = 0;
    dropped_ = 0;
  }
  /// Appends one notification, or counts it as dropped when the storage is full.
  void Push(const Notification& n) {
    if (count_ < capacity_) {
      items_[count_++] = n;
    } else {
      ++dropped_;
    }
  }
  /// The stored notifications, oldest first.
  std::span<const Notification> items() const { return {items_, count_}; }
  /// Notifications that did not fit since the last Clear().
  uint32_t dropped() const { return dropped_; }

 private:
  Notification* items_;
  uint32_t capacity_;
  uint32_t count_ = 0;
  uint32_t dropped_ = 0;
};

/// Marker of "not set in this scan" in ScanState.
inline constexpr int kScanStateUnset = 2;

/// Per-scan state, carried from one channel to the next. Reset (ResetScanState) at the start
/// of every scan of a kind.
struct ScanState {
  int direction = kScanStateUnset;  ///< last limit comparison: +1 above, 0 at, -1 below
  int priority = kScanStateUnset;   ///< of the last alarm raised
  int drive_common = kScanStateUnset;
  int delay = kScanStateUnset;
};

/// Sets every field of *state back to kScanStateUnset.
inline void ResetScanState(ScanState* state) { *state = ScanState{}; }

/// The per-kind arrays of one channel kind, indexed by channel. The caller owns them all.
/// Input kinds: working words/values are the scanner's private copy and the published ones
/// the channel table's. Output kinds: the other way round (set `output_kind`).
struct KindArrays {
  uint32_t* working_status = nullptr;       ///< W: read and written
  uint32_t* published_status = nullptr;     ///< P: read (output kinds: external bits written)
  const float* readings = nullptr;          ///< raw readings; null for digital kinds
  float* working_values = nullptr;          ///< V: written; null for digital kinds
  const float* published_values = nullptr;  ///< PV; null for digital kinds
  uint32_t* last_significant = nullptr;     ///< L as bit patterns, kNoValueBits = none
  const float* reference = nullptr;         ///< the analog-input kind's reference values
  uint32_t reference_count = 0;             ///< entries in `reference`; beyond it R is 0
  bool output_kind = false;                 ///< external bits flow from W into P
};

/// Everything one scan of a kind shares between its channel evaluations.
struct EvaluationContext {
  KindArrays arrays;
  bool first_scan = false;          ///< evaluate every channel's states and re-announce warnings
  int* output_changed = nullptr;    ///< 5 flags, indexed by type code; may be null
  ScanState* state = nullptr;       ///< required
  NotificationList* out = nullptr;  ///< required
};

/// Evaluates channel `index` (0-based) with its configuration record: updates W, V and L and
/// the output-changed flags in place and appends the notifications of every state change to
/// context.out. The caller guarantees `index` lies inside every array of context.arrays.
void EvaluateChannel(const EvaluationContext& context, const kestrum::ChannelConfigRecord& config,
                     uint32_t index);

/// Evaluates channels 0 to count - 1 in order (configs[i] belongs to channel i).
void EvaluateChannels(const EvaluationContext& context, const kestrum::ChannelConfigRecord* configs,
                      uint32_t count);

}  // namespace parvex

#endif  // PARVEX_SCANNER_CHANNEL_STATE_H_
