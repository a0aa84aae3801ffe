// The device operations the main loop runs, and the bracket around them that tells the rest of
// the SCADA an operation is in progress and publishes the next scan boundary at its end.
#include <cstring>

#include "config/channel_config.h"
#include "platform/error_number.h"
#include "runtime/area_lock.h"
#include "runtime/time_stamps.h"
#include "scanner/scanner.h"

namespace parvex {
namespace {

bool HasReference(int k) {
  return k == kestrum::kKindAnalogInput || k == kestrum::kKindCounterInput;
}

}  // namespace

// The device record is written only under the device table's lock. When that lock cannot be
// taken (the table is damaged or cut short) the record's bookkeeping is left as it is: the
// operation itself goes on, and its scans succeed or fail on their own channel tables.
void Scanner::BeginDeviceOperation() {
  kestrum::AreaLock lock(device_area_);
  if (lock.held()) device_->operation_in_progress = 1;
}

void Scanner::EndDeviceOperation() {
  kestrum::AreaLock lock(device_area_);
  // Scan requests that arrived during the operation are dropped.
  words_->pending_scans = 0;
  if (!lock.held()) return;
  device_->next_scan = kestrum::NextPeriodBoundary(hooks_.Now(), device_->config.comm.ScanRate);
  device_->operation_in_progress = 0;
}

int Scanner::InitialiseDevice(int error) {
  BeginDeviceOperation();
  for (;;) {
    MarkAllChannelsFailed(error);
    bool ok = handlers_.OpenPort(device_) == 0;
    for (int k = 0; ok && running() && k < kestrum::kChannelKindCount; ++k) {
      const KindChannels& kind = kinds_[k];
      if (kind.laid_out &&
          handlers_.Initialise(k, &device_->config, kind.count, kind.records) == -1) {
        ok = false;
      }
    }
    if (ok && (!running() || Scan(true) != -1)) break;
    ReportFailure(hooks_, kInitialiseDeviceFailed, ShownErrorCode(kestrum::GetErrorNumber()), true);
    hooks_.WaitForMessage(kInitialiseRetryMs);
    if (!running()) break;
  }
  EndDeviceOperation();
  hooks_.ClearError();
  return 1;
}

int Scanner::Reconfigure() {
  BeginDeviceOperation();
  if (LoadDeviceBlock(false) != 0) {
    if (fatal_exit_ != nullptr) fatal_exit_(kestrum::GetErrorNumber());
    return -1;
  }
  {
    // A configuration that cannot be published in the device record fails the reconfigure,
    // which is reported and followed by initialise device.
    kestrum::AreaLock lock(device_area_);
    if (!lock.held()) return -1;
    std::memcpy(&device_->config, &config_, sizeof config_);
  }
  StartExtraStatusChannels();
  int sum = 0;
  for (int k = 0; running() && k < kestrum::kChannelKindCount; ++k) {
    KindChannels& kind = kinds_[k];
    if (!kind.laid_out) continue;
    const int reloaded = kestrum::ReloadChannelConfigIfChanged(k, kind.table);
    if (reloaded == -1) {
      const int error = kestrum::GetErrorNumber();
      ReportFailure(hooks_, kReadConfigurationFailed, ShownErrorCode(error), true);
      if (fatal_exit_ != nullptr) fatal_exit_(error);
      return -1;
    }
    if (reloaded == 0) continue;
    if (HasReference(k)) ApplyReferenceRule(k);
    sum += handlers_.Initialise(k, &device_->config, kind.count, kind.records);
  }
  if (sum != 0) return -1;
  if (Scan(true) == -1) return -1;
  EndDeviceOperation();
  return 0;
}

int Scanner::InitialiseValues() {
  BeginDeviceOperation();
  for (int k : {kestrum::kKindAnalogInput, kestrum::kKindCounterInput}) {
    if (kinds_[k].laid_out && RebaseReferenceValues(k) == -1) return -1;
  }
  if (Scan(false) == -1) return -1;
  EndDeviceOperation();
  return 0;
}

int Scanner::ResetCounters() {
  const KindChannels& counters = kinds_[kestrum::kKindCounterInput];
  if (!counters.laid_out) return 0;
  BeginDeviceOperation();
  if (handlers_.ResetCounters(&device_->config, counters.count, counters.records) == -1) {
    return -1;
  }
  if (Scan(false) == -1) return -1;
  EndDeviceOperation();
  return 0;
}

void Scanner::RunMainLoop() { parvex::RunMainLoop(words_, this, &save_timer_, hooks_); }

}  // namespace parvex
