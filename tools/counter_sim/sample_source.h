// Readings that move over time: a slow sine with seeded noise around a base level, so that
// warnings and alarms configured on the channels trip and clear during a demonstration.
#ifndef PARVEX_TOOLS_COUNTER_SIM_SAMPLE_SOURCE_H_
#define PARVEX_TOOLS_COUNTER_SIM_SAMPLE_SOURCE_H_

#include <array>
#include <cstdint>
#include <ctime>
#include <random>

#include "tools/counter_sim/counter_report.h"

namespace counter_sim {

/// Makes samples. Not thread-safe.
class SampleSource {
 public:
  /// `period_s`: seconds of one sine period; `level`: multiplier of the particle counts.
  SampleSource(std::uint32_t seed, double period_s, double level);

  /// Returns the nine values at `elapsed_s` seconds after the start, for sampler port `port`
  /// (each port reads a little differently). Counts are whole numbers that fall with particle
  /// size; RH, TEMP and FLOW stay in plausible ranges.
  std::array<double, 9> Values(double elapsed_s, int port);

  /// Fills `sample` with `values`, the local time and date of `when`, and the header fields.
  static void Stamp(std::time_t when, Sample* sample);

  void set_level(double level) { level_ = level; }
  double level() const { return level_; }

 private:
  std::mt19937 rng_;
  double period_s_;
  double level_;
};

}  // namespace counter_sim

#endif  // PARVEX_TOOLS_COUNTER_SIM_SAMPLE_SOURCE_H_
