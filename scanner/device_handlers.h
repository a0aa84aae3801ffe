// The device-specific parts of the scanner: what it calls to open and close the device's port
// and to initialise, scan and reset the channels of each kind. Called once per kind and
// operation, never per channel.
#ifndef PARVEX_SCANNER_DEVICE_HANDLERS_H_
#define PARVEX_SCANNER_DEVICE_HANDLERS_H_

#include <cstdint>

#include "records/channel_config.h"
#include "records/device_record.h"

namespace parvex {

/// What a scan handler returns when it scanned nothing: the kind publishes nothing and the
/// scan's duration is left as it was.
inline constexpr int kNothingScanned = 2;

/// A device's handlers. Every member here does nothing and returns 0; a device overrides what
/// it needs.
class DeviceHandlers {
 public:
  virtual ~DeviceHandlers() = default;
  /// Initialises the `count` channels of kind `kind` from `records` under the device block
  /// `config`. Returns 0 or -1 with the error number set.
  virtual int Initialise(int kind, const kestrum::DeviceConfigBlock* config, uint16_t count,
                         const kestrum::ChannelConfigRecord* records);
  /// Scans the `count` channels of kind `kind` into their working status words and readings.
  /// Returns -1 with the error number set, kNothingScanned, or any other value on success.
  virtual int Scan(int kind, const kestrum::DeviceConfigBlock* config, uint16_t count,
                   const kestrum::ChannelConfigRecord* records, uint32_t* status, float* readings);
  /// Opens the device's port from the record's settings. Returns 0 or -1 with the error number.
  virtual int OpenPort(kestrum::DeviceRecord* device);
  /// Closes the device's port.
  virtual void ClosePort();
  /// Resets the `count` counters of the counter-input kind. Returns 0 or -1 with the error
  /// number set.
  virtual int ResetCounters(const kestrum::DeviceConfigBlock* config, uint16_t count,
                            const kestrum::ChannelConfigRecord* records);
};

}  // namespace parvex

#endif  // PARVEX_SCANNER_DEVICE_HANDLERS_H_
