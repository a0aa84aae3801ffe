// The channel the scan benchmarks evaluate: an analog input with scaling, significant change,
// warnings, alarms with a high deadband and events all on, its normal band between 10 and 80.
#ifndef PARVEX_BENCH_EVERY_RULE_CHANNEL_H_
#define PARVEX_BENCH_EVERY_RULE_CHANNEL_H_

#include <cstring>

#include "records/channel_config.h"

namespace parvex_bench {

/// The record, with `extra_flags` (analogue_flags) set as well.
inline kestrum::ChannelConfigRecord EveryRuleChannel(uint32_t extra_flags = 0) {
  namespace af = kestrum::analogue_flags;
  kestrum::ChannelConfigRecord r;
  std::memset(&r, 0, sizeof r);
  kestrum::AnalogueChannelConfig& a = r.analogue;
  a.Type = kestrum::kTypeAI;
  a.flags = af::kEnable | af::kScalingEnable | af::kSigChangeEnable | af::kEventEnable |
            af::kHighAlarmEnable | af::kHighAlarmDeadbandEnable | af::kHighWarningEnable |
            af::kLowAlarmEnable | af::kLowWarningEnable | extra_flags;
  a.Gain = 1.0f;
  a.Offset = 0.0f;
  a.HighAlarmLimit = 100;
  a.HighAlarmDeadband = 90;
  a.HighWarningLimit = 80;
  a.LowAlarmLimit = 0;
  a.LowWarningLimit = 10;
  a.SigChangeValue = 1;
  a.HighEventLimit = 95;
  a.LowEventLimit = 5;
  return r;
}

}  // namespace parvex_bench

#endif  // PARVEX_BENCH_EVERY_RULE_CHANNEL_H_
