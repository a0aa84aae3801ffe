// The scanner of one particle-counter device: its state, start-up, the device operations the
// main loop runs (initialise device, reconfigure, initialise values, reset counters), the scan
// cycle with its publication into the channel tables, and the exit path.
//
// Kinds 0 to 4 are "ai", "di", "ao", "do", "ci". Input kinds (0, 1, 4) keep their working
// arrays in the private block and publish into the channel table; output kinds (2, 3) work on
// the channel table, where the SCADA writes output values, and keep the copy last seen in the
// private block. Every array is laid out at start-up: the scan cycle allocates nothing.
//
// Raw readings are kept apart from processed values: the scan handler of a value kind writes
// each channel's reading into the kind's readings, and the channel state evaluation derives the
// working value from the reading in every scan, so a scan that brings no new reading never
// applies Gain, Offset or the reference twice.
//
// Not thread-safe: the main thread owns the scanner; the request words are the only state the
// link's reader thread touches.
#ifndef PARVEX_SCANNER_SCANNER_H_
#define PARVEX_SCANNER_SCANNER_H_

#include <cstdint>
#include <memory>

#include "records/channel_config.h"
#include "records/channel_table.h"
#include "records/device_record.h"
#include "scanner/channel_state.h"
#include "scanner/device_handlers.h"
#include "scanner/main_loop.h"
#include "scanner/requests.h"
#include "scanner/save_timer.h"
#include "scanner/scanner_hooks.h"

namespace parvex {

/// The highest number of channels served per kind: only analog inputs carry channels.
inline constexpr uint16_t kChannelMaxima[kestrum::kChannelKindCount] = {1000, 0, 0, 0, 0};

/// Milliseconds between two attempts of initialise device.
inline constexpr uint32_t kInitialiseRetryMs = 1000;

/// Messages of start-up and initialise device.
inline constexpr char kReadConfigurationFailed[] = "CAN'T READ CONFIGURATION -%04d";
inline constexpr char kGetMemoryFailed[] = "CAN'T GET MEMORY -%04d";
inline constexpr char kInitialiseDeviceFailed[] = "CAN'T INITIALISE DEVICE -%04d";
/// Message of a save of output values that the saved-values folder refused.
inline constexpr char kSaveValuesFailed[] = "CAN'T SAVE VALUES -%04d";

/// The arrays and areas of one served kind. Null pointers where the kind is not served.
struct KindChannels {
  void* table = nullptr;      ///< the channel table area
  void* conf_area = nullptr;  ///< its "_conf" area
  kestrum::ChannelTableHeader* header = nullptr;
  uint8_t* data = nullptr;                             ///< the table's data part
  kestrum::ChannelExtendedRecord* extended = nullptr;  ///< null without room for them
  kestrum::ChannelConfigRecord* records = nullptr;
  uint16_t count = 0;                ///< n(k), the channels served
  uint16_t table_count = 0;          ///< the table's own channel count
  uint32_t* table_status = nullptr;  ///< the channel table's status words
  float* table_values = nullptr;     ///< the channel table's values (even kinds)
  uint32_t* working_status = nullptr;
  uint32_t* published_status = nullptr;
  float* working_values = nullptr;
  float* published_values = nullptr;
  float* readings = nullptr;
  uint32_t* last_significant = nullptr;
  float* reference = nullptr;  ///< kinds 0 and 4
  bool laid_out = false;       ///< the arrays above exist
};

class Scanner : public DeviceOperations {
 public:
  /// `device` is this scanner's record in "dm_device"; `device_area` that area (for its lock).
  /// The caller keeps `words`, `hooks` and `handlers` alive.
  Scanner(kestrum::DeviceRecord* device, void* device_area, RequestWords* words,
          ScannerHooks& hooks, DeviceHandlers& handlers);
  ~Scanner() override;
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;

  /// Loads the configuration from the current directory, opens the channel tables, lays out
  /// the private block, loads the channel configuration, saved outputs and references, and
  /// reads the computer and user names. Returns 0, or -1 after reporting the failure.
  int StartUp();

  // DeviceOperations.
  int Reconfigure() override;
  int InitialiseValues() override;
  int ResetCounters() override;
  int Scan(bool first_scan) override;
  int InitialiseDevice(int error) override;
  void SaveOutputValues() override;

  /// Marks every channel of every served kind failed with `error` (no records are sent) and
  /// makes `error` the current error number. Returns 0.
  int MarkAllChannelsFailed(int error);

  /// Re-bases the reference values of kind `kind` on the current readings and saves them when
  /// one changed. When the save fails the references stay as they were and the failure is
  /// reported ("CAN'T INITIALISE VALUES - %04d" and the system log). Returns 0.
  int RebaseReferenceValues(int kind);

  /// Starts the status channels of the device's extra prefix, when "dm_device" carries extra
  /// prefixes and this device's is not empty. A failure leaves them off.
  void StartExtraStatusChannels();

  /// Runs the main loop while running.
  void RunMainLoop();

  /// Marks every channel failed with `error`, closes the port, ends a device operation left
  /// in progress, detaches from the record and frees the private block. The caller then stops the
  /// link and ends the process.
  void Shut(int error);

  /// What Reconfigure does when the configuration cannot be read: the process's exit path.
  /// Tests replace it. Must not return to the caller in the process.
  void set_fatal_exit(void (*fatal_exit)(int error)) { fatal_exit_ = fatal_exit; }

  const KindChannels& kind(int k) const { return kinds_[k]; }
  const SaveTimer& save_timer() const { return save_timer_; }
  const int* output_changed() const { return output_changed_; }

 private:
  void BeginDeviceOperation();
  void EndDeviceOperation();
  int LoadDeviceBlock(bool start_up);
  void OpenChannelTables(uint64_t* private_bytes);
  int LayOutKinds();
  void LayOutKind(int k, uint8_t** cursor);
  void ApplyReferenceRule(int k);
  int ScanKind(int k, bool first_scan, int* result);
  void EvaluateAndSend(int k, bool first_scan);
  void Publish(int k);
  void ReportSaveFailure(int k, const char* format);
  bool running() const { return words_->is_running(); }

  kestrum::DeviceRecord* device_;
  void* device_area_;
  RequestWords* words_;
  ScannerHooks& hooks_;
  DeviceHandlers& handlers_;
  void (*fatal_exit_)(int error) = nullptr;

  char folder_[sizeof(kestrum::DeviceRecord::folder_name) + 1] = {};
  kestrum::DeviceConfigBlock config_{};
  SaveTimer save_timer_;
  int output_changed_[kestrum::kChannelTypeCount] = {};
  bool save_failing_[kestrum::kChannelKindCount] = {};  ///< the kind's last output save failed
  char computer_name_[16] = {};
  char user_name_[257] = {};
  std::size_t computer_length_ = 0;
  std::size_t user_length_ = 0;
  KindChannels kinds_[kestrum::kChannelKindCount];
  std::unique_ptr<uint8_t[]> private_block_;
  NotificationList notifications_{nullptr, 0};
  ScanState scan_state_;
};

}  // namespace parvex

#endif  // PARVEX_SCANNER_SCANNER_H_
