// A one-kind scanner in miniature: per-kind arrays, a scan that writes readings the way the
// report reader does, evaluates every channel and publishes like the scan cycle.
#ifndef PARVEX_TESTS_SCANNER_CHANNEL_STATE_FIXTURE_H_
#define PARVEX_TESTS_SCANNER_CHANNEL_STATE_FIXTURE_H_

#include <cmath>
#include <optional>
#include <ostream>
#include <vector>

#include "record_builders.h"
#include "records/channel_config.h"
#include "records/channel_table.h"
#include "scanner/channel_state.h"

namespace parvex {
inline void PrintTo(NotificationKind kind, std::ostream* os) {
  static const char* const kNames[] = {"SignificantChange", "WarningEnded", "WarningRaised",
                                       "AlarmEnded",        "AlarmRaised",  "EventEnded",
                                       "EventStarted"};
  *os << kNames[static_cast<int>(kind)];
}
}  // namespace parvex

namespace parvex_test {

using kestrum::ChannelConfigRecord;

class MiniScanner {
 public:
  explicit MiniScanner(std::vector<ChannelConfigRecord> configs, bool output_kind = false)
      : configs_(std::move(configs)),
        n_(configs_.size()),
        w_(n_, kestrum::kStatusNoValue),
        p_(n_, kestrum::kStatusNoValue),
        readings_(n_, 0.0f),
        v_(n_, 0.0f),
        pv_(n_, 0.0f),
        l_(n_, kestrum::kNoValueBits),
        reference_(n_, 0.0f),
        storage_(kMaxNotificationsPerChannel * n_),
        list_(storage_.data(), static_cast<uint32_t>(storage_.size())) {
    output_kind_ = output_kind;
  }

  /// Runs one scan: each reading given is written (and the no-value bit cleared), nullopt
  /// leaves the channel unwritten. Returns the scan's notifications.
  std::vector<parvex::Notification> Scan(const std::vector<std::optional<float>>& readings,
                                         bool first_scan = false) {
    for (size_t i = 0; i < readings.size() && i < n_; ++i) {
      if (readings[i]) {
        readings_[i] = *readings[i];
        w_[i] &= ~kestrum::kStatusNoValue;
      }
    }
    return Evaluate(first_scan);
  }

  /// Digital scan: each state given becomes bit 0 of the working word.
  std::vector<parvex::Notification> ScanStates(const std::vector<int>& states,
                                               bool first_scan = false) {
    for (size_t i = 0; i < states.size() && i < n_; ++i) {
      if (states[i] >= 0) {
        w_[i] = (w_[i] & ~(kestrum::kStatusState | kestrum::kStatusNoValue)) |
                (states[i] ? kestrum::kStatusState : 0u);
      }
    }
    return Evaluate(first_scan);
  }

  std::vector<parvex::Notification> Evaluate(bool first_scan) {
    list_.Clear();
    parvex::ScanState state;
    parvex::EvaluationContext c;
    c.arrays.working_status = w_.data();
    c.arrays.published_status = p_.data();
    c.arrays.readings = readings_.data();
    c.arrays.working_values = v_.data();
    c.arrays.published_values = pv_.data();
    c.arrays.last_significant = l_.data();
    c.arrays.reference = reference_.data();
    c.arrays.reference_count = static_cast<uint32_t>(reference_.size());
    c.arrays.output_kind = output_kind_;
    c.first_scan = first_scan;
    c.output_changed = output_changed_;
    c.state = &state;
    c.out = &list_;
    if (one_by_one_) {
      for (size_t i = 0; i < n_; ++i) {
        parvex::EvaluateChannel(c, configs_[i], static_cast<uint32_t>(i));
      }
    } else {
      parvex::EvaluateChannels(c, configs_.data(), static_cast<uint32_t>(n_));
    }
    last_state_ = state;
    // Publish as the scan cycle does.
    p_ = w_;
    pv_ = v_;
    return {list_.items().begin(), list_.items().end()};
  }

  /// Evaluates channel by channel (EvaluateChannel) instead of with the whole-kind loop.
  void set_one_by_one(bool on) { one_by_one_ = on; }

  ChannelConfigRecord& config(size_t i = 0) { return configs_[i]; }
  uint32_t& working(size_t i = 0) { return w_[i]; }
  uint32_t& published(size_t i = 0) { return p_[i]; }
  float value(size_t i = 0) const { return v_[i]; }
  uint32_t last_significant_bits(size_t i = 0) const { return l_[i]; }
  float& reference(size_t i = 0) { return reference_[i]; }
  const int* output_changed() const { return output_changed_; }
  const parvex::ScanState& last_state() const { return last_state_; }

 private:
  static constexpr uint32_t kMaxNotificationsPerChannel = parvex::kMaxNotificationsPerChannel;
  std::vector<ChannelConfigRecord> configs_;
  size_t n_;
  std::vector<uint32_t> w_, p_;
  std::vector<float> readings_, v_, pv_;
  std::vector<uint32_t> l_;
  std::vector<float> reference_;
  std::vector<parvex::Notification> storage_;
  parvex::NotificationList list_;
  bool output_kind_ = false;
  bool one_by_one_ = false;
  int output_changed_[5] = {};
  parvex::ScanState last_state_;
};

/// The kinds of a list of notifications, for compact expectations.
inline std::vector<parvex::NotificationKind> Kinds(const std::vector<parvex::Notification>& n) {
  std::vector<parvex::NotificationKind> kinds;
  for (const auto& x : n) kinds.push_back(x.kind);
  return kinds;
}

}  // namespace parvex_test

#endif  // PARVEX_TESTS_SCANNER_CHANNEL_STATE_FIXTURE_H_
