// Channel state evaluation over one kind of 1000 analogue channels with every rule enabled:
// a scan in which no value changed, and a scan in which every value changed and half of the
// channels cross a limit. Items are channels, so the time per item is the cost per channel.
#include <benchmark/benchmark.h>

#include <vector>

#include "record_builders.h"
#include "records/channel_config.h"
#include "records/channel_table.h"
#include "scanner/channel_state.h"

namespace {

using kestrum::ChannelConfigRecord;

constexpr uint32_t kChannels = 1000;

class Kind {
 public:
  Kind()
      : configs_(kChannels),
        w_(kChannels, 0),
        p_(kChannels, 0),
        l_(kChannels, kestrum::kNoValueBits),
        readings_(kChannels, 50.0f),
        v_(kChannels),
        pv_(kChannels),
        reference_(kChannels),
        storage_(parvex::kMaxNotificationsPerChannel * kChannels),
        list_(storage_.data(), static_cast<uint32_t>(storage_.size())) {
    for (ChannelConfigRecord& r : configs_) {
      r = parvex_test::EveryRuleChannel(kestrum::analogue_flags::kReferenceEnable);
    }
    context_.arrays = {w_.data(), p_.data(),         readings_.data(), v_.data(), pv_.data(),
                       l_.data(), reference_.data(), kChannels,        false};
    context_.output_changed = output_changed_;
    context_.state = &state_;
    context_.out = &list_;
  }

  void SetReadings(float first, float step) {
    for (uint32_t i = 0; i < kChannels; ++i)
      readings_[i] = first + step * static_cast<float>(i % 2);
  }

  // Evaluates the kind, then publishes as the scan cycle does.
  void Scan() {
    parvex::ResetScanState(&state_);
    list_.Clear();
    parvex::EvaluateChannels(context_, configs_.data(), kChannels);
    p_ = w_;
    pv_ = v_;
  }

  size_t notifications() const { return list_.items().size(); }

 private:
  std::vector<ChannelConfigRecord> configs_;
  std::vector<uint32_t> w_, p_, l_;
  std::vector<float> readings_, v_, pv_, reference_;
  std::vector<parvex::Notification> storage_;
  parvex::NotificationList list_;
  parvex::ScanState state_;
  int output_changed_[5] = {};
  parvex::EvaluationContext context_;
};

void BM_UnchangedChannels(benchmark::State& state) {
  Kind kind;
  kind.Scan();
  for (auto _ : state) kind.Scan();
  state.SetItemsProcessed(state.iterations() * kChannels);
}
BENCHMARK(BM_UnchangedChannels);

void BM_ChangedChannels(benchmark::State& state) {
  Kind kind;
  kind.Scan();
  bool high = false;
  for (auto _ : state) {
    // Odd channels swing across the high limits, even ones move inside the normal band.
    high = !high;
    kind.SetReadings(high ? 50.0f : 49.0f, high ? 60.0f : 0.0f);
    kind.Scan();
    benchmark::DoNotOptimize(kind.notifications());
  }
  state.SetItemsProcessed(state.iterations() * kChannels);
}
BENCHMARK(BM_ChangedChannels);

}  // namespace

BENCHMARK_MAIN();
