// Start-up of the scanner: the device configuration, the channel tables and the private block
// with every per-kind array, the channel configuration, saved outputs and reference values.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <string_view>

#include "config/channel_config.h"
#include "config/device_config.h"
#include "platform/error_number.h"
#include "platform/user_info.h"
#include "records/area_layout.h"
#include "runtime/area_lock.h"
#include "runtime/channel_prefixes.h"
#include "runtime/saved_values.h"
#include "runtime/shared_area.h"
#include "runtime/status_channels.h"
#include "runtime/system_areas.h"
#include "scanner/scanner.h"

namespace parvex {
namespace {

using kestrum::ChannelConfigRecord;

constexpr uint32_t kRecordSize = sizeof(ChannelConfigRecord);

bool IsOutputKind(int k) {
  return k == kestrum::kKindAnalogOutput || k == kestrum::kKindDigitalOutput;
}
bool HasReference(int k) {
  return k == kestrum::kKindAnalogInput || k == kestrum::kKindCounterInput;
}
bool IsValueKind(int k) { return !kestrum::IsDigitalType(static_cast<uint8_t>(k)); }

// The bytes of the private block that kind `k` with `n` channels takes: status words; for value
// kinds values, last significant values and raw readings; references for kinds 0 and 4.
uint64_t PrivateShare(int k, uint64_t n) {
  uint64_t words = n;
  if (IsValueKind(k)) words += 3 * n;
  if (HasReference(k)) words += n;
  return 4 * words;
}

std::string_view PrefixOf(const kestrum::DeviceRecord& device, int k) {
  const char* p = device.prefixes[k];
  return std::string_view(p, p[1] != '\0' ? 2 : 1);
}

void CopyName(const std::string& name, char* buffer, std::size_t size, std::size_t* length) {
  std::memset(buffer, 0, size);
  std::memcpy(buffer, name.data(), std::min(name.size(), size - 1));
  *length = std::strlen(buffer);
}

}  // namespace

Scanner::Scanner(kestrum::DeviceRecord* device, void* device_area, RequestWords* words,
                 ScannerHooks& hooks, DeviceHandlers& handlers)
    : device_(device),
      device_area_(device_area),
      words_(words),
      hooks_(hooks),
      handlers_(handlers) {
  std::memcpy(folder_, device_->folder_name, sizeof device_->folder_name);
}

Scanner::~Scanner() = default;

int Scanner::LoadDeviceBlock(bool start_up) {
  if (kestrum::ReadDeviceConfig(&config_, sizeof config_) == 0) return 0;
  const int error = kestrum::GetErrorNumber();
  // Start-up shows the whole error number, a reconfigure its low 12 bits.
  ReportFailure(hooks_, kReadConfigurationFailed, start_up ? error : ShownErrorCode(error), true);
  return -1;
}

void Scanner::StartExtraStatusChannels() {
  kestrum::SystemArea devices;
  if (kestrum::OpenDeviceArea(&devices) != 0) return;
  const auto* first = reinterpret_cast<const kestrum::DeviceRecord*>(devices.records);
  const auto index = static_cast<uint32_t>(device_ - first);
  const char* extra = kestrum::DeviceExtraPrefix(devices, index);
  if (extra != nullptr && extra[0] != '\0') {
    char prefix[3] = {extra[0], extra[1], '\0'};
    kestrum::StartStatusChannels(device_, prefix);
  }
}

void Scanner::OpenChannelTables(uint64_t* private_bytes) {
  for (int k = 0; k < kestrum::kChannelKindCount; ++k) {
    if (device_->prefixes[k][0] == '\0') continue;
    void* table = kestrum::GetChannelTable(PrefixOf(*device_, k));
    kestrum::AreaHeader area;
    if (table == nullptr || kestrum::ReadAreaHeader(table, &area) != 0) continue;
    auto* data = static_cast<uint8_t*>(table) + kestrum::kAreaHeaderSize;
    auto* header = reinterpret_cast<kestrum::ChannelTableHeader*>(data);
    const uint32_t c = header->channel_count;
    const uint32_t b = header->live_bytes;
    // A table whose live part does not fit its data part, or a value kind without values,
    // cannot be served.
    const bool live_ok =
        IsValueKind(k) ? b == kestrum::kLiveBytesWithValue
                       : (b == kestrum::kLiveBytesStatusOnly || b == kestrum::kLiveBytesWithValue);
    if (!live_ok || uint64_t{c} * b + kestrum::kChannelStatusOffset > area.data_size) continue;
    KindChannels& kind = kinds_[k];
    kind.table = table;
    kind.header = header;
    kind.data = data;
    kind.table_count = static_cast<uint16_t>(c);
    kind.count = std::min<uint16_t>(kChannelMaxima[k], kind.table_count);
    kind.table_status = reinterpret_cast<uint32_t*>(data + kestrum::kChannelStatusOffset);
    if (b == kestrum::kLiveBytesWithValue) {
      kind.table_values = reinterpret_cast<float*>(data + kestrum::kChannelStatusOffset + 4 * c);
    }
    *private_bytes += PrivateShare(k, kind.count);
    if (kestrum::ChannelTableBytes(c, b) <= area.data_size) {
      kind.extended = reinterpret_cast<kestrum::ChannelExtendedRecord*>(
          data + kestrum::kChannelStatusOffset + uint64_t{b} * c);
      break;  // the other kinds are not served
    }
  }
}

void Scanner::LayOutKind(int k, uint8_t** cursor) {
  KindChannels& kind = kinds_[k];
  const uint32_t n = kind.count;
  auto take = [cursor, n]() {
    auto* words = reinterpret_cast<uint32_t*>(*cursor);
    *cursor += 4 * n;
    return words;
  };
  uint32_t* status = take();
  float* values = nullptr;
  if (IsValueKind(k)) {
    values = reinterpret_cast<float*>(take());
    kind.last_significant = take();
    std::fill(kind.last_significant, kind.last_significant + n, kestrum::kNoValueBits);
  }
  if (HasReference(k)) kind.reference = reinterpret_cast<float*>(take());
  if (IsOutputKind(k)) {
    // The SCADA writes output values into the table: it is the working copy, and the private
    // arrays hold what the scanner last published from it.
    kind.working_status = kind.table_status;
    kind.published_status = status;
    kind.working_values = kind.table_values;
    kind.published_values = values;
    kind.readings = kind.table_values;
  } else {
    kind.working_status = status;
    kind.published_status = kind.table_status;
    kind.working_values = values;
    kind.published_values = kind.table_values;
    if (IsValueKind(k)) {
      kind.readings = reinterpret_cast<float*>(take());
      std::fill(kind.readings, kind.readings + n, std::numeric_limits<float>::quiet_NaN());
    }
  }
  kind.laid_out = true;
}

void Scanner::ApplyReferenceRule(int k) {
  KindChannels& kind = kinds_[k];
  for (uint32_t i = 0; i < kind.count; ++i) {
    const ChannelConfigRecord& r = kind.records[i];
    const uint8_t type = kestrum::ChannelType(r);
    const bool kept = kestrum::ChannelEnabled(r) &&
                      (type == kestrum::kTypeAI || type == kestrum::kTypeCI) &&
                      (r.analogue.flags & kestrum::analogue_flags::kReferenceEnable) != 0;
    if (!kept) kind.reference[i] = 0.0f;
  }
}

int Scanner::LayOutKinds() {
  uint8_t* cursor = private_block_.get();
  for (int k = 0; k < kestrum::kChannelKindCount; ++k) {
    KindChannels& kind = kinds_[k];
    if (kind.table == nullptr) continue;
    void* conf = kestrum::GetChannelConfigArea(PrefixOf(*device_, k));
    kestrum::AreaHeader area;
    if (conf == nullptr || kestrum::ReadAreaHeader(conf, &area) != 0 ||
        uint64_t{kind.table_count} * kRecordSize > area.data_size) {
      // Without room for every channel's configuration the kind cannot be served.
      kind = KindChannels();
      continue;
    }
    kind.conf_area = conf;
    kind.records = reinterpret_cast<ChannelConfigRecord*>(static_cast<uint8_t*>(conf) +
                                                          kestrum::kAreaHeaderSize);
    if (kestrum::ReloadChannelConfigIfChanged(k, kind.table) == -1) {
      ReportFailure(hooks_, kReadConfigurationFailed, kestrum::GetErrorNumber(), true);
      return -1;
    }
    LayOutKind(k, &cursor);
    const char* name = kestrum::kChannelKindNames[k];
    if (IsOutputKind(k) && save_timer_.enabled) {
      auto* saved = k == kestrum::kKindAnalogOutput ? reinterpret_cast<uint32_t*>(kind.table_values)
                                                    : kind.table_status;
      if (saved != nullptr) {
        kestrum::LoadChannelValues(folder_, name, save_timer_.mode != 0, saved, kind.records,
                                   kind.table_count);
      }
    }
    if (HasReference(k)) {
      kestrum::LoadChannelValues(folder_, name, false, reinterpret_cast<uint32_t*>(kind.reference),
                                 kind.records, kind.count);
      ApplyReferenceRule(k);
    }
  }
  return 0;
}

int Scanner::StartUp() {
  if (LoadDeviceBlock(true) != 0) return -1;
  std::memcpy(&device_->config, &config_, sizeof config_);

  uint8_t outputs = 0;
  uint8_t by_tag = 0;
  uint32_t rate = 0;
  save_timer_ = SaveTimer();
  if (kestrum::ReadSaveSettings(&outputs, &by_tag, &rate) == 0) {
    save_timer_.enabled = outputs != 0;
    save_timer_.mode = static_cast<int8_t>(by_tag);
    save_timer_.period_ms = rate;
    if (save_timer_.enabled) StartSaveTimer(&save_timer_, hooks_.Now());
  }

  uint64_t bytes = 0;
  OpenChannelTables(&bytes);
  uint32_t most = 0;
  for (const KindChannels& kind : kinds_) most = std::max<uint32_t>(most, kind.count);
  const uint64_t notes = uint64_t{most} * kMaxNotificationsPerChannel;
  const uint64_t total = bytes + notes * sizeof(Notification);
  private_block_.reset(new (std::nothrow) uint8_t[total + sizeof(Notification)]());
  if (!private_block_) {
    kestrum::SetErrorNumber(ENOMEM);
    ReportFailure(hooks_, kGetMemoryFailed, ShownErrorCode(ENOMEM), false);
    return -1;
  }
  // The notification storage follows the arrays, aligned for its records.
  const uint64_t offset =
      (bytes + alignof(Notification) - 1) / alignof(Notification) * alignof(Notification);
  notifications_ = NotificationList(reinterpret_cast<Notification*>(private_block_.get() + offset),
                                    static_cast<uint32_t>(notes));
  if (LayOutKinds() != 0) return -1;

  std::string name;
  if (kestrum::GetComputerName(&name) != 0) name.clear();
  CopyName(name, computer_name_, sizeof computer_name_, &computer_length_);
  if (kestrum::GetUserName(&name) != 0) name.clear();
  CopyName(name, user_name_, sizeof user_name_, &user_length_);
  return 0;
}

void Scanner::Shut(int error) {
  MarkAllChannelsFailed(error);
  handlers_.ClosePort();
  // A fatal failure inside a device operation ends the process here: the operation ends with it.
  if (kestrum::AreaLock lock(device_area_); lock.held()) device_->operation_in_progress = 0;
  device_->scanner_attached = 0;
  for (KindChannels& kind : kinds_) kind = KindChannels();
  notifications_ = NotificationList(nullptr, 0);
  private_block_.reset();
  kestrum::SetErrorNumber(error);
}

}  // namespace parvex
