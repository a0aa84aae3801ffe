// Channel configuration and device records that tests, fuzz targets and benchmarks start from.
#ifndef PARVEX_TESTS_RECORD_BUILDERS_H_
#define PARVEX_TESTS_RECORD_BUILDERS_H_

#include <cstdint>

#include "records/channel_config.h"
#include "records/device_record.h"
#include "records/fixed_text.h"

namespace parvex_test {

/// An analogue record of `type` with `Enable` and `flags` (analogue_flags) set, gain 1 and
/// offset 0; every other byte is 0.
inline kestrum::ChannelConfigRecord AnalogueChannel(uint32_t flags = 0,
                                                    uint8_t type = kestrum::kTypeAI) {
  kestrum::ChannelConfigRecord r{};
  r.analogue.Type = type;
  r.analogue.flags = kestrum::analogue_flags::kEnable | flags;
  r.analogue.Gain = 1.0f;
  return r;
}

/// A digital record of `type` with `Enable` and `flags` (digital_flags) set; every other byte
/// is 0.
inline kestrum::ChannelConfigRecord DigitalChannel(uint32_t flags = 0,
                                                   uint8_t type = kestrum::kTypeDI) {
  kestrum::ChannelConfigRecord r{};
  r.digital.Type = type;
  r.digital.flags = kestrum::digital_flags::kEnable | flags;
  return r;
}

/// An analogue input selecting the counter's `field` (and `port`, `value` for VALUE); with
/// `enabled` false no flag is set.
inline kestrum::ChannelConfigRecord CounterChannel(uint8_t field, uint8_t port = 0,
                                                   uint8_t value = 0, bool enabled = true) {
  kestrum::ChannelConfigRecord r = AnalogueChannel();
  if (!enabled) r.analogue.flags = 0;
  r.analogue.Analogue.FieldType = field;
  r.analogue.Analogue.PortNumber = port;
  r.analogue.Analogue.ValueType = value;
  return r;
}

/// The channel the scan benchmarks evaluate: an analogue input with scaling, significant
/// change, warnings, alarms with a high deadband and events all on, its normal band between
/// 10 and 80; `extra_flags` (analogue_flags) are set as well.
inline kestrum::ChannelConfigRecord EveryRuleChannel(uint32_t extra_flags = 0) {
  namespace af = kestrum::analogue_flags;
  kestrum::ChannelConfigRecord r =
      AnalogueChannel(af::kScalingEnable | af::kSigChangeEnable | af::kEventEnable |
                      af::kHighAlarmEnable | af::kHighAlarmDeadbandEnable | af::kHighWarningEnable |
                      af::kLowAlarmEnable | af::kLowWarningEnable | extra_flags);
  kestrum::AnalogueChannelConfig& a = r.analogue;
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

/// A device record of a counter on `port_name` (may be empty) at 9600 baud, 8 data bits, with
/// `device_number`; every other byte is 0.
inline kestrum::DeviceRecord CounterDeviceRecord(const char* port_name,
                                                 uint16_t device_number = 1) {
  kestrum::DeviceRecord device{};
  device.device_number = device_number;
  kestrum::SetFixedText(device.config.comm.PortName, port_name, true);
  device.config.comm.BaudRate = 9600;
  device.config.comm.DataBits = 8;
  return device;
}

}  // namespace parvex_test

#endif  // PARVEX_TESTS_RECORD_BUILDERS_H_
