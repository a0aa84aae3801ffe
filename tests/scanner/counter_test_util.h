// Helpers of the counter input tests: channel records, a canned sample, and recording services.
#ifndef PARVEX_TESTS_SCANNER_COUNTER_TEST_UTIL_H_
#define PARVEX_TESTS_SCANNER_COUNTER_TEST_UTIL_H_

#include <cstring>
#include <string>
#include <vector>

#include "records/channel_config.h"
#include "records/device_record.h"
#include "scanner/counter_input.h"
#include "tools/counter_sim/counter_report.h"

namespace parvex_test {

/// An analog-input channel record selecting `field` (and `port`, `value` for VALUE).
inline kestrum::ChannelConfigRecord CounterChannel(uint8_t field, uint8_t port = 0,
                                                   uint8_t value = 0, bool enabled = true) {
  kestrum::ChannelConfigRecord record;
  std::memset(&record, 0, sizeof record);
  record.analogue.Type = kestrum::kTypeAI;
  record.analogue.flags = enabled ? kestrum::analogue_flags::kEnable : 0;
  record.analogue.Analogue.FieldType = field;
  record.analogue.Analogue.PortNumber = port;
  record.analogue.Analogue.ValueType = value;
  return record;
}

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

/// A zeroed device record with `port_name` (may be empty) and `device_number`.
inline kestrum::DeviceRecord CounterDevice(const char* port_name, uint16_t device_number = 1) {
  kestrum::DeviceRecord device;
  std::memset(&device, 0, sizeof device);
  device.device_number = device_number;
  std::strncpy(device.config.comm.PortName, port_name, sizeof device.config.comm.PortName - 1);
  device.config.comm.BaudRate = 9600;
  device.config.comm.DataBits = 8;
  return device;
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
