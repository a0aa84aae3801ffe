// Helpers of the counter input tests: channel records, a canned sample, and recording services.
#ifndef PARVEX_TESTS_SCANNER_COUNTER_TEST_UTIL_H_
#define PARVEX_TESTS_SCANNER_COUNTER_TEST_UTIL_H_

#include <string>
#include <vector>

#include "record_builders.h"
#include "records/channel_config.h"
#include "records/device_record.h"
#include "scanner/counter_input.h"
#include "tools/counter_sim/counter_report.h"

namespace parvex_test {

/// A sample with easily told values: counts 1000, 500, 250, 120, 60, 30, RH 45.5, TEMP 21.5,
/// FLOW 1.25, time 10:20:30, date 12/31/99, header port `header_port`, volume 2.5.
inline counter_sim::Sample CannedSample(int header_port = 1) {
  counter_sim::Sample s;
  s.hour = 10;
  s.minute = 20;
  s.second = 30;
  s.values = {1000, 500, 250, 120, 60, 30, 45.5, 21.5, 1.25};
  s.month = 12;
  s.day = 31;
  s.year = 99;
  s.header_port = header_port;
  s.volume = 2.5;
  return s;
}

/// Records what the counter input reports, clears and traces.
class RecordedServices : public parvex::CounterServices {
 public:
  std::vector<std::string> errors;
  std::vector<std::string> traces;
  int clears = 0;

  void ReportError(const char* message) override { errors.emplace_back(message); }
  void ClearError() override { ++clears; }
  void Trace(const char* text) override { traces.emplace_back(text); }
};

}  // namespace parvex_test

#endif  // PARVEX_TESTS_SCANNER_COUNTER_TEST_UTIL_H_
