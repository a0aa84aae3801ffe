#include "tools/counter_sim/sample_source.h"

#include <algorithm>
#include <cmath>

#include "platform/local_time.h"

namespace counter_sim {
namespace {

// Counts per sample at the middle of the sine, by size range (0.3-0.5 ... >25).
constexpr double kBaseCounts[6] = {3500, 1200, 400, 60, 12, 2};
constexpr double kPi = 3.14159265358979323846;

}  // namespace

SampleSource::SampleSource(std::uint32_t seed, double period_s, double level)
    : rng_(seed), period_s_(period_s > 0 ? period_s : 300), level_(level) {}

std::array<double, 9> SampleSource::Values(double elapsed_s, int port) {
  std::normal_distribution<double> noise(0.0, 1.0);
  const double phase = 2 * kPi * elapsed_s / period_s_;
  const double wave = 1.0 + 0.6 * std::sin(phase + 0.7 * port);
  const double port_factor = 1.0 + 0.15 * (port % 4);
  std::array<double, 9> v{};
  for (int i = 0; i < 6; ++i) {
    double mean = kBaseCounts[i] * wave * port_factor * level_;
    double count = mean + noise(rng_) * std::sqrt(std::max(mean, 1.0));
    v[static_cast<std::size_t>(i)] = std::max(0.0, std::round(count));
    // Noise never lets a larger size range count more than a smaller one.
    if (i > 0)
      v[static_cast<std::size_t>(i)] =
          std::min(v[static_cast<std::size_t>(i)], v[static_cast<std::size_t>(i - 1)]);
  }
  v[6] = std::clamp(45.0 + 8.0 * std::sin(phase / 3) + noise(rng_) * 0.5, 0.0, 100.0);
  v[7] = 21.0 + 1.5 * std::sin(phase / 2 + 1) + noise(rng_) * 0.1;
  v[8] = 1.00 + noise(rng_) * 0.005;
  return v;
}

void SampleSource::Stamp(std::time_t when, Sample* sample) {
  std::tm local{};
  kestrum::LocalCalendarTime(static_cast<std::int64_t>(when), &local);
  sample->hour = local.tm_hour;
  sample->minute = local.tm_min;
  sample->second = local.tm_sec;
  sample->month = local.tm_mon + 1;
  sample->day = local.tm_mday;
  sample->year = local.tm_year % 100;
}

}  // namespace counter_sim
